// quaxel-oracle-agree: holds the deep type's counts against direct MPFR
// iteration. For each view given it computes the whole view with the deep
// calculation, draws pixels uniformly with a fixed seed, counts each of them
// with the oracle and lists every pixel where the two differ.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/DeepView.h"
#include "engine/DeepZoom.h"
#include "engine/PomeClc.h"
#include "tools/oracle/Oracle.h"

#if __has_include("engine/Location.h")
#include "engine/Location.h"
#define QUAXEL_ORACLE_LOCATIONS 1
#endif

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] =
    "usage: quaxel-oracle-agree [options] (--centre RE IM --zoom Z | --location FILE)...\n"
    "  --centre RE IM   the view's centre, decimal texts of any length\n"
    "  --zoom Z         the shorter side spans 4 / Z\n"
    "  --location FILE  a location file (its centre, zoom and iterations); may be repeated\n"
    "  --iter N         iteration limit (required unless the location gives one; overrides it)\n"
    "  --size WxH       pixels of each view (default 640x360)\n"
    "  --pixels K       pixels drawn per view (default 3000)\n"
    "  --seed S         seed of the draw (default 1)\n"
    "  --threads T      threads of the oracle (default: every processor)\n"
    "  --approximation on|off  the deep calculation's bilinear approximation (default on)\n"
    "  --tolerance T    its tolerance (default 2^-40)\n"
    "Exit status 0 when every view passes (at most 0.1 % of its pixels differ), 1 otherwise.\n";

struct ViewRequest {
    std::string name;  // as listed in the report
    std::string re, im, zoom;
    int64_t iterations = -1;
};

struct Options {
    std::vector<ViewRequest> views;
    int64_t iterations = -1;
    int32_t width = 640;
    int32_t height = 360;
    int32_t pixels = 3000;
    uint64_t seed = 1;
    int threads = 0;
    DeepApproximation approximation{true, kBlaDefaultTolerance};
};

int Usage(const std::string& error) {
    std::fprintf(stderr, "quaxel-oracle-agree: %s\n%s", error.c_str(), kUsageText);
    return kUsage;
}

