quaxel_test(render_tests SOURCES RenderTest.cpp LIBS quaxel_render)

# The program itself: a bad argument gives the usage and a non-zero exit, a
# small start image prints its statistics.
add_test(NAME render_cli_rejects_bad_arguments COMMAND quaxel-render --size 1x1 out.bmp)
set_tests_properties(render_cli_rejects_bad_arguments PROPERTIES WILL_FAIL TRUE)
add_test(NAME render_cli_usage_names_the_options COMMAND quaxel-render --bogus)
set_tests_properties(render_cli_usage_names_the_options PROPERTIES
  PASS_REGULAR_EXPRESSION "unknown option --bogus.*usage: quaxel-render")
add_test(NAME render_cli_prints_statistics
  COMMAND quaxel-render --size 40x30 --type double ${CMAKE_CURRENT_BINARY_DIR}/render_cli.bmp)
set_tests_properties(render_cli_prints_statistics PROPERTIES
  PASS_REGULAR_EXPRESSION "Numeric type: FPU Double.*Passes: 4.*Iterations: Min.: 1, Max.: [0-9]+.*Time: ")

# Saved views, movies and every bad input, through the real program.
add_test(NAME render_cli_companion
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/render/cli-test.sh $<TARGET_FILE:quaxel-render>
          ${CMAKE_CURRENT_BINARY_DIR}/render-cli)
set_tests_properties(render_cli_companion PROPERTIES TIMEOUT 300)

# A small movie with its frames on three threads; the "tsan" preset builds
# quaxel-render and runs this under ThreadSanitizer too.
add_test(NAME RenderMovieOnThreads
  COMMAND ${CMAKE_COMMAND} -E env QUAXEL_RENDER_THREADS=3 $<TARGET_FILE:quaxel-render> --frames 12 --size 64x48
          --real -0.75 -0.74 --imag 0.1 0.11 ${CMAKE_CURRENT_BINARY_DIR}/threads-f%d.bmp)
set_tests_properties(RenderMovieOnThreads PROPERTIES FAIL_REGULAR_EXPRESSION "ThreadSanitizer|AddressSanitizer|runtime error")

# Deep views through the real program (the builds with MPFR).
if(TARGET quaxel_deep)
  add_test(NAME render_cli_deep
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/render/deep-cli-test.sh $<TARGET_FILE:quaxel-render>
            ${CMAKE_CURRENT_BINARY_DIR}/render-deep-cli)
  set_tests_properties(render_cli_deep PROPERTIES TIMEOUT 300)
endif()

# A movie split into parts, and a part killed and resumed, through the real
# program.
add_test(NAME render_cli_parts
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/render/parts-test.sh $<TARGET_FILE:quaxel-render>
          ${CMAKE_CURRENT_BINARY_DIR}/render-parts)
set_tests_properties(render_cli_parts PROPERTIES TIMEOUT 300)

# The Slurm recipe on a single-node Slurm the test starts and stops itself
# (root, as in CI; the packages come from tools/bootstrap.sh). Never skipped.
add_test(NAME render_cli_slurm
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/render/slurm-test.sh $<TARGET_FILE:quaxel-render>
          ${CMAKE_CURRENT_BINARY_DIR}/render-slurm)
set_tests_properties(render_cli_slurm PROPERTIES TIMEOUT 180)

# Smooth colouring, gradients and supersampling.
quaxel_test(smooth_tests SOURCES SmoothTest.cpp LIBS quaxel_render)
