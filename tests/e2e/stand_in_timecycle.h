// The stand-in game's timecycle: a keyframe table in its heap, laid out as
// the game's (a block of 2 regions x 13 keyframes x 432 binary16 values per
// weather, 22,496 bytes apart by the weather's type id), holding the GLOBAL
// values of one timecycle file (e2e-timecycle.xml in the game's folder) for
// the weather that file names; every other value 0. Each frame the game
// paints a patch of its picture in the sky zenith colour of its current
// weather and keyframe, read from that table.
#pragma once
#include <cstdint>
#include <string>

namespace standin {

struct SkyColour {
    uint8_t r = 0, g = 0, b = 0;
    int keyframe = 0;
    bool fromTable = false;  // the weather's block holds the colour
};

// Reads the file and fills the table; false (and a reason) when the file
// is missing or names no weather.
bool LoadKeyframeTable(const std::wstring& xmlPath, std::string& report);
// The colour of the weather (its game name) at the hour (the keyframe at or
// before it).
SkyColour SkyColourAt(const char* weatherGameName, int hour);
// Non-zero values in the URBAN records of the loaded weather's block: the
// file leaves them 0, so a count above 0 means something wrote them.
uint64_t UrbanValuesWritten();

}  // namespace standin
