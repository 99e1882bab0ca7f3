# Deep-zoom locations from outside: the formats other programs save, their
# refusals, and long decimal numbers read through MPFR.
if(TARGET quaxel_deep)
  quaxel_test(location_tests
    SOURCES LocationTest.cpp
    LIBS quaxel_deep
    DEFINES QUAXEL_LOCATIONS_DIR="${PROJECT_SOURCE_DIR}/tests/data/locations")
endif()
