// The deep calculation against the oracle, about fifty pixels a view: the
// affordable share of the full agreement run (tools/oracle/agree.cpp,
// docs/deepzoom.md) that every test run repeats. With so few pixels the
// allowed share of one in a thousand means none may differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/DeepView.h"
#include "engine/DeepZoom.h"
#include "engine/PomeClc.h"
#include "tools/oracle/Oracle.h"

#if __has_include("engine/Location.h")
#include "engine/Location.h"
#define QUAXEL_AGREEMENT_LOCATIONS 1
#endif

namespace {

// A boundary point at every depth: the Misiurewicz point where z_3 = -z_2
// (0, c, c^2 + c, then the repelling fixed point for ever), found by
// Newton's method at 340 digits and given to 310. Around it the set repeats
// itself, so each zoom down to 1e300 shows boundary, its counts growing
// with the depth.
const char kMisiurewiczRe[] =
    "-0.2281554936539618192145720140991260067373983511745080323795979810844156630360130667574210427119704"
    "3726893958538681646990536062176833892949423854539054735363850360915142120852478891495524071829464980"
    "7399935999858816761369110006545501557947692511511536456576015194010539909276935504325707203927345237"
    "9232586677021";
const char kMisiurewiczIm[] =
    "1.11514250803993735974576463631501406818877809046795460362746803348104090929463551685725720068747652"
    "2887210032245103332467408949081745718845259984253013988800378961149845153818713558226744792671019403"
    "9382369014758821696953203973909890684815787539535821338393961954872257624275390143693700667406156058"
    "05124236847";

constexpr int32_t kPixels = 50;
constexpr int kThreads = 2;
// Oracle steps a view may cost (each pixel is iterated at least twice, the
// second time to confirm the first): views with higher limits get fewer
// pixels, so that the suite stays within about a minute.
constexpr int64_t kOracleStepBudget = 3'000'000;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Every pixel's count with and without the approximation, the second
// held to the oracle and the first to the oracle's counts as that gave
// them (one oracle run for both).
void ExpectAgreement(const std::string& name, const DeepView& view, int32_t limit, int32_t mostPixels = kPixels) {
    SCOPED_TRACE(name);
    std::string error;
    DeepCalculation calculations[2];
    double deepSeconds[2] = {0.0, 0.0};
    for (int k = 0; k < 2; ++k) {
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(calculations[k].SetUp(view, limit, limit, limit, nullptr, ColourParams{}, error)) << error;
        calculations[k].Approximate(DeepApproximation{k == 1, kBlaDefaultTolerance});
        calculations[k].CalculateToEnd();
        deepSeconds[k] = SecondsSince(started);
    }
    const DeepCalculation& plain = calculations[0];
    const DeepCalculation& approximated = calculations[1];

    const int32_t pixels = static_cast<int32_t>(std::clamp<int64_t>(kOracleStepBudget / limit, 10, mostPixels));
    const std::vector<OraclePixel> sample = SampleOraclePixels(view.Width(), view.Height(), pixels, 1);
    const OracleAgreement agreement = CompareWithOracle(
        view, limit, sample, [&](int32_t x, int32_t y) { return approximated.EscapeCountAt(x, y); }, kThreads);
    std::printf("%s: %d pixels (%s), limit %d, %ld bits (oracle up to %d): deep %.2f s, approximated %.2f s "
                "(%lld of %lld steps by entries), oracle %.2f s\n",
                name.c_str(), agreement.compared, agreement.CountRange().c_str(), limit,
                static_cast<long>(view.precision), agreement.highestPrecision, deepSeconds[0], deepSeconds[1],
                static_cast<long long>(approximated.Statistics().tableSteps),
                static_cast<long long>(approximated.Statistics().steps), agreement.seconds);
    for (const OracleDifference& d : agreement.differences)
        ADD_FAILURE() << "approximated, pixel " << d.x << ", " << d.y << ": deep " << d.count << ", oracle "
                      << d.oracle << " (at " << d.precision << " bits)";
    size_t next = 0;
    for (const OraclePixel& p : sample) {
        int32_t oracle = approximated.EscapeCountAt(p.x, p.y);
        if (next < agreement.differences.size() && agreement.differences[next].x == p.x &&
            agreement.differences[next].y == p.y)
            oracle = agreement.differences[next++].oracle;
        EXPECT_EQ(plain.EscapeCountAt(p.x, p.y), oracle) << "every step, pixel " << p.x << ", " << p.y;
    }
}

void ExpectAgreementAround(const char* zoom, int32_t limit) {
    DeepView view;
    std::string error;
    ASSERT_TRUE(DeepViewFromCentre(kMisiurewiczRe, kMisiurewiczIm, zoom, 64, 48, view, error)) << error;
    ExpectAgreement(std::string("zoom ") + zoom, view, limit);
}

}  // namespace

