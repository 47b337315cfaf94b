// Windows only: the start-up's throw-away window class. Without a display
// (the usual test run) the Direct3D 12 steps fail, which is one of the
// cases the start-up must survive; with one, the end-to-end run sees the
// hooks the method entries lead to.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include "host/overlay_win.h"
#include "platform/script_host.h"

namespace {

TEST(PresentationProbe, ItsWindowClassIsOursAloneAndGoneAfterwardsAndClosingAgainIsHarmless) {
    host::ClosePresentationProbe();  // without opening
    // Another module already has a class named "DummyWindow".
    const HINSTANCE other = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(other, nullptr);
    WNDCLASSEXW foreign{};
    foreign.cbSize = sizeof(foreign);
    foreign.lpfnWndProc = DefWindowProcW;
    foreign.hInstance = other;
    foreign.lpszClassName = L"DummyWindow";
    ASSERT_NE(RegisterClassExW(&foreign), 0);

    host::PresentationMethods methods;  // the method entries are the end-to-end run's to check (it has a display)
    host::OpenPresentationProbe(methods);
    host::ClosePresentationProbe();
    host::ClosePresentationProbe();

    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    EXPECT_TRUE(GetClassInfoExW(other, L"DummyWindow", &info)) << "the other module's class survives";
    const auto own = static_cast<HINSTANCE>(platform::OwnModuleHandle());
    EXPECT_FALSE(GetClassInfoExW(own, L"DummyWindow", &info)) << "ours is unregistered again";
    EXPECT_EQ(FindWindowW(L"DummyWindow", L"Dummy"), nullptr) << "the throw-away window is gone";
    UnregisterClassW(L"DummyWindow", other);
}

}  // namespace
#endif
