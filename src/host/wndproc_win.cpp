// The game window's procedure while the overlay is up: input goes to the UI
// while the main window is open and is kept from the game; Escape closes
// the window; everything else reaches the game's own procedure.
#include <imgui.h>
#include <imgui_impl_win32.h>

#include <chrono>
#include <mutex>

#include "host/detour_gate.h"
#include "host/overlay_state.h"
#include "host/overlay_win.h"
#include "host/window_routing.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandlerEx(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                                               ImGuiIO& io);

namespace host {
namespace {

LRESULT ToGame(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC game = OverlayWin.GameWindowProc.Get();
    return game != nullptr ? CallWindowProcW(game, window, message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

// Hands the message to the UI's Win32 back end (its result is not used).
void FeedUi(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (OverlayWin.OverlayUiContext.Get() == nullptr) return;
    std::unique_lock<std::timed_mutex> lock(Overlay.UiInputMutex, std::chrono::milliseconds(kUiInputWaitMs));
    if (!lock.owns_lock()) return;
    // Taken under the lock: the render thread replaces the context under it.
    ImGuiContext* context = OverlayWin.OverlayUiContext.Get();
    if (context == nullptr) return;
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(context);
    ImGui_ImplWin32_WndProcHandlerEx(window, message, wParam, lParam, ImGui::GetIO());
    ImGui::SetCurrentContext(previous);
}

}  // namespace

LRESULT CALLBACK HookedWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DetourScope scope;
    switch (RouteWindowMessage(message, static_cast<uint64_t>(wParam))) {
        case MessageRoute::ToGame:
            return ToGame(window, message, wParam, lParam);
        case MessageRoute::Swallow:
            return 1;
        case MessageRoute::UiThenSwallow:
            FeedUi(window, message, wParam, lParam);
            return 1;
        case MessageRoute::UiThenDefaultCleanup:
            FeedUi(window, message, wParam, lParam);
            return DefWindowProcW(window, message, wParam, lParam);
        case MessageRoute::UiThenGame:
            FeedUi(window, message, wParam, lParam);
            return ToGame(window, message, wParam, lParam);
    }
    return ToGame(window, message, wParam, lParam);
}

void RestoreGameWindowProc() {
    const WNDPROC game = OverlayWin.GameWindowProc.Get();
    const HWND window = OverlayWin.GameWindow.Get();
    if (game == nullptr || window == nullptr) return;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(game));
    OverlayWin.GameWindowProc = nullptr;
}

}  // namespace host
