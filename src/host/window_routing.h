// Where a message of the game window goes while the editor's window
// procedure is installed: to the game, to the UI, or nowhere. Also closes
// the menu where the message asks for it.
#pragma once
#include <cstdint>

namespace host {

inline constexpr uint32_t kWmInput = 0x00FF;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyLast = 0x0109;    // WM_UNICHAR
inline constexpr uint32_t kWmMouseFirst = 0x0200;  // WM_MOUSEMOVE
inline constexpr uint32_t kWmMouseLast = 0x020E;   // WM_MOUSEHWHEEL
inline constexpr uint64_t kVkEscape = 27;

enum class MessageRoute : uint8_t {
    ToGame,                // the game's procedure, unchanged
    Swallow,               // nobody; the procedure returns 1
    UiThenSwallow,         // the UI's handler; then returns 1
    UiThenDefaultCleanup,  // raw input: the UI's handler, then the system's
                           // default procedure (it frees the input data); never the game
    UiThenGame,            // the UI's handler, then the game's procedure
};

// Decides the route and applies its effect on Editor.MenuOpen: while a folder
// dialog is open everything goes to the game untouched; while the menu is
// blocked (suspended or cooling down) it is closed and everything goes to
// the game; Escape key-down closes the menu and is swallowed; while the
// menu is open, keyboard, mouse and raw input go only to the UI.
MessageRoute RouteWindowMessage(uint32_t message, uint64_t wParam);

}  // namespace host
