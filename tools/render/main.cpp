// quaxel-render: computes images with quaxel's engine, without a window, and
// writes them as BMP or PNG files: single images of any view (a saved one
// too) as large as memory allows, and the frames of zoom movies.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "dialogs/NumberTextLogic.h"
#include "image/FileReplace.h"
#include "tools/render/Progress.h"
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

NumericType RequestedType(const RenderOptions& o, const CoordinateSet& view) {
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
    std::printf("Numeric type: %s (%s)\n", NumericTypeName(result.numericType), result.typeReason.c_str());
    std::printf("Passes: %d\n", result.passes);
    std::printf("Iterations: Min.: %d, Max.: %d\n", result.stats.min, result.stats.max);
    std::printf("Time: %.3f s\n", result.seconds);
    std::printf("Written: %s\n", o.output.c_str());
    std::fprintf(stderr, "quaxel-render: %d x %d, passes: %d, %s\n", o.width, o.height, result.passes,
                 Duration(result.seconds).c_str());
    return 0;
}

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
    CoordinateSet start = StartRangeOf(target);
    if (!o.from.empty() && !SavedView(o, o.from, start, error)) return Fail(error);
    if (!OutputWritable(FrameFileName(o.output, 0), error)) return Fail(error);

    const auto begin = std::chrono::steady_clock::now();
    ProgressLine progress(StderrIsTerminal(), "");
    int32_t written = 0, skipped = 0;
    for (int32_t frame = 0; frame < o.frames; ++frame) {
        const std::string name = FrameFileName(o.output, frame);
        if (o.resume && FileExists(name)) {
            ++skipped;
            continue;
        }
        if (InterruptRequested()) break;
        const CoordinateSet view = MovieFrameView(start, target, frame, o.frames);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const int32_t done = written + skipped;
        progress.Restart("frame " + std::to_string(frame + 1) + "/" + std::to_string(o.frames) + ", " +
                         (written > 0 ? "about " + Duration(elapsed / written * (o.frames - done)) + " left " : ""));
        RenderResult result;
        const bool ok = RenderView(o, view, RequestedType(o, view), o.typeGiven, name, &progress, result, error);
        progress.Clear();
        if (!ok) {
            std::fprintf(stderr, "quaxel-render: frame %d: %s; %d frames written before it are kept\n", frame,
                         error.c_str(), written);
            return kFailed;
        }
        if (result.interrupted) break;
        ++written;
        std::printf("%s: real %s %s, imag %s %s, iter %d %d %d, %s (%s), %.3f s\n", name.c_str(),
                    CoordinateText(view.RealMin).c_str(), CoordinateText(view.RealMax).c_str(),
                    CoordinateText(view.ImagMin).c_str(), CoordinateText(view.ImagMax).c_str(), view.IterStart,
                    view.IterInc, view.IterEnd, NumericTypeName(result.numericType), result.typeReason.c_str(),
                    result.seconds);
        std::fflush(stdout);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (InterruptRequested()) {
        std::fprintf(stderr, "quaxel-render: interrupted; %d frames written, the unfinished one was not\n", written);
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
    CatchInterrupt();
    if (!options.listViews.empty()) return ListViews(options);
    return options.frames > 0 ? Movie(options) : OneImage(options);
}
