// quaxel-render: computes one image with quaxel's engine, without a window,
// and writes it as a BMP file. For tests, benchmarks and batch images.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/render/Render.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(RenderUsage(), stdout);
            return 0;
        }
    }

    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(args, options, error)) {
        std::fprintf(stderr, "quaxel-render: %s\n%s", error.c_str(), RenderUsage());
        return 2;
    }

    RenderResult result;
    if (!Render(options, result, error)) {
        std::fprintf(stderr, "quaxel-render: %s\n", error.c_str());
        return 1;
    }
    if (!result.notes.empty()) std::fprintf(stderr, "%s", result.notes.c_str());
    std::printf("Numeric type: %s\n", NumericTypeName(result.numericType));
    std::printf("Passes: %d\n", result.passes);
    std::printf("Iterations: Min.: %d, Max.: %d\n", result.stats.min, result.stats.max);
    std::printf("Time: %.3f s\n", result.seconds);
    std::printf("Written: %s\n", options.output.c_str());
    return 0;
}
