# The engine's suites again, built by mingw and run under wine: the kernels'
# rounding must hold with this compiler and runtime too.
set(engine_test_dir ${PROJECT_SOURCE_DIR}/tests/native)
quaxel_windows_test(win_engine_tests
  SOURCES
    ${engine_test_dir}/EngineSetUpTest.cpp
    ${engine_test_dir}/EnginePrecisionTest.cpp
    ${engine_test_dir}/EngineKernelTest.cpp
    ${engine_test_dir}/EngineScheduleTest.cpp
    ${engine_test_dir}/EngineColourTest.cpp
    ${engine_test_dir}/FpEnvironmentTest.cpp
    ${engine_test_dir}/PomeFixTest.cpp
    FpuDetectWinTest.cpp
  LIBS quaxel_engine advapi32)
target_include_directories(win_engine_tests PRIVATE ${engine_test_dir})

# The fast kernels orbit by orbit against the reference (fewer cases under
# wine), and rows shared by the worker pool against rows on one thread.
quaxel_windows_test(win_fast_kernel_tests
  SOURCES
    ${engine_test_dir}/FastKernelPropertyTest.cpp
    ${engine_test_dir}/FastKernelThreadTest.cpp
  LIBS quaxel_engine)
target_include_directories(win_fast_kernel_tests PRIVATE ${engine_test_dir})

# The progressive-versus-one-shot kernel tests once per instruction-set path
# (a path the processor cannot run is skipped).
add_executable(win_fast_kernel_path_tests ${engine_test_dir}/EngineKernelTest.cpp
  ${engine_test_dir}/FastKernelPathTest.cpp)
target_link_libraries(win_fast_kernel_path_tests PRIVATE quaxel_defaults GTest::gtest GTest::gtest_main
  quaxel_engine)
target_include_directories(win_fast_kernel_path_tests PRIVATE ${engine_test_dir} ${CMAKE_CURRENT_SOURCE_DIR})
foreach(kernel_path baseline avx2 avx512)
  add_test(NAME win_fast_kernel_path_${kernel_path} COMMAND win_fast_kernel_path_tests --gtest_color=no)
  set_tests_properties(win_fast_kernel_path_${kernel_path} PROPERTIES TIMEOUT 300
    ENVIRONMENT QUAXEL_KERNEL_PATH=${kernel_path})
endforeach()
