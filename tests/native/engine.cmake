quaxel_native_test(engine_tests
  SOURCES
    EngineSetUpTest.cpp
    EnginePrecisionTest.cpp
    EngineKernelTest.cpp
    EngineScheduleTest.cpp
    EngineColourTest.cpp
    FpEnvironmentTest.cpp
  LIBS quaxel_engine)
