// Any bytes as a location text: the reader may refuse them, but never crash,
// read out of bounds or hang, and what it accepts must keep its promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/DeepView.h"
#include "engine/Location.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Trimmed(const std::string& s) {
    return !s.empty() && s.front() != ' ' && s.front() != '\t' && s.back() != ' ' && s.back() != '\t';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Location location;
    std::string error;
    if (!ReadLocation(text, location, error)) {
        // One line, and short even for a huge garbage line.
        Check(!error.empty() && error.find('\n') == std::string::npos && error.size() < 200);
        return 0;
    }
    Check(Trimmed(location.re) && Trimmed(location.im) && Trimmed(location.zoom));
    Check(location.iterations == -1 || (location.iterations >= 1 && location.iterations <= INT32_MAX - 1));
    for (const std::string& key : location.ignoredKeys) Check(!key.empty());
    // What a location gives goes on to the number reader next.
    for (const std::string* number : {&location.re, &location.im, &location.zoom}) {
        BigFloat value(128);
        if (!ReadLongNumber(*number, "fuzz", value, error)) Check(error.find('\n') == std::string::npos);
    }
    return 0;
}
