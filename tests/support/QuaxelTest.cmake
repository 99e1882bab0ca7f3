# The one way a test executable is made and registered, natively and for
# Windows (tests/native and tests/windows include this file).
#
# quaxel_test(<name> SOURCES <files...>
#   [LIBS <targets...>]        linked besides quaxel_defaults and GoogleTest
#   [INCLUDES <dirs...>]       besides the calling folder (and tests/support on Windows)
#   [DEFINES <definitions...>]
#   [DEPENDS <targets...>]     built first: the programs a suite starts
#   [OWN_MAIN]                 the sources bring main(): no gtest_main
#   [VARIANTS <values...> VARIANT_ENV <variable>]
#                              the suite once per value of the variable; natively
#                              as "<value>:<test>", on Windows as <name without
#                              _tests>_<value>
#   [COMMAND <command...>] [TEST_NAME <test>]
#                              run through this command (a script that prepares
#                              what the suite needs), as one test
#   [TIMEOUT <seconds>]        of a Windows test (300 unless given)
#   [NO_TEST])                 built only: a tool on top of the test support
#
# Natively every GoogleTest case is a ctest test of its own, run under the
# sanitizers' options; on Windows a whole executable is one test, since every
# start of Wine costs time.
include(GoogleTest)

function(quaxel_test name)
  cmake_parse_arguments(ARG "OWN_MAIN;NO_TEST" "VARIANT_ENV;TEST_NAME;TIMEOUT"
    "SOURCES;LIBS;INCLUDES;DEFINES;DEPENDS;VARIANTS;COMMAND" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set(main GTest::gtest_main)
  if(ARG_OWN_MAIN)
    set(main "")
  endif()
  target_link_libraries(${name} PRIVATE quaxel_defaults GTest::gtest ${main} ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_INCLUDES})
  if(WIN32)
    target_link_libraries(${name} PRIVATE quaxel_test_support)
  endif()
  if(ARG_DEFINES)
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINES})
  endif()
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  if(ARG_NO_TEST)
    return()
  endif()

  if(NOT WIN32)
    if(ARG_VARIANTS)
      foreach(value ${ARG_VARIANTS})
        gtest_discover_tests(${name} TEST_PREFIX "${value}:" DISCOVERY_TIMEOUT 60
          PROPERTIES ENVIRONMENT "${ARG_VARIANT_ENV}=${value}")
      endforeach()
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1")
    endif()
    return()
  endif()

  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(ARG_COMMAND)
    if(NOT ARG_TEST_NAME)
      set(ARG_TEST_NAME ${name})
    endif()
    add_test(NAME ${ARG_TEST_NAME} COMMAND ${ARG_COMMAND})
    set_tests_properties(${ARG_TEST_NAME} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  elseif(ARG_VARIANTS)
    string(REGEX REPLACE "_tests$" "" stem ${name})
    foreach(value ${ARG_VARIANTS})
      add_test(NAME ${stem}_${value} COMMAND ${name} --gtest_color=no)
      set_tests_properties(${stem}_${value} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT ${ARG_VARIANT_ENV}=${value})
    endforeach()
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()
