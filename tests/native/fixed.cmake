quaxel_test(fixed_tests SOURCES PomeFixTest.cpp LIBS quaxel_engine)
