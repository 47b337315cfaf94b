// The game's weather data for the live tests and benchmarks: document texts
// of watertune.xml and vfxlightningsettings.xml, and the blocks the game
// keeps in memory (the WeatherTypes table and the render settings blocks
// with their effect data), planted into a synthetic image. The layouts are
// written out here from the game's formats, not taken from the editor's
// tables.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/synthetic_image.h"
#include "weather/xml_scanner.h"

namespace testsupport {

// Every field of the water tuning block; WaterColor 0x1A00191C, FogMax.y 8000.
extern const char* const kWatertuneXml;
// Every field of the lightning settings block, in the game's layout, with
// other elements around them (time-cycle modifier names, a variation).
extern const char* const kLightningXml;

// The bytes a value of a render document goes to in its 188-byte block
// (slot * 4), -1 for a path of no slot. From the game's layout of the
// drop render settings.
int RenderSlotOf(const std::string& path);

// A 188-byte render block holding, slot by slot, the original values of
// the records (every slot a float, as the game keeps them); other slots
// hold filler.
std::vector<uint8_t> RenderBlockBytes(const std::vector<weather::XmlValueRecord>& records);

struct PlantedRenderBlock {
    uint64_t block = 0;   // the 188-byte block
    uint64_t effect = 0;  // its effect data (windInfluence, gravity), 152 bytes before it
};
// Plants the effect data (windInfluence 0.75, gravity -9.5) and the block
// after it in .data.
PlantedRenderBlock PlantRenderBlock(SyntheticImage& image, const std::vector<uint8_t>& block);

// The game's WeatherTypes table: 17 records of 196 bytes that pass as
// weather records, EXTRASUNNY's head (1.0, 0.0, 0.25, 1.0) first; seed
// varies the other values.
std::vector<uint8_t> WeatherTypesTableBytes(uint32_t seed = 1);
// The EXTRASUNNY head followed by a table that does not pass (decoys).
std::vector<uint8_t> WeatherTypesDecoyBytes(int variant);

// Every weather document loaded from generated texts (watertune.xml and
// vfxlightningsettings.xml from the texts above, weather.xml and the 24
// render files generated), and every block they map onto planted in image:
// the watertune and lightning blocks, the WeatherTypes table, and one render
// block (with its effect data) per render file.
struct WeatherGame {
    uint64_t watertune = 0;
    uint64_t lightning = 0;
    uint64_t table = 0;
    std::vector<PlantedRenderBlock> render;  // by registry row - 3
};
WeatherGame PlantAndLoadEveryDocument(SyntheticImage& image);

}  // namespace testsupport
