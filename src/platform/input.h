// Keyboard state, cursor and the game window, as the editor polls them.
#pragma once
#include <cstdint>

namespace platform {

// GetAsyncKeyState: bit 15 set while the key is down; bit 0 set when the
// key was pressed since the previous call (unreliable, not to be used for
// decisions).
uint16_t AsyncKeyState(int virtualKey);
inline bool IsKeyDown(int virtualKey) { return (AsyncKeyState(virtualKey) & 0x8000u) != 0; }

// True when the game's window (class "grcWindow") is the foreground window.
bool GameWindowIsForeground();

// Frees the cursor (no clip rectangle, arrow shape) and raises the display
// count until it is visible (at most 32 calls).
void ReleaseAndShowCursor();
// Lowers the display count until the cursor is hidden (at most 32 calls).
void HideCursorAgain();

}  // namespace platform
