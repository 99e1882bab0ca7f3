quaxel_test(setup_tests SOURCES SetupLogicTest.cpp LIBS setup_logic)
