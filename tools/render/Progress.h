// What quaxel-render shows while it works: a progress line on stderr when
// that is a terminal, and Ctrl+C, which stops at the next row.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "tools/render/Render.h"

// Installs the Ctrl+C handler; afterwards InterruptRequested tells whether
// it was pressed.
void CatchInterrupt();
bool InterruptRequested();

bool StderrIsTerminal();

class ProgressLine final : public RenderProgress {
public:
    // `label` starts the line ("frame 12/300 "); `terminal` false keeps the
    // line off until Done. With `console`, the line is drawn holding it, so
    // that lines other threads print under it never land inside the bar.
    ProgressLine(bool terminal, std::string label, std::mutex* console = nullptr);
    bool AfterRow(const CalcState& state, int32_t row) override;
    // Starts the next image: its label, its clock and its counts.
    void Restart(std::string label);
    // Ends the live line; no new line when nothing was shown. With a
    // console, the caller holds it.
    void Clear();

private:
    bool terminal_;
    std::string label_;
    std::mutex* console_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point shown_{};
    int32_t rows_ = 0;
    int32_t lastLimit_ = 0;
    int32_t pass_ = 0;
    bool visible_ = false;
};

// "1:05" or "12.3 s".
std::string Duration(double seconds);
