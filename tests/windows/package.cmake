# The distribution package: tools/package.sh lays out a package folder from
# this build, which is then installed and uninstalled under wine.
add_executable(win_package_tests ${PROJECT_SOURCE_DIR}/tests/package/PackageTest.cpp)
target_link_libraries(win_package_tests PRIVATE quaxel_defaults GTest::gtest GTest::gtest_main
  advapi32 user32 shell32)
target_include_directories(win_package_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(win_package_tests PRIVATE PACKAGE_VERSION="${PROJECT_VERSION}")
# The package is made of these.
add_dependencies(win_package_tests quaxel setup)
add_test(NAME win_package_tests
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package-test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
    ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win_package_tests>)
set_tests_properties(win_package_tests PROPERTIES TIMEOUT 120)
