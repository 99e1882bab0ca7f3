#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <random>

#include "dialogs/CoordinateStoreLogic.h"
#include "dialogs/IniFileProfile.h"
#include "dialogs/NumberTextLogic.h"
#include "navigation/NavigationMath.h"
#include "tools/render/Render.h"
#ifdef QUAXEL_DEEP
#include <tuple>

#include "engine/DeepView.h"
#include "tools/render/DeepMovie.h"
#endif

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

    // The deep type's approximation: on at the engine's tolerance unless told.
    EXPECT_TRUE(o.approximation);
    EXPECT_EQ(o.tolerance, kBlaDefaultTolerance);
    ASSERT_TRUE(Parse("--approximation off --tolerance 2.5e-10 x.bmp", o, error)) << error;
    EXPECT_FALSE(o.approximation);
    EXPECT_EQ(o.tolerance, 2.5e-10);
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
        "--centre 0 0 a.bmp",            // no zoom
        "--zoom 1e5 a.bmp",              // no centre
        "--centre 0 0 --zoom 0 a.bmp",
        "--centre 0 0 --zoom -5 a.bmp",
        "--centre 0 0 --zoom 1e-99999 a.bmp",  // a zero zoom, however written
        "--centre 0 x --zoom 5 a.bmp",
        "--centre 0 0 --zoom 5 --real -1 0 --imag 0 1 a.bmp",  // two views
        "--centre 0 0 --zoom 5 --location l.txt a.bmp",
        "--centre 0 0 --zoom 5 --frames 3 --ini q.ini --zoom-to A f%d.bmp",  // two targets
        "--type deep --formula julia a.bmp",
        "--location l.txt --formula julia a.bmp",
        "--type deep --frames 3 f%d.bmp",
        "--approximation yes a.bmp",
        "--tolerance 0 a.bmp",
        "--tolerance 1 a.bmp",
        "--tolerance -1e-9 a.bmp",
        "--tolerance 1e-9x a.bmp",
    };
    for (const char* line : bad) {
        RenderOptions o;
        std::string error;
        EXPECT_FALSE(Parse(line, o, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

// The shorter side spans 4 / zoom around the centre; the longer one keeps
// the pixels square. Texts of any length are taken.
TEST(RenderOptions, CentreAndZoomGiveTheRanges) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--centre -0.75 0.1 --zoom 2 --size 5x3 a.bmp", o, error)) << error;
    EXPECT_EQ(o.realMin, -2.75L);
    EXPECT_EQ(o.realMax, 1.25L);
    const long double imag = ReadNumber("0.1").value;
    EXPECT_EQ(o.imagMin, imag - 1.0L);
    EXPECT_EQ(o.imagMax, imag + 1.0L);
    const std::string longText = "-1.7400623825793398541" + std::string(300, '7');
    ASSERT_TRUE(Parse("--centre " + longText + " 0.0281 --zoom 1e300 --size 40x30 a.bmp", o, error)) << error;
    EXPECT_EQ(o.centreRe, longText);
    EXPECT_EQ(o.zoom, "1e300");
    EXPECT_FALSE(o.realMin < o.realMax) << "extended cannot hold this view apart: only the deep type takes it";
    ASSERT_TRUE(Parse("--centre 0 0 --zoom 1e99999 --size 40x30 a.bmp", o, error)) << error;
    ASSERT_TRUE(Parse("--type deep --size 40x30 a.bmp", o, error)) << error;
    EXPECT_EQ(o.numericType, kDeepType);
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

// --- saved views -------------------------------------------------------------

fs::path WriteText(const std::string& name, const std::string& text) {
    const fs::path path = fs::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The file as the program's Save command writes it: CRLF lines, the store's
// texts in its order.
std::string SavedSection(const std::string& name, const CoordinateSet& set) {
    std::string text = "[" + name + "]\r\n";
    for (const KeyValueText& entry : CoordinateSetTexts(set)) text += std::string(entry.key) + "=" + entry.value + "\r\n";
    return text;
}

// Whatever the program saves, the renderer reads back as the program's Load
// reads it: every float is the value its stored text denotes, to the bit.
TEST(SavedViews, ReadBackWhatTheProgramSaves) {
    std::mt19937_64 random(16);
    std::string file;
    std::vector<CoordinateSet> sets;
    for (int i = 0; i < 200; ++i) {
        CoordinateSet set;
        std::uniform_real_distribution<double> plane(-2.5, 2.5);
        const long double width = std::ldexp(1.0L, -static_cast<int>(random() % 60));
        set.RealMin = plane(random);
        set.RealMax = set.RealMin + width;
        set.ImagMin = plane(random);
        set.ImagMax = set.ImagMin + width * 0.75L;
        set.ConstReal = plane(random) / 3;
        set.ConstImag = -plane(random) / 3;
        set.Formula = random() % 2 ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet;
        set.IterStart = static_cast<int32_t>(random() % 5000) + 1;
        set.IterInc = static_cast<int32_t>(random() % 500) + 1;
        set.IterEnd = static_cast<int32_t>(random() % 100000) + 1;
        sets.push_back(set);
        file += SavedSection("View " + std::to_string(i), set);
    }
    const fs::path ini = WriteText("quaxel-render-views.ini", file);

    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ListSavedViews(ini.string(), names, error)) << error;
    ASSERT_EQ(names.size(), sets.size());
    for (size_t i = 0; i < sets.size(); ++i) {
        EXPECT_EQ(names[i], "View " + std::to_string(i));
        CoordinateSet read;
        std::vector<std::string> warnings;
        ASSERT_TRUE(ReadSavedView(ini.string(), names[i], read, warnings, error)) << error;
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        const auto expect = [](long double saved) { return ReadNumber(CoordinateText(saved)).value; };
        EXPECT_EQ(read.RealMin, expect(sets[i].RealMin)) << i;
        EXPECT_EQ(read.RealMax, expect(sets[i].RealMax)) << i;
        EXPECT_EQ(read.ImagMin, expect(sets[i].ImagMin)) << i;
        EXPECT_EQ(read.ImagMax, expect(sets[i].ImagMax)) << i;
        EXPECT_EQ(read.ConstReal, expect(sets[i].ConstReal)) << i;
        EXPECT_EQ(read.ConstImag, expect(sets[i].ConstImag)) << i;
        EXPECT_EQ(read.Formula, sets[i].Formula);
        EXPECT_EQ(read.IterStart, sets[i].IterStart);
        EXPECT_EQ(read.IterInc, sets[i].IterInc);
        EXPECT_EQ(read.IterEnd, sets[i].IterEnd);
    }
    fs::remove(ini);
}

// The file is read the way the platform's profile functions read it: names
// without regard to case, the first section and key of a name, blanks around
// the "=", one pair of quotes; integers as far as their digits go, wrapping
// in 32 bits.
TEST(SavedViews, TheFileIsReadAsTheProfileFunctionsReadIt) {
    IniFileProfile profile(
        "; a comment\n[pome01]\n  realmin = -0.5  \nRealMin=7\nRealMax=\"0.25\"\nIterStart=  +300abc\n"
        "IterInc=-12\nIterEnd=4294967297\nFormula=\n[POME01]\nImagMin=9\n[Other]\r\nImagMin=-1\r\n");
    EXPECT_EQ(profile.SectionNames(), (std::vector<std::string>{"pome01", "POME01", "Other"}));
    EXPECT_EQ(profile.ReadString("POME01", "RealMin", "d"), "-0.5");
    EXPECT_EQ(profile.ReadString("POME01", "RealMax", "d"), "0.25");
    EXPECT_EQ(profile.ReadString("POME01", "ImagMin", "d"), "d");  // only the first [POME01] is looked into
    EXPECT_EQ(profile.ReadString("Other", "ImagMin", "d"), "-1");
    EXPECT_EQ(profile.ReadString("Missing", "ImagMin", "d"), "d");
    EXPECT_EQ(profile.ReadInt("POME01", "IterStart", 1), 300);
    EXPECT_EQ(profile.ReadInt("POME01", "IterInc", 1), -12);
    EXPECT_EQ(profile.ReadInt("POME01", "IterEnd", 1), 1);  // 2^32 + 1 wraps
    EXPECT_EQ(profile.ReadInt("POME01", "Formula", 5), 5);  // empty: the default
    EXPECT_FALSE(profile.WriteString("POME01", "RealMin", "0"));

    // Integer texts within range read as strtol reads their leading number.
    std::mt19937 random(7);
    const char alphabet[] = " +-0123456789x";
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (int n = static_cast<int>(random() % 9); n > 0; --n) text += alphabet[random() % (sizeof alphabet - 1)];
        IniFileProfile one("[s]\nk=" + text + "\n");
        const std::string value = one.ReadString("s", "k", "");
        const long expected = value.empty() ? -99 : std::strtol(value.c_str(), nullptr, 10);
        const bool strtolTakesSpaces = value.find_first_not_of(' ') != std::string::npos &&
                                       value[value.find_first_not_of(' ')] != ' ';
        if (strtolTakesSpaces) {
            EXPECT_EQ(one.ReadInt("s", "k", -99), expected) << '"' << text << '"';
        }
    }
}

// A missing file or view is an error naming what there is; a damaged value
// is read as the Load command reads it, with a warning naming key and text.
TEST(SavedViews, BadFilesAndNamesAreSaid) {
    CoordinateSet view;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_FALSE(ReadSavedView("/nonexistent/quaxel.ini", "A", view, warnings, error));
    EXPECT_NE(error.find("/nonexistent/quaxel.ini"), std::string::npos) << error;

    const fs::path ini = WriteText("quaxel-render-bad.ini",
                                   "[Good]\nRealMin=-1\n[Damaged]\nRealMin=-0.7e\nRealMax=nan\nImagMin=\n"
                                   "ImagMax=1.5\nConstReal=0\nConstImag=0\nIterStart=9x\nIterInc=64\nIterEnd=512\n"
                                   "Formula=1\n");
    EXPECT_FALSE(ReadSavedView(ini.string(), "Missing", view, warnings, error));
    EXPECT_NE(error.find("Good, Damaged"), std::string::npos) << error;

    ASSERT_TRUE(ReadSavedView(ini.string(), "damaged", view, warnings, error)) << error;
    EXPECT_EQ(view.RealMin, -2.0L);  // the key's default
    EXPECT_EQ(view.RealMax, 1.0L);
    EXPECT_EQ(view.ImagMin, 0.0L);  // empty reads as 0, no warning
    EXPECT_EQ(view.IterStart, 9);
    EXPECT_EQ(view.IterEnd, 512);
    EXPECT_EQ(view.Formula, FormulaKind::JuliaSet);
    std::string all;
    for (const std::string& w : warnings) all += w + "\n";
    EXPECT_EQ(warnings.size(), 3u) << all;
    EXPECT_NE(all.find("RealMin=\"-0.7e\""), std::string::npos) << all;
    EXPECT_NE(all.find("RealMax=\"nan\""), std::string::npos) << all;
    EXPECT_NE(all.find("IterStart=\"9x\""), std::string::npos) << all;
    fs::remove(ini);
}

// --- zoom movies ---------------------------------------------------------------

// Between its ends a movie zooms at a constant rate towards one fixed point:
// each frame's size is the previous one's times the same factor, and every
// frame's centre c satisfies c - p = (c0 - p) * size / size0.
TEST(ZoomMovie, FramesZoomGeometricallyAboutOnePoint) {
    CoordinateSet start;  // 4:3 like the target, so both axes shrink alike
    start.RealMin = -2.5;
    start.RealMax = 1.5;
    start.ImagMin = -1.5;
    start.ImagMax = 1.5;
    start.IterStart = 64;
    start.IterInc = 64;
    start.IterEnd = 256;
    CoordinateSet target = start;
    target.RealMin = -0.7436447860L;
    target.RealMax = -0.7436447860L + 3e-9L;
    target.ImagMin = 0.1318252536L;
    target.ImagMax = 0.1318252536L + 2.25e-9L;
    target.IterStart = 1000;
    target.IterInc = 250;
    target.IterEnd = 20000;
    constexpr int32_t kFrames = 41;

    const CoordinateSet first = MovieFrameView(start, target, 0, kFrames);
    const CoordinateSet last = MovieFrameView(start, target, kFrames - 1, kFrames);
    EXPECT_EQ(std::memcmp(&first.RealMin, &start.RealMin, 4 * sizeof(long double)), 0);
    EXPECT_EQ(std::memcmp(&last.RealMin, &target.RealMin, 4 * sizeof(long double)), 0);
    EXPECT_EQ(first.IterEnd, 256);
    EXPECT_EQ(last.IterEnd, 20000);

    const long double s0 = start.RealMax - start.RealMin, s1 = target.RealMax - target.RealMin;
    const long double ratio = std::pow(s1 / s0, 1.0L / (kFrames - 1));
    const long double k = s1 / s0;
    const long double px = ((target.RealMin + target.RealMax) / 2 - k * (start.RealMin + start.RealMax) / 2) / (1 - k);
    const long double py = ((target.ImagMin + target.ImagMax) / 2 - k * (start.ImagMin + start.ImagMax) / 2) / (1 - k);
    long double previous = s0;
    int32_t lastEnd = 0;
    for (int32_t f = 1; f < kFrames; ++f) {
        const CoordinateSet v = MovieFrameView(start, target, f, kFrames);
        const long double size = v.RealMax - v.RealMin;
        // The edges are stored, so a size or centre is exact only to a few
        // units of the edges' last place (2^-64 near 0.75) besides its own.
        const double slack = 1e-15 * static_cast<double>(size) + 4 * std::ldexp(1.0, -64);
        EXPECT_NEAR(static_cast<double>(size - previous * ratio), 0.0, slack) << f;
        EXPECT_NEAR(static_cast<double>((v.ImagMax - v.ImagMin) - 0.75L * size), 0.0, slack) << f;
        const long double cx = (v.RealMin + v.RealMax) / 2, cy = (v.ImagMin + v.ImagMax) / 2;
        const long double scale = size / s0;
        EXPECT_NEAR(static_cast<double>((cx - px) - (-0.5L - px) * scale), 0.0, slack) << f;
        EXPECT_NEAR(static_cast<double>((cy - py) - (0.0L - py) * scale), 0.0, slack) << f;
        // Iterations log-linear: the logarithm moves in equal steps (rounded).
        const double t = static_cast<double>(f) / (kFrames - 1);
        EXPECT_NEAR(v.IterEnd, std::exp(std::log(256.0) * (1 - t) + std::log(20000.0) * t), 0.5 + 1e-9) << f;
        EXPECT_GE(v.IterEnd, lastEnd);
        EXPECT_GE(v.IterEnd, v.IterStart);
        lastEnd = v.IterEnd;
        previous = size;
    }
}

TEST(ZoomMovie, FrameNamesFollowThePattern) {
    EXPECT_EQ(FrameFileName("frames/f%05d.png", 42), "frames/f00042.png");
    EXPECT_EQ(FrameFileName("f%d-%%.bmp", 7), "f7-%.bmp");
    EXPECT_EQ(FrameFileName("f%3d.png", 7), "f  7.png");
    EXPECT_TRUE(PatternIsValid("a/f%05d.png"));
    EXPECT_FALSE(PatternIsValid("f.png"));
    EXPECT_FALSE(PatternIsValid("f%d%d.png"));
    EXPECT_FALSE(PatternIsValid("f%s.png"));
    EXPECT_FALSE(PatternIsValid("f%123d.png"));

    RenderOptions o;
    std::string error;
    EXPECT_FALSE(Parse("--frames 0 f%d.png", o, error));
    EXPECT_FALSE(Parse("--frames 100001 f%d.png", o, error));
    EXPECT_FALSE(Parse("--frames 5 f.png", o, error));
    EXPECT_FALSE(Parse("--zoom-to A f%d.png", o, error));      // no --ini, no --frames
    EXPECT_FALSE(Parse("--ini q.ini --resume f.png", o, error));  // --resume without a movie
    EXPECT_TRUE(Parse("--frames 100000 --ini q.ini --zoom-to A --from B --resume f%d.png", o, error)) << error;
}

// N parts, each run on its own, make every frame of the movie exactly once,
// and each part's frames are spread over the whole zoom.
TEST(ZoomMovie, PartsMakeEveryFrameExactlyOnce) {
    for (int32_t frames : {1, 2, 6, 7, 13, 100}) {
        for (int32_t parts = 1; parts <= 7; ++parts) {
            std::vector<int> made(static_cast<size_t>(frames), 0);
            for (int32_t part = 0; part < parts; ++part) {
                const std::vector<int32_t> mine = PartFrames(frames, part, parts);
                for (size_t i = 0; i < mine.size(); ++i) {
                    ASSERT_GE(mine[i], 0);
                    ASSERT_LT(mine[i], frames);
                    ++made[static_cast<size_t>(mine[i])];
                    if (i > 0) {
                        EXPECT_EQ(mine[i] - mine[i - 1], parts);  // in order, interleaved
                    }
                }
                // No part is more than one frame longer than another.
                EXPECT_LE(static_cast<int32_t>(mine.size()), (frames + parts - 1) / parts);
                EXPECT_GE(static_cast<int32_t>(mine.size()), frames / parts);
            }
            for (int32_t f = 0; f < frames; ++f) EXPECT_EQ(made[static_cast<size_t>(f)], 1) << frames << " " << parts;
        }
    }

    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--frames 9 --part 2/3 f%d.png", o, error)) << error;
    EXPECT_EQ(o.part, 2);
    EXPECT_EQ(o.parts, 3);
    for (const char* bad : {"3/3", "4/3", "0/0", "1/0", "-1/3", "1", "1/", "/3", "a/3", "1/3x", "1/2/3",
                            "0/100001"}) {
        EXPECT_FALSE(Parse(std::string("--frames 9 --part ") + bad + " f%d.png", o, error)) << bad;
        EXPECT_NE(error.find("--part"), std::string::npos) << bad;
    }
    EXPECT_FALSE(Parse("--part 0/2 a.png", o, error));  // a single image has no parts
}

#ifdef QUAXEL_DEEP
// A movie to a centre and zoom past every hardware type, read back from the
// texts each frame hands on: the zoom grows by one factor frame after frame,
// the point start and target share under that zoom stays in place
// ((c - c1) / (c0 - c1) = (s - s1) / (s0 - s1) on both axes), each centre is
// as precise as its frame's own spacing needs, and the ends are the start
// range (all of it in the picture) and the target's texts.
TEST(ZoomMovie, DeepFramesZoomGeometricallyAboutOnePoint) {
    RenderOptions o;
    std::string error;
    const std::string re = "-1.7499576837060935036022145060706997072711267155573044";
    const std::string im = "-0.00000000000000000000000000000000013728606345";
    ASSERT_TRUE(Parse("--frames 31 --size 64x48 --iter 100 100 5000 --zoom 1e45 --centre " + re + " " + im +
                          " f%d.png", o, error)) << error;
    CoordinateSet start = OptionsView(o);
    SetStartRange(start);
    DeepMovie movie;
    ASSERT_TRUE(PlanDeepMovie(o, start, movie, error)) << error;
    EXPECT_EQ(movie.iterEnd, 5000);

    const mpfr_prec_t bits = 400;
    auto value = [&](const std::string& text) {
        BigFloat v(bits);
        EXPECT_TRUE(ReadLongNumber(text, "test", v, error)) << text;
        return v;
    };
    const DeepMovieFrame first = DeepMovieFrameAt(movie, 0), last = DeepMovieFrameAt(movie, 30);
    EXPECT_EQ(first.re + " " + first.im, "-5e-1 0");
    EXPECT_EQ(first.zoom.substr(0, 20), "1.333333333333333333");  // the height spans the range's 3
    EXPECT_EQ(last.re, re);
    EXPECT_EQ(last.zoom, "1e45");
    EXPECT_FALSE(first.deep);
    EXPECT_TRUE(last.deep);
    EXPECT_EQ(last.iterEnd, 5000);

    const BigFloat z0 = value(first.zoom), z1 = value(last.zoom);
    BigFloat step(bits), ratio(bits), share(bits), expected(bits), t(bits);
    mpfr_div(step.get(), z1.get(), z0.get(), MPFR_RNDN);
    mpfr_rootn_ui(step.get(), step.get(), 30, MPFR_RNDN);  // the factor from frame to frame
    BigFloat previous = z0;
    int32_t lastEnd = 0;
    for (int32_t f = 1; f < 30; ++f) {
        const DeepMovieFrame frame = DeepMovieFrameAt(movie, f);
        const BigFloat z = value(frame.zoom);
        mpfr_div(ratio.get(), z.get(), previous.get(), MPFR_RNDN);
        mpfr_div(ratio.get(), ratio.get(), step.get(), MPFR_RNDN);
        mpfr_sub_ui(ratio.get(), ratio.get(), 1, MPFR_RNDN);
        EXPECT_LT(std::fabs(mpfr_get_d(ratio.get(), MPFR_RNDN)), 1e-22) << f;
        previous = z;
        // share = (s - s1) / (s0 - s1) with s = 1 / z (the constant cancels).
        BigFloat s(bits), s0(bits), s1(bits);
        mpfr_ui_div(s.get(), 1, z.get(), MPFR_RNDN);
        mpfr_ui_div(s0.get(), 1, z0.get(), MPFR_RNDN);
        mpfr_ui_div(s1.get(), 1, z1.get(), MPFR_RNDN);
        mpfr_sub(share.get(), s.get(), s1.get(), MPFR_RNDN);
        mpfr_sub(t.get(), s0.get(), s1.get(), MPFR_RNDN);
        mpfr_div(share.get(), share.get(), t.get(), MPFR_RNDN);
        for (const auto& [c, c0, c1] : {std::tuple{frame.re, first.re, last.re}, std::tuple{frame.im, first.im, last.im}}) {
            // c - (c1 + (c0 - c1) share), measured in the frame's spacings: far below one.
            const BigFloat cv = value(c), c0v = value(c0), c1v = value(c1);
            mpfr_sub(expected.get(), c0v.get(), c1v.get(), MPFR_RNDN);
            mpfr_mul(expected.get(), expected.get(), share.get(), MPFR_RNDN);
            mpfr_add(expected.get(), expected.get(), c1v.get(), MPFR_RNDN);
            mpfr_sub(expected.get(), cv.get(), expected.get(), MPFR_RNDN);
            mpfr_div(expected.get(), expected.get(), s.get(), MPFR_RNDN);
            EXPECT_LT(std::fabs(mpfr_get_d(expected.get(), MPFR_RNDN)), 1e-6) << f << " " << c;
        }
        EXPECT_GE(frame.iterEnd, lastEnd);
        lastEnd = frame.iterEnd;
    }
}
#endif

// --- files ---------------------------------------------------------------------

// The PNG holds the BMP's pixels: an independent reader (ImageMagick) gives
// the same colours for every pixel, and the file is 8-bit indexed.
TEST(ImageFiles, PngHoldsTheBmpsColours) {
    if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ImageMagick";
    const fs::path bmp = fs::temp_directory_path() / "quaxel-render-same.bmp";
    const fs::path png = fs::temp_directory_path() / "quaxel-render-same.PNG";
    const fs::path rgb = fs::temp_directory_path() / "quaxel-render-same.rgb";
    RenderOptions o;
    std::string error;
    RenderResult result;
    ASSERT_TRUE(Parse("--real -0.8 -0.7 --imag 0.05 0.15 --size 203x97 --palette 4 --iter 50 50 400 " + bmp.string(), o,
                      error));
    ASSERT_TRUE(Render(o, result, error)) << error;
    o.output = png.string();
    ASSERT_TRUE(Render(o, result, error)) << error;
    ASSERT_EQ(std::system(("convert " + png.string() + " -depth 8 rgb:" + rgb.string()).c_str()), 0);

    const auto file = ReadFile(bmp);
    const auto pixels = ReadFile(rgb);
    const auto head = ReadFile(png);
    ASSERT_EQ(pixels.size(), 203u * 97u * 3u);
    ASSERT_GT(head.size(), 26u);
    EXPECT_EQ(head[24], 8);  // bit depth
    EXPECT_EQ(head[25], 3);  // colour type: indexed
    EXPECT_LT(head.size(), file.size());
    size_t differ = 0;
    for (int y = 0; y < 97; ++y)
        for (int x = 0; x < 203; ++x) {
            const uint8_t index = BmpPixel(file, 203, 97, x, y);
            const uint8_t* quad = &file[54 + 4 * index];
            const uint8_t* got = &pixels[3 * (static_cast<size_t>(y) * 203 + x)];
            differ += got[0] != quad[2] || got[1] != quad[1] || got[2] != quad[0];
        }
    EXPECT_EQ(differ, 0u);
    for (const fs::path& p : {bmp, png, rgb}) fs::remove(p);
}

// A poster beyond the memory is refused before anything is allocated, with
// its size and the memory it needs; the figure is never below what the
// Display dialog shows for the same image.
TEST(ImageFiles, PosterTooLargeForMemoryIsRefusedAtOnce) {
    for (int32_t side : {2, 400, 1024, 4095}) {
        for (int type = 0; type < 4; ++type) {
            const uint32_t shown = MemoryRequirement(side, side, static_cast<NumericType>(type));
            EXPECT_GE(CalculationBytes(side, side, static_cast<NumericType>(type)), shown) << side << " " << type;
        }
    }
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse("--size 65535x65535 --type extended never.png", o, error)) << error;
    RenderResult result;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(Render(o, result, error));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_NE(error.find("65535 x 65535"), std::string::npos) << error;
    EXPECT_NE(error.find(" MB of memory"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists("never.png"));
}

}  // namespace
