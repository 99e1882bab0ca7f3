quaxel_test(engine_tests
  SOURCES
    EngineSetUpTest.cpp
    EnginePrecisionTest.cpp
    EngineKernelTest.cpp
    EngineScheduleTest.cpp
    EngineColourTest.cpp
    FpEnvironmentTest.cpp
    CycleDetectionTest.cpp
  LIBS quaxel_engine)

# The fast kernels against the reference, orbit by orbit, on every path this
# processor runs.
quaxel_test(fast_kernel_tests
  SOURCES FastKernelPropertyTest.cpp
  LIBS quaxel_engine)

# A row shared by the worker pool against the same row on one thread; the
# "tsan" preset builds and runs this suite alone under ThreadSanitizer.
quaxel_test(fast_kernel_thread_tests
  SOURCES FastKernelThreadTest.cpp
  LIBS quaxel_engine)

# The progressive-versus-one-shot kernel tests again, once per instruction-set
# path (a path the processor cannot run is skipped).
quaxel_test(fast_kernel_path_tests
  SOURCES EngineKernelTest.cpp FastKernelPathTest.cpp
  LIBS quaxel_engine
  VARIANTS baseline avx2 avx512 VARIANT_ENV QUAXEL_KERNEL_PATH)
