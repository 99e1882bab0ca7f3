#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dialogs/NumberTextLogic.h"
#include "tools/render/Render.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    for (char c : line) {
        if (c == ' ') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

bool Parse(const std::string& line, RenderOptions& options, std::string& error) {
    options = RenderOptions{};
    return ParseRenderOptions(Split(line), options, error);
}

TEST(RenderOptions, DefaultsAreTheProgramsStartState) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("out.bmp", o, error)) << error;
    EXPECT_EQ(o.realMin, -2.0L);
    EXPECT_EQ(o.realMax, 1.0L);
    EXPECT_EQ(o.imagMin, -1.5L);
    EXPECT_EQ(o.imagMax, 1.5L);
    EXPECT_EQ(o.iterStart, 64);
    EXPECT_EQ(o.iterInc, 64);
    EXPECT_EQ(o.iterEnd, 256);
    EXPECT_EQ(o.width, 400);
    EXPECT_EQ(o.height, 300);
    EXPECT_EQ(o.palette, 1);
    EXPECT_EQ(o.output, "out.bmp");

    // A Julia set without a range starts in the Julia start range.
    ASSERT_TRUE(Parse("--formula julia --const -0.8 0.156 j.bmp", o, error)) << error;
    EXPECT_TRUE(o.julia);
    EXPECT_EQ(o.realMin, -1.5L);
    EXPECT_EQ(o.realMax, 1.5L);
    EXPECT_EQ(o.constReal, -0.8L);
    EXPECT_EQ(o.constImag, 0.156L);
}

TEST(RenderOptions, ReadsEveryOption) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--real -0.75 -0.74 --imag 0.1 0.11 --iter 32 16 4096 --type extended --size 640x480 "
                      "--palette 4 --mode percentage --shift 7 --inside 3 --per-colour 5 x.bmp",
                      o, error))
        << error;
    EXPECT_EQ(o.realMin, -0.75L);
    EXPECT_EQ(o.imagMax, 0.11L);
    EXPECT_EQ(o.iterInc, 16);
    EXPECT_EQ(o.iterEnd, 4096);
    EXPECT_EQ(o.numericType, 3);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.palette, 4);
    EXPECT_TRUE(o.percentage);
    EXPECT_EQ(o.shift, 7);
    EXPECT_TRUE(o.insideColourEnabled);
    EXPECT_EQ(o.insideColour, 3);
    EXPECT_EQ(o.iterationsPerColour, 5);
}

// The numbers are read as the Range dialog reads its fields: the same
// values, bit for bit, for every form it takes.
TEST(RenderOptions, NumbersAreReadAsTheRangeDialogReadsThem) {
    for (const char* text : {"1e-4940", "-.5", "5.", "+2E+1", "  -1.5", "0.1000000000000000000000001",
                             "1.18973149535723176E+4932", "-0"}) {
        RenderOptions o;
        std::string error;
        ASSERT_TRUE(ParseRenderOptions({"--const", text, text, "a.bmp"}, o, error)) << text << ": " << error;
        const NumberReading reading = ReadNumber(text);
        ASSERT_EQ(reading.syntax, NumberSyntax::Valid) << text;
        EXPECT_EQ(std::memcmp(&o.constReal, &reading.value, 10), 0) << text;
        EXPECT_EQ(std::signbit(o.constImag), std::signbit(reading.value)) << text;
    }
}

