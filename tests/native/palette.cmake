quaxel_native_test(palette_tests SOURCES PaletteTest.cpp LIBS quaxel_image)
