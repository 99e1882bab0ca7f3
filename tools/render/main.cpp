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
#include "engine/DeepZoom.h"
#include "tools/render/DeepMovie.h"
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

#ifdef QUAXEL_DEEP
// A deep movie's frames are single images of centre and zoom; the deep ones
// whose view contains the target's centre take the reference there, which
// is computed once for all of them, at the movie's precision and to its
// highest limit: none of that depends on the part, so neither do the bytes.
struct DeepMoviePart {
    DeepMovie plan;
    std::vector<DeepMovieFrame> frames;  // by index into the part's frames
    DeepReference reference;
};

bool PlanDeepPart(const RenderOptions& o, const CoordinateSet& start, const std::vector<int32_t>& mine,
                  DeepMoviePart& part, std::string& error) {
    if (!PlanDeepMovie(o, start, part.plan, error)) return false;
    std::vector<DeepDifference> forms;
    for (const int32_t f : mine) {
        part.frames.push_back(DeepMovieFrameAt(part.plan, f));
        const DeepMovieFrame& frame = part.frames.back();
        // Frames that --resume will skip need no orbit.
        const bool done = o.resume && FileExists(FrameFileName(o.output, f));
        if (frame.deep && !done && std::find(forms.begin(), forms.end(), frame.difference) == forms.end())
            forms.push_back(frame.difference);
    }
    if (forms.empty()) return true;
    BigFloat re(part.plan.precision), im(part.plan.precision);
    if (!ReadLongNumber(part.plan.targetRe, "centre (real part)", re, error) ||
        !ReadLongNumber(part.plan.targetIm, "centre (imaginary part)", im, error) ||
        !part.reference.Compute(re, im, part.plan.iterEnd, forms, error))
        return false;
    std::printf("Reference: the target's centre at %lld bits to %d iterations: %d steps in %.3f s, for the deep "
                "frames that contain it (--reference-precision %lld)\n",
                static_cast<long long>(part.plan.precision), part.plan.iterEnd, part.reference.Steps(),
                part.reference.Seconds(), static_cast<long long>(part.plan.precision));
    return true;
}

// The single image that is the frame: the options that make it alone.
RenderOptions DeepFrameOptions(const RenderOptions& o, const DeepMoviePart& part, const DeepMovieFrame& frame) {
    RenderOptions one = o;
    one.frames = 0;
    one.part = 0;
    one.parts = 1;
    one.centreRe = frame.re;
    one.centreIm = frame.im;
    one.zoom = frame.zoom;
    one.iterStart = frame.iterStart;
    one.iterInc = frame.iterInc;
    one.iterEnd = frame.iterEnd;
    one.iterGiven = true;
    one.referenceRe = part.plan.targetRe;
    one.referenceIm = part.plan.targetIm;
    one.referencePrecision = static_cast<int32_t>(part.plan.precision);
    return one;
}
#endif

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
    // This run's frames: all of them, or those of its part.
    const std::vector<int32_t> mine = PartFrames(o.frames, o.part, o.parts);
    const int32_t count = static_cast<int32_t>(mine.size());
    if (count > 0 && !OutputWritable(FrameFileName(o.output, mine[0]), error)) return Fail(error);
    // A target of centre and zoom: a movie to any depth.
    const bool deepMovie = o.centreGiven;
#ifdef QUAXEL_DEEP
    DeepMoviePart deep;
    if (deepMovie && !PlanDeepPart(o, start, mine, deep, error)) return Fail(error);
#else
    if (deepMovie) return Fail("--centre and --location movies: this build has no deep type yet");
