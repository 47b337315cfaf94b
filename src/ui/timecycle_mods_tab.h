// The "Timecycle Mods" tab: the four modifier files (load, state, edits),
// the modifier list with search and "Teleports only", and the selected
// modifier's rows with live apply, restore, before/after, teleports to
// where it is used, resets and "Export .xml". Render thread only.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ui {

// The tab's own state. Thread rule: render thread only.
struct TimecycleModsTabState {
    int32_t selectedLocation = 0;
    struct EditedCount {
        uint64_t revision = 0;
        uint64_t count = 0;
    };
    std::array<EditedCount, 4> editedCache{};
    char modifierSearch[128] = {};
    char valueSearch[128] = {};
    bool teleportsOnly = false;
    // The hold button restored the game's values (the before/after hotkey's
    // own before state is left to the hotkey).
    bool holdShowsBefore = false;
};
extern TimecycleModsTabState TimecycleModsTab;
void ResetTimecycleModsTabState();

// The tab body, drawn inside its tab item once per overlay frame.
void DrawTimecycleModsPanel();
inline void DrawTimecycleModsTab() { DrawTimecycleModsPanel(); }
void DrawTimecycleModsFileTable();

// Edited rows of a slot's file, recounted only after a load or an edit; 0
// for a slot outside 0..3.
uint64_t CountEditedRows(int slot);
// The one word the tab shows for the live status text ("" for none).
std::string LiveStatusWord(std::string_view text);

}  // namespace ui
