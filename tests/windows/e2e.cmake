# End to end: a driver that starts the real quaxel.exe and works it from
# outside, in a wine prefix of its own with a virtual desktop (run-e2e.sh).
# The runner is started by bash, not through the crosscompiling emulator.
set(QUAXEL_E2E_DIR ${PROJECT_SOURCE_DIR}/tests/e2e)
quaxel_test(quaxel_e2e
  SOURCES ${QUAXEL_E2E_DIR}/Harness.cpp ${QUAXEL_E2E_DIR}/QuaxelE2ETest.cpp ${QUAXEL_E2E_DIR}/DialogsE2ETest.cpp
    ${QUAXEL_E2E_DIR}/NavigationE2ETest.cpp ${QUAXEL_E2E_DIR}/SpeedE2ETest.cpp
    ${QUAXEL_E2E_DIR}/RobustnessE2ETest.cpp ${QUAXEL_E2E_DIR}/SoakE2ETest.cpp
  LIBS quaxel_render quaxel_dialog_logic user32 gdi32 comctl32
  INCLUDES ${QUAXEL_E2E_DIR}
  DEFINES QUAXEL_EXE_PATH="$<TARGET_FILE:quaxel>"
  DEPENDS quaxel
  OWN_MAIN
  TEST_NAME e2e
  COMMAND bash ${QUAXEL_E2E_DIR}/run-e2e.sh $<TARGET_FILE:quaxel_e2e> ${CMAKE_BINARY_DIR}/e2e --gtest_filter=-Soak.*
  TIMEOUT 600)
# A minute of random input, in a prefix of its own; its seed is printed.
# Not in the 32-bit run: under emulation its minute would be a few dozen
# actions, and its five-second answer rule would measure the emulator.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME e2e_soak COMMAND bash ${QUAXEL_E2E_DIR}/run-e2e.sh $<TARGET_FILE:quaxel_e2e> ${CMAKE_BINARY_DIR}/e2e-soak
    --gtest_filter=Soak.*)
  set_tests_properties(e2e_soak PROPERTIES TIMEOUT 400)
endif()

# The program benchmark: the same harness drives quaxel.exe and times it
# against the renderer (tools/progbench/run.sh). A tool, not a test.
quaxel_test(quaxel_progbench
  SOURCES ${PROJECT_SOURCE_DIR}/tools/progbench/ProgBench.cpp ${QUAXEL_E2E_DIR}/Harness.cpp
  LIBS quaxel_render user32 gdi32
  INCLUDES ${QUAXEL_E2E_DIR}
  DEFINES QUAXEL_EXE_PATH="$<TARGET_FILE:quaxel>" QUAXEL_E2E_NO_MAIN
  DEPENDS quaxel
  OWN_MAIN
  NO_TEST)

# quaxel-render as the program's companion: its scenarios run the renderer's .exe.
target_sources(quaxel_e2e PRIVATE ${QUAXEL_E2E_DIR}/RenderCompanionE2ETest.cpp)
set_source_files_properties(${QUAXEL_E2E_DIR}/RenderCompanionE2ETest.cpp PROPERTIES COMPILE_DEFINITIONS QUAXEL_RENDER_EXE_PATH="$<TARGET_FILE:quaxel-render>")
add_dependencies(quaxel_e2e quaxel-render)
