// quaxel_progbench: how long the user waits for the Ready text, against how
// long the engine alone needs for the same image. Starts the real quaxel.exe
// (through the end-to-end harness, in the suite's virtual desktop), sets each
// view through the Display and Range dialogs as a user would, computes it
// again through the FPU Single command, and times each calculation twice:
// from outside (the status bar read, from "Calculating ..." to "Ready (")
// and by the program's own Ready text, which counts only in hundredths. Every
// look at the status bar is a message the program answers between two rows,
// so the outside watch looks every millisecond only at the start and near
// the end it expects from the runs before. The headless renderer of the same
// build runs the same views in this process; with --native a Linux one too.
//
//   quaxel_progbench [--runs N] [--minimised] [--native HOST_PATH_OF_QUAXEL_RENDER]
//
// Prints one line per view: the best of N runs of each (more for short
// views), and the ratio of the program's outside time to the renderer's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Harness.h"
#include "HostPath.h"
#include "resources/rcinc.h"
#include "tools/render/Render.h"

namespace {

using namespace e2e;

struct View {
    const char* name;
    int sizeChoice;  // radio button of the Display dialog
    int width, height;
    bool julia;
    const char *realMin, *realMax, *imagMin, *imagMax;
    const char *iterStart, *iterInc, *iterEnd;
    const char *constReal, *constImag;
};

// The boundary view spends most of its time in a few thousand steps per pixel
// near the set; the Julia set is a connected one with long orbits inside.
const View kViews[] = {
    {"start image 400 x 300", IDC_DISPLAY_SIZE_1 + 2, 400, 300, false, "-2", "1", "-1.5", "1.5", "64", "64", "256",
     "0", "0"},
    {"start image 1024 x 768", IDC_DISPLAY_SIZE_7, 1024, 768, false, "-2", "1", "-1.5", "1.5", "64", "64", "256", "0",
     "0"},
    {"boundary 1024 x 768, IterEnd 5000", IDC_DISPLAY_SIZE_7, 1024, 768, false, "-0.747", "-0.743", "0.104", "0.107",
     "64", "64", "5000", "0", "0"},
    {"Julia -0.8+0.156i 1024 x 768", IDC_DISPLAY_SIZE_7, 1024, 768, true, "-1.5", "1.5", "-1.125", "1.125", "64",
     "64", "1024", "-0.8", "0.156"},
};

double Seconds() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::vector<std::string> RendererArguments(const View& view, const std::string& output) {
    std::vector<std::string> args = {"--real",    view.realMin,  view.realMax,  "--imag",
                                     view.imagMin, view.imagMax, "--iter",      view.iterStart,
                                     view.iterInc, view.iterEnd, "--size",
                                     std::to_string(view.width) + "x" + std::to_string(view.height)};
    if (view.julia) args.insert(args.end(), {"--formula", "julia", "--const", view.constReal, view.constImag});
    args.push_back(output);
    return args;
}

bool Fail(const std::string& why) {
    std::fprintf(stderr, "progbench: %s\n", why.c_str());
    Screenshot("progbench-failure");
    return false;
}

bool SetImageSize(const Program& program, const View& view) {
    program.Command(CM_DISPLAY);
    HWND display = program.Dialog("Display");
    if (!display) return Fail("no Display dialog");
    if (!Press(display, view.sizeChoice)) return Fail("cannot choose the size");
    PressLater(display, IDOK);
    if (!WaitClosed(display)) return Fail("the Display dialog stayed open");
    if (program.WaitRecalculated(120000).empty()) return Fail("no calculation after the new size");
    return true;
}

struct ProgramTime {
    double outside = 0;      // "Calculating ..." seen to "Ready (" seen
    double readyText = -1;   // the seconds the Ready text names
    std::string ready;
};

bool FillRangeDialog(HWND range, const View& view) {
    const bool typed = Press(range, view.julia ? IDC_RANGE_JULIA : IDC_RANGE_MANDELBROT) &&
                       TypeInto(range, IDC_RANGE_REAL_MIN, view.realMin) &&
                       TypeInto(range, IDC_RANGE_REAL_MAX, view.realMax) &&
                       TypeInto(range, IDC_RANGE_IMAG_MIN, view.imagMin) &&
                       TypeInto(range, IDC_RANGE_IMAG_MAX, view.imagMax) &&
                       TypeInto(range, IDC_RANGE_ITER_START, view.iterStart) &&
                       TypeInto(range, IDC_RANGE_ITER_INC, view.iterInc) &&
                       TypeInto(range, IDC_RANGE_ITER_END, view.iterEnd) &&
                       TypeInto(range, IDC_RANGE_CONST_REAL, view.constReal) &&
                       TypeInto(range, IDC_RANGE_CONST_IMAG, view.constImag);
    return typed || Fail("cannot fill the Range dialog");
}

// One calculation of `view`: the first through OK in the Range dialog, the
// others through the FPU Single command (as from the menu), which computes
// the view again without a dialog to close first. `expected` is the best
// time of the runs before (0 for the first).
bool TimeProgram(const Program& program, const View& view, bool first, bool minimised, double expected,
                 ProgramTime& time) {
    HWND range = nullptr;
    if (first) {
        program.Command(CM_RANGE);
        range = program.Dialog("Range");
        if (!range) return Fail("no Range dialog");
        if (!FillRangeDialog(range, view)) return false;
    }
    if (minimised) {
        ShowWindow(program.main(), SW_MINIMIZE);
        if (!WaitUntil([&] { return IsIconic(program.main()) != FALSE; }, 5000)) return Fail("cannot minimise");
    }
    // A status bar takes WM_SETTEXT as the text of its first part: any Ready
    // text seen from now on is the new one.
    DWORD_PTR set = 0;
    if (!SendMessageTimeoutA(program.statusBar(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("progbench"),
                             SMTO_ABORTIFHUNG, 5000, &set))
        return Fail("cannot reset the status text");
    if (range)
        PressLater(range, IDOK);
    else
        program.Command(CM_FPU_SINGLE);
    double start = Seconds();
    bool running = false;
    const double deadline = start + 300;
    for (;;) {
        const std::string text = program.Status();
        const double now = Seconds();
        if (!running && text == "Calculating ...") {
            running = true;
            start = now;
        }
        if (text.rfind("Ready (", 0) == 0) {
            time.outside = now - start;
            time.ready = text;
            break;
        }
        if (now > deadline) return Fail("no Ready text in time; status: " + text);
        const double elapsed = now - start;
        const double sparseUntil = 0.9 * expected;
        if (running && elapsed < sparseUntil)
            Sleep(static_cast<DWORD>(std::min(20.0, 1000 * (sparseUntil - elapsed))) + 1);
        else
            Sleep(1);
    }
    if (minimised) ShowWindow(program.main(), SW_RESTORE);
    const size_t at = time.ready.find("Time: ");
    time.readyText = at == std::string::npos ? 0.0 : std::atof(time.ready.c_str() + at + 6);
    return true;
}

// The Linux renderer's own time ("Time: 0.123 s"), or -1.
double NativeRendererTime(const std::string& renderer, const View& view, const std::string& scratch) {
    std::string line = renderer;
    for (const std::string& a : RendererArguments(view, scratch + "/native.bmp")) line += " " + a;
    const std::string report = scratch + "/native.txt";
    if (!RunUnix(line + " >" + report, 300000)) return -1;
    const std::string text = ReadFileText(WindowsPathOf(report.c_str()));
    const size_t at = text.find("Time: ");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + 6);
}

std::string ScratchHostFolder() {
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("QUAXEL_E2E_SCRATCH", value, sizeof value);
    return length > 0 && length < sizeof value ? value : "/tmp/quaxel-e2e-scratch";
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    bool minimised = false;
    std::string native;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--minimised") == 0) {
            minimised = true;
        } else if (std::strcmp(argv[i], "--native") == 0 && i + 1 < argc) {
            native = argv[++i];
        } else if (std::strncmp(argv[i], "--gtest", 7) != 0) {  // the e2e runner's colour switch
            std::fprintf(stderr, "usage: quaxel_progbench [--runs N] [--minimised] [--native QUAXEL_RENDER]\n");
            return 2;
        }
    }

    // The Welcome dialog would cover the image.
    WritePrivateProfileStringA("Quaxel", "Welcome", "0", "quaxel.ini");
    Program program;
    if (!program.started()) return Fail(program.failure()), 1;
    if (program.WaitReady().empty()) return Fail("the start image never became ready"), 1;

    const std::string scratch = ScratchHostFolder();
    std::printf("%-36s %10s %10s %10s %10s %7s%s\n", "view (best of each)", "program", "Ready text", "renderer",
                native.empty() ? "" : "native", "ratio", minimised ? "  (minimised)" : "");
    std::fflush(stdout);
    int width = 400, height = 300;
    for (const View& view : kViews) {
        if (view.width != width || view.height != height) {
            if (!SetImageSize(program, view)) return 1;
            width = view.width;
            height = view.height;
        }
        RenderOptions options;
        std::string error;
        if (!ParseRenderOptions(RendererArguments(view, "unused.bmp"), options, error)) return Fail(error), 1;

        double programBest = 1e9, readyBest = 1e9, rendererBest = 1e9, nativeBest = 1e9;
        std::string ready;
        Rendered rendered;
        // Alternating, so that a busy moment of the machine hits both; short
        // views get more runs, at least two seconds of the program's time.
        int viewRuns = runs;
        for (int run = 0; run < viewRuns; ++run) {
            ProgramTime time;
            if (!TimeProgram(program, view, run == 0, minimised, run == 0 ? 0.0 : programBest, time)) return 1;
            programBest = std::min(programBest, time.outside);
            if (run == 0) viewRuns = std::max(runs, std::min(25, static_cast<int>(2.0 / time.outside)));
            readyBest = std::min(readyBest, time.readyText);
            ready = time.ready;
            rendered = RenderView(options);
            rendererBest = std::min(rendererBest, rendered.result.seconds);
            if (!native.empty()) nativeBest = std::min(nativeBest, NativeRendererTime(native, view, scratch));
        }
        int min = 0, max = 0;
        const bool same = ReadyCounts(ready, min, max) && min == rendered.result.stats.min &&
                          max == rendered.result.stats.max;
        char nativeText[16] = "";
        if (!native.empty()) std::snprintf(nativeText, sizeof nativeText, "%9.3fs", nativeBest);
        std::printf("%-36s %9.3fs %9.2fs %9.3fs %10s %6.2fx  %2d runs%s\n", view.name, programBest, readyBest,
                    rendererBest, nativeText, programBest / rendererBest, viewRuns,
                    same ? "" : "  (escape counts differ!)");
        std::fflush(stdout);
    }
    return 0;
}
