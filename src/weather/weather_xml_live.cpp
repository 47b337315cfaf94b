#include "weather/weather_xml_live.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "runtime/byte_load.h"
#include "runtime/cached_search.h"
#include "runtime/region_walk.h"
#include "runtime/scans.h"
#include "weather/live_state.h"
#include "weather/render_live.h"
#include "weather/value_filters.h"
#include "weather/weather_text.h"

namespace weather {
namespace {

constexpr size_t kWeatherRecords = kWeatherTypeCount;
constexpr size_t kPlausibleRecordsNeeded = 12;
// Room for every effect value address the model can name (24 effects, two
// fields, up to eight blocks each), so the list never moves.
constexpr size_t kEffectTargetCapacity = kWeatherGpuFxCount * 2 * 8;

bool IsWeatherXml(const WeatherDocument& document) { return DocumentKindOf(document) == DocumentKind::WeatherXml; }

using runtime::FloatAt;
using runtime::I32At;

// At least 12 of the 17 records look like weather records: Sun and WindMax
// finite and below 1000 in size, the three setting indices in -1..32.
bool TableQualifies(const uint8_t* table) {
    size_t plausible = 0;
    for (size_t i = 0; i < kWeatherRecords; ++i) {
        const uint8_t* r = table + i * kWeatherRecordSize;
        const float sun = FloatAt(r, 0);
        const float windMax = FloatAt(r, 12);
        bool ok = std::isfinite(sun) && std::fabs(sun) < 1000.0f && std::isfinite(windMax) &&
                  std::fabs(windMax) < 1000.0f;
        for (size_t at : {0x24u, 0x28u, 0x2Cu}) ok = ok && I32At(r, at) >= -1 && I32At(r, at) <= 32;
        plausible += ok;
    }
    return plausible >= kPlausibleRecordsNeeded;
}

enum class FieldWords { Value, Setting, Cloud };

FieldWords WordsOf(WeatherFieldKind kind) {
    if (kind == kWeatherFieldSettingIndex) return FieldWords::Setting;
    if (kind == kWeatherFieldCloudHash) return FieldWords::Cloud;
    return FieldWords::Value;
}

const char* NotWritable(FieldWords w) {
    switch (w) {
        case FieldWords::Setting: return "Weather live failed: game weather setting not writable.";
        case FieldWords::Cloud: return "Weather live failed: game cloud setting not writable.";
        default: return "Weather live failed: game weather value not writable.";
    }
}

const char* CheckUnavailable(FieldWords w) {
    switch (w) {
        case FieldWords::Setting: return "Weather live failed: game weather setting check unavailable.";
        case FieldWords::Cloud: return "Weather live failed: game cloud setting check unavailable.";
        default: return "Weather live failed: game weather value check unavailable.";
    }
}

const char* CheckFailed(FieldWords w) {
    switch (w) {
        case FieldWords::Setting: return "Weather live failed: game weather setting check failed.";
        case FieldWords::Cloud: return "Weather live failed: game cloud setting check failed.";
        default: return "Weather live failed: game weather value check failed.";
    }
}

// The word a WeatherTypes field takes for the value's current text.
bool FieldWord(const XmlValueRecord& value, const WeatherTypeField& field, uint32_t& word, std::string& status) {
    const std::string invalid = "Weather live failed: invalid value in " + value.path + ".";
    switch (field.kind) {
        case kWeatherFieldBool:
            if (EqualsNoCase(value.currentText, "true")) word = 1;
            else if (EqualsNoCase(value.currentText, "false")) word = 0;
            else return status = invalid, false;
            return true;
        case kWeatherFieldSettingIndex: {
            int32_t index = 0;
            if (!EffectSettingIndex(field.name, value.currentText, index)) return status = invalid, false;
            word = static_cast<uint32_t>(index);
            return true;
        }
        case kWeatherFieldCloudHash:
            if (!CloudSettingsHash(value.currentText, word)) return status = invalid, false;
            return true;
        default: {
            float f = 0.0f;
            if (!ParseWeatherValue(value, f, status)) return false;
            word = std::bit_cast<uint32_t>(f);
            return true;
        }
    }
}

// Per WeatherTypes value in document order: its offset in the table and its
// field row.
void LayOutWeatherTypes(const WeatherDocument& document, ConvertedWords& words) {
    for (size_t i = 0; i < document.values.size(); ++i) {
        int32_t weatherIndex = -1;
        int32_t fieldRow = -1;
        if (!ResolveWeatherTypesPath(document.values[i].path, weatherIndex, fieldRow)) continue;
        ConvertedWords::Entry& e = words.entries.emplace_back();
        e.value = static_cast<uint32_t>(i);
        e.row = static_cast<uint32_t>(fieldRow);
        e.where = static_cast<uint32_t>(weatherIndex) * kWeatherRecordSize +
                  WeatherTypeFieldTable[static_cast<size_t>(fieldRow)].offset;
    }
}

bool ConvertWeatherType(const WeatherDocument& document, const ConvertedWords::Entry& e, uint32_t& word,
                        std::string& failure) {
    return FieldWord(document.values[e.value], WeatherTypeFieldTable[e.row], word, failure);
}

// Per WeatherGpuFx value in document order: its field offset, its effect
// row and the registry row of the effect's render document (-1 when none).
void LayOutEffects(const WeatherDocument& document, ConvertedWords& words) {
    for (size_t i = 0; i < document.values.size(); ++i) {
        int32_t effectRow = -1;
        uint32_t fieldOffset = 0;
        if (!ResolveWeatherGpuFxPath(document.values[i].path, effectRow, fieldOffset)) continue;
        ConvertedWords::Entry& e = words.entries.emplace_back();
        e.value = static_cast<uint32_t>(i);
        e.where = fieldOffset;
        e.row = static_cast<uint32_t>(effectRow);
        e.extra = FindWeatherDocumentIndex(WeatherGpuFxTable[static_cast<size_t>(effectRow)].renderDocument);
    }
}

bool ConvertEffect(const WeatherDocument& document, const ConvertedWords::Entry& e, uint32_t& word,
                   std::string& failure) {
    float f = 0.0f;
    if (!ParseWeatherValue(document.values[e.value], f, failure)) return false;
    word = std::bit_cast<uint32_t>(f);
    return true;
}

// The table, found and readable, with the game's bytes saved once.
uint64_t TableForWrite(std::string& status) {
    WeatherLiveState& s = WeatherLive;
    uint64_t scanned = 0;
    uint64_t hits = 0;
    const uint64_t table = FindWeatherTypesTable(scanned, hits);
    if (table == 0 || !GameBytesReadable(table, kWeatherTypesTableBytes)) {
        status = "Weather live failed: current game weather values not found.";
        return 0;
    }
    if (!s.WeatherTypesTableSaved || s.weatherTypesSavedAt != table) {
        if (!ReadGameBytes(table, s.WeatherTypesTableOriginal.Reserve(kWeatherTypesTableBytes),
                           kWeatherTypesTableBytes)) {
            status = "Weather live failed: current game weather values not found.";
            return 0;
        }
        s.WeatherTypesTableSaved = 1;
        s.weatherTypesSavedAt = table;
    }
    return table;
}

// Writes the entries before the first that does not convert, one at a time
// in document order: each written by one 4-byte store of its own, checked
// readable and read back; a failure gives the message of that entry's field
// and ends the write there. Only the fields' own bytes are written: a game
// store to the bytes between them, made while the fields are written, stays.
bool WriteTableEntries(uint64_t table, const ConvertedWords& words, std::string& status) {
    for (size_t i = 0; i < words.failedAt; ++i) {
        const ConvertedWords::Entry& e = words.entries[i];
        const FieldWords w = WordsOf(WeatherTypeFieldTable[e.row].kind);
        const uint64_t at = table + e.where;
        if (!WriteGameBytes(at, &e.word, 4)) {
            status = NotWritable(w);
            return false;
        }
        uint32_t back = 0;
        if (!GameBytesReadable(at, 4) || !ReadGameWord(at, back)) {
            status = CheckUnavailable(w);
            return false;
        }
        if (back != e.word) {
            status = CheckFailed(w);
            return false;
        }
    }
    return true;
}

// Writes one effect word at every block of its render document (a registry
// row, -1 when not registered); word null: the value's text does not
// convert, and failure says why (after the blocks were found).
bool WriteEffectWord(int32_t renderDocument, uint32_t fieldOffset, const uint32_t* word, const std::string& failure,
                     std::string& status) {
    if (renderDocument < 0) {
        status = "Weather live failed: matching weather effect is not registered.";
        return false;
    }
    std::vector<uint64_t>& blocks = WeatherLive.effectBlocks;
    if (!ResolveWeatherEffectTargets(static_cast<size_t>(renderDocument), fieldOffset, blocks, status)) return false;
    if (word == nullptr) {
        status = failure;
        return false;
    }
    for (const uint64_t b : blocks) {
        if (b < kEffectDataBefore) {
            status = "Weather live failed: weather effect address invalid.";
            return false;
        }
        const uint64_t target = b - kEffectDataBefore + fieldOffset;
        if (!AddWeatherWriteTarget(target, status)) return false;
        if (!WriteGameBytes(target, word, 4)) {
            status = "Weather live failed: game effect value not writable.";
            return false;
        }
        uint32_t back = 0;
        if (!ReadGameWord(target, back)) {
            status = "Weather live failed: game effect value check unavailable.";
            return false;
        }
        if (back != *word) {
            status = "Weather live failed: game effect value check failed.";
            return false;
        }
    }
    return true;
}

bool WriteEffectValue(const XmlValueRecord& value, int32_t effectRow, uint32_t fieldOffset, std::string& status) {
    const int32_t renderDocument =
        FindWeatherDocumentIndex(WeatherGpuFxTable[static_cast<size_t>(effectRow)].renderDocument);
    std::string failure;
    float f = 0.0f;
    const bool ok = ParseWeatherValue(value, f, failure);
    const uint32_t word = std::bit_cast<uint32_t>(f);
    return WriteEffectWord(renderDocument, fieldOffset, ok ? &word : nullptr, failure, status);
}

void NoteEffectsSaved() {
    if (!WeatherLive.WeatherEffectTargets.empty()) WeatherLive.WeatherEffectsSaved = 1;
}

// Puts the render context back as it was, however the resolve ends.
struct RenderContextKeeper {
    RenderContext saved;
    RenderContextKeeper() {
        const RenderContext& now = WeatherLive.CurrentRenderContext;
        saved.documentName = now.documentName;
        saved.blocks = now.blocks;
        saved.firstBlock = now.firstBlock;
        saved.beforeShown = now.beforeShown;
    }
    ~RenderContextKeeper() {
        RenderContext& now = WeatherLive.CurrentRenderContext;
        now.documentName = std::move(saved.documentName);
        now.blocks = std::move(saved.blocks);
        now.firstBlock = saved.firstBlock;
        now.beforeShown = saved.beforeShown;
    }
};

}  // namespace

uint64_t FindWeatherTypesTable(uint64_t& bytesScanned, uint64_t& hitCount) {
    WeatherLiveState& s = WeatherLive;
    bytesScanned = 0;
    hitCount = 0;
    if (s.WeatherTypesTableAddress != 0 && GameBytesReadable(s.WeatherTypesTableAddress, kWeatherTypesTableBytes)) {
        hitCount = 1;
        return s.WeatherTypesTableAddress;
    }
    const uint64_t now = platform::TickCount64();
    if (s.weatherTypesSearchFailed && now >= s.weatherTypesFailedAtMs &&
        now - s.weatherTypesFailedAtMs < runtime::kSearchRetryIntervalMs)
        return 0;
    std::vector<runtime::ValueSignature> signatures(1);
    signatures[0].name = "weather_xml_extrasunny_head";
    for (float f : {1.0f, 0.0f, 0.25f, 1.0f}) runtime::AppendSignatureFloat(signatures[0], f);
    runtime::ScanReadableMemory(runtime::GameImageBase(), runtime::GetGameImageSize(), signatures, bytesScanned);
    hitCount = signatures[0].hitCount;
    uint64_t found = 0;
    bool ambiguous = false;
    uint8_t* table = s.scratch.Reserve(kWeatherTypesTableBytes);
    for (const uint64_t h : signatures[0].hits) {
        if (h == found || !ReadGameBytes(h, table, kWeatherTypesTableBytes) || !TableQualifies(table)) continue;
        if (found != 0) ambiguous = true;
        found = h;
    }
    if (ambiguous) found = 0;
    s.WeatherTypesTableAddress = found;
    s.weatherTypesSearchFailed = found == 0;
    s.weatherTypesFailedAtMs = now;
    return found;
}

bool ApplyWeatherSettingLive(uint64_t address, const XmlValueRecord& value, int32_t fieldRow, std::string& status) {
    const WeatherTypeField& field = WeatherTypeFieldTable[static_cast<size_t>(fieldRow)];
    uint32_t word = 0;
    if (!FieldWord(value, field, word, status)) return false;
    const FieldWords w = WordsOf(field.kind);
    if (!WriteGameBytes(address, &word, 4)) {
        status = NotWritable(w);
        return false;
    }
    uint32_t back = 0;
    if (!ReadGameWord(address, back)) {
        status = CheckUnavailable(w);
        return false;
    }
    if (back != word) {
        status = CheckFailed(w);
        return false;
    }
    return true;
}

bool ApplyWeatherXmlLive(const WeatherDocument& document, std::string& status) {
    WeatherLiveState& s = WeatherLive;
    if (!IsWeatherXml(document) || !document.loaded) {
        status = "Weather live failed: weather.xml is not loaded.";
        return false;
    }
    const uint64_t table = TableForWrite(status);
    if (table == 0) return false;
    RefreshConvertedWords(s.weatherTypesWords, document, LayOutWeatherTypes, ConvertWeatherType);
    if (!WriteTableEntries(table, s.weatherTypesWords, status)) return false;
    if (s.weatherTypesWords.Failed()) {
        status = s.weatherTypesWords.FailureText();
        return false;
    }
    if (!ApplyWeatherEffectLive(document, status)) return false;
    s.WeatherXmlBeforeShown = 0;
    s.weatherXmlAppliedWhole = 1;
    status = "Weather live applied.";
    return true;
}

bool ApplyWeatherEffectLive(const WeatherDocument& document, std::string& status) {
    ConvertedWords& words = WeatherLive.effectWords;
    RefreshConvertedWords(words, document, LayOutEffects, ConvertEffect);
    for (const ConvertedWords::Entry& e : words.entries) {
        if (!WriteEffectWord(e.extra, e.where, e.ok ? &e.word : nullptr, e.failure, status)) {
            NoteEffectsSaved();
            return false;
        }
    }
    NoteEffectsSaved();
    return true;
}

bool ApplyWeatherEffectValueLive(const XmlValueRecord& value, std::string& status) {
    int32_t effectRow = -1;
    uint32_t fieldOffset = 0;
    if (!ResolveWeatherGpuFxPath(value.path, effectRow, fieldOffset)) return false;
    const bool written = WriteEffectValue(value, effectRow, fieldOffset, status);
    NoteEffectsSaved();
    if (!written) return false;
    WeatherLive.WeatherXmlBeforeShown = 0;
    status = "Weather live applied.";
    return true;
}

bool AddWeatherWriteTarget(uint64_t address, std::string& status) {
    std::vector<WeatherEffectTarget>& targets = WeatherLive.WeatherEffectTargets;
    for (const WeatherEffectTarget& t : targets) {
        if (t.address == address) return true;
    }
    uint32_t current = 0;
    if (address == 0 || !ReadGameWord(address, current)) {
        status = "Weather live failed: game effect value not readable.";
        return false;
    }
    if (targets.capacity() < kEffectTargetCapacity || targets.size() == targets.capacity()) {
        // The saved values are the editor's copies of game bytes: their list
        // is registered as an own range, again whenever it moves.
        targets.reserve(std::max(kEffectTargetCapacity, 2 * targets.size()));
        runtime::UnregisterOwnRange(WeatherLive.effectTargetsRange);
        WeatherLive.effectTargetsRange =
            runtime::RegisterOwnRange(targets.data(), targets.capacity() * sizeof(WeatherEffectTarget));
    }
    targets.push_back({address, current});
    return true;
}

bool ValidateEffectAddresses(std::span<const uint64_t> blocks, uint32_t fieldOffset) {
    if (blocks.empty()) return false;
    for (const uint64_t b : blocks) {
        if (b < kEffectDataBefore) return false;
        const uint64_t target = b - kEffectDataBefore + fieldOffset;
        if (target == 0 || !GameBytesReadable(target, 4)) return false;
    }
    return true;
}

bool ResolveWeatherEffectTargets(size_t renderDocument, uint32_t fieldOffset, std::vector<uint64_t>& blocks,
                                 std::string& status) {
    blocks.clear();
    const WeatherDocument& document = WeatherDocuments.WeatherDocumentRegistry[renderDocument];
    const std::string_view key = document.fileName ? document.fileName : "";
    auto& cache = WeatherLive.WeatherEffectTargetCache;
    if (auto it = cache.find(key); it != cache.end()) {
        if (ValidateEffectAddresses(it->second, fieldOffset)) {
            blocks = it->second;
            return true;
        }
        cache.erase(it);
    }
    const RenderContextKeeper keeper;
    const RenderContext& context = WeatherLive.CurrentRenderContext;
    if (ResolveWeatherRenderBlocks(document) != 0 && !context.blocks.empty() &&
        ValidateEffectAddresses(context.blocks, fieldOffset)) {
        blocks = context.blocks;
        cache.insert_or_assign(std::string(key), blocks);
        return true;
    }
    status = "Weather live failed: matching weather effect is not active in game.";
    return false;
}

bool ApplyWeatherValueLive(const WeatherDocument& document, const XmlValueRecord& value, std::string& status) {
    if (!IsWeatherXml(document) || !document.loaded) {
        status = "Weather live failed: weather.xml is not loaded.";
        return false;
    }
    int32_t weatherIndex = -1;
    int32_t fieldRow = -1;
    if (ResolveWeatherTypesPath(value.path, weatherIndex, fieldRow)) {
        const uint64_t table = TableForWrite(status);
        if (table == 0) return false;
        const uint64_t address = table + static_cast<uint64_t>(weatherIndex) * kWeatherRecordSize +
                                 WeatherTypeFieldTable[static_cast<size_t>(fieldRow)].offset;
        if (!ApplyWeatherSettingLive(address, value, fieldRow, status)) return false;
        WeatherLive.WeatherXmlBeforeShown = 0;
        status = "Weather live applied.";
        return true;
    }
    int32_t effectRow = -1;
    uint32_t fieldOffset = 0;
    if (ResolveWeatherGpuFxPath(value.path, effectRow, fieldOffset)) return ApplyWeatherEffectValueLive(value, status);
    status = "Weather live failed: value is not live-mapped.";
    return false;
}

bool ReapplyWeatherXmlEdits(const WeatherDocument& document, std::string& status) {
    if (!IsWeatherXml(document) || !document.loaded) {
        status = "Weather live failed: weather.xml is not loaded.";
        return false;
    }
    if (WeatherLive.weatherXmlAppliedWhole) return ApplyWeatherXmlLive(document, status);
    bool applied = false;
    for (const XmlValueRecord& value : document.values) {
        if (!IsValueEdited(value) || !IsLiveSupportedValue(document, value)) continue;
        if (!ApplyWeatherValueLive(document, value, status)) return false;
        applied = true;
    }
    if (!applied) status = "Weather live applied.";
    return true;
}

bool WeatherLiveRestore(std::string& status) {
    WeatherLiveState& s = WeatherLive;
    bool wroteTable = false;
    if (s.WeatherTypesTableSaved) {
        const uint64_t table = s.weatherTypesSavedAt;
        if (table == 0 || !GameBytesReadable(table, kWeatherTypesTableBytes)) {
            status = "Weather live restore failed: WeatherTypes table not available.";
            return false;
        }
        if (!WriteGameBytes(table, s.WeatherTypesTableOriginal.data(), kWeatherTypesTableBytes)) {
            status = "Weather live restore failed: WeatherTypes table not writable.";
            return false;
        }
        s.WeatherTypesTableSaved = 0;
        wroteTable = true;
    }
    if (!s.WeatherEffectsSaved) {
        s.WeatherXmlBeforeShown = 0;
        s.weatherXmlAppliedWhole = 0;
        status = wroteTable ? "Weather live restored." : "Weather live restore skipped: no saved state.";
        return wroteTable;
    }
    for (const WeatherEffectTarget& t : s.WeatherEffectTargets) {
        if (t.address == 0 || !GameBytesReadable(t.address, 4)) {
            status = "Weather live restore failed: WeatherGpuFx value not available.";
            return false;
        }
        if (!WriteGameBytes(t.address, &t.saved, 4)) {
            status = "Weather live restore failed: WeatherGpuFx value not writable.";
            return false;
        }
    }
    s.WeatherEffectsSaved = 0;
    s.WeatherEffectTargets.clear();
    s.WeatherXmlBeforeShown = 0;
    s.weatherXmlAppliedWhole = 0;
    status = "Weather live restored.";
    return true;
}

}  // namespace weather
