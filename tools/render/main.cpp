// quaxel-render: computes images with quaxel's engine, without a window, and
// writes them as BMP or PNG files: single images of any view (a saved one
// too) as large as memory allows, and the frames of zoom movies.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/NumberTextLogic.h"
#include "engine/FpEnvironment.h"
#include "engine/RowPool.h"
#include "image/FileReplace.h"
#include "navigation/NavigationMath.h"
#include "tools/render/Progress.h"
#ifdef QUAXEL_DEEP
#include "tools/render/DeepRender.h"
#endif
#include "tools/render/Render.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

int Fail(const std::string& error) {
    std::fprintf(stderr, "quaxel-render: %s\n", error.c_str());
    return kFailed;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "quaxel-render: %s\n%s", error.c_str(), RenderUsage());
    return kUsage;
}

bool FileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Before any computing: an output that cannot be created is said at once,
// not after an hour of work.
bool OutputWritable(const std::string& path, std::string& error) {
    ReplacementFile probe;
    if (OpenReplacement(path.c_str(), probe)) {
        AbandonReplacement(probe);
        return true;
    }
    const std::string folder = FolderOf(path);
    std::FILE* dir = std::fopen((folder + (folder.back() == '/' || folder.back() == '\\' ? "." : "/.")).c_str(), "rb");
    const bool folderThere = dir != nullptr;
    if (dir != nullptr) std::fclose(dir);
    error = folderThere || FileExists(path) ? "cannot write " + path + ": the file or its folder is write-protected"
                                             : "cannot write " + path + ": the folder " + folder + " does not exist";
    return false;
}

void PrintWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) std::fprintf(stderr, "quaxel-render: warning: %s\n", w.c_str());
}

// The deep type is no NumericType: RenderView takes it from the options.
NumericType RequestedType(const RenderOptions& o, const CoordinateSet& view) {
    if (o.typeGiven && o.numericType == kDeepType) return NumericType::FpuExtended;
    return o.typeGiven ? static_cast<NumericType>(o.numericType) : DefaultNumericType(view.Formula, true);
}

bool SavedView(const RenderOptions& o, const std::string& name, CoordinateSet& view, std::string& error) {
    std::vector<std::string> warnings;
    if (!ReadSavedView(o.ini, name, view, warnings, error)) return false;
    PrintWarnings(warnings);
    return true;
}

int ListViews(const RenderOptions& o) {
    std::vector<std::string> names;
    std::string error;
    if (!ListSavedViews(o.listViews, names, error)) return Fail(error);
    for (const std::string& name : names) std::printf("%s\n", name.c_str());
    return 0;
}

int OneImage(const RenderOptions& o) {
    std::string error;
    // The rows' threads: one per hardware thread, or QUAXEL_RENDER_THREADS
    // (the tests hold the bytes to be the same for any number).
    if (const char* wanted = std::getenv("QUAXEL_RENDER_THREADS"); wanted != nullptr && std::atoi(wanted) > 0)
        SetRowThreads(std::min(std::atoi(wanted), 64));
    CoordinateSet view = OptionsView(o);
    if (!o.view.empty()) {
        if (!SavedView(o, o.view, view, error)) return Fail(error);
        ApplyExplicitOptions(o, view);
    }
    if (!OutputWritable(o.output, error)) return Fail(error);

    const bool terminal = StderrIsTerminal();
    ProgressLine progress(terminal, "");
    RenderResult result;
    const bool ok = RenderView(o, view, RequestedType(o, view), o.typeGiven, o.output, &progress, result, error);
    progress.Clear();
    if (!ok) return Fail(error);
    if (result.interrupted) {
        std::fprintf(stderr, "quaxel-render: interrupted; nothing written to %s\n", o.output.c_str());
        return kInterrupted;
    }
    if (!result.notes.empty()) std::fprintf(stderr, "%s", result.notes.c_str());
    std::printf("Numeric type: %s (%s)\n", result.deep ? "Deep" : NumericTypeName(result.numericType),
                result.typeReason.c_str());
    for (const std::string& line : result.deepFigures) std::printf("%s\n", line.c_str());
    std::printf("Passes: %d\n", result.passes);
    std::printf("Iterations: Min.: %d, Max.: %d\n", result.stats.min, result.stats.max);
    if (RgbOutput(o)) {
        std::printf("Samples: %d x %d a pixel%s\n", o.supersample, o.supersample,
                    o.adaptive ? ", where a neighbour differs" : "");
        if (result.refinedPixels >= 0)
            std::printf("Refined: %lld of %lld pixels\n", static_cast<long long>(result.refinedPixels),
                        static_cast<long long>(o.width) * o.height);
        std::printf("Colouring: %.3f s\n", result.colourSeconds);
    }
    std::printf("Time: %.3f s\n", result.seconds);
    std::printf("Written: %s\n", o.output.c_str());
    std::fprintf(stderr, "quaxel-render: %d x %d, passes: %d, %s\n", o.width, o.height, result.passes,
                 Duration(result.seconds).c_str());
    return 0;
}

