# End to end: drives the real setup.exe under wine.
quaxel_test(win_setup_tests SOURCES SetupLauncherTest.cpp LIBS advapi32 user32
  DEFINES SETUP_EXE_PATH="$<TARGET_FILE:setup>" DEPENDS setup)
