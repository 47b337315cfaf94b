// A headless Dear ImGui for tests (native build): one UI context without
// back ends, frames driven by the test, input through ImGui's event queue,
// and every item ImGui lays out recorded with its label and rectangle.
// - Set-up: display 1920 x 1080 (or given), DeltaTime 1/60, no .ini or log
//   file; texture requests are acknowledged after each Render as a 1.92
//   renderer would. The built-in font is added unless withDefaultFont is
//   false (the test adds fonts before the first frame).
// - A failed IM_ASSERT (ImGui's or the product's) is a test failure and
//   aborts the frame by throwing ImGuiAssertion; AssertionCount() counts them.
// - Items() / FindItem(label) give what the last frame laid out; the label
//   includes any "##" part, and FindItem also accepts the visible part alone.
//   DuplicateIds() names the identifiers laid out twice at different places.
// - CaptureText(true): Text() is what the widgets drew in the last frame.
// - Click (move, press, release over three frames), ClickItem, PressKey
//   (down and up in separate frames) and TypeText run frames with the body.
// Only one harness may exist at a time (ImGui's current context is global).
//     testsupport::ImGuiHarness ui;
//     auto draw = [] { ImGui::Begin("Test"); ui::DrawSettingsPanel(); ImGui::End(); };
//     ui.Frame(draw);
//     ASSERT_TRUE(ui.ClickItem("Save settings", draw));
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <imgui.h>

namespace testsupport {

struct ImGuiAssertion : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ImGuiItem {
    ImGuiID id = 0;
    std::string label;  // empty when the widget gave none
    ImVec2 min;
    ImVec2 max;
    int adds = 0;  // items laid out with this ID in the frame (more than 1: an ID conflict)
    ImVec2 Center() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
};

class ImGuiHarness {
public:
    using Body = std::function<void()>;

    explicit ImGuiHarness(ImVec2 displaySize = ImVec2(1920.0f, 1080.0f), bool withDefaultFont = true);
    ~ImGuiHarness();
    ImGuiHarness(const ImGuiHarness&) = delete;
    ImGuiHarness& operator=(const ImGuiHarness&) = delete;

    ImGuiIO& Io();
    // NewFrame, body, Render, texture requests acknowledged.
    void Frame(const Body& body);
    void Frames(int count, const Body& body);

    const std::vector<ImGuiItem>& Items() const { return lastItems_; }
    const ImGuiItem* FindItem(std::string_view label) const;
    // Items of the last frame whose ID more than one item used.
    std::vector<ImGuiItem> IdConflicts() const;
    void CaptureText(bool on) { captureText_ = on; }
    const std::string& Text() const { return lastText_; }

    void Click(ImVec2 position, const Body& body, ImGuiMouseButton button = ImGuiMouseButton_Left);
    // False (and no click) when the last frame had no such item.
    bool ClickItem(std::string_view label, const Body& body);
    void PressKey(ImGuiKey key, const Body& body);
    void TypeText(const char* utf8, const Body& body);

    int AssertionCount() const { return assertions_; }
    // Items of the last frame laid out more than once under one identifier
    // at different places (an identifier conflict), by label or "#<id>".
    const std::vector<std::string>& DuplicateIds() const { return lastDuplicates_; }

private:
    static void OnAssert(const char* expression, const char* file, int line);
    static void OnItemAdd(ImGuiContext* context, ImGuiID id, ImVec2 min, ImVec2 max);
    static void OnItemInfo(ImGuiContext* context, ImGuiID id, const char* label, int flags);
    ImGuiItem& ItemFor(ImGuiID id);

    ImGuiContext* context_ = nullptr;
    ImGuiContext* previous_ = nullptr;
    bool inFrame_ = false;
    bool tearingDown_ = false;
    bool captureText_ = false;
    std::string lastText_;
    int assertions_ = 0;
    int nextTextureId_ = 1;
    std::vector<ImGuiItem> items_;
    std::vector<ImGuiItem> lastItems_;
    std::unordered_map<ImGuiID, size_t> itemIndex_;      // items_ by identifier
    std::unordered_map<ImGuiID, ImGuiItem> adds_;         // the first lay-out of each identifier
    std::vector<ImGuiID> duplicateIds_;
    std::vector<std::string> lastDuplicates_;
};

}  // namespace testsupport
