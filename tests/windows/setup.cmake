# End to end: drives the real setup.exe under wine.
quaxel_windows_test(win_setup_tests SOURCES SetupLauncherTest.cpp LIBS advapi32 user32)
target_compile_definitions(win_setup_tests PRIVATE SETUP_EXE_PATH="$<TARGET_FILE:setup>")
add_dependencies(win_setup_tests setup)
