# The dialogs' number texts and decisions again, built by mingw and run under
# wine: the texts must come out the same with this compiler and runtime.
set(dialog_test_dir ${PROJECT_SOURCE_DIR}/tests/native)
quaxel_test(win_dialog_logic_tests
  SOURCES
    ${dialog_test_dir}/DialogNumberTextTest.cpp
    ${dialog_test_dir}/DialogLogicTest.cpp
    ${dialog_test_dir}/DialogStoreTest.cpp
  LIBS quaxel_dialog_logic
  INCLUDES ${dialog_test_dir})

# The real dialogs, created modeless in the test's own process from the
# templates linked into it, driven by clicks and keys (see DialogHost).
quaxel_test(win_dialog_tests SOURCES DialogProcedureTest.cpp LIBS quaxel_windows quaxel_resources)
