// No C++ exception may cross a Win32 callback: the window system's frames in
// between cannot be unwound, so an allocation that fails in a string or a
// growing buffer would end the program there. Every window procedure, dialog
// procedure and hook runs its body through GuardedCallback: an exception ends
// in `onFailure`, which closes the dialog or gives the default answer, and
// the program goes on. Portable, so that the rule itself is tested natively.
#pragma once

template <typename Body, typename OnFailure>
auto GuardedCallback(Body&& body, OnFailure&& onFailure) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        // Only window-system calls from here on: nothing that throws again.
        return onFailure();
    }
}
