// A headless Dear ImGui for tests (native build): one UI context with no
// platform or renderer back end, frames driven by the test, input fed
// through ImGui's event queue, and every item ImGui lays out recorded with
// its label and rectangle so that a test can find and click it.
//
// What it does for you:
// - Context set-up: display 1920 x 1080 (or given), DeltaTime 1/60, no .ini
//   or log file, RendererHasTextures set and every texture request of a
//   frame acknowledged after Render (WantCreate gets a texture id, updates
//   are marked done, WantDestroy marked destroyed), so fonts work as with a
//   real 1.92 renderer. The built-in font is used unless the test adds
//   fonts before the first frame (pass withDefaultFont = false).
// - Assertions: a failed IM_ASSERT anywhere in ImGui (or in product code
//   using IM_ASSERT) is a test failure (ADD_FAILURE with expression and
//   place) and aborts the frame by throwing ImGuiAssertion, which GoogleTest
//   reports. Check AssertionCount() when a test wants to see none happened
//   after catching.
// - Items: after each frame, Items() / FindItem(label) give what was laid
//   out in that frame. The label is the text given to the widget, "##" part
//   included ("Layout##settings_layout_v2"); FindItem also accepts the
//   visible part alone ("Layout") when no item has the full text.
// - Text: with CaptureText(true) every frame also records the text that the
//   widgets drew (ImGui's own text log), for Text() after the frame; use it
//   to check labels, headers and status lines that have no item of their own.
// - Input: MoveMouse, Click (move, press and release over three frames, as a
//   user would), ClickItem(label), PressKey (down and up in separate
//   frames), TypeText. Each of these runs frames with the body you pass, so
//   the UI under test is drawn on every frame it needs to react.
//
// Example (a Settings-tab test):
//     testsupport::ImGuiHarness ui;
//     auto draw = [] { ImGui::Begin("Test"); shell::DrawSettingsPanel(); ImGui::End(); };
//     ui.Frame(draw);                          // lay it out once
//     ASSERT_TRUE(ui.ClickItem("Save settings", draw));
//     EXPECT_EQ(shell::SettingsStatusText(), "Settings saved.");
//
// Only one harness may exist at a time (ImGui's current context is global).
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <imgui.h>

namespace testsupport {

// Thrown by a failed IM_ASSERT while a harness is active.
struct ImGuiAssertion : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ImGuiItem {
    ImGuiID id = 0;
    std::string label;  // empty when the widget gave none
    ImVec2 min;
    ImVec2 max;
    int statusFlags = 0;  // ImGuiItemStatusFlags of the item (checked, opened, ...)
    ImVec2 Center() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
};

class ImGuiHarness {
public:
    using Body = std::function<void()>;

    explicit ImGuiHarness(ImVec2 displaySize = ImVec2(1920.0f, 1080.0f), bool withDefaultFont = true);
    ~ImGuiHarness();
    ImGuiHarness(const ImGuiHarness&) = delete;
    ImGuiHarness& operator=(const ImGuiHarness&) = delete;

    ImGuiContext* Context() const { return context_; }
    ImGuiIO& Io();

    // One whole frame: NewFrame, body, Render, texture requests acknowledged.
    void Frame(const Body& body);
    void Frames(int count, const Body& body);
    // The two halves of Frame, for code that must sit between them in a
    // special way. BeginFrame calls NewFrame unless callNewFrame is false
    // (the code under test calls it itself); EndFrame calls Render unless
    // callRender is false (the code under test called it).
    void BeginFrame(bool callNewFrame = true);
    void EndFrame(bool callRender = true);

    // The items of the last completed frame, in layout order.
    const std::vector<ImGuiItem>& Items() const { return lastItems_; }
    // First item whose label is label (or, failing that, whose visible part is).
    const ImGuiItem* FindItem(std::string_view label) const;

    // Text drawn in the last frame (only while CaptureText is on).
    void CaptureText(bool on) { captureText_ = on; }
    const std::string& Text() const { return lastText_; }

    // Input. Each runs frames with body so the UI can react.
    void MoveMouse(ImVec2 position, const Body& body);
    void Click(ImVec2 position, const Body& body, ImGuiMouseButton button = ImGuiMouseButton_Left);
    // Clicks the centre of the item with that label; false when the last
    // frame had no such item (then nothing is clicked).
    bool ClickItem(std::string_view label, const Body& body);
    void PressKey(ImGuiKey key, const Body& body);
    void TypeText(const char* utf8, const Body& body);

    // Failed assertions seen by this harness.
    int AssertionCount() const { return assertions_; }

private:
    static void OnAssert(const char* expression, const char* file, int line);
    static void OnItemAdd(ImGuiContext* context, ImGuiID id, ImVec2 min, ImVec2 max);
    static void OnItemInfo(ImGuiContext* context, ImGuiID id, const char* label, int flags);
    void AcknowledgeTextures();
    ImGuiItem& ItemFor(ImGuiID id);

    ImGuiContext* context_ = nullptr;
    ImGuiContext* previous_ = nullptr;
    bool inFrame_ = false;
    bool tearingDown_ = false;
    bool captureText_ = false;
    bool capturing_ = false;
    std::string lastText_;
    int assertions_ = 0;
    int nextTextureId_ = 1;
    std::vector<ImGuiItem> items_;
    std::vector<ImGuiItem> lastItems_;
};

}  // namespace testsupport
