quaxel_test(bmp_tests SOURCES BmpExportTest.cpp LIBS quaxel_image)
