quaxel_native_test(setup_tests SOURCES SetupLogicTest.cpp LIBS setup_logic)
