#include "tools/render/Progress.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// Read by every frame's thread; a lock-free atomic may be set from a handler.
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted.store(true); }

int32_t PassCount(const CalcState& s) {
    if (s.IterEnd <= s.IterStart) return 1;
    const int32_t step = std::max(s.IterInc, 1);
    return 1 + static_cast<int32_t>((static_cast<int64_t>(s.IterEnd) - s.IterStart + step - 1) / step);
}

}  // namespace

void CatchInterrupt() { std::signal(SIGINT, &OnInterrupt); }
bool InterruptRequested() { return interrupted.load(); }
bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

std::string Duration(double seconds) {
    char text[32];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else {
        const long whole = static_cast<long>(seconds + 0.5);
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    }
    return text;
}

ProgressLine::ProgressLine(bool terminal, std::string label, std::mutex* console)
    : terminal_(terminal), label_(std::move(label)), console_(console), start_(std::chrono::steady_clock::now()) {}

void ProgressLine::Restart(std::string label) {
    label_ = std::move(label);
    start_ = std::chrono::steady_clock::now();
    rows_ = 0;
    pass_ = 0;
    lastLimit_ = 0;
}

bool ProgressLine::AfterRow(const CalcState& state, int32_t) {
    if (InterruptRequested()) {
        stopped = true;
        return false;
    }
    if (state.CurrentLimit != lastLimit_ || pass_ == 0) {
        lastLimit_ = state.CurrentLimit;
        ++pass_;
        rows_ = 0;
    }
    ++rows_;
    if (!terminal_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - shown_ < std::chrono::milliseconds(100) && rows_ != state.height) return true;
    shown_ = now;
    const int32_t passes = std::max(PassCount(state), pass_);
    const double done = (pass_ - 1 + static_cast<double>(rows_) / state.height) / passes;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    constexpr int kBar = 24;
    std::string bar(kBar, '.');
    for (int i = 0; i < static_cast<int>(done * kBar); ++i) bar[static_cast<size_t>(i)] = '#';
    std::string left = done > 0.02 ? "about " + Duration(elapsed / done - elapsed) + " left" : "";
    std::unique_lock<std::mutex> hold;
    if (console_ != nullptr) hold = std::unique_lock<std::mutex>(*console_);
    std::fprintf(stderr, "\r%s[%s] row %d/%d, pass %d/%d, %s elapsed %s\x1b[K", label_.c_str(), bar.c_str(), rows_,
                 state.height, pass_, passes, Duration(elapsed).c_str(), left.c_str());
    std::fflush(stderr);
    visible_ = true;
    return true;
}

void ProgressLine::Clear() {
    if (!visible_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    visible_ = false;
}
