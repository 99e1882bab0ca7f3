// Shared helpers of the engine suites: a recording precision prompt, a small
// image, and a calculation of one view on an image of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "engine/PomeClc.h"
#include "image/DibSect.h"

// Readable names in failure messages (found by argument-dependent lookup).
inline void PrintTo(NumericType type, std::ostream* os) {
    static const char* const kNames[] = {"CpuFixed", "FpuSingle", "FpuDouble", "FpuExtended"};
    const auto code = static_cast<unsigned>(type);
    *os << (code < 4 ? kNames[code] : "NumericType?");
}

namespace enginetest {

struct PromptCall {
    NumericType type;
    bool columns;
    std::string text;
    unsigned style;
};

// Records every question and answers from a script (then with `fallback`).
class RecordingPrompt final : public PrecisionPrompt {
public:
    bool Confirm(NumericType type, bool columns, const char* text, unsigned style) override {
        calls.push_back({type, columns, text, style});
        if (answers.empty()) return fallback;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<PromptCall> calls;
    std::deque<bool> answers;
    bool fallback = true;
};

// An image whose pixels start at a value no rule of the engine produces, so
// that untouched pixels show.
class TestImage {
public:
    static constexpr uint8_t kUntouched = 0xEE;

    TestImage(int32_t width, int32_t height) {
        const std::vector<uint8_t> table(kColourTableBytes, 0);
        image.Create(width, height, table.data());
        Fill(kUntouched);
    }
    ~TestImage() { image.Release(); }
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;

    void Fill(uint8_t value) {
        for (int32_t y = 0; y < image.height; ++y) {
            PixelCursor cursor;
            image.StartRow(cursor, y);
            for (int32_t x = 0; x < image.width; ++x) PutPixel(cursor, value);
        }
    }

    // Row 0 is the top row, which is the last row of the bottom-up memory.
    uint8_t At(int32_t x, int32_t y) const {
        return image.pixels[static_cast<size_t>(image.height - 1 - y) * static_cast<size_t>(image.stride) +
                            static_cast<size_t>(x)];
    }

    DibImage image;
};

// A calculation of one view: an image of its own, the state bound to it and
// a recording prompt; SetUp and RunSetUp start the calculation, with the
// colours the state holds. A floating-point processor is present unless
// the test says otherwise.
class ViewCalculation {
public:
    ViewCalculation(int32_t width, int32_t height, bool fpu = true) : image(width, height), fpuPresent(fpu) {
        CreateCalcState(state, &image.image);
    }
    ViewCalculation(const ViewCalculation&) = delete;
    ViewCalculation& operator=(const ViewCalculation&) = delete;

    SetUpContext Context() { return SetUpContext{prompt, fpuPresent}; }

    NumericType SetUp(const CoordinateSet& view, NumericType type) {
        return SetUpCalculation(state, Context(), view, type);
    }

    NumericType RunSetUp(const CoordinateSet& view, NumericType type) { return RunSetUpAsking(prompt, view, type); }

    // RunSetUp with another prompt.
    NumericType RunSetUpAsking(PrecisionPrompt& asked, const CoordinateSet& view, NumericType type) {
        return ::RunSetUp(state, SetUpContext{asked, fpuPresent}, view, ColoursOf(state), type);
    }

    static ColourParams ColoursOf(const CalcState& s) {
        return ColourParams{s.ColourCount,          s.PaletteShift,  s.ColourMode,
                            s.PomeSetColourEnabled, s.PomeSetColour, s.IterationsPerColour};
    }

    TestImage image;
    CalcState state;
    RecordingPrompt prompt;
    bool fpuPresent;
};

inline CoordinateSet Mandelbrot(long double realMin, long double realMax, long double imagMin, long double imagMax,
                                int32_t iterStart, int32_t iterInc, int32_t iterEnd) {
    CoordinateSet c;
    c.RealMin = realMin;
    c.RealMax = realMax;
    c.ImagMin = imagMin;
    c.ImagMax = imagMax;
    c.Formula = FormulaKind::MandelbrotSet;
    c.IterStart = iterStart;
    c.IterInc = iterInc;
    c.IterEnd = iterEnd;
    return c;
}

inline CoordinateSet StartRange() { return Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 64, 64, 256); }

// The limit of each pass, as the message loop sees it.
inline std::vector<int32_t> PassLimits(CalcState& state) {
    std::vector<int32_t> limits{state.CurrentLimit};
    for (int calls = 0; calls < 100000; ++calls) {
        int32_t row = -1;
        CalcNextRow(state, row);
        if (row >= 0) continue;
        if (!NextPass(state)) return limits;
        limits.push_back(state.CurrentLimit);
    }
    ADD_FAILURE() << "too many passes";
    return limits;
}

}  // namespace enginetest