TEST(DeepAgreement, BoundaryPointAtZoom1e20) {
    ExpectAgreementAround("1e20", 1000);
}

TEST(DeepAgreement, BoundaryPointAtZoom1e50) {
    ExpectAgreementAround("1e50", 2000);
}

// Near the smallest spacing the deep type takes, where the offsets' squares
// come closest to leaving the normal doubles.
TEST(DeepAgreement, BoundaryPointAtZoom1e280) {
    ExpectAgreementAround("1e280", 4000);
}

// Below double's range, around c = i (the orbit 0, i, -1 + i, -i, -1 + i,
// ... lands on a repelling cycle, so the set has boundary at every depth and
// the centre is exact at any precision): in the rescaled double to the
// bottom of its range, in 80-bit differences, then in the wide exponent,
// past x87's own exponents. Fewer pixels where the oracle's
// steps cost more at thousands of bits (the full run, docs/deepzoom.md,
// goes past 1e5000).
void ExpectAgreementAroundI(const char* zoom, int32_t limit, DeepDifference expected, int32_t pixels) {
    DeepView view;
    std::string error;
    ASSERT_TRUE(DeepViewFromCentre("0", "1", zoom, 24, 16, view, error)) << error;
    EXPECT_EQ(view.difference, expected);
    ExpectAgreement(std::string("c = i, zoom ") + zoom, view, limit, pixels);
}

TEST(DeepAgreement, BelowDoublesInEachDifferenceNumber) {
    ExpectAgreementAroundI("1e400", 2000, DeepDifference::Scaled, kPixels);
    ExpectAgreementAroundI("1e600", 3000, DeepDifference::Scaled, kPixels);
    ExpectAgreementAroundI("1e700", 3000, DeepDifference::Extended, 25);
    ExpectAgreementAroundI("1e2000", 7000, DeepDifference::Extended, 12);
    ExpectAgreementAroundI("1e2500", 9000, DeepDifference::Wide, 12);
}

// Every published location in the test data, at its own iteration limit.
TEST(DeepAgreement, PublishedLocations) {
#ifndef QUAXEL_AGREEMENT_LOCATIONS
    GTEST_SKIP() << "no location reader in this build";
#else
    const std::filesystem::path folder(QUAXEL_LOCATIONS_DIR);
    std::error_code code;
    if (!std::filesystem::is_directory(folder, code)) GTEST_SKIP() << "no published locations in " << folder;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, code)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind("README", 0) != 0 && name[0] != '.') files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    // The folder may hold files for the readers' own suites too (other
    // formats, texts they refuse) and locations too shallow or too deep for
    // the deep type: those are named and passed over.
    int checked = 0;
    for (const std::filesystem::path& file : files) {
        Location location;
        DeepView view;
        std::string error;
        if (!ReadLocationFile(file.string(), location, error) ||
            !DeepViewFromCentre(location.re, location.im, location.zoom, 48, 32, view, error)) {
            std::printf("%s: passed over (%s)\n", file.filename().string().c_str(), error.c_str());
            continue;
        }
        // The oracle's steps at tens of thousands of bits (e10000) would
        // take the suite a quarter of an hour: the full agreement run
        // (docs/deepzoom.md) covers those.
        constexpr mpfr_prec_t kSuitePrecision = 8192;
        if (view.precision > kSuitePrecision) {
            std::printf("%s: passed over (%ld bits: the full agreement run covers it)\n",
                        file.filename().string().c_str(), static_cast<long>(view.precision));
            continue;
        }
        // Limits of millions (the glitch tests) would take the suite minutes:
        // they are cut to Flake's, which the full agreement run lifts.
        constexpr int32_t kSuiteLimit = 60000;
        const int32_t limit = location.iterations > 0 ? static_cast<int32_t>(std::min<int64_t>(location.iterations, kSuiteLimit))
                                                      : 10000;
        ExpectAgreement(file.parent_path().filename().string() + "/" + file.filename().string(), view, limit);
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no deep location in " << folder;
#endif
}
