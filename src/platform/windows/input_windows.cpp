// Windows keys, cursor and game window.
#include <cstring>

#include "platform/input.h"
#include "platform/windows/win32.h"

namespace platform {
namespace {

constexpr int kMaxCursorCalls = 32;

void FreeCursor() {
    ClipCursor(nullptr);
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // IDC_ARROW
}

}  // namespace

uint16_t AsyncKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) return 0;
    return static_cast<uint16_t>(GetAsyncKeyState(virtualKey));
}

bool GameWindowIsForeground() {
    HWND window = GetForegroundWindow();
    if (window == nullptr) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return false;  // another program is in front
    char name[64] = {};
    if (GetClassNameA(window, name, sizeof name) <= 0) return false;
    return std::strcmp(name, "grcWindow") == 0;
}

void ReleaseAndShowCursor() {
    FreeCursor();
    for (int i = 0; i < kMaxCursorCalls; ++i) {
        if (ShowCursor(TRUE) >= 0) break;
    }
}

void HideCursorAgain() {
    for (int i = 0; i < kMaxCursorCalls; ++i) {
        if (ShowCursor(FALSE) < 0) break;
    }
}

}  // namespace platform
