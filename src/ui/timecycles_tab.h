// The "Timecycles" tab: pick a weather whose timecycle file is in the
// workspace's Imports, load it (the load preview writes it into the game's
// keyframe table), choose region and keyframe, edit the 429 variables by
// group or by search, see every edit in the game at once, hold a button to
// see the game's own values, copy edits to the other region or another
// weather, jump to the preset urban or global spot, and export the file.
//
// Drawn on the render thread once a frame inside the main window. What it
// changes in the game goes through the timecycle editor (the edit store and
// the keyframe table) and through requests that the tick carries out on the
// script fiber: the weather, the clock hour and pause, the preset teleport.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace timecycle {
struct TimecycleVariable;
}

namespace ui {

// What a frame draws of one parameter list: a variable on its own, or the
// R, G and B variables of a colour triple (rows[1], rows[2] set).
struct TimecycleRowItem {
    const timecycle::TimecycleVariable* rows[3] = {nullptr, nullptr, nullptr};
    std::string baseLabel;  // colour triples: the label without " R"
    bool IsColour() const { return rows[1] != nullptr; }
};

// The tab's selection and what it keeps between frames.
// Thread rule: render thread only, except regionRequest, which any thread
// may post (the tab takes it by atomic exchange).
struct TimecyclesTabState {
    int32_t weather = 0;   // row of the weather name table
    int32_t region = 0;    // 0 GLOBAL, 1 URBAN, 2 BOTH
    int32_t keyframe = 0;  // 0..12
    uint8_t lockTime = 0;
    int32_t group = 0;  // 0..27; anything above 27 is taken as 0
    std::array<char, 256> search{};
    uint8_t startupKeyframeSet = 0;
    uint8_t beforeAfterHeld = 0;
    int32_t copyWeatherTarget = 0;           // the target of "Copy edits"
    std::atomic<int32_t> regionRequest{-1};  // -1 none, else a region

    // Weathers whose timecycle file is in the workspace, looked up at most
    // once a second (and after every action that may change them).
    std::array<uint8_t, 18> available{};
    uint64_t availableStamp = 0;  // TickCount64 of the last look; 0 = look now

    // The rows of the list on show (a group, or the results of a search),
    // kept until the group or the search changes.
    std::vector<TimecycleRowItem> plan;
    int32_t planGroup = -1;
    std::string planSearch;
    bool planBuilt = false;
    // Heights of the drawn rows by their first variable (0 = not drawn
    // yet): rows out of sight take their place without being drawn.
    std::array<float, 429> rowHeights{};
    float typicalRowHeight = 0.0f;
};
extern TimecyclesTabState TimecyclesTab;
void ResetTimecyclesTab();

// ---- Drawing ------------------------------------------------------------------
void DrawTimecyclesPanel();
inline void DrawTimecyclesTab() { DrawTimecyclesPanel(); }
void DrawTimecycleImportFilesPanel(int32_t& weather, int32_t keyframe, uint8_t lockTime);
void DrawTimecycleControlPanel(int32_t& region, int32_t& keyframe, uint8_t& lockTime);
void DrawRegionCopyPanel(int32_t weather, int32_t region);
void DrawWeatherCopyPanel(int32_t weather);
void DrawTeleportPanel();
void DrawTimecycleGroupRows(const std::vector<TimecycleRowItem>& items, const char* search, int32_t& keyframe,
                            uint8_t lockTime);
void DrawTimecycleFloatRow(const timecycle::TimecycleVariable* row, const char* search, int32_t& keyframe,
                           uint8_t lockTime);
void DrawTimecycleColorRow(const timecycle::TimecycleVariable* const rows[3], const std::string& baseLabel,
                           const char* search, int32_t& keyframe, uint8_t lockTime);
// The 13 keyframe buttons; a click selects the keyframe and moves the game clock to it.
void DrawTimeKeyframeStepper(int32_t& keyframe, uint8_t lockTime);

// ---- What the widgets do (also called by the tests) -------------------------------
// The keyframe for a game hour: the one at that hour (23 counts as 22:00),
// else the last one before it; -1 for an hour not read yet (below 0).
int32_t StartupKeyframeForHour(int32_t hour);
// Width of the group pane for an available width.
float GroupPaneWidth(float available);
// What the panel shows of the status line: nothing for the idle status; of
// a status beginning "Loaded ", "Ready:" or "Missing:" only what follows its
// first sentence (the notes a load adds, such as a region the file lacked);
// otherwise all of it.
std::string ShownTimecycleStatus(const std::string& status);
// A weather's timecycle file is in the workspace (UNDERWATER_DEEP: also by
// its wide path).
bool TimecycleFileAvailable(int32_t weather);
// The region copies go to URBAN from GLOBAL and to GLOBAL from URBAN; BOTH has none (-1).
int32_t RegionCopyTarget(int32_t region);
// The colour triple of a label that ends in " R", " G" or " B": the rows
// labelled base + " R", " G" and " B" in the list (the first of each).
// False, with the rows null, unless all three are there.
bool ColorRowLabels(const std::vector<const timecycle::TimecycleVariable*>& list, const std::string& base,
                    const timecycle::TimecycleVariable*& r, const timecycle::TimecycleVariable*& g,
                    const timecycle::TimecycleVariable*& b);
// The items of a list: each colour triple once (at its R row), every other
// variable on its own.
std::vector<TimecycleRowItem> BuildTimecycleRowItems(const std::vector<const timecycle::TimecycleVariable*>& list);
// The edited marker of a row's slot: imported and followed, or enabled and
// more than 5e-5 from the captured baseline (or without one).
bool SlotShowsEdited(const timecycle::TimecycleVariable* row);

// A click on a weather of the import list.
void ChooseImportWeather(int32_t weather);
// "Load .xml" of the selected weather.
void LoadSelectedTimecycleFile();
// "Export .xml" of the selected weather.
void ExportSelectedTimecycleFile();
// A new keyframe chosen (combo or stepper): selected, and the game clock
// moved to its hour with the "Lock Time" pause.
void ChooseKeyframe(int32_t keyframe);
// "Lock Time" switched.
void SwitchLockTime(uint8_t lockTime);
// A value typed or dragged in a float row, and the changed components of a
// colour row (value NaN: unchanged): the edit goes into the slots, the edit
// store and the game's keyframe table.
void EditTimecycleValue(const timecycle::TimecycleVariable* row, float value);
void EditTimecycleColour(const timecycle::TimecycleVariable* const rows[3], const std::string& baseLabel,
                         const float values[3]);
// The reset button of a row (1 or 3 variables).
void ResetTimecycleRows(const timecycle::TimecycleVariable* const* rows, size_t count);
// "Reset all".
void ResetAllTimecycleEdits();
// The two region copies and the weather copy; each sets the status line.
void CopyParameterEditsToOtherRegion();
void CopyAllRegionEditsToOtherRegion();
void CopyEditsToWeather(int32_t target);
// The first available weather other than the selected one when target is
// out of range, the selected one or not available; else target.
int32_t ValidCopyWeatherTarget(int32_t target);
// "Urban" (1) and "Global" (2) of the teleport panel.
void RequestRegionTeleport(int32_t which);
// The hold button's state this frame: held shows the game's own values;
// the frame after release shows the edits again.
void HoldBeforeAfter(bool held);
// The slots read again from the game while the tick asks for it and no
// load holds them.
void RereadTimecycleSlots();

}  // namespace ui