bool ReadInteger(const char* text, int64_t low, int64_t high, int64_t& value) {
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
    std::string pendingRe, pendingIm, pendingZoom;
    const auto needs = [&](int i, int count) {
        if (i + count < argc) return true;
        error = std::string(argv[i]) + " needs " + std::to_string(count) + " value(s)";
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        int64_t value = 0;
        if (arg == "--centre") {
            if (!needs(i, 2)) return false;
            pendingRe = argv[++i];
            pendingIm = argv[++i];
        } else if (arg == "--zoom") {
            if (!needs(i, 1)) return false;
            pendingZoom = argv[++i];
        } else if (arg == "--location") {
            if (!needs(i, 1)) return false;
#ifdef QUAXEL_ORACLE_LOCATIONS
            Location location;
            if (!ReadLocationFile(argv[++i], location, error)) {
                error = std::string(argv[i]) + ": " + error;
                return false;
            }
            o.views.push_back({argv[i], location.re, location.im, location.zoom, location.iterations});
#else
            error = "--location: this build reads no location files yet";
            return false;
#endif
        } else if (arg == "--iter") {
            if (!needs(i, 1) || !ReadInteger(argv[++i], 1, NotEscaped - 1, value)) {
                if (error.empty()) error = "--iter takes a whole number from 1 to 2147483646";
                return false;
            }
            o.iterations = value;
        } else if (arg == "--size") {
            if (!needs(i, 1)) return false;
            const std::string size = argv[++i];
            const size_t cross = size.find('x');
            int64_t w = 0, h = 0;
            if (cross == std::string::npos || !ReadInteger(size.substr(0, cross).c_str(), 2, 100000, w) ||
                !ReadInteger(size.substr(cross + 1).c_str(), 2, 100000, h)) {
                error = "--size takes WxH, each from 2 to 100000";
                return false;
            }
            o.width = static_cast<int32_t>(w);
            o.height = static_cast<int32_t>(h);
        } else if (arg == "--pixels") {
            if (!needs(i, 1) || !ReadInteger(argv[++i], 1, 100000000, value)) {
                if (error.empty()) error = "--pixels takes a whole number from 1";
                return false;
            }
            o.pixels = static_cast<int32_t>(value);
        } else if (arg == "--seed") {
            if (!needs(i, 1) || !ReadInteger(argv[++i], 0, INT64_MAX, value)) {
                if (error.empty()) error = "--seed takes a whole number from 0";
                return false;
            }
            o.seed = static_cast<uint64_t>(value);
        } else if (arg == "--approximation") {
            if (!needs(i, 1)) return false;
            const std::string value = argv[++i];
            if (value != "on" && value != "off") {
                error = "--approximation takes on or off";
                return false;
            }
            o.approximation.on = value == "on";
        } else if (arg == "--tolerance") {
            if (!needs(i, 1)) return false;
            char* end = nullptr;
            const double tolerance = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(tolerance > 0.0 && tolerance < 1.0)) {
                error = "--tolerance takes a number between 0 and 1";
                return false;
            }
            o.approximation.tolerance = tolerance;
        } else if (arg == "--threads") {
            if (!needs(i, 1) || !ReadInteger(argv[++i], 1, 1024, value)) {
                if (error.empty()) error = "--threads takes a whole number from 1 to 1024";
                return false;
            }
            o.threads = static_cast<int>(value);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (!pendingRe.empty() || !pendingZoom.empty()) {
        if (pendingRe.empty() || pendingZoom.empty()) {
            error = "--centre and --zoom go together";
            return false;
        }
        o.views.insert(o.views.begin(), {"centre " + pendingRe + " " + pendingIm + " zoom " + pendingZoom, pendingRe,
                                         pendingIm, pendingZoom, -1});
    }
    if (o.views.empty()) {
        error = "no view given";
        return false;
    }
    for (ViewRequest& view : o.views) {
        if (o.iterations > 0) view.iterations = o.iterations;
        if (view.iterations < 1 || view.iterations >= NotEscaped) {
            error = view.name + ": no iteration limit (give --iter)";
            return false;
        }
    }
    if (o.threads == 0) o.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return true;
}

std::string CountText(int32_t count) {
    if (count == NotEscaped) return "inside";
    if (count == kOracleUnsettled) return "unsettled";
    return std::to_string(count);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One view: false when it could not be computed or does not pass.
bool CheckView(const ViewRequest& request, const Options& o) {
    std::printf("View: %s\n", request.name.c_str());
    DeepView view;
    std::string error;
    if (!DeepViewFromCentre(request.re, request.im, request.zoom, o.width, o.height, view, error)) {
        std::printf("  cannot make the view: %s\nFAIL\n\n", error.c_str());
        return false;
    }
    const int32_t limit = static_cast<int32_t>(request.iterations);
    std::printf("  %dx%d pixels, spacing %s (%s differences), limit %d, precision %ld bits\n", o.width, o.height,
                DeepSpacingText(view).c_str(), DeepDifferenceName(view.difference), limit,
                static_cast<long>(view.precision));
    std::fflush(stdout);

    const auto started = std::chrono::steady_clock::now();
    DeepCalculation calculation;
    if (!calculation.SetUp(view, limit, limit, limit, nullptr, ColourParams{}, error)) {
        std::printf("  cannot set up the calculation: %s\nFAIL\n\n", error.c_str());
        return false;
    }
    calculation.Approximate(o.approximation);
    calculation.CalculateToEnd();
    const DeepStatistics& stats = calculation.Statistics();
    std::printf("  deep calculation: %.2f s (reference %lld steps in %.2f s, %lld steps, %lld rebases)\n",
                SecondsSince(started), static_cast<long long>(stats.referenceSteps), stats.referenceSeconds,
                static_cast<long long>(stats.steps), static_cast<long long>(stats.rebases));
    if (o.approximation.on)
        std::printf("  approximation: tolerance %g, %lld entries built in %.2f s, %lld steps by %lld entries\n",
                    o.approximation.tolerance, static_cast<long long>(stats.tableEntries), stats.tableSeconds,
                    static_cast<long long>(stats.tableSteps), static_cast<long long>(stats.tableUses));
    std::fflush(stdout);

    const std::vector<OraclePixel> pixels = SampleOraclePixels(o.width, o.height, o.pixels, o.seed);
    const OracleAgreement agreement = CompareWithOracle(
        view, limit, pixels, [&](int32_t x, int32_t y) { return calculation.EscapeCountAt(x, y); }, o.threads);
    std::printf("  oracle: %.2f s on %d threads, precision up to %d bits; %s\n", agreement.seconds, o.threads,
                agreement.highestPrecision, agreement.CountRange().c_str());
    for (const OracleDifference& d : agreement.differences)
        std::printf("  differs at x %d y %d: deep %s, oracle %s (at %d bits)\n", d.x, d.y, CountText(d.count).c_str(),
                    CountText(d.oracle).c_str(), d.precision);
    std::printf("  compared %d, differ %zu (%.3f %%)\n%s\n\n", agreement.compared, agreement.differences.size(),
                100.0 * agreement.Share(), agreement.Passes() ? "PASS" : "FAIL");
    std::fflush(stdout);
    return agreement.Passes();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, o, error)) return Usage(error);
    bool all = true;
    for (const ViewRequest& view : o.views) all = CheckView(view, o) && all;
    return all ? 0 : kFailed;
}
