# The distribution package: tools/package.sh lays out a package folder from
# this build, which is then installed and uninstalled under wine.
quaxel_test(win_package_tests
  SOURCES ${PROJECT_SOURCE_DIR}/tests/package/PackageTest.cpp
  LIBS advapi32 user32 shell32
  DEFINES PACKAGE_VERSION="${PROJECT_VERSION}"
  DEPENDS quaxel setup  # the package is made of these
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package-test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
    ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win_package_tests>
  TIMEOUT 120)
