// What the weather documents keep about the game while they are live: the
// game's bytes saved before the editor first wrote a block, the addresses
// written, the before/after flags, and the documents' values converted into
// the game's 32-bit words.
//
// Thread rule: the Weather and Misc tabs (render thread), the before/after
// hotkey (script fiber) and the unload all touch the weather documents
// (WeatherDocuments: the registry and the status line; ValueFilters) and
// this state. Each of them holds WeatherLive.lock for the whole of its work; every
// function of the weather layer that reads or writes either expects the
// caller to hold it (tests on one thread may call them without).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/region_walk.h"
#include "weather/weather_documents.h"

namespace weather {

inline constexpr uint64_t kWatertuneBlockBytes = 80;
inline constexpr uint64_t kLightningBlockBytes = 352;
inline constexpr uint64_t kWeatherTypesTableBytes = 17 * 196;
inline constexpr uint64_t kRenderBlockBytes = 188;
// A render block's particle-effect data (windInfluence, gravity) lies this
// many bytes before the block.
inline constexpr uint64_t kEffectDataBefore = 152;

// Bytes copied from the game that the editor keeps (registered as its own
// range, wiped before their memory goes back).
using runtime::OwnCopy;

// A document's values as the words the game stores. Laid out once per load
// of the document (which values map where); a value's word is made again
// only when its text changed. Every change of a value goes through
// document_io, which moves the document's edit generation on.
struct ConvertedWords {
    struct Entry {
        uint32_t value = 0;  // the value's index in the document
        uint32_t where = 0;  // where it goes: a field offset or a slot
        uint32_t row = 0;    // the row of the document's field table it is
        int32_t extra = -1;  // what else its layout notes (an effect's render document row)
        uint32_t word = 0;
        bool made = false;   // word (or failure) made from text
        bool ok = false;
        std::string text;     // the text the word was made from
        std::string failure;  // why it did not convert
    };
    uint64_t loadSerial = 0;
    uint64_t generation = 0;
    bool laidOut = false;
    bool converted = false;
    std::vector<Entry> entries;
    // A value the layout could not place ends it (the entries before it stay).
    bool layoutStopped = false;
    std::string layoutFailure;
    // The first entry whose text does not convert; entries.size() when none.
    size_t failedAt = 0;

    bool Failed() const { return failedAt < entries.size() || layoutStopped; }
    const std::string& FailureText() const {
        return failedAt < entries.size() ? entries[failedAt].failure : layoutFailure;
    }
};

using WordLayout = void (*)(const WeatherDocument& document, ConvertedWords& words);
using WordConversion = bool (*)(const WeatherDocument& document, const ConvertedWords::Entry& entry, uint32_t& word,
                                std::string& failure);
// Brings words up to the document: laid out anew after a new load, each
// entry converted again when its value's text changed.
void RefreshConvertedWords(ConvertedWords& words, const WeatherDocument& document, WordLayout layout,
                           WordConversion convert);

// One render document in the game (one per document, kept for the run).
struct RenderLiveState {
    std::vector<uint64_t> blocks;  // its 188-byte render settings blocks
    OwnCopy savedImages;           // 188 bytes per block, in block order
    uint8_t saved = 0;             // the two lists are complete and belong together
    uint8_t beforeShown = 0;       // the saved blocks are in the game, the edits wait
    ConvertedWords converted;      // slot and word of each mapped value
};

// The render document resolved or published last.
struct RenderContext {
    std::string documentName;
    std::vector<uint64_t> blocks;
    uint64_t firstBlock = 0;
    uint8_t beforeShown = 0;
};

// A search for a render document's blocks that found nothing: not repeated
// for the same load of the document before the retry interval is over.
struct RenderSearchFailure {
    uint64_t loadSerial = 0;
    uint64_t failedAtMs = 0;
};

struct WeatherEffectTarget {
    uint64_t address = 0;
    uint32_t saved = 0;  // the game's value before the editor's first write there
};

// The documents' live state; under its lock (the thread rule above).
struct WeatherLiveState {
    // Guards the weather documents and everything below (see the thread rule).
    std::mutex lock;

