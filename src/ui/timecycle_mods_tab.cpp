#include "ui/timecycle_mods_tab.h"

#include <imgui.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/file_utils.h"
#include "game/game_controls.h"
#include "timecycle/modifier_defaults.h"
#include "timecycle/modifier_files.h"
#include "timecycle/modifier_filters.h"
#include "timecycle/modifier_live.h"
#include "ui/theme.h"

namespace ui {

TimecycleModsTabState TimecycleModsTab;

void ResetTimecycleModsTabState() { TimecycleModsTab = TimecycleModsTabState{}; }

namespace {

using namespace timecycle;

const ImVec4 kOrange(1.0f, 0.68f, 0.18f, 1.0f);
const ImVec4 kAmber(1.0f, 0.72f, 0.28f, 1.0f);
const ImVec4 kLoaded(0.35f, 0.88f, 0.45f, 1.0f);
const ImVec4 kReady(0.35f, 0.74f, 1.0f, 1.0f);
const ImVec4 kMissing(0.95f, 0.25f, 0.25f, 1.0f);
const ImVec4 kAbsent(0.30f, 0.32f, 0.36f, 1.0f);
const ImVec4 kMoved(0.66f, 0.74f, 0.84f, 1.0f);
const ImVec4 kEditedAbsent(0.58f, 0.45f, 0.26f, 1.0f);
constexpr ImGuiTableFlags kTableFlags = ImGuiTableFlags_NoSavedSettings | ImGuiTableFlags_RowBg |
                                        ImGuiTableFlags_BordersInnerV | ImGuiTableFlags_SizingStretchProp |
                                        ImGuiTableFlags_ScrollY;

// What the frame asked for that reads or writes files: done after the
// frame's locked part, so the script fiber never waits on the disk.
struct FileRequests {
    int loadSlot = -1;
    bool loadAll = false;
    int exportSlot = -1;
};

// A button's width: the designed width, or more when the label's text and
// the frame's padding need more (a font wider than the designed-for one).
float ButtonWidth(const char* label, float width) {
    return std::max(width, ImGui::CalcTextSize(label, nullptr, true).x + 2.0f * ImGui::GetStyle().FramePadding.x);
}

bool BigButton(const char* label, float width, bool enabled) {
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.16f, 0.19f, 0.21f, 0.72f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.18f, 0.36f, 0.42f, 0.92f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(0.24f, 0.46f, 0.54f, 1.0f));
    ImGui::BeginDisabled(!enabled);
    const bool pressed = ImGui::Button(label, ImVec2(ButtonWidth(label, width), 26.0f));
    ImGui::EndDisabled();
    ImGui::PopStyleColor(3);
    return pressed && enabled;
}

bool SmallButton(const char* label, float width, bool enabled) {
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.16f, 0.19f, 0.21f, 0.72f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.22f, 0.27f, 0.30f, 0.86f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(0.30f, 0.35f, 0.39f, 0.96f));
    ImGui::BeginDisabled(!enabled);
    const bool pressed = ImGui::Button(label, ImVec2(ButtonWidth(label, width), 22.0f));
    ImGui::EndDisabled();
    ImGui::PopStyleColor(3);
    return pressed && enabled;
}

void HeaderRow(std::initializer_list<const char*> names) {
    ImGui::TableNextRow(ImGuiTableRowFlags_Headers);
    int column = 0;
    for (const char* name : names) {
        ImGui::TableSetColumnIndex(column++);
        ImGui::TextDisabled("%s", name);
    }
}

void EmptyLine() { ImGui::Dummy(ImVec2(0.0f, ImGui::GetFontSize())); }

bool FileExists(int slot) { return TimecycleModsFileExists(slot) || TimecycleModsWideExists(slot); }

// The selection moves to (file, modifier): the old live block goes back to
// the game's bytes and the game's modifier is cleared.
void SwitchSelection(int file, int modifier) {
    const ResolvedModifierBlock& b = ModifierLive.block;
    if (b.valid && (b.file != file || b.modifier != modifier))
        ResetLiveMapping("Previous live modifier restored before switching selection.", true);
    RequestModifierDeactivation();
}

void SelectModifier(int file, int modifier) {
    if (file != ModifierFiles.selectedFile || modifier != ModifierFiles.selectedModifier) SwitchSelection(file, modifier);
    ModifierFiles.selectedModifier = modifier;
    TimecycleModsTab.selectedLocation = 0;
}