TEST(RenderOptions, RefusesBadArgumentsWithAReason) {
    const char* bad[] = {
        "",                              // no output
        "a.bmp b.bmp",                   // two outputs
        "--size 1x300 a.bmp",            // below 2
        "--size 400 a.bmp",              // no height
        "--size 400x300x2 a.bmp",
        "--palette 12 a.bmp",
        "--palette 0 a.bmp",
        "--type quad a.bmp",
        "--iter 64 0 256 a.bmp",         // no increment
        "--iter 64 64 a.bmp",            // too few values
        "--real 1 0 --imag 0 1 a.bmp",   // empty range
        "--real -2 1 a.bmp",             // --imag missing
        "--real -2 nan --imag 0 1 a.bmp",
        "--real -2 1e99999 --imag 0 1 a.bmp",
        "--real -2 0x1p0 --imag 0 1 a.bmp",  // the Range dialog takes no hex floats,
        "--real -2 1 --imag inf 1 a.bmp",    // nor infinities,
        "--const 0.5, 0 a.bmp",              // nor a comma
        "--shift -1 a.bmp",
        "--formula newton a.bmp",
        "--per-colour 0 a.bmp",
        "--frobnicate a.bmp",
        "a.bmp --inside",                // value missing at the end
    };
    for (const char* line : bad) {
        RenderOptions o;
        std::string error;
        EXPECT_FALSE(Parse(line, o, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Index of image pixel (x, y) in a bottom-up 8-bit BMP file.
uint8_t BmpPixel(const std::vector<uint8_t>& file, int width, int height, int x, int y) {
    const int stride = (width + 3) / 4 * 4;
    return file.at(1078 + static_cast<size_t>(height - 1 - y) * stride + x);
}

class RenderStartImage : public ::testing::TestWithParam<int> {};

TEST_P(RenderStartImage, RendersInEveryNumericType) {
    const int type = GetParam();
    const fs::path out = fs::temp_directory_path() / ("quaxel-render-" + std::to_string(type) + ".bmp");
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--type " + std::string(type == 0 ? "fixed" : type == 1 ? "single" : type == 2 ? "double" : "extended") +
                          " " + out.string(),
                      o, error));

    RenderResult result;
    ASSERT_TRUE(Render(o, result, error)) << error;
    EXPECT_EQ(static_cast<int>(result.numericType), type);
    EXPECT_EQ(result.passes, 4);  // limits 64, 128, 192, 256
    EXPECT_TRUE(result.notes.empty()) << result.notes;

    // The corner (-2, 1.5) lies outside radius 2: it escapes at the first step
    // (count 1), or at once in CPU Fixed, which starts one step later.
    const int cornerCount = type == 0 ? 0 : 1;
    EXPECT_EQ(result.stats.min, cornerCount);
    EXPECT_EQ(result.stats.topLeft, cornerCount);
    EXPECT_GT(result.stats.max, 100);
    EXPECT_LT(result.stats.max, 256);

    const auto file = ReadFile(out);
    ASSERT_EQ(file.size(), 121078u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    // Fire: index n is (4n, 0, 0) for small n, stored blue, green, red.
    EXPECT_EQ(file[54 + 4 * 1 + 2], 4);
    // Pixel colours: the corner has index = its count; (-0.25, ~0) lies in the
    // main cardioid and is still inside at 256, so 256 mod 256 = 0.
    EXPECT_EQ(BmpPixel(file, 400, 300, 0, 0), cornerCount);
    EXPECT_EQ(BmpPixel(file, 400, 300, 233, 150), 0);
    fs::remove(out);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, RenderStartImage, ::testing::Values(0, 1, 2, 3));

TEST(Render, JuliaInCpuFixedComesOutAsFpuSingle) {
    const fs::path out = fs::temp_directory_path() / "quaxel-render-julia.bmp";
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--formula julia --const -0.8 0.156 --type fixed --size 80x60 " + out.string(), o, error));
    RenderResult result;
    ASSERT_TRUE(Render(o, result, error)) << error;
    EXPECT_EQ(result.numericType, NumericType::FpuSingle);
    EXPECT_EQ(fs::file_size(out), 1078u + 80u * 60u);
    fs::remove(out);
}

TEST(Render, DeepZoomFallsBackToAMorePreciseType) {
    const fs::path out = fs::temp_directory_path() / "quaxel-render-deep.bmp";
    RenderOptions o;
    std::string error;
    // A step of 1e-10 is beyond FPU Single near -0.75: with a floating-point
    // processor the set-up moves on to FPU Double without asking.
    ASSERT_TRUE(Parse("--real -0.75 -0.74999999 --imag 0.1 0.10000001 --size 100x100 " + out.string(), o, error));
    RenderResult result;
    ASSERT_TRUE(Render(o, result, error)) << error;
    EXPECT_EQ(result.numericType, NumericType::FpuDouble);
    fs::remove(out);
}

TEST(Render, UnwritableOutputIsAnError) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--size 8x8 /nonexistent-folder/x.bmp", o, error));
    RenderResult result;
    EXPECT_FALSE(Render(o, result, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

TEST(Render, ShiftBeyondThePaletteIsRefused) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--palette 10 --shift 2 --size 8x8 x.bmp", o, error));
    RenderResult result;
    EXPECT_FALSE(Render(o, result, error));
    EXPECT_NE(error.find("--shift"), std::string::npos) << error;
}

}  // namespace
