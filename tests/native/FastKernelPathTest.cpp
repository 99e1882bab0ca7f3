// Runs the suites it is linked with (the progressive-versus-one-shot kernel
// tests) on the kernel path named by QUAXEL_KERNEL_PATH: baseline, avx2 or
// avx512. A path this processor cannot run skips every test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "engine/FastKernels.h"

namespace {

KernelPath RequestedPath(bool& named) {
    const char* name = std::getenv("QUAXEL_KERNEL_PATH");
    named = name != nullptr;
    if (name != nullptr && std::strcmp(name, "baseline") == 0) return KernelPath::Baseline;
    if (name != nullptr && std::strcmp(name, "avx2") == 0) return KernelPath::Avx2Fma;
    if (name != nullptr && std::strcmp(name, "avx512") == 0) return KernelPath::Avx512;
    named = name != nullptr && std::strcmp(name, "reference") == 0;
    return KernelPath::Reference;
}

class ForcedPath : public ::testing::Environment {
public:
    void SetUp() override {
        bool named = false;
        const KernelPath path = RequestedPath(named);
        if (!named) return;  // not run through the per-path registrations: keep the default
        if (!ForceKernelPath(path)) GTEST_SKIP() << KernelPathName(path) << " cannot run on this processor";
    }
    void TearDown() override { ForceKernelPath(BestKernelPath()); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ForcedPath);

TEST(KernelPathSwitch, TheRequestedPathIsTheOneRowsUse) {
    bool named = false;
    const KernelPath path = RequestedPath(named);
    if (!named) GTEST_SKIP() << "QUAXEL_KERNEL_PATH not set";
    EXPECT_EQ(ActiveKernelPath(), path) << KernelPathName(ActiveKernelPath());
}

}  // namespace