    // ---- watertune.xml: the 80-byte water tuning block ----
    uint64_t watertuneBlock = 0;  // the block written, whose bytes WatertuneOriginal holds
    uint8_t WatertuneSaved = 0;
    OwnCopy WatertuneOriginal;
    uint8_t WatertuneLiveApplied = 0;
    uint8_t WatertuneBeforeShown = 0;
    ConvertedWords watertuneWords;

    // ---- vfxlightningsettings.xml: the 352-byte lightning settings block ----
    uint64_t lightningBlock = 0;
    uint8_t VfxLightningSaved = 0;
    OwnCopy VfxLightningOriginal;
    uint8_t VfxLightningBeforeShown = 0;
    ConvertedWords lightningWords;

    // ---- weather.xml: the WeatherTypes table and the effects' values ----
    uint64_t WeatherTypesTableAddress = 0;
    OwnCopy WeatherTypesTableOriginal;
    uint8_t WeatherTypesTableSaved = 0;
    std::vector<WeatherEffectTarget> WeatherEffectTargets;  // in the order of first write
    uint64_t effectTargetsRange = 0;                        // their registration as an own range
    uint8_t WeatherEffectsSaved = 0;
    uint8_t WeatherXmlBeforeShown = 0;
    // The whole document was applied since the last restore: "after" applies
    // it whole again (the before view puts back every value, not only the
    // edited ones).
    uint8_t weatherXmlAppliedWhole = 0;
    std::map<std::string, std::vector<uint64_t>, std::less<>> WeatherEffectTargetCache;
    ConvertedWords weatherTypesWords;  // per WeatherTypes value: its table offset and word
    ConvertedWords effectWords;        // per WeatherGpuFx value: its field offset and word
    std::vector<uint64_t> effectBlocks;  // working list of an effect's blocks
    uint64_t weatherTypesSavedAt = 0;  // the table whose bytes WeatherTypesTableOriginal holds
    uint64_t weatherTypesFailedAtMs = 0;  // the last search that found no table
    bool weatherTypesSearchFailed = false;

    // ---- the weather render documents ----
    std::map<std::string, RenderLiveState, std::less<>> RenderLiveStates;  // by WeatherDocumentFileName
    RenderContext CurrentRenderContext;
    std::map<std::string, RenderSearchFailure, std::less<>> renderSearchFailures;  // by file name

    // Working copies of game bytes (images being written, bytes read back).
    OwnCopy scratch;
};
extern WeatherLiveState WeatherLive;

// Forgets everything the documents kept about the game, writing nothing (a
// fresh start for tests, and the unload's release).
void ResetWeatherLiveState();

// ---- Game memory as the live writers use it (guarded, fast for blocks that
// are written on every frame) ----------------------------------------------------
bool GameBytesReadable(uint64_t address, uint64_t size);
bool ReadGameBytes(uint64_t address, void* out, uint64_t size);
bool WriteGameBytes(uint64_t address, const void* bytes, uint64_t size);
bool ReadGameWord(uint64_t address, uint32_t& word);

// ---- Value texts into the game's words ---------------------------------------------
// atof: the number at the start of the text as a 32-bit float; false when
// it is not finite.
bool TextToFloatWord(std::string_view text, uint32_t& word);
// strtol base 10 with the game's 32-bit long: the whole text, not empty
// (white space before it and a sign allowed); a number beyond 32 bits stops
// at the bound.
bool TextToIntWord(std::string_view text, uint32_t& word);
// strtoul base 0 with the game's 32-bit unsigned long ("0x" hexadecimal,
// leading-zero octal, decimal): the whole text, not empty; a minus sign
// negates within 32 bits ("-1" is 0xFFFFFFFF), a number beyond 32 bits
// stops at 0xFFFFFFFF whatever its sign ("-99999999999" too).
bool TextToUnsignedWord(std::string_view text, uint32_t& word);


}  // namespace weather
