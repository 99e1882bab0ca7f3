# The engine's suites again, built by mingw and run under wine: the kernels'
# rounding must hold with this compiler and runtime too.
set(engine_test_dir ${PROJECT_SOURCE_DIR}/tests/native)
quaxel_test(win_engine_tests
  SOURCES
    ${engine_test_dir}/EngineSetUpTest.cpp
    ${engine_test_dir}/EnginePrecisionTest.cpp
    ${engine_test_dir}/EngineKernelTest.cpp
    ${engine_test_dir}/EngineScheduleTest.cpp
    ${engine_test_dir}/EngineColourTest.cpp
    ${engine_test_dir}/FpEnvironmentTest.cpp
    ${engine_test_dir}/PomeFixTest.cpp
    ${engine_test_dir}/CycleDetectionTest.cpp
    FpuDetectWinTest.cpp
  LIBS quaxel_engine advapi32
  INCLUDES ${engine_test_dir})

# The fast kernels orbit by orbit against the reference (fewer cases under
# wine), and rows shared by the worker pool against rows on one thread.
quaxel_test(win_fast_kernel_tests
  SOURCES
    ${engine_test_dir}/FastKernelPropertyTest.cpp
    ${engine_test_dir}/FastKernelThreadTest.cpp
  LIBS quaxel_engine
  INCLUDES ${engine_test_dir})

# The progressive-versus-one-shot kernel tests once per instruction-set path
# (a path the processor cannot run is skipped).
quaxel_test(win_fast_kernel_path_tests
  SOURCES ${engine_test_dir}/EngineKernelTest.cpp ${engine_test_dir}/FastKernelPathTest.cpp
  LIBS quaxel_engine
  INCLUDES ${engine_test_dir}
  VARIANTS baseline avx2 avx512 VARIANT_ENV QUAXEL_KERNEL_PATH)
