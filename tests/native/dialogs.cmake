quaxel_test(dialog_logic_tests
  SOURCES
    DialogNumberTextTest.cpp
    DialogLogicTest.cpp
    DialogStoreTest.cpp
  LIBS quaxel_dialog_logic)