// How many frames are computed at once: one per hardware thread, or
// QUAXEL_RENDER_THREADS (the tests compare the counts' frames).
int MovieThreads(int32_t frames) {
    int threads = static_cast<int>(std::thread::hardware_concurrency());
    if (const char* wanted = std::getenv("QUAXEL_RENDER_THREADS"); wanted != nullptr && std::atoi(wanted) > 0)
        threads = std::atoi(wanted);
    return std::clamp(threads, 1, static_cast<int>(std::min<int32_t>(frames, 64)));
}

struct FrameOutcome {
    enum class State { Pending, Skipped, Written, Failed, Abandoned } state = State::Pending;
    RenderResult result;
};

int Movie(const RenderOptions& o) {
    std::string error;
    CoordinateSet target = OptionsView(o);
    const std::string& targetName = !o.zoomTo.empty() ? o.zoomTo : o.view;
    if (!targetName.empty()) {
        if (!SavedView(o, targetName, target, error)) return Fail(error);
        ApplyExplicitOptions(o, target);
    } else if (!o.rangeGiven) {
        return Usage("a movie needs the view it zooms to: --zoom-to NAME, --view NAME or --real/--imag");
    }
    // The program's view after a reset, on the target's formula and constant.
    CoordinateSet start = target;
    SetStartRange(start);
    if (!o.from.empty() && !SavedView(o, o.from, start, error)) return Fail(error);
    if (!OutputWritable(FrameFileName(o.output, 0), error)) return Fail(error);

    // Frames are independent, so each runs on a thread of its own. Its rows
    // then stay on that thread: the row pool serves one caller at a time.
    // The views are laid out here, in the main thread's floating-point
    // environment, and each helper thread starts in that environment too (a
    // new Windows thread's x87 precision is not the one mingw's start-up set).
    const int threads = MovieThreads(o.frames);
    if (threads > 1) SetRowThreads(1);
    const FpControlWords mainWords = ReadFpControlWords();
    std::vector<CoordinateSet> views(static_cast<size_t>(o.frames));
    for (int32_t f = 0; f < o.frames; ++f) views[static_cast<size_t>(f)] = MovieFrameView(start, target, f, o.frames);
    std::vector<FrameOutcome> outcomes(static_cast<size_t>(o.frames));

    const auto begin = std::chrono::steady_clock::now();
    std::mutex console;  // stdout, stderr and everything below
    ProgressLine lead(StderrIsTerminal(), "", &console);  // the first thread's frames show their rows
    std::atomic<int32_t> nextFrame{0};
    std::atomic<bool> stop{false};
    int32_t written = 0, skipped = 0, printed = 0, failedFrame = -1;
    std::string failure;

    // Per-frame lines go out in frame order, as far as the frames are done;
    // at the end (`all`) the ones left behind an unfinished frame follow.
    auto printDone = [&](bool all) {
        for (; printed < o.frames; ++printed) {
            const FrameOutcome& out = outcomes[static_cast<size_t>(printed)];
            if (out.state == FrameOutcome::State::Pending && !all) return;
            if (out.state != FrameOutcome::State::Written) continue;
            lead.Clear();  // the first thread's bar may be showing another frame's rows
            const CoordinateSet& view = views[static_cast<size_t>(printed)];
            std::printf("%s: real %s %s, imag %s %s, iter %d %d %d, %s (%s), %.3f s\n",
                        FrameFileName(o.output, printed).c_str(), CoordinateText(view.RealMin).c_str(),
                        CoordinateText(view.RealMax).c_str(), CoordinateText(view.ImagMin).c_str(),
                        CoordinateText(view.ImagMax).c_str(), view.IterStart, view.IterInc, view.IterEnd,
                        NumericTypeName(out.result.numericType), out.result.typeReason.c_str(), out.result.seconds);
        }
        std::fflush(stdout);
    };

    auto work = [&](int index) {
        if (index > 0) WriteFpControlWords(mainWords);
        ProgressLine quiet(false, "");  // Ctrl+C only
        ProgressLine& progress = index == 0 ? lead : quiet;
        while (!stop.load() && !InterruptRequested()) {
            const int32_t frame = nextFrame.fetch_add(1);
            if (frame >= o.frames) break;
            FrameOutcome& out = outcomes[static_cast<size_t>(frame)];
            const std::string name = FrameFileName(o.output, frame);
            if (o.resume && FileExists(name)) {
                const std::lock_guard<std::mutex> hold(console);
                out.state = FrameOutcome::State::Skipped;
                ++skipped;
                printDone(false);
                continue;
            }
            if (index == 0) {
                std::string label = "frame " + std::to_string(frame + 1) + "/" + std::to_string(o.frames) + ", ";
                const std::lock_guard<std::mutex> hold(console);
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
                if (written > 0) label += "about " + Duration(elapsed / written * (o.frames - written - skipped)) + " left ";
                lead.Restart(label);
            }
            const CoordinateSet& view = views[static_cast<size_t>(frame)];
            RenderResult result;
            std::string frameError;
            const bool ok = RenderView(o, view, RequestedType(o, view), o.typeGiven, name, &progress, result, frameError);
            const std::lock_guard<std::mutex> hold(console);
            if (index == 0) lead.Clear();
            if (!ok) {
                out.state = FrameOutcome::State::Failed;
                if (failedFrame < 0 || frame < failedFrame) {
                    failedFrame = frame;
                    failure = frameError;
                }
                stop.store(true);
            } else if (result.interrupted) {
                out.state = FrameOutcome::State::Abandoned;
            } else {
                out.state = FrameOutcome::State::Written;
                out.result = std::move(result);
                ++written;
            }
            printDone(false);
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i) helpers.emplace_back(work, i);
    work(0);
    for (std::thread& t : helpers) t.join();
    printDone(true);

    if (failedFrame >= 0) {
        std::fprintf(stderr, "quaxel-render: frame %d: %s; %d frames written before it are kept\n", failedFrame,
                     failure.c_str(), written);
        return kFailed;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (InterruptRequested()) {
        std::fprintf(stderr, "quaxel-render: interrupted; %d frames written, the unfinished %s not\n", written,
                     threads > 1 ? "ones were" : "one was");
        return kInterrupted;
    }
    std::printf("Frames: %d written, %d existing skipped, %s\n", written, skipped, Duration(seconds).c_str());
    return 0;
}

}  // namespace

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
    if (!ParseRenderOptions(args, options, error)) return Usage(error);
    if (!options.location.empty()) {
#ifdef QUAXEL_DEEP
        std::vector<std::string> warnings;
        if (!ReadLocationInto(options, warnings, error)) {
            std::fprintf(stderr, "quaxel-render: %s\n", error.c_str());
            return kUsage;
        }
        PrintWarnings(warnings);
#else
        return Fail("--location: this build has no deep type yet (the Linux renderer has)");
#endif
    }
    CatchInterrupt();
    if (!options.listViews.empty()) return ListViews(options);
    return options.frames > 0 ? Movie(options) : OneImage(options);
}
