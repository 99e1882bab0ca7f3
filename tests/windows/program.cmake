# Starts the real quaxel.exe under wine and checks its main window.
quaxel_test(win_program_tests SOURCES ProgramSmokeTest.cpp LIBS user32
  DEFINES QUAXEL_EXE_PATH="$<TARGET_FILE:quaxel>" DEPENDS quaxel)
