# Reads the resources that the real quaxel.exe carries, dialog templates
# included.
quaxel_test(win_resource_tests SOURCES ResourceTest.cpp DialogTemplateTest.cpp LIBS user32 gdi32 comctl32 version
  DEFINES QUAXEL_EXE_PATH="$<TARGET_FILE:quaxel>" QUAXEL_PROJECT_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    QUAXEL_PROJECT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  DEPENDS quaxel)
