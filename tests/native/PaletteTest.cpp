#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "image/Palette.h"

namespace {

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

using Table = std::array<uint8_t, kColourTableBytes>;

// Entries are stored blue, green, red, reserved.
Rgb EntryOf(const Table& table, int index) {
    return {table[4 * index + 2], table[4 * index + 1], table[4 * index + 0]};
}

// The colour state a generation is working on, for the realiser below.
const ColourState* g_generating = nullptr;

class PaletteTest : public ::testing::Test {
protected:
    // A table full of a marker, so that untouched and cleared entries show.
    Table Generated(int32_t paletteNumber) {
        Table table;
        table.fill(0xCD);
        g_generating = &colours;
        GeneratePalette(colours, depth, table.data(), paletteNumber, realiser);
        g_generating = nullptr;
        return table;
    }

    ColourState colours;
    int32_t depth = 32;
    PaletteRealiser* realiser = nullptr;
};

// ---------------------------------------------------------------------------
// The rules, written out independently of the generator.

// Fire: four runs of 64 described by their end colours.
Rgb FireColour(int i) {
    const int run = i / 64, step = 4 * (i % 64);
    switch (run) {
    case 0: return {step, 0, 0};
    case 1: return {255, step, 0};
    case 2: return {255, 255, step};
    default: return {255 - step, 255 - step, 255 - step};
    }
}

// The hue circle by its corners. Between two corners only one channel
// changes; it follows the palette's rising or falling levels.
constexpr Rgb kCircleCorners[6] = {
    {0, 0, 255}, {255, 0, 255}, {255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {0, 255, 255},
};

template <typename Rise, typename Fall>
Rgb CircleColour(int i, int runLength, Rise rise, Fall fall) {
    const int run = i / runLength, k = i % runLength;
    const Rgb from = kCircleCorners[run], to = kCircleCorners[(run + 1) % 6];
    auto channel = [&](int a, int b) { return a == b ? a : (b > a ? rise(k) : fall(k)); };
    return {channel(from.red, to.red), channel(from.green, to.green), channel(from.blue, to.blue)};
}

// The colour functions by name: which channels carry the level.
enum class Fn { Blue, Red, Magenta, Green, Cyan, Yellow, Grey };

Rgb Colour(Fn fn, int v) {
    switch (fn) {
    case Fn::Blue: return {0, 0, v};
    case Fn::Red: return {v, 0, 0};
    case Fn::Magenta: return {v, 0, v};
    case Fn::Green: return {0, v, 0};
    case Fn::Cyan: return {0, v, v};
    case Fn::Yellow: return {v, v, 0};
    default: return {v, v, v};
    }
}

constexpr Fn kScales[7] = {Fn::Blue, Fn::Red, Fn::Magenta, Fn::Green, Fn::Cyan, Fn::Yellow, Fn::Grey};
constexpr Fn kSawTeeth[7] = {Fn::Blue, Fn::Green, Fn::Cyan, Fn::Red, Fn::Magenta, Fn::Yellow, Fn::Grey};

constexpr Rgb kVga[16] = {
    {0, 0, 128},   {0, 0, 255},   {128, 0, 0},   {255, 0, 0},   {128, 0, 128},   {255, 0, 255},
    {0, 128, 0},   {0, 255, 0},   {0, 128, 128}, {0, 255, 255}, {128, 128, 0},   {255, 255, 0},
    {0, 0, 0},     {128, 128, 128}, {192, 192, 192}, {255, 255, 255},
};

// Expected colours of palette n, one per entry below its colour count.
std::vector<Rgb> ExpectedPalette(int n) {
    std::vector<Rgb> colours;
    auto scales = [&](int runLength, auto level) {
        for (Fn fn : kScales)
            for (int k = 0; k < runLength; ++k) colours.push_back(Colour(fn, level(k)));
    };
    auto sawTooth = [&](int half, auto level) {
        for (Fn fn : kSawTeeth) {
            for (int k = 0; k < half; ++k) colours.push_back(Colour(fn, level(k)));
            for (int k = 0; k < half; ++k) colours.push_back(Colour(fn, 255 - level(k)));
        }
    };
    switch (n) {
    case 1:
        for (int i = 0; i < 256; ++i) colours.push_back(FireColour(i));
        break;
    case 2:
        for (int i = 0; i < 30; ++i)
            colours.push_back(CircleColour(i, 5, [](int k) { return 51 * k; }, [](int k) { return 255 - 51 * k; }));
        break;
    case 3:
        for (int i = 0; i < 210; ++i) {
            auto u = [](int k) { return 255 * k / 34; };
            colours.push_back(CircleColour(i, 35, u, [&](int k) { return 255 - u(k); }));
        }
        break;
    case 4:
        for (int i = 0; i < 252; ++i)
            colours.push_back(CircleColour(i, 42, [](int k) { return 6 * k + 3; }, [](int k) { return 255 - 6 * k; }));
        break;
    case 5: {
        const int levels[8] = {0, 36, 72, 109, 145, 182, 218, 255};
        scales(8, [&](int k) { return levels[k]; });
        break;
    }
    case 6: scales(16, [](int k) { return 17 * k; }); break;
    case 7: scales(36, [](int k) { return 255 * k / 35; }); break;
    case 8: {
        const int levels[4] = {0, 63, 127, 191};
        sawTooth(4, [&](int k) { return levels[k]; });
        break;
    }
    case 9: sawTooth(18, [](int k) { return 255 * k / 18; }); break;
    case 10: colours = {{0, 0, 0}, {255, 255, 255}}; break;
    case 11: colours.assign(std::begin(kVga), std::end(kVga)); break;
    }
    return colours;
}

constexpr int kColourCounts[12] = {0, 256, 30, 210, 252, 56, 112, 252, 56, 252, 2, 16};

// ---------------------------------------------------------------------------

TEST_F(PaletteTest, DefaultsAtStart) {
    colours.PaletteNumber = 7;
    colours.PaletteShift = 3;
    colours.ColourMode = true;
    colours.PomeSetColourEnabled = true;
    colours.PomeSetColour = 9;
    colours.IterationsPerColour = 4;
    colours = ColourState{};
    EXPECT_EQ(colours.PaletteNumber, 1);
    EXPECT_EQ(colours.PaletteCount, 11);
    EXPECT_EQ(colours.PaletteShift, 0);
    EXPECT_FALSE(colours.ColourMode);
    EXPECT_FALSE(colours.PomeSetColourEnabled);
    EXPECT_EQ(colours.PomeSetColour, 0);
    EXPECT_EQ(colours.IterationsPerColour, 1);
}

TEST_F(PaletteTest, EveryPaletteHasItsColourCountAndRuleColours) {
    for (int n = 1; n <= 11; ++n) {
        SCOPED_TRACE(testing::Message() << "palette " << n);
        const Table table = Generated(n);
        EXPECT_EQ(colours.ColourCount, kColourCounts[n]);
        const std::vector<Rgb> expected = ExpectedPalette(n);
        ASSERT_EQ(static_cast<int>(expected.size()), kColourCounts[n]);
        for (int i = 0; i < kColourCounts[n]; ++i) {
            EXPECT_EQ(EntryOf(table, i), expected[i]) << "entry " << i;
            EXPECT_EQ(table[4 * i + 3], 0) << "reserved byte of entry " << i;
        }
        // Beyond the colour count the table is cleared, reserved bytes too.
        for (size_t b = 4 * kColourCounts[n]; b < kColourTableBytes; ++b) ASSERT_EQ(table[b], 0) << "byte " << b;
    }
}

TEST_F(PaletteTest, SpotColours) {
    Table t = Generated(1);
    EXPECT_EQ(EntryOf(t, 255), (Rgb{3, 3, 3}));
    EXPECT_EQ(EntryOf(t, 63), (Rgb{252, 0, 0}));
    EXPECT_EQ(EntryOf(t, 64), (Rgb{255, 0, 0}));

    t = Generated(2);
    EXPECT_EQ(EntryOf(t, 5), (Rgb{255, 0, 255}));
    EXPECT_EQ(EntryOf(t, 10), (Rgb{255, 0, 0}));

    t = Generated(3);
    EXPECT_EQ(EntryOf(t, 34), (Rgb{255, 0, 255}));
    EXPECT_EQ(EntryOf(t, 35), (Rgb{255, 0, 255}));
    EXPECT_EQ(EntryOf(t, 36), (Rgb{255, 0, 248}));
    EXPECT_EQ(EntryOf(t, 0), (Rgb{0, 0, 255}));
    EXPECT_EQ(EntryOf(t, 209), (Rgb{0, 0, 255}));

    t = Generated(4);
    EXPECT_EQ(EntryOf(t, 0), (Rgb{3, 0, 255}));
    EXPECT_EQ(EntryOf(t, 83), (Rgb{255, 0, 9}));  // a falling run ends at 9
    EXPECT_EQ(EntryOf(t, 251), (Rgb{0, 9, 255}));

    t = Generated(5);
    EXPECT_EQ(EntryOf(t, 17), (Rgb{36, 0, 36}));

    t = Generated(8);
    EXPECT_EQ(EntryOf(t, 17), (Rgb{0, 63, 63}));
    EXPECT_EQ(EntryOf(t, 5), (Rgb{0, 0, 192}));

    t = Generated(9);
    EXPECT_EQ(EntryOf(t, 35), (Rgb{0, 0, 15}));  // saw tooth (252) falls to 15
}

TEST_F(PaletteTest, CircleRunsMeetAtTheirCorners) {
    // Circle (30) and (252) step towards the next corner without reaching
    // it; Circle (210) repeats each corner at the seam.
    const Table small = Generated(2);
    const Table mid = Generated(3);
    for (int run = 0; run < 6; ++run) {
        EXPECT_EQ(EntryOf(small, 5 * run), kCircleCorners[run]);
        EXPECT_EQ(EntryOf(mid, 35 * run), kCircleCorners[run]);
        EXPECT_EQ(EntryOf(mid, 35 * run + 34), kCircleCorners[(run + 1) % 6]);
    }
}

TEST_F(PaletteTest, GenerationResetsShiftAndSetsPaletteCount) {
    for (int n : {1, 4, 11, 0, 12, -3}) {
        colours.PaletteShift = 17;
        colours.PaletteCount = 3;
        Generated(n);
        EXPECT_EQ(colours.PaletteShift, 0) << "palette " << n;
        EXPECT_EQ(colours.PaletteCount, 11) << "palette " << n;
    }
}

TEST_F(PaletteTest, UnknownPaletteNumberWritesNothingAndKeepsTheCount) {
    Generated(2);
    ASSERT_EQ(colours.ColourCount, 30);
    for (int n : {0, 12, -1, 1000}) {
        const Table table = Generated(n);
        for (size_t b = 0; b < kColourTableBytes; ++b) ASSERT_EQ(table[b], 0xCD) << "palette " << n << " byte " << b;
        EXPECT_EQ(colours.ColourCount, 30);
    }
}

TEST_F(PaletteTest, PomeSetColourIsClampedBelowTheColourCount) {
    colours.PomeSetColour = 200;
    Generated(11);
    EXPECT_EQ(colours.PomeSetColour, 15);
    Generated(1);  // a larger palette does not bring it back
    EXPECT_EQ(colours.PomeSetColour, 15);

    colours.PomeSetColour = 255;
    Generated(1);
    EXPECT_EQ(colours.PomeSetColour, 255);
    colours.PomeSetColour = 256;
    Generated(1);
    EXPECT_EQ(colours.PomeSetColour, 255);
    colours.PomeSetColour = 2;
    Generated(10);
    EXPECT_EQ(colours.PomeSetColour, 1);
    colours.PomeSetColour = 1;
    Generated(10);
    EXPECT_EQ(colours.PomeSetColour, 1);
}

TEST_F(PaletteTest, NoColourCountYetLeavesPomeSetColourAlone) {
    colours.PomeSetColour = 5;
    Generated(0);
    EXPECT_EQ(colours.ColourCount, 0);
    EXPECT_EQ(colours.PomeSetColour, 5);
}

// ---------------------------------------------------------------------------
// Realisation, with a fake in place of the logical palette.

struct RealiserCall {
    Table table;
    int32_t colourCount;
    int32_t stateColourCount;
    int32_t stateShift;
    int32_t statePaletteCount;
};
std::vector<RealiserCall> g_calls;

struct FakeRealiser final : PaletteRealiser {
    void Realise(const uint8_t colourTable[kColourTableBytes], int32_t colourCount) override {
        RealiserCall call;
        std::copy(colourTable, colourTable + kColourTableBytes, call.table.begin());
        call.colourCount = colourCount;
        call.stateColourCount = g_generating->ColourCount;
        call.stateShift = g_generating->PaletteShift;
        call.statePaletteCount = g_generating->PaletteCount;
        g_calls.push_back(call);
    }
};

class PaletteRealisationTest : public PaletteTest {
protected:
    void SetUp() override {
        PaletteTest::SetUp();
        g_calls.clear();
        realiser = &fake;
    }
    FakeRealiser fake;
};

TEST_F(PaletteRealisationTest, OnlyEightBitScreensGetALogicalPalette) {
    for (int32_t other : {1, 4, 15, 16, 24, 32, 0}) {
        depth = other;
        for (int n = 1; n <= 11; ++n) Generated(n);
        EXPECT_TRUE(g_calls.empty()) << "depth " << depth;
    }
}

TEST_F(PaletteRealisationTest, EveryGenerationRealisesTheNewTableWithItsCount) {
    depth = 8;
    for (int n = 1; n <= 11; ++n) {
        colours.PaletteShift = 5;
        colours.PaletteCount = 0;
        const Table table = Generated(n);
        ASSERT_EQ(g_calls.size(), static_cast<size_t>(n));
        const RealiserCall& call = g_calls.back();
        EXPECT_EQ(call.colourCount, kColourCounts[n]) << "palette " << n;
        EXPECT_EQ(call.stateColourCount, kColourCounts[n]);
        EXPECT_EQ(call.stateShift, 0);          // reset before realising
        EXPECT_EQ(call.statePaletteCount, 11);  // set before realising
        EXPECT_EQ(call.table, table);
    }
}

}  // namespace
