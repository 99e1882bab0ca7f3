# Starts the real quaxel.exe under wine and checks its main window.
quaxel_windows_test(win_program_tests SOURCES ProgramSmokeTest.cpp LIBS user32)
target_compile_definitions(win_program_tests PRIVATE QUAXEL_EXE_PATH="$<TARGET_FILE:quaxel>")
add_dependencies(win_program_tests quaxel)
