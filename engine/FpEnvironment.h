// The rounding the kernels and the plane arithmetic are written for: x87 at
// 64-bit precision, round to nearest; SSE round to nearest without
// flush-to-zero or denormals-are-zero. Other code in the process may have
// changed either control word (graphics and printer drivers lower the x87
// precision, shell extensions loaded by a file dialog may set anything), so
// every piece of arithmetic whose results must be bit-exact sets the
// environment it needs for its own duration and gives the caller's back.
#pragma once

#include <cstdint>

class FpEnvironmentGuard {
public:
    FpEnvironmentGuard();
    ~FpEnvironmentGuard();
    FpEnvironmentGuard(const FpEnvironmentGuard&) = delete;
    FpEnvironmentGuard& operator=(const FpEnvironmentGuard&) = delete;

private:
    uint16_t savedX87_ = 0;
    uint32_t savedMxcsr_ = 0;
};

// The two control words, for tests that disturb them on purpose.
struct FpControlWords {
    uint16_t x87;
    uint32_t mxcsr;
};
FpControlWords ReadFpControlWords();
void WriteFpControlWords(FpControlWords words);
