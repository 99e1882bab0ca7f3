quaxel_test(win_export_tests SOURCES ExportWinTest.cpp ClipboardWinTest.cpp PaletteWinTest.cpp LIBS quaxel_image)
