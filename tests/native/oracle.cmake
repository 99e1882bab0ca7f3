# The deep-zoom oracle (MPFR, native only).
if(NOT WIN32)
  quaxel_test(oracle_tests SOURCES OracleTest.cpp LIBS quaxel_oracle)

  # The deep calculation against the oracle, once the calculation is there.
  if(EXISTS ${PROJECT_SOURCE_DIR}/engine/DeepZoom.cpp)
    quaxel_test(deep_agreement_tests SOURCES DeepAgreementTest.cpp LIBS quaxel_oracle
      DEFINES QUAXEL_LOCATIONS_DIR="${PROJECT_SOURCE_DIR}/tests/data/locations")
  endif()

  # The agreement run itself on a small view, and its refusal of a bad
  # argument (the program exists once the deep units are in the tree).
  if(TARGET quaxel-oracle-agree)
    add_test(NAME oracle_agree_usage COMMAND quaxel-oracle-agree --centre 0 0 --zoom 1e20 --bogus)
    set_tests_properties(oracle_agree_usage PROPERTIES
      PASS_REGULAR_EXPRESSION "unknown option --bogus.*usage: quaxel-oracle-agree")
    add_test(NAME oracle_agree_small_view
      COMMAND quaxel-oracle-agree --centre -0.2281554936539618192145720140991260067373983511745080323795979810844156630360130667574210427119704
              1.11514250803993735974576463631501406818877809046795460362746803348104090929463551685725720068747652
              --zoom 1e20 --iter 1000 --size 32x24 --pixels 40 --threads 2)
    set_tests_properties(oracle_agree_small_view PROPERTIES
      PASS_REGULAR_EXPRESSION "compared 40, differ 0 .*PASS")
  endif()
endif()
