# The deep-zoom oracle (MPFR, native only).
if(NOT WIN32)
  quaxel_test(oracle_tests SOURCES OracleTest.cpp LIBS quaxel_oracle)

  # The deep calculation against the oracle, once the calculation is there.
  if(EXISTS ${PROJECT_SOURCE_DIR}/engine/DeepZoom.cpp)
    quaxel_test(deep_agreement_tests SOURCES DeepAgreementTest.cpp LIBS quaxel_oracle
      DEFINES QUAXEL_LOCATIONS_DIR="${PROJECT_SOURCE_DIR}/tests/data/locations")
  endif()
endif()
