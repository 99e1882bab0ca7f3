#include "engine/FpEnvironment.h"

namespace {

// x87: all exceptions masked, 64-bit significand (PC = 11), round to nearest.
constexpr uint16_t kX87Wanted = 0x037F;
// SSE: all exceptions masked; round to nearest (RC = 00), no flush-to-zero
// (bit 15), no denormals-are-zero (bit 6). Sticky flags are left alone.
constexpr uint32_t kMxcsrMasks = 0x1F80;
constexpr uint32_t kMxcsrRoundingFtzDaz = 0x6000 | 0x8000 | 0x0040;

}  // namespace

#if defined(__i386__) || defined(__x86_64__)

FpControlWords ReadFpControlWords() {
    FpControlWords words{};
    __asm__ __volatile__("fnstcw %0" : "=m"(words.x87));
    __asm__ __volatile__("stmxcsr %0" : "=m"(words.mxcsr));
    return words;
}

void WriteFpControlWords(FpControlWords words) {
    __asm__ __volatile__("fldcw %0" : : "m"(words.x87));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(words.mxcsr));
}

#else

FpControlWords ReadFpControlWords() { return FpControlWords{kX87Wanted, kMxcsrMasks}; }
void WriteFpControlWords(FpControlWords) {}

#endif

FpEnvironmentGuard::FpEnvironmentGuard() {
    const FpControlWords saved = ReadFpControlWords();
    savedX87_ = saved.x87;
    savedMxcsr_ = saved.mxcsr;
    WriteFpControlWords(FpControlWords{kX87Wanted, (saved.mxcsr | kMxcsrMasks) & ~kMxcsrRoundingFtzDaz});
}

FpEnvironmentGuard::~FpEnvironmentGuard() { WriteFpControlWords(FpControlWords{savedX87_, savedMxcsr_}); }
