// Helpers of the Windows suites: a plain top-level window to own clipboards
// and dialogs, and an image painted the way the screen would show it.
#pragma once

#include <windows.h>

#include "image/DibSect.h"

// A hidden top-level window of a private class, for APIs that need an owner.
inline HWND CreateOwnerWindow() {
    static const char* const kClass = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "QuaxelTestOwner";
        RegisterClassA(&windowClass);
        return "QuaxelTestOwner";
    }();
    return CreateWindowExA(0, kClass, "Quaxel test owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// The image's bitmap section blitted 1:1 into a screen-compatible bitmap;
// Pixel reads the colour a window would show at (x, y), row 0 at the top.
class PaintedImage {
public:
    explicit PaintedImage(const DibImage& image) {
        HDC screen = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen);
        target_ = CreateCompatibleBitmap(screen, image.width, image.height);
        ReleaseDC(nullptr, screen);
        oldTarget_ = SelectObject(memory_, target_);

        HDC source = CreateCompatibleDC(memory_);
        HGDIOBJ oldSource = SelectObject(source, image.bitmap);
        GdiFlush();
        blitted_ = BitBlt(memory_, 0, 0, image.width, image.height, source, 0, 0, SRCCOPY) != FALSE;
        SelectObject(source, oldSource);
        DeleteDC(source);
    }
    ~PaintedImage() {
        SelectObject(memory_, oldTarget_);
        DeleteObject(target_);
        DeleteDC(memory_);
    }
    PaintedImage(const PaintedImage&) = delete;
    PaintedImage& operator=(const PaintedImage&) = delete;

    bool blitted() const { return blitted_; }
    COLORREF Pixel(int x, int y) const { return GetPixel(memory_, x, y); }

private:
    HDC memory_ = nullptr;
    HBITMAP target_ = nullptr;
    HGDIOBJ oldTarget_ = nullptr;
    bool blitted_ = false;
};