float LeftPaneWidth(const TimecycleModFileSlot& slot) {
    float widest = ImGui::CalcTextSize("Modifier").x;
    for (const TimecycleModifier& m : slot.modifiers) widest = std::max(widest, ImGui::CalcTextSize(m.name.c_str()).x);
    float width = std::clamp(widest + 42.0f, 260.0f, 520.0f);
    const float available = ImGui::GetContentRegionAvail().x;
    if (available > 700.0f) width = std::min(width, 0.46f * available);
    return width;
}

void DrawModifierList(int file, const TimecycleModFileSlot& slot, const std::vector<int>& passing) {
    TimecycleModsTabState& tab = TimecycleModsTab;
    ImGui::SetNextItemWidth(-1.0f);
    ImGui::InputTextWithHint("##timecycle_mod_search", "Search modifiers...", tab.modifierSearch, sizeof tab.modifierSearch);
    if (SmallButton("Clear search##timecycle_mod_search", 96.0f, tab.modifierSearch[0] != 0)) tab.modifierSearch[0] = 0;
    ImGui::Checkbox("Teleports only", &tab.teleportsOnly);
    int edited = 0;
    for (int i : passing) edited += ModifierHasEdits(slot.modifiers[static_cast<size_t>(i)]) ? 1 : 0;
    if (edited > 0) ImGui::TextColored(kOrange, "%d edited", edited);
    ImGui::Separator();
    if (!ImGui::BeginTable("##timecycle_mods_modifier_table", 1, kTableFlags)) return;
    ImGui::TableSetupColumn("Modifier", ImGuiTableColumnFlags_WidthStretch);
    ImGui::TableSetupScrollFreeze(0, 1);
    HeaderRow({"Modifier"});
    if (passing.empty()) {
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        ImGui::TextDisabled("No matching modifiers.");
    }
    ImGuiListClipper clipper;
    clipper.Begin(static_cast<int>(passing.size()));
    while (clipper.Step()) {
        for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; ++row) {
            const int index = passing[static_cast<size_t>(row)];
            const TimecycleModifier& m = slot.modifiers[static_cast<size_t>(index)];
            ImGui::TableNextRow();
            ImGui::TableSetColumnIndex(0);
            ImGui::PushID(index);
            const bool edits = ModifierHasEdits(m);
            if (edits) ImGui::PushStyleColor(ImGuiCol_Text, kOrange);
            const char* label = m.name.empty() ? "(unnamed)" : m.name.c_str();
            if (ImGui::Selectable(label, index == ModifierFiles.selectedModifier, ImGuiSelectableFlags_SpanAllColumns)) {
                if (index != ModifierFiles.selectedModifier) ModifierFiles.status.clear();
                SelectModifier(file, index);
            }
            if (edits) ImGui::PopStyleColor();
            ImGui::PopID();
        }
    }
    ImGui::EndTable();
}

