quaxel_test(palette_tests SOURCES PaletteTest.cpp LIBS quaxel_image)
