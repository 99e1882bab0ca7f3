quaxel_test(win_image_tests SOURCES DibSectWinTest.cpp LIBS quaxel_engine quaxel_image gdi32 user32)
