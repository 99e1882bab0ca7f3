quaxel_native_test(engine_tests
  SOURCES
    EngineSetUpTest.cpp
    EnginePrecisionTest.cpp
    EngineKernelTest.cpp
    EngineScheduleTest.cpp
    EngineColourTest.cpp
    FpEnvironmentTest.cpp
  LIBS quaxel_engine)

# The fast kernels against the reference, orbit by orbit, on every path this
# processor runs.
quaxel_native_test(fast_kernel_tests
  SOURCES FastKernelPropertyTest.cpp
  LIBS quaxel_engine)

# A row shared by the worker pool against the same row on one thread; the
# "tsan" preset builds and runs this suite alone under ThreadSanitizer.
quaxel_native_test(fast_kernel_thread_tests
  SOURCES FastKernelThreadTest.cpp
  LIBS quaxel_engine)

# The progressive-versus-one-shot kernel tests again, once per instruction-set
# path (a path the processor cannot run is skipped).
add_executable(fast_kernel_path_tests EngineKernelTest.cpp FastKernelPathTest.cpp)
target_link_libraries(fast_kernel_path_tests PRIVATE quaxel_defaults GTest::gtest GTest::gtest_main
  quaxel_engine)
target_include_directories(fast_kernel_path_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
foreach(kernel_path baseline avx2 avx512)
  gtest_discover_tests(fast_kernel_path_tests TEST_PREFIX "${kernel_path}:" DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QUAXEL_KERNEL_PATH=${kernel_path}")
endforeach()
