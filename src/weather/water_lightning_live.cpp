#include "weather/water_lightning_live.h"

#include <cstring>

#include "runtime/scans.h"
#include "weather/live_state.h"
#include "weather/weather_text.h"

namespace weather {

const std::array<WatertuneField, 20> WatertuneFieldTable = {{
    {"MainWaterTune/WaterColor", 0, kWatertuneColor},
    {"MainWaterTune/RippleScale", 4, kWatertuneFloat},
    {"MainWaterTune/OceanFoamScale", 8, kWatertuneFloat},
    {"MainWaterTune/SpecularFalloff", 12, kWatertuneFloat},
    {"MainWaterTune/FogPierceIntensity", 16, kWatertuneFloat},
    {"MainWaterTune/RefractionBlend", 20, kWatertuneFloat},
    {"MainWaterTune/RefractionExponent", 24, kWatertuneFloat},
    {"MainWaterTune/WaterCycleDepth", 28, kWatertuneFloat},
    {"MainWaterTune/WaterCycleFade", 32, kWatertuneFloat},
    {"MainWaterTune/WaterLightningDepth", 36, kWatertuneFloat},
    {"MainWaterTune/WaterLightningFade", 40, kWatertuneFloat},
    {"MainWaterTune/DeepWaterModDepth", 44, kWatertuneFloat},
    {"MainWaterTune/DeepWaterModFade", 48, kWatertuneFloat},
    {"MainWaterTune/GodRaysLerpStart", 52, kWatertuneFloat},
    {"MainWaterTune/GodRaysLerpEnd", 56, kWatertuneFloat},
    {"MainWaterTune/DisturbFoamScale", 60, kWatertuneFloat},
    {"MainWaterTune/FogMin.x", 64, kWatertuneFloat},
    {"MainWaterTune/FogMin.y", 68, kWatertuneFloat},
    {"MainWaterTune/FogMax.x", 72, kWatertuneFloat},
    {"MainWaterTune/FogMax.y", 76, kWatertuneFloat},
}};

namespace {


// The watertune rows in table order, each with the first value of its
// path; a row without one ends the layout.
void LayOutWatertune(const WeatherDocument& document, ConvertedWords& words) {
    for (const WatertuneField& row : WatertuneFieldTable) {
        const XmlValueRecord* value = FindFileParam(document, row.path);
        if (value == nullptr) {
            words.layoutStopped = true;
            words.layoutFailure = std::string("Watertune live failed: missing ") + row.path + ".";
            return;
        }
        ConvertedWords::Entry& e = words.entries.emplace_back();
        e.value = static_cast<uint32_t>(value - document.values.data());
        e.where = row.offset;
        e.row = static_cast<uint32_t>(&row - WatertuneFieldTable.data());
    }
}

bool ConvertWatertune(const WeatherDocument& document, const ConvertedWords::Entry& e, uint32_t& word,
                      std::string& failure) {
    const WatertuneField& row = WatertuneFieldTable[e.row];
    const std::string& text = document.values[e.value].currentText;
    if (row.kind == kWatertuneColor ? TextToUnsignedWord(text, word) : TextToFloatWord(text, word)) return true;
    failure = std::string("Watertune live failed: invalid ") + (row.kind == kWatertuneColor ? "hex" : "float") +
              " value in " + row.path + ".";
    return false;
}

// The rows of the lightning table that the document holds, in table order.
void LayOutLightning(const WeatherDocument& document, ConvertedWords& words) {
    for (const LightningField& row : LightningFieldTable) {
        const XmlValueRecord* value = FindFileParam(document, row.path);
        if (value == nullptr) continue;  // the game keeps its own value
        ConvertedWords::Entry& e = words.entries.emplace_back();
        e.value = static_cast<uint32_t>(value - document.values.data());
        e.where = row.offset;
        e.row = static_cast<uint32_t>(&row - LightningFieldTable.data());
    }
}

bool ConvertLightning(const WeatherDocument& document, const ConvertedWords::Entry& e, uint32_t& word,
                      std::string& failure) {
    return ConvertVfxLightningValue(document.values[e.value], LightningFieldTable[e.row], word, failure);
}

// The block to write: the one written before while it stays readable, else
// what the locator finds now.
uint64_t CurrentBlock(uint64_t kept, uint64_t size, uint64_t (*find)(uint64_t&, uint64_t&)) {
    if (kept != 0 && GameBytesReadable(kept, size)) return kept;
    uint64_t scanned = 0;
    uint64_t hits = 0;
    const uint64_t block = find(scanned, hits);
    return block != 0 && GameBytesReadable(block, size) ? block : 0;
}

// Saves the game's bytes of block once (again only when the block moved:
// the bytes saved belong to the block they came from). False when they
// can't be read.
bool SaveOnce(uint8_t& saved, uint64_t& savedBlock, OwnCopy& original, uint64_t block, uint64_t size) {
    if (saved && savedBlock == block) return true;
    uint8_t* into = original.Reserve(size);
    if (!ReadGameBytes(block, into, size)) return false;
    saved = 1;
    savedBlock = block;
    return true;
}

// The first count fields of words, one at a time in table order: each
// written by one 4-byte store of its own, checked readable and read back; a
// failure names its field and ends the write there. Only the fields' own
// bytes are written: a game store to the bytes between them, made while the
// fields are written, stays.
bool WriteLightningFields(uint64_t block, const ConvertedWords& words, size_t count, std::string& status) {
    for (size_t i = 0; i < count; ++i) {
        const ConvertedWords::Entry& e = words.entries[i];
        const char* path = LightningFieldTable[e.row].path;
        const uint64_t at = block + e.where;
        if (!WriteGameBytes(at, &e.word, 4)) {
            status = std::string("VFX Lightning live failed: runtime field not writable: ") + path + ".";
            return false;
        }
        uint32_t back = 0;
        if (!GameBytesReadable(at, 4) || !ReadGameWord(at, back)) {
            status = std::string("VFX Lightning live failed: runtime field not readable: ") + path + ".";
            return false;
        }
        if (back != e.word) {
            status = std::string("VFX Lightning live failed: verification mismatch in ") + path + ".";
            return false;
        }
    }
    return true;
}

}  // namespace

const XmlValueRecord* FindFileParam(const WeatherDocument& document, std::string_view path) {
    for (const XmlValueRecord& value : document.values) {
        if (value.path == path) return &value;
    }
    return nullptr;
}

bool IsColorField(DocumentKind kind, std::string_view path) {
    if (kind == DocumentKind::Watertune) return path == "MainWaterTune/WaterColor";
    if (kind != DocumentKind::VfxLightning) return false;
    return path == "VfxLightningSettings/CloudBurstSettings/LightColor" ||
           path == "VfxLightningSettings/StrikeSettings/BaseColor" ||
           path == "VfxLightningSettings/StrikeSettings/FogColor";
}

bool ParseWatertuneImage(const WeatherDocument& document, std::array<uint8_t, 80>& image, std::string& status) {
    image.fill(0);
    ConvertedWords words;
    RefreshConvertedWords(words, document, LayOutWatertune, ConvertWatertune);
    if (words.Failed()) {
        status = words.FailureText();
        return false;
    }
    for (const ConvertedWords::Entry& e : words.entries) std::memcpy(image.data() + e.where, &e.word, 4);
    return true;
}

bool ApplyWatertuneLive(const WeatherDocument& document, std::string& status) {
    WeatherLiveState& s = WeatherLive;
    if (DocumentKindOf(document) != DocumentKind::Watertune || !document.loaded) {
        status = "Watertune live failed: watertune.xml is not loaded.";
        return false;
    }
    RefreshConvertedWords(s.watertuneWords, document, LayOutWatertune, ConvertWatertune);
    if (s.watertuneWords.Failed()) {
        status = s.watertuneWords.FailureText();
        return false;
    }
    uint8_t* image = s.scratch.Reserve(2 * kWatertuneBlockBytes);
    uint8_t* back = image + kWatertuneBlockBytes;
    std::memset(image, 0, kWatertuneBlockBytes);
    for (const ConvertedWords::Entry& e : s.watertuneWords.entries) std::memcpy(image + e.where, &e.word, 4);

    const uint64_t block = CurrentBlock(s.watertuneBlock, kWatertuneBlockBytes, runtime::FindWatertuneBlock);
    if (block == 0 || !SaveOnce(s.WatertuneSaved, s.watertuneBlock, s.WatertuneOriginal, block, kWatertuneBlockBytes)) {
        status = "Watertune live failed: runtime block not resolved.";
        return false;
    }
    if (!WriteGameBytes(block, image, kWatertuneBlockBytes)) {
        status = "Watertune live failed: runtime block not writable.";
        return false;
    }
    if (!ReadGameBytes(block, back, kWatertuneBlockBytes) || std::memcmp(back, image, kWatertuneBlockBytes) != 0) {
        status = "Watertune live failed: runtime verification mismatch.";
        return false;
    }
    s.WatertuneLiveApplied = 1;
    status = "Watertune live applied.";
    return true;
}

bool ShowWatertuneBefore(std::string& status) {
    WeatherLiveState& s = WeatherLive;
    if (!s.WatertuneSaved) {
        status = "Watertune before/after skipped: no saved live state.";
        return false;
    }
    if (s.watertuneBlock == 0 || !GameBytesReadable(s.watertuneBlock, kWatertuneBlockBytes)) {
        status = "Watertune before/after failed: runtime block not available.";
        return false;
    }
    if (!WriteGameBytes(s.watertuneBlock, s.WatertuneOriginal.data(), kWatertuneBlockBytes)) {
        status = "Watertune before/after failed: runtime block not writable.";
        return false;
    }
    s.WatertuneBeforeShown = 1;
    status = "Watertune before shown.";
    return true;
}

bool ConvertVfxLightningValue(const XmlValueRecord& value, const LightningField& row, uint32_t& word,
                              std::string& status) {
    switch (row.kind) {
        case kLightningFloat:
            if (TextToFloatWord(value.currentText, word)) return true;
            status = std::string("VFX Lightning live failed: invalid float in ") + row.path + ".";
            return false;
        case kLightningInteger:
            if (TextToIntWord(value.currentText, word)) return true;
            status = std::string("VFX Lightning live failed: invalid int in ") + row.path + ".";
            return false;
        case kLightningColor:
            if (TextToUnsignedWord(value.currentText, word)) return true;
            status = std::string("VFX Lightning live failed: invalid color in ") + row.path + ".";
            return false;
    }
    status = std::string("VFX Lightning live failed: unsupported field kind in ") + row.path + ".";
    return false;
}

bool ApplyVfxLightningLive(const WeatherDocument& document, std::string& status) {
    WeatherLiveState& s = WeatherLive;
    if (DocumentKindOf(document) != DocumentKind::VfxLightning || !document.loaded) {
        status = "VFX Lightning live failed: vfxlightningsettings.xml is not loaded.";
        return false;
    }
    const uint64_t block = CurrentBlock(s.lightningBlock, kLightningBlockBytes, runtime::FindVfxLightningBlock);
    if (block == 0 || !SaveOnce(s.VfxLightningSaved, s.lightningBlock, s.VfxLightningOriginal, block,
                                kLightningBlockBytes)) {
        status = "VFX Lightning live failed: runtime table not resolved.";
        return false;
    }
    RefreshConvertedWords(s.lightningWords, document, LayOutLightning, ConvertLightning);
    const ConvertedWords& words = s.lightningWords;
    // The fields before a value that does not convert are written; the
    // fields from it on keep the game's bytes.
    if (!WriteLightningFields(block, words, words.failedAt, status)) return false;
    if (words.Failed()) {
        status = words.FailureText();
        return false;
    }
    s.VfxLightningBeforeShown = 0;
    status = "VFX Lightning live applied.";
    return true;
}

bool ShowVfxLightningBefore(std::string& status) {
    WeatherLiveState& s = WeatherLive;
    if (!s.VfxLightningSaved) {
        status = "VFX Lightning before/after skipped: no saved live state.";
        return false;
    }
    if (s.lightningBlock == 0 || !GameBytesReadable(s.lightningBlock, kLightningBlockBytes)) {
        status = "VFX Lightning before/after failed: runtime table not available.";
        return false;
    }
    if (!WriteGameBytes(s.lightningBlock, s.VfxLightningOriginal.data(), kLightningBlockBytes)) {
        status = "VFX Lightning before/after failed: runtime table not writable.";
        return false;
    }
    s.VfxLightningBeforeShown = 1;
    status = "VFX Lightning before shown.";
    return true;
}

}  // namespace weather
