#include "support/imgui_harness.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>

#include <algorithm>
#include <string>

#include "support/imgui/imgui_test_hooks.h"

namespace testsupport {
namespace {
ImGuiHarness* g_active = nullptr;
}  // namespace

ImGuiHarness::ImGuiHarness(ImVec2 displaySize, bool withDefaultFont) {
    if (g_active != nullptr) ADD_FAILURE() << "only one ImGuiHarness may exist at a time";
    g_active = this;
    SetImGuiAssertHandler(&ImGuiHarness::OnAssert);
    SetImGuiItemHooks(ImGuiItemHooks{&ImGuiHarness::OnItemAdd, &ImGuiHarness::OnItemInfo});
    previous_ = ImGui::GetCurrentContext();
    context_ = ImGui::CreateContext();
    ImGui::SetCurrentContext(context_);
    context_->TestEngineHookItems = true;
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = displaySize;
    io.DeltaTime = 1.0f / 60.0f;
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures | ImGuiBackendFlags_RendererHasVtxOffset;
    io.BackendPlatformName = "varnel_test_harness";
    io.BackendRendererName = "varnel_test_harness";
    if (withDefaultFont) io.Fonts->AddFontDefault();
}

ImGuiHarness::~ImGuiHarness() {
    tearingDown_ = true;
    ImGui::SetCurrentContext(context_);
    if (inFrame_) ImGui::EndFrame();  // assertions no longer throw while tearing down
    ImGui::DestroyContext(context_);
    ImGui::SetCurrentContext(previous_ == context_ ? nullptr : previous_);
    SetImGuiItemHooks(ImGuiItemHooks{});
    SetImGuiAssertHandler(nullptr);
    g_active = nullptr;
}

ImGuiIO& ImGuiHarness::Io() {
    ImGui::SetCurrentContext(context_);
    return ImGui::GetIO();
}

void ImGuiHarness::OnAssert(const char* expression, const char* file, int line) {
    ImGuiHarness* self = g_active;
    const std::string where = std::string(file) + ":" + std::to_string(line);
    ADD_FAILURE() << "Dear ImGui assertion failed: " << expression << " (" << where << ")";
    if (self == nullptr) return;
    ++self->assertions_;
    if (self->tearingDown_) return;
    throw ImGuiAssertion(std::string(expression) + " at " + where);
}

ImGuiItem& ImGuiHarness::ItemFor(ImGuiID id) {
    const auto [at, added] = itemIndex_.try_emplace(id, items_.size());
    if (!added) return items_[at->second];
    items_.push_back(ImGuiItem{});
    items_.back().id = id;
    return items_.back();
}

void ImGuiHarness::OnItemAdd(ImGuiContext* context, ImGuiID id, ImVec2 min, ImVec2 max) {
    ImGuiHarness* self = g_active;
    if (self == nullptr || context != self->context_ || id == 0) return;
    const auto [first, added] = self->adds_.try_emplace(id, ImGuiItem{id, {}, min, max});
    const ImGuiItem& seen = first->second;
    if (!added && (seen.min.x != min.x || seen.min.y != min.y || seen.max.x != max.x || seen.max.y != max.y) &&
        std::find(self->duplicateIds_.begin(), self->duplicateIds_.end(), id) == self->duplicateIds_.end())
        self->duplicateIds_.push_back(id);
    ImGuiItem& item = self->ItemFor(id);
    item.min = min;
    item.max = max;
    ++item.adds;
}

void ImGuiHarness::OnItemInfo(ImGuiContext* context, ImGuiID id, const char* label, int) {
    ImGuiHarness* self = g_active;
    if (self == nullptr || context != self->context_ || id == 0 || label == nullptr) return;
    self->ItemFor(id).label = label;
}

void ImGuiHarness::Frame(const Body& body) {
    ImGui::SetCurrentContext(context_);
    items_.clear();
    itemIndex_.clear();
    duplicateIds_.clear();
    adds_.clear();
    inFrame_ = true;
    ImGui::NewFrame();
    if (captureText_) ImGui::LogToBuffer();
    if (body) body();
    if (captureText_) {
        lastText_.assign(context_->LogBuffer.c_str());
        ImGui::LogFinish();
    }
    ImGui::Render();
    inFrame_ = false;
    // Texture requests, acknowledged as a renderer would.
    for (ImTextureData* tex : ImGui::GetPlatformIO().Textures) {
        if (tex->Status == ImTextureStatus_WantCreate) tex->SetTexID(static_cast<ImTextureID>(nextTextureId_++));
        if (tex->Status == ImTextureStatus_WantCreate || tex->Status == ImTextureStatus_WantUpdates) {
            tex->SetStatus(ImTextureStatus_OK);
        } else if (tex->Status == ImTextureStatus_WantDestroy && tex->UnusedFrames > 0) {
            tex->SetTexID(ImTextureID_Invalid);
            tex->SetStatus(ImTextureStatus_Destroyed);
        }
    }
    lastItems_ = items_;
    lastDuplicates_.clear();
    for (ImGuiID id : duplicateIds_) {
        const ImGuiItem* item = nullptr;
        for (const ImGuiItem& i : items_)
            if (i.id == id) item = &i;
        lastDuplicates_.push_back(item && !item->label.empty() ? item->label : "#" + std::to_string(id));
    }
}

std::vector<ImGuiItem> ImGuiHarness::IdConflicts() const {
    std::vector<ImGuiItem> out;
    for (const ImGuiItem& item : lastItems_)
        if (item.adds > 1) out.push_back(item);
    return out;
}

void ImGuiHarness::Frames(int count, const Body& body) {
    for (int i = 0; i < count; ++i) Frame(body);
}

const ImGuiItem* ImGuiHarness::FindItem(std::string_view label) const {
    for (const ImGuiItem& item : lastItems_)
        if (item.label == label) return &item;
    for (const ImGuiItem& item : lastItems_) {
        const size_t hashes = item.label.find("##");
        if (hashes != std::string::npos && std::string_view(item.label).substr(0, hashes) == label) return &item;
    }
    return nullptr;
}

void ImGuiHarness::Click(ImVec2 position, const Body& body, ImGuiMouseButton button) {
    Io().AddMousePosEvent(position.x, position.y);
    Frame(body);
    Io().AddMouseButtonEvent(button, true);
    Frame(body);
    Io().AddMouseButtonEvent(button, false);
    Frame(body);
}

bool ImGuiHarness::ClickItem(std::string_view label, const Body& body) {
    const ImGuiItem* item = FindItem(label);
    if (item == nullptr) return false;
    Click(item->Center(), body);
    return true;
}

void ImGuiHarness::PressKey(ImGuiKey key, const Body& body) {
    Io().AddKeyEvent(key, true);
    Frame(body);
    Io().AddKeyEvent(key, false);
    Frame(body);
}

void ImGuiHarness::TypeText(const char* utf8, const Body& body) {
    Io().AddInputCharactersUTF8(utf8);
    Frame(body);
}

}  // namespace testsupport