void DrawLocations(const TimecycleModifier& m) {
    TimecycleModsTabState& tab = TimecycleModsTab;
    const size_t count = ModifierLocationCount(m.name);
    if (count == 0) return;
    if (tab.selectedLocation < 0 || static_cast<size_t>(tab.selectedLocation) >= count) tab.selectedLocation = 0;
    ImGui::SetNextItemWidth(std::clamp(ImGui::GetContentRegionAvail().x - 96.0f, 180.0f, 460.0f));
    const std::string current = ModifierLocationLabel(m.name, static_cast<size_t>(tab.selectedLocation));
    if (ImGui::BeginCombo("##timecycle_mod_teleport_location", current.c_str())) {
        for (size_t k = 0; k < count; ++k) {
            const bool chosen = static_cast<int32_t>(k) == tab.selectedLocation;
            const std::string item = ModifierLocationLabel(m.name, k) + "##timecycle_mod_teleport_" + std::to_string(k);
            if (ImGui::Selectable(item.c_str(), chosen)) tab.selectedLocation = static_cast<int32_t>(k);
            if (chosen) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    ImGui::SameLine();
    if (SmallButton("Teleport", 86.0f, true)) {
        if (const ModifierLocation* at = FindModifierLocation(m.name, static_cast<size_t>(tab.selectedLocation)))
            game::RequestLocationTeleport(at->x, at->y, at->z);
    }
}

void DrawLiveButtons(int file, int index, const TimecycleModifier& m, size_t edits) {
    TimecycleModsTabState& tab = TimecycleModsTab;
    const TimecycleModFileSlot& slot = ModifierFiles.slots[static_cast<size_t>(file)];
    if (SmallButton("Apply modifier", 116.0f, true)) {
        ActivateModifier(m.name);
        if (LiveBlockValidFor(file, index) || ReuseCachedLiveBlock(file, index)) {
            ApplyModifierLive(file, index, 1, 1);
        } else if (slot.commonOnly) {
            SetModifierLiveStatus("Value stored.");
        } else {
            StartModifierLiveResolve(file, index, true);
        }
    }
    ImGui::SameLine();
    if (SmallButton("Clear live", 82.0f, true)) {
        ResetLiveMapping({}, true);
        RequestModifierDeactivation();
        ModifierLive.liveApplied = 0;
        tab.holdShowsBefore = false;
        SetModifierLiveStatus("Live cleared.");
    }
    ImGui::SameLine();
    const bool holdEnabled = LiveBlockValidFor(file, index) && edits > 0;
    ImGui::PushID("timecycle_mods_hold_before_after");
    ImGui::BeginDisabled(!holdEnabled);
    ImGui::Button("Hold for before / after", ImVec2(ButtonWidth("Hold for before / after", 156.0f), 0.0f));
    const bool held = holdEnabled && ImGui::IsItemActive();
    ImGui::EndDisabled();
    ImGui::PopID();
    if (held && !tab.holdShowsBefore) {
        RestoreModifierLive(file, index);
        ModifierActivation& act = ModifierLive.activation;
        act.applyRequested = act.applyNow = act.deactivateRequested = 0;
        act.lastApplyTick = 0;
        ModifierLive.beforeShown = 1;
        tab.holdShowsBefore = true;
    } else if (!held && tab.holdShowsBefore) {
        if (ModifierLive.beforeShown) {
            ApplyModifierLive(file, index, 0, 0);
            ModifierLive.beforeShown = 0;
        }
        tab.holdShowsBefore = false;
    }
    const std::string word = LiveStatusWord(ModifierLive.status);
    if (!word.empty()) {
        ImGui::SameLine();
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextDisabled("%s", word.c_str());
        ImGui::PopTextWrapPos();
    }
}

void ApplyAfterReset(int file, int index) {
    if (LiveBlockValidFor(file, index) || ReuseCachedLiveBlock(file, index)) ApplyModifierLive(file, index, 0, 1);
}

void DrawRowTable(int file, int index, const TimecycleModifier& m, bool commonOnly) {
    TimecycleModsTabState& tab = TimecycleModsTab;
    if (!ImGui::BeginTable("##timecycle_mod_params", 4, kTableFlags)) return;
    ImGui::TableSetupColumn("Name", ImGuiTableColumnFlags_WidthStretch);
    ImGui::TableSetupColumn("Value", ImGuiTableColumnFlags_WidthFixed, 88.0f);
    ImGui::TableSetupColumn("Blend", ImGuiTableColumnFlags_WidthFixed, 88.0f);
    ImGui::TableSetupColumn("##reset", ImGuiTableColumnFlags_WidthFixed, 28.0f);
    ImGui::TableSetupScrollFreeze(0, 1);
    HeaderRow({"Name", "Value", "Blend", ""});
    bool any = false;
    ImGui::PushID(m.name.c_str());
    for (size_t i = 0; i < m.rows.size(); ++i) {
        const ModifierRow& row = m.rows[i];
        if (!ModifierMatchesSearch(row.name, tab.valueSearch)) continue;
        any = true;
        ImGui::TableNextRow();
        ImGui::PushID(row.name.c_str());
        ImGui::PushID(static_cast<int>(i));
        const bool edited = RowEdited(row);
        ImGui::TableSetColumnIndex(0);
        ImGui::AlignTextToFramePadding();
        if (edited) {
            ImGui::TextColored(commonOnly && !row.hasVanilla ? kEditedAbsent : kAmber, "%s", row.name.c_str());
        } else if (commonOnly && !row.hasVanilla) {
            ImGui::TextColored(kAbsent, "%s", row.name.c_str());
        } else if (commonOnly && !row.samePosition) {
            ImGui::TextColored(kMoved, "%s", row.name.c_str());
        } else {
            ImGui::TextUnformatted(row.name.c_str());
        }
        float a = row.valueA, b = row.valueB;
        ImGui::TableSetColumnIndex(1);
        ImGui::SetNextItemWidth(-1.0f);
        const bool changedA = ImGui::DragFloat("##value", &a, 0.01f, 0.0f, 0.0f, "%.3f");
        ImGui::TableSetColumnIndex(2);
        ImGui::SetNextItemWidth(-1.0f);
        const bool changedB = ImGui::DragFloat("##blend", &b, 0.01f, 0.0f, 0.0f, "%.3f");
        if (changedA || changedB) {
            SetModifierRowValues(file, index, i, a, b);
            ApplyLiveRow(file, index, i);
        }
        ImGui::TableSetColumnIndex(3);
        if (PushToggleButtonColors(edited)) {
            ResetModifierRow(file, index, i);
            ApplyLiveRow(file, index, i);
        }
        ImGui::PopID();
        ImGui::PopID();
    }
    ImGui::PopID();
    if (!any) {
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        ImGui::TextDisabled("No matching values.");
    }
    ImGui::EndTable();
}

void DrawModifierPane(int file, int index, size_t fileEdits) {
    TimecycleModsTabState& tab = TimecycleModsTab;
    const TimecycleModFileSlot& slot = ModifierFiles.slots[static_cast<size_t>(file)];
    const TimecycleModifier& m = slot.modifiers[static_cast<size_t>(index)];
    size_t edits = 0;
    for (const ModifierRow& row : m.rows) edits += RowEdited(row) ? 1 : 0;
    ImGui::TextUnformatted(m.name.c_str());
    if (edits > 0) {
        ImGui::SameLine();
        ImGui::TextColored(kOrange, "%zu edited", edits);
    }
    DrawLocations(m);
    DrawLiveButtons(file, index, m, edits);
    const bool resetModifier = SmallButton("Reset modifier edits", 142.0f, edits > 0);
    if (resetModifier) {
        ResetModifierRows(file, index);
        if (ModifierLive.liveApplied) ApplyAfterReset(file, index);
        ModifierFiles.status = "Modifier reset.";
    }
    ImGui::SameLine();
    if (SmallButton("Reset file edits", 112.0f, fileEdits > 0 && !resetModifier)) {
        ResetModifierFileRows(file);
        const ResolvedModifierBlock& b = ModifierLive.block;
        if (b.valid && b.file == file && b.modifier >= 0 && static_cast<size_t>(b.modifier) < slot.modifiers.size())
            ApplyModifierLive(file, b.modifier, 0, 1);
        ModifierFiles.status = "File reset.";
    }
    ImGui::SetNextItemWidth(-1.0f);
    ImGui::InputTextWithHint("##timecycle_mod_param_search", "Search values...", tab.valueSearch, sizeof tab.valueSearch);
    int matchingEdits = 0;
    for (const ModifierRow& row : m.rows)
        matchingEdits += RowEdited(row) && ModifierMatchesSearch(row.name, tab.valueSearch) ? 1 : 0;
    if (matchingEdits > 0) {
        ImGui::TextColored(kOrange, "%d edited", matchingEdits);
    } else {
        EmptyLine();
    }
    ImGui::SameLine();
    if (SmallButton("Clear search##timecycle_mod_param_search", 96.0f, tab.valueSearch[0] != 0)) tab.valueSearch[0] = 0;
    ImGui::Separator();
    DrawRowTable(file, index, m, slot.commonOnly != 0);
}

void DrawPanelLocked(FileRequests& requests) {
    TimecycleModsTabState& tab = TimecycleModsTab;
    ImGui::TextUnformatted("Timecycle Mods");
    DrawTimecycleModsFileTable();
    ModifierFiles.selectedFile = std::clamp(ModifierFiles.selectedFile, 0, kModFileSlots - 1);
    const int file = ModifierFiles.selectedFile;
    const TimecycleModFileSlot& slot = ModifierFiles.slots[static_cast<size_t>(file)];
    const uint64_t edits = slot.loaded ? CountEditedRows(file) : 0;

    bool anyExists = false;
    for (int s = 0; s < kModFileSlots; ++s) anyExists = anyExists || FileExists(s);
    if (BigButton("Load .xml", 96.0f, FileExists(file))) requests.loadSlot = file;
    ImGui::SameLine();
    if (BigButton("Load all .xml", 112.0f, anyExists)) requests.loadAll = true;
    ImGui::SameLine();
    if (BigButton("Export .xml", 104.0f, slot.loaded && edits > 0)) requests.exportSlot = file;
    if (edits > 0) {
        ImGui::SameLine();
        ImGui::TextColored(kOrange, "%zu edited", static_cast<size_t>(edits));
    }
    const std::string& status = ModifierFiles.status;
    if (status.empty() || status.rfind("Loaded ", 0) == 0 || status.rfind("Ready:", 0) == 0 ||
        status.rfind("Missing:", 0) == 0) {
        EmptyLine();
    } else {
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextDisabled("%s", status.c_str());
        ImGui::PopTextWrapPos();
    }
    if (!slot.loaded) {
        ImGui::BeginChild("##timecycle_mods_empty", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders);
        ImGui::TextDisabled("Load a .xml file first.");
        ImGui::EndChild();
        return;
    }
    if (slot.duplicateNames > 0)
        ImGui::TextColored(kAmber, "%zu duplicate modifier name(s). Verify activation in-game.",
                           static_cast<size_t>(slot.duplicateNames));
    const int count = static_cast<int>(slot.modifiers.size());
    if (ModifierFiles.selectedModifier < 0 || ModifierFiles.selectedModifier >= count) ModifierFiles.selectedModifier = 0;

    std::vector<int> passing;
    passing.reserve(slot.modifiers.size());
    for (int i = 0; i < count; ++i)
        if (ModifierPassesFilter(slot.modifiers[static_cast<size_t>(i)], tab.modifierSearch, tab.teleportsOnly))
            passing.push_back(i);

    ImGui::BeginChild("##timecycle_mods_left", ImVec2(LeftPaneWidth(slot), 0.0f), ImGuiChildFlags_Borders);
    DrawModifierList(file, slot, passing);
    ImGui::EndChild();
    ImGui::SameLine();
    ImGui::BeginChild("##timecycle_mods_right", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders);
    const bool filtering = tab.modifierSearch[0] != 0 || tab.teleportsOnly;
    const bool selectedPasses =
        std::find(passing.begin(), passing.end(), ModifierFiles.selectedModifier) != passing.end();
    if (filtering && !selectedPasses) {
        if (!passing.empty()) {
            ModifierFiles.status.clear();
            SelectModifier(file, passing.front());
        } else {
            ImGui::TextDisabled("No matching modifiers.");
            if (SmallButton("Show all##timecycle_mod_no_match", 96.0f, true)) {
                tab.modifierSearch[0] = 0;
                tab.teleportsOnly = false;
            }
            ImGui::EndChild();
            return;
        }
    }
    DrawModifierPane(file, ModifierFiles.selectedModifier, static_cast<size_t>(edits));
    ImGui::EndChild();
}

}  // namespace

uint64_t CountEditedRows(int slot) {
    if (slot < 0 || slot >= kModFileSlots) return 0;
    const size_t s = static_cast<size_t>(slot);
    TimecycleModsTabState::EditedCount& cache = TimecycleModsTab.editedCache[s];
    if (cache.revision != ModifierFiles.fileRevision[s]) {
        cache.count = CountEditedRowsOf(ModifierFiles.slots[s]);
        cache.revision = ModifierFiles.fileRevision[s];
    }
    return cache.count;
}

std::string LiveStatusWord(std::string_view text) {
    if (text.empty()) return {};
    static const struct {
        const char* words[3];
        const char* shown;
    } kRules[] = {
        {{"failed", "stopped", "invalid"}, "Not available."},
        {{"queued", "resolving", nullptr}, "Preparing."},
        {{"restored", nullptr, nullptr}, "Restored."},
        {{"skipped", nullptr, nullptr}, "Stored."},
        {{"applied", "written", nullptr}, "Applied."},
        {{"stored", nullptr, nullptr}, "Stored."},
    };
    for (const auto& rule : kRules)
        for (const char* word : rule.words)
            if (word && core::CaseInsensitiveContains(text, word)) return rule.shown;
    return {};
}

void DrawTimecycleModsFileTable() {
    ImGui::BeginChild("##timecycle_mods_import_panel", ImVec2(0.0f, 148.0f), ImGuiChildFlags_Borders,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    int editedFiles = 0;
    for (int s = 0; s < kModFileSlots; ++s)
        editedFiles += ModifierFiles.slots[static_cast<size_t>(s)].loaded && CountEditedRows(s) > 0 ? 1 : 0;
    if (editedFiles > 0) {
        ImGui::TextColored(kOrange, "%d edited files", editedFiles);
    } else {
        EmptyLine();
    }
    // The File column holds the longest file name whole in any font and scale.
    float fileWidth = 132.0f;
    for (int s = 0; s < kModFileSlots; ++s)
        fileWidth = std::max(fileWidth, ImGui::CalcTextSize(TimecycleModsFileName(s).c_str()).x);
    if (ImGui::BeginTable("##timecycle_mods_files", 5, kTableFlags, ImVec2(0.0f, 116.0f))) {
        ImGui::TableSetupColumn("File", ImGuiTableColumnFlags_WidthFixed, fileWidth);
        ImGui::TableSetupColumn("Status", ImGuiTableColumnFlags_WidthFixed, 78.0f);
        ImGui::TableSetupColumn("Edits", ImGuiTableColumnFlags_WidthFixed, 66.0f);
        ImGui::TableSetupColumn("Modifiers", ImGuiTableColumnFlags_WidthFixed, 78.0f);
        ImGui::TableSetupColumn("Values", ImGuiTableColumnFlags_WidthStretch);
        HeaderRow({"File", "Status", "Edits", "Modifiers", "Values"});
        for (int s = 0; s < kModFileSlots; ++s) {
            const TimecycleModFileSlot& slot = ModifierFiles.slots[static_cast<size_t>(s)];
            const uint64_t edits = slot.loaded ? CountEditedRows(s) : 0;
            ImGui::TableNextRow();
            ImGui::TableSetColumnIndex(0);
            const std::string label = TimecycleModsFileName(s) + "##timecycle_mod_file_" + std::to_string(s);
            if (ImGui::Selectable(label.c_str(), s == ModifierFiles.selectedFile, ImGuiSelectableFlags_SpanAllColumns)) {
                if (s != ModifierFiles.selectedFile) SwitchSelection(s, 0);
                ModifierFiles.selectedFile = s;
                ModifierFiles.selectedModifier = 0;
                TimecycleModsTab.selectedLocation = 0;
            }
            ImGui::TableSetColumnIndex(1);
            if (slot.loaded && edits > 0) {
                ImGui::TextColored(kOrange, "Edited");
            } else if (slot.loaded) {
                ImGui::TextColored(kLoaded, "Loaded");
            } else if (FileExists(s)) {
                ImGui::TextColored(kReady, "Ready");
            } else {
                ImGui::TextColored(kMissing, "Missing");
            }
            ImGui::TableSetColumnIndex(2);
            if (slot.loaded && edits > 0) {
                ImGui::TextColored(kAmber, "%zu", static_cast<size_t>(edits));
            } else {
                ImGui::TextDisabled("-");
            }
            ImGui::TableSetColumnIndex(3);
            ImGui::TextDisabled("%zu", slot.loaded ? slot.modifiers.size() : size_t{0});
            ImGui::TableSetColumnIndex(4);
            if (slot.loaded) {
                ImGui::TextDisabled("%zu", static_cast<size_t>(slot.totalRows));
            } else {
                ImGui::TextDisabled("-");
            }
        }
        ImGui::EndTable();
    }
    ImGui::EndChild();
}

void DrawTimecycleModsPanel() {
    FileRequests requests;
    {
        // The fiber holds this lock only for short steps; the tab holds it
        // while it draws and edits, and lets go before any file is read.
        ModifierLock lock(ModifierMutex());
        DrawPanelLocked(requests);
    }
    std::string status;
    if (requests.loadSlot >= 0) {
        LoadTimecycleModSlot(requests.loadSlot, status);
        ModifierLock lock(ModifierMutex());
        ModifierFiles.status = status;
    }
    if (requests.loadAll) LoadAllTimecycleModFiles();
    if (requests.exportSlot >= 0) {
        SaveTimecycleModsXml(requests.exportSlot, status);
        ModifierLock lock(ModifierMutex());
        ModifierFiles.status = status;
    }
}

}  // namespace ui