#endif

    // Frames are independent, so each runs on a thread of its own. Its rows
    // then stay on that thread: the row pool serves one caller at a time.
    // The views are laid out here, in the main thread's floating-point
    // environment, and each helper thread starts in that environment too (a
    // new Windows thread's x87 precision is not the one mingw's start-up set).
    const int threads = MovieThreads(std::max(count, 1));
    if (threads > 1) SetRowThreads(1);
    const FpControlWords mainWords = ReadFpControlWords();
    std::vector<CoordinateSet> views(deepMovie ? 0 : static_cast<size_t>(o.frames));
    for (size_t f = 0; f < views.size(); ++f)
        views[f] = MovieFrameView(start, target, static_cast<int32_t>(f), o.frames);
    std::vector<FrameOutcome> outcomes(static_cast<size_t>(o.frames));

    const auto begin = std::chrono::steady_clock::now();
    std::mutex console;  // stdout, stderr and everything below
    ProgressLine lead(StderrIsTerminal(), "", &console);  // the first thread's frames show their rows
    std::atomic<int32_t> nextFrame{0};  // index into `mine`
    std::atomic<bool> stop{false};
    int32_t written = 0, skipped = 0, failed = 0, printed = 0, failedFrame = -1;
    std::string failure;

    // Per-frame lines go out in frame order, as far as the frames are done;
    // at the end (`all`) the ones left behind an unfinished frame follow.
    auto printDone = [&](bool all) {
        for (; printed < count; ++printed) {
            const int32_t frame = mine[static_cast<size_t>(printed)];
            const FrameOutcome& out = outcomes[static_cast<size_t>(frame)];
            if (out.state == FrameOutcome::State::Pending && !all) return;
            if (out.state != FrameOutcome::State::Written) continue;
            lead.Clear();  // the first thread's bar may be showing another frame's rows
            const std::string name = FrameFileName(o.output, frame);
            const char* type = out.result.deep ? "Deep" : NumericTypeName(out.result.numericType);
            if (!deepMovie) {
                const CoordinateSet& view = views[static_cast<size_t>(frame)];
                std::printf("%s: real %s %s, imag %s %s, iter %d %d %d, %s (%s), %.3f s\n", name.c_str(),
                            CoordinateText(view.RealMin).c_str(), CoordinateText(view.RealMax).c_str(),
                            CoordinateText(view.ImagMin).c_str(), CoordinateText(view.ImagMax).c_str(),
                            view.IterStart, view.IterInc, view.IterEnd, type, out.result.typeReason.c_str(),
                            out.result.seconds);
                continue;
            }
#ifdef QUAXEL_DEEP
            // The options that make the frame alone, as they are typed.
            const DeepMovieFrame& f = deep.frames[static_cast<size_t>(printed)];
            std::printf("%s: --centre %s %s --zoom %s --iter %d %d %d, %s (%s)%s, %.3f s\n", name.c_str(),
                        f.re.c_str(), f.im.c_str(), f.zoom.c_str(), f.iterStart, f.iterInc, f.iterEnd, type,
                        out.result.typeReason.c_str(),
                        out.result.referenceShared ? ", shared reference"
                        : out.result.deep          ? ", own reference"
                                                   : "",
                        out.result.seconds);
#endif
        }
        std::fflush(stdout);
    };

    auto work = [&](int index) {
        if (index > 0) WriteFpControlWords(mainWords);
        ProgressLine quiet(false, "");  // Ctrl+C only
        ProgressLine& progress = index == 0 ? lead : quiet;
        while (!stop.load() && !InterruptRequested()) {
            const int32_t next = nextFrame.fetch_add(1);
            if (next >= count) break;
            const int32_t frame = mine[static_cast<size_t>(next)];
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
                if (written > 0) label += "about " + Duration(elapsed / written * (count - written - skipped)) + " left ";
                lead.Restart(label);
            }
            RenderResult result;
            std::string frameError;
            bool ok = false;
            if (!deepMovie) {
                const CoordinateSet& view = views[static_cast<size_t>(frame)];
                ok = RenderView(o, view, RequestedType(o, view), o.typeGiven, name, &progress, result, frameError);
            }
#ifdef QUAXEL_DEEP
            else {
                RenderOptions one = DeepFrameOptions(o, deep, deep.frames[static_cast<size_t>(next)]);
                ok = ApplyCentreAndZoom(one, frameError);
                const CoordinateSet view = OptionsView(one);
                ok = ok && RenderView(one, view, RequestedType(one, view), one.typeGiven, name, &progress, result,
                                      frameError, &deep.reference);
            }
#endif
            const std::lock_guard<std::mutex> hold(console);
            if (index == 0) lead.Clear();
            if (!ok) {
                out.state = FrameOutcome::State::Failed;
                ++failed;
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

    // One line a batch system's log can be searched for, whatever the end.
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::string part;
    if (o.parts > 1)
        part = " (part " + std::to_string(o.part) + "/" + std::to_string(o.parts) + ": " + std::to_string(count) +
               " of " + std::to_string(o.frames) + " frames)";
    std::printf("Frames: %d written, %d existing skipped, %d failed%s, %s\n", written, skipped, failed, part.c_str(),
                Duration(seconds).c_str());
    std::fflush(stdout);

    if (failedFrame >= 0) {
        std::fprintf(stderr, "quaxel-render: frame %d: %s; %d frames written before it are kept\n", failedFrame,
                     failure.c_str(), written);
        return kFailed;
    }
    if (InterruptRequested()) {
        std::fprintf(stderr, "quaxel-render: interrupted; %d frames written, the unfinished %s not\n", written,
                     threads > 1 ? "ones were" : "one was");
        return kInterrupted;
    }
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
