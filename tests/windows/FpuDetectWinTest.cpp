#include <windows.h>

#include <gtest/gtest.h>

#include "engine/PomeClc.h"

namespace {

// Wine's prefixes, like Windows, describe the floating-point processor under
// this key; DetectFpu must find it, and its answer must match the key's.
TEST(DetectFpu, FollowsTheFloatingPointProcessorKey) {
    HKEY key = nullptr;
    const bool keyOpens = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\FloatingPointProcessor",
                                        0, KEY_READ, &key) == ERROR_SUCCESS;
    if (keyOpens) RegCloseKey(key);

    const bool fpuPresent = DetectFpu();
    EXPECT_EQ(fpuPresent, keyOpens);
    EXPECT_TRUE(fpuPresent) << "the test prefix should report a floating-point processor";
}

}  // namespace
