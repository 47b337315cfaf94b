// The Vehicle Sirens panel of the Misc tab: loads the game's siren block
// ("Load live", "Refresh", "Stop"), shows one siren profile and one light
// (or all lights), edits their fields live, and offers "Restore", hold for
// before / after and the carcols.ymt export, with the sirens' status line.
//
// Render thread only. DrawMiscSirens takes weather::Sirens.lock for the
// whole draw (under the Misc tab's WeatherLive.lock); DrawVehicleSirensPanel
// expects it held.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace ui {

// The panel's own state; render thread, under weather::Sirens.lock.
struct SirensPanelState {
    int32_t SelectedSirenProfile = 12;  // clamped into 0..20
    int32_t SelectedSirenLight = 0;     // clamped into -1..19; -1 = all lights
    uint8_t SirensHeaderOpenRequest = 1;  // the header forced open on the next Misc-tab draw
};
extern SirensPanelState SirensPanel;
void ResetSirensPanelState();

// The profiles the profile combo offers, in order.
inline constexpr std::array<int32_t, 10> SirenProfileComboOrder = {12, 0, 1, 3, 4, 5, 6, 7, 8, 9};
// The text shown for a profile: the vehicles that use it, else its name.
const char* SirenProfileLabel(int32_t profile);

// Whether the panel shows the status line: every message of the export,
// and while no block is valid the loader's progress and failures.
bool SirenStatusShown(const std::string& status, bool blockValid);

// A light colour's four channels (0..1), red from the lowest byte, and back.
void SirenColourToChannels(uint32_t colour, float channels[4]);
uint32_t SirenColourFromChannels(const float channels[4]);

// The Misc tab's body: the overview row, the "Vehicle Sirens (carcols.ymt)"
// header and, when it is open, the panel. Takes the sirens' lock.
void DrawMiscSirens();
void DrawVehicleSirensPanel();

}  // namespace ui
