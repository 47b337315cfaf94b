// Where the game window's messages go while the editor's window procedure
// is installed.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/editor_state.h"
#include "host/window_routing.h"
#include "shell/folder_picker.h"

namespace {

using host::MessageRoute;

constexpr uint32_t kWmKeyUp = 0x0101;
constexpr uint32_t kWmChar = 0x0102;
constexpr uint32_t kWmUnichar = 0x0109;
constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uint32_t kWmLButtonDown = 0x0201;
constexpr uint32_t kWmMouseHWheel = 0x020E;
constexpr uint32_t kWmSize = 0x0005;
constexpr uint32_t kWmActivate = 0x0006;
constexpr uint32_t kWmSetCursor = 0x0020;
constexpr uint64_t kVkF9 = 0x78;

enum class Menu { Closed, Open, Suspended, CoolingDown, DialogOpen };

struct Case {
    const char* what;
    Menu menu;
    uint32_t message;
    uint64_t wParam;
    MessageRoute route;
    uint8_t menuOpenAfter;
};

class WindowRouting : public ::testing::TestWithParam<Case> {
protected:
    void TearDown() override {
        host::MenuOpen = 0;
        host::MenuSuspended = 0;
        host::MenuCooldownFrames = 0;
        shell::FolderDialogOpen = 0;
    }
};

TEST_P(WindowRouting, RoutesAndClosesAsTheMenuStateSays) {
    const Case& c = GetParam();
    host::MenuOpen = (c.menu == Menu::Closed) ? 0 : 1;
    host::MenuSuspended = c.menu == Menu::Suspended ? 1 : 0;
    host::MenuCooldownFrames = c.menu == Menu::CoolingDown ? 40 : 0;
    shell::FolderDialogOpen = c.menu == Menu::DialogOpen ? 1 : 0;
    EXPECT_EQ(host::RouteWindowMessage(c.message, c.wParam), c.route) << c.what;
    EXPECT_EQ(host::MenuOpen.load(), c.menuOpenAfter) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, WindowRouting,
    ::testing::Values(
        Case{"closed: mouse reaches the game", Menu::Closed, kWmMouseMove, 0, MessageRoute::ToGame, 0},
        Case{"closed: keys reach the game", Menu::Closed, host::kWmKeyDown, kVkF9, MessageRoute::ToGame, 0},
        Case{"closed: raw input reaches the game", Menu::Closed, host::kWmInput, 0, MessageRoute::ToGame, 0},
        Case{"closed: Escape key-down is swallowed", Menu::Closed, host::kWmKeyDown, host::kVkEscape,
             MessageRoute::Swallow, 0},
        Case{"closed: Escape key-up reaches the game", Menu::Closed, kWmKeyUp, host::kVkEscape,
             MessageRoute::ToGame, 0},
        Case{"open: Escape key-down closes and is swallowed", Menu::Open, host::kWmKeyDown, host::kVkEscape,
             MessageRoute::Swallow, 0},
        Case{"open: Escape key-up is a keyboard message for the UI", Menu::Open, kWmKeyUp, host::kVkEscape,
             MessageRoute::UiThenSwallow, 1},
        Case{"open: characters go to the UI only", Menu::Open, kWmChar, 'a', MessageRoute::UiThenSwallow, 1},
        Case{"open: WM_UNICHAR is the last keyboard message", Menu::Open, kWmUnichar, 'a',
             MessageRoute::UiThenSwallow, 1},
        Case{"open: mouse goes to the UI only", Menu::Open, kWmLButtonDown, 0, MessageRoute::UiThenSwallow, 1},
        Case{"open: WM_MOUSEHWHEEL is the last mouse message", Menu::Open, kWmMouseHWheel, 0,
             MessageRoute::UiThenSwallow, 1},
        Case{"open: raw input is kept from the game but still cleaned up", Menu::Open, host::kWmInput, 0,
             MessageRoute::UiThenDefaultCleanup, 1},
        Case{"open: window messages reach both", Menu::Open, kWmSize, 0, MessageRoute::UiThenGame, 1},
        Case{"open: WM_SETCURSOR (below the mouse range) reaches both", Menu::Open, kWmSetCursor, 0,
             MessageRoute::UiThenGame, 1},
        Case{"open: activation reaches both", Menu::Open, kWmActivate, 1, MessageRoute::UiThenGame, 1},
        Case{"dialog open: Escape reaches the game, menu untouched", Menu::DialogOpen, host::kWmKeyDown,
             host::kVkEscape, MessageRoute::ToGame, 1},
        Case{"dialog open: mouse reaches the game", Menu::DialogOpen, kWmLButtonDown, 0, MessageRoute::ToGame, 1},
        Case{"suspended: every message closes the menu and reaches the game", Menu::Suspended, kWmMouseMove, 0,
             MessageRoute::ToGame, 0},
        Case{"cooling down: Escape reaches the game", Menu::CoolingDown, host::kWmKeyDown, host::kVkEscape,
             MessageRoute::ToGame, 0},
        Case{"cooling down: raw input reaches the game", Menu::CoolingDown, host::kWmInput, 0,
             MessageRoute::ToGame, 0}));

}  // namespace
