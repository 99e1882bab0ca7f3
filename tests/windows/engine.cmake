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
