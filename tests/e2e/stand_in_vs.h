// The stand-in game's visualsettings data: the coronas block and the filmic
// curve block, each stored to by a code signature in the game's code
// section (never called) that the plug-in's binding looks for, and the
// traffic-light block, found by the values at its head. The status tells
// whether anything was written to them and one coronas field's value.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// Fills the blocks with their known values.
void StandInVisualSettingsStart();
// vs_coronas_intensity_milli (the coronas intensity field, x 1000),
// vs_fields_changed (fields of the coronas and filmic blocks that differ
// from the known values), vs_traffic_colors_dark (traffic-light colour
// floats at 0.0, of 24), vs_traffic_others_changed (the traffic block's
// other floats past its head that differ from their known value).
void StandInVisualSettingsStatus(std::map<std::string, uint64_t>& values);
