# Deep zoom: the view's mapping and refusals, the calculation against a
# direct MPFR iteration, and its independence of threads and passes.
if(NOT WIN32)
  quaxel_test(deep_tests SOURCES DeepZoomTest.cpp LIBS quaxel_deep
    DEFINES QUAXEL_LOCATIONS_DIR="${PROJECT_SOURCE_DIR}/tests/data/locations")
  quaxel_test(deep_bla_tests SOURCES DeepBlaTest.cpp LIBS quaxel_deep)
endif()
