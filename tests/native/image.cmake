quaxel_test(image_tests SOURCES DibSectTest.cpp LIBS quaxel_image)
