#include "weather/render_live.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/file_utils.h"
#include "platform/clock.h"
#include "runtime/cached_search.h"
#include "runtime/region_walk.h"
#include "runtime/scans.h"
#include "weather/weather_text.h"

namespace weather {
namespace {

constexpr size_t kMaxRenderBlocks = 8;

// The original text as the float the game loaded; false when not finite.
bool OriginalFloat(const XmlValueRecord& value, float& out) {
    out = static_cast<float>(LenientDouble(value.originalText));
    return std::isfinite(out);
}

// The signature hits as blocks: each hit less the bytes of the slots before
// the run (hits too low for that are no block).
void BlocksFromHits(const std::vector<uint64_t>& hits, uint64_t runOffset, std::vector<uint64_t>& blocks) {
    blocks.clear();
    for (const uint64_t h : hits) {
        if (h >= runOffset && h - runOffset != 0) blocks.push_back(h - runOffset);
    }
}

void SetContext(RenderContext& context, const WeatherDocument& document, std::vector<uint64_t> blocks) {
    context.documentName = WeatherDocumentFileName(document);
    context.blocks = std::move(blocks);
    context.firstBlock = context.blocks.empty() ? 0 : context.blocks.front();
}

void EmptyContextList(RenderContext& context) {
    context.blocks.clear();
    context.firstBlock = 0;
}

void ScanImage(std::vector<runtime::ValueSignature>& signatures, uint64_t& bytesScanned) {
    runtime::ScanReadableMemory(runtime::GameImageBase(), runtime::GetGameImageSize(), signatures, bytesScanned);
}

struct SlotImage {
    float value[kRenderSettingsSlots] = {};
    bool valid[kRenderSettingsSlots] = {};
};

SlotImage FieldImage(const std::vector<XmlValueRecord>& values) {
    SlotImage image;
    for (const XmlValueRecord& v : values) {
        const int32_t slot = DropRenderFieldIndex(v);
        float f = 0.0f;
        if (v.kind != kXmlValueFloat || slot < 0 || !OriginalFloat(v, f)) continue;
        image.value[slot] = f;
        image.valid[slot] = true;
    }
    return image;
}

// Mode 1, step one: windows of 16, 12 and 8 valid slots in a row. The
// signature with the fewest hits among those with 1 to 8 (a longer window
// on equal hits, the first made among equals; a 16-slot window with one hit
// at once).
uint64_t ResolveByWindows(const WeatherDocument& document, const SlotImage& image, RenderContext& context,
                          uint64_t& bytesScanned, uint64_t& hitCount, bool& anyWindow) {
    std::vector<runtime::ValueSignature> signatures;
    std::vector<uint32_t> starts;
    for (const uint32_t length : {16u, 12u, 8u}) {
        for (uint32_t s = 0; s + length <= kRenderSettingsSlots; ++s) {
            if (!std::all_of(image.valid + s, image.valid + s + length, [](bool v) { return v; })) continue;
            runtime::ValueSignature& signature = signatures.emplace_back();
            signature.name = document.fileName;
            for (uint32_t k = s; k < s + length; ++k) runtime::AppendSignatureFloat(signature, image.value[k]);
            starts.push_back(s);
        }
    }
    anyWindow = !signatures.empty();
    if (!anyWindow) return 0;
    ScanImage(signatures, bytesScanned);
    const runtime::ValueSignature* best = nullptr;
    size_t bestIndex = 0;
    for (size_t i = 0; i < signatures.size(); ++i) {
        const runtime::ValueSignature& s = signatures[i];
        if (s.hitCount < 1 || s.hitCount > kMaxRenderBlocks) continue;
        if (s.bytes.size() == 16 * 4 && s.hitCount == 1) {
            best = &s;
            bestIndex = i;
            break;
        }
        if (best == nullptr || s.hitCount < best->hitCount) {
            best = &s;
            bestIndex = i;
        }
    }
    hitCount = best ? best->hitCount : 0;
    if (best == nullptr) return 0;
    std::vector<uint64_t> blocks;
    BlocksFromHits(best->hits, 4ull * starts[bestIndex], blocks);
    SetContext(context, document, std::move(blocks));
    return context.firstBlock;
}

bool NearUnitOrZero(float v) {
    return std::fabs(v) < 0.0001f || std::fabs(v - 1.0f) < 0.0001f || std::fabs(v + 1.0f) < 0.0001f;
}

// Mode 1, step two: one signature per telling slot value; a block
// qualifies when every valid slot holds its value bit for bit.
uint64_t ResolveBySingleValues(const WeatherDocument& document, const SlotImage& image, RenderContext& context,
                               uint64_t& bytesScanned, uint64_t& hitCount) {
    std::vector<runtime::ValueSignature> signatures;
    std::vector<uint32_t> slots;
    for (uint32_t slot = 0; slot < kRenderSettingsSlots; ++slot) {
        if (!image.valid[slot] || NearUnitOrZero(image.value[slot])) continue;
        runtime::ValueSignature& signature = signatures.emplace_back();
        signature.name = document.fileName;
        runtime::AppendSignatureFloat(signature, image.value[slot]);
        slots.push_back(slot);
    }
    if (signatures.empty()) {
        EmptyContextList(context);
        return 0;
    }
    ScanImage(signatures, bytesScanned);
    std::vector<uint64_t> taken;
    uint32_t block[kRenderSettingsSlots];
    for (size_t i = 0; i < signatures.size() && taken.size() <= kMaxRenderBlocks; ++i) {
        for (const uint64_t h : signatures[i].hits) {
            if (taken.size() > kMaxRenderBlocks) break;
            const uint64_t before = 4ull * slots[i];
            if (h < before) continue;
            const uint64_t b = h - before;
            if (b == 0 || std::find(taken.begin(), taken.end(), b) != taken.end()) continue;
            if (!ReadGameBytes(b, block, kRenderBlockBytes)) continue;
            bool all = true;
            for (uint32_t j = 0; j < kRenderSettingsSlots && all; ++j)
                all = !image.valid[j] || block[j] == std::bit_cast<uint32_t>(image.value[j]);
            if (all) taken.push_back(b);
        }
    }
    if (taken.empty() || taken.size() > kMaxRenderBlocks) {
        EmptyContextList(context);
        return 0;
    }
    hitCount = taken.size();
    SetContext(context, document, std::move(taken));
    return context.firstBlock;
}

uint64_t SearchRenderBlocks(const WeatherDocument& document, const WeatherRenderFile& row, RenderContext& context,
                            uint64_t& bytesScanned, uint64_t& hitCount) {
    std::vector<XmlValueRecord> values;
    if (!RenderDocumentValues(document, values)) return 0;
    if (row.searchMode == 0) {
        runtime::ValueSignature signature;
        signature.name = document.fileName;
        int32_t firstSlot = 0;
        if (!BuildRenderSignature(values, row.signatureFirst, row.signatureCount, signature.bytes, firstSlot)) return 0;
        std::vector<runtime::ValueSignature> one(1);
        one[0] = std::move(signature);
        ScanImage(one, bytesScanned);
        hitCount = one[0].hitCount;
        if (hitCount < 1 || hitCount > kMaxRenderBlocks) {
            EmptyContextList(context);
            return 0;
        }
        std::vector<uint64_t> blocks;
        BlocksFromHits(one[0].hits, 4ull * static_cast<uint64_t>(firstSlot), blocks);
        SetContext(context, document, std::move(blocks));
        return context.firstBlock;
    }
    const SlotImage image = FieldImage(values);
    bool anyWindow = false;
    const uint64_t byWindow = ResolveByWindows(document, image, context, bytesScanned, hitCount, anyWindow);
    if (byWindow != 0 || !anyWindow) return byWindow;
    return ResolveBySingleValues(document, image, context, bytesScanned, hitCount);
}

// Every value of a render document in order, by its slot; a value of no
// slot ends the layout.
void LayOutRender(const WeatherDocument& document, ConvertedWords& words) {
    for (size_t i = 0; i < document.values.size(); ++i) {
        const XmlValueRecord& v = document.values[i];
        const int32_t slot = DropRenderFieldIndex(v);
        if (slot < 0 || slot >= static_cast<int32_t>(kRenderSettingsSlots)) {
            words.layoutStopped = true;
            words.layoutFailure = "Weather render live failed: unsupported field " + v.path + ".";
            return;
        }
        ConvertedWords::Entry& e = words.entries.emplace_back();
        e.value = static_cast<uint32_t>(i);
        e.where = static_cast<uint32_t>(slot);
    }
}

// A value the file writes as an integer text goes into its slot as a
// 32-bit integer (the game keeps those fields as integers; its texts must
// stay whole numbers); every other value as a 32-bit float.
bool ConvertRender(const WeatherDocument& document, const ConvertedWords::Entry& e, uint32_t& word,
                   std::string& failure) {
    const XmlValueRecord& v = document.values[e.value];
    const bool integer = v.kind == kXmlValueInteger;
    if (integer ? TextToIntWord(v.currentText, word) : TextToFloatWord(v.currentText, word)) return true;
    failure = std::string("Weather render live failed: invalid ") + (integer ? "int" : "float") + " in " + v.path + ".";
    return false;
}

const ConvertedWords& RenderWords(const WeatherDocument& document, RenderLiveState& state) {
    RefreshConvertedWords(state.converted, document, LayOutRender, ConvertRender);
    return state.converted;
}

// Takes the saved images for the blocks of the context: the images already
// saved for a block stay (they are the game's bytes from before the first
// write there); a new block is read now.
bool TakeImages(RenderLiveState& state, const std::vector<uint64_t>& blocks) {
    std::vector<uint8_t> images(blocks.size() * kRenderBlockBytes);
    const runtime::ScopedOwnRange own(images.data(), images.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
        uint8_t* into = images.data() + i * kRenderBlockBytes;
        const auto old = std::find(state.blocks.begin(), state.blocks.end(), blocks[i]);
        const size_t oldIndex = static_cast<size_t>(old - state.blocks.begin());
        if (state.saved && old != state.blocks.end() && state.savedImages.size() >= (oldIndex + 1) * kRenderBlockBytes) {
            std::memcpy(into, state.savedImages.data() + oldIndex * kRenderBlockBytes, kRenderBlockBytes);
        } else if (blocks[i] == 0 || !ReadGameBytes(blocks[i], into, kRenderBlockBytes)) {
            return false;
        }
    }
    state.blocks = blocks;
    state.savedImages.Assign(images.data(), images.size());
    state.saved = 1;
    return true;
}

}  // namespace

bool RenderDocumentValues(const WeatherDocument& document, std::vector<XmlValueRecord>& values) {
    values.clear();
    if (document.loaded && !document.sourceText.empty()) {
        values = document.values;
        return !values.empty();
    }
    std::string text;
    const bool read = core::ReadTextFile(WeatherDocumentImportReadPath(document), text) ||
                      core::ReadTextFile(WeatherDocumentWorkspacePath(document), text) ||
                      core::ReadFileBytes(WideFileName(document), text);
    uint64_t warnings = 0;
    return read && ScanXmlValues(text, values, warnings);
}

bool BuildRenderSignature(const std::vector<XmlValueRecord>& values, int32_t first, int32_t count,
                          std::vector<uint8_t>& bytes, int32_t& firstSlot) {
    bytes.clear();
    if (values.empty() || first < 0 || count < 1 ||
        static_cast<uint64_t>(first) + static_cast<uint64_t>(count) > values.size())
        return false;
    firstSlot = DropRenderFieldIndex(values[static_cast<size_t>(first)]);
    if (firstSlot < 0 || firstSlot + count > static_cast<int32_t>(kRenderSettingsSlots)) return false;
    for (int32_t i = 0; i < count; ++i) {
        const XmlValueRecord& v = values[static_cast<size_t>(first + i)];
        float f = 0.0f;
        if (DropRenderFieldIndex(v) != firstSlot + i || !OriginalFloat(v, f)) {
            bytes.clear();
            return false;
        }
        const uint32_t word = std::bit_cast<uint32_t>(f);
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
    }
    return true;
}

uint64_t ResolveWeatherRenderBlocks(const WeatherDocument& document, uint64_t* bytesScanned, uint64_t* hitCount) {
    uint64_t scanned = 0;
    uint64_t hits = 0;
    const auto report = [&](uint64_t result) {
        if (bytesScanned) *bytesScanned = scanned;
        if (hitCount) *hitCount = hits;
        return result;
    };
    if (DocumentKindOf(document) != DocumentKind::Render) return report(0);
    const std::string_view name = document.fileName;
    WeatherLiveState& live = WeatherLive;
    RenderContext& context = live.CurrentRenderContext;
    if (const RenderLiveState* state = FindRenderLiveState(document); state && RenderStateValid(*state)) {
        PublishWeatherDocState(document, *state);
        hits = state->blocks.size();
        return report(context.firstBlock);
    }
    if (context.firstBlock != 0 && EqualsNoCase(context.documentName, name) && !context.blocks.empty() &&
        GameBytesReadable(context.firstBlock, kRenderBlockBytes)) {
        hits = 1;
        return report(context.firstBlock);
    }
    const uint64_t now = platform::TickCount64();
    auto failure = live.renderSearchFailures.find(name);
    if (failure != live.renderSearchFailures.end() && failure->second.loadSerial == document.loadSerial &&
        now >= failure->second.failedAtMs && now - failure->second.failedAtMs < runtime::kSearchRetryIntervalMs)
        return report(0);
    const WeatherRenderFile* row = FindWeatherRenderFile(name);
    const uint64_t block = row == nullptr ? 0 : SearchRenderBlocks(document, *row, context, scanned, hits);
    if (block == 0) live.renderSearchFailures.insert_or_assign(std::string(name), RenderSearchFailure{document.loadSerial, now});
    else if (failure != live.renderSearchFailures.end()) live.renderSearchFailures.erase(failure);
    return report(block);
}

bool ConvertDropRenderValue(const WeatherDocument& document, uint32_t (&image)[47], std::string& status) {
    ConvertedWords words;
    RefreshConvertedWords(words, document, LayOutRender, ConvertRender);
    if (words.Failed()) {
        status = words.FailureText();
        return false;
    }
    for (const ConvertedWords::Entry& e : words.entries) image[e.where] = e.word;
    return true;
}

bool ApplyWeatherRenderLive(const WeatherDocument& document, std::string& status) {
    if (!document.loaded || DocumentKindOf(document) != DocumentKind::Render) {
        status = "Weather render live failed: this .xml is not runtime-verified.";
        return false;
    }
    RenderContext& context = WeatherLive.CurrentRenderContext;
    if (ResolveWeatherRenderBlocks(document) == 0 || context.blocks.empty()) {
        status = "Weather render live failed: runtime block not resolved.";
        return false;
    }
    RenderLiveState& state = GetOrAddRenderLiveState(document);
    const bool keep = state.blocks == context.blocks &&
                      state.savedImages.size() == state.blocks.size() * kRenderBlockBytes && RenderStateValid(state);
    if (!keep && !TakeImages(state, context.blocks)) {
        state.blocks.clear();
        state.savedImages.Clear();
        state.saved = 0;
        status = "Weather render live failed: runtime block not available.";
        return false;
    }
    const ConvertedWords& words = RenderWords(document, state);
    uint32_t* image = reinterpret_cast<uint32_t*>(WeatherLive.scratch.Reserve(2 * kRenderBlockBytes));
    uint32_t* back = image + kRenderSettingsSlots;
    for (const uint64_t block : state.blocks) {
        if (block == 0 || !ReadGameBytes(block, image, kRenderBlockBytes)) {
            status = "Weather render live failed: runtime block not available.";
            return false;
        }
        if (words.Failed()) {
            status = words.FailureText();
            return false;
        }
        for (const ConvertedWords::Entry& e : words.entries) image[e.where] = e.word;
        if (!WriteGameBytes(block, image, kRenderBlockBytes)) {
            status = "Weather render live failed: runtime block not writable.";
            return false;
        }
        if (!ReadGameBytes(block, back, kRenderBlockBytes) || std::memcmp(back, image, kRenderBlockBytes) != 0) {
            status = "Weather render live failed: runtime verification mismatch.";
            return false;
        }
    }
    state.beforeShown = 0;
    PublishWeatherDocState(document, state);
    status = "Weather live applied.";
    return true;
}

RenderLiveState& GetOrAddRenderLiveState(const WeatherDocument& document) {
    if (RenderLiveState* state = FindRenderLiveState(document)) return *state;
    return WeatherLive.RenderLiveStates[WeatherDocumentFileName(document)];
}

RenderLiveState* FindRenderLiveState(const WeatherDocument& document) {
    auto& states = WeatherLive.RenderLiveStates;
    auto it = states.find(std::string_view(document.fileName ? document.fileName : ""));
    return it == states.end() ? nullptr : &it->second;
}

bool RenderStateValid(const RenderLiveState& state) {
    return runtime::ValidateWeatherRecordList(state.saved != 0, state.blocks, state.savedImages.size());
}

void PublishWeatherDocState(const WeatherDocument& document, const RenderLiveState& state) {
    RenderContext& context = WeatherLive.CurrentRenderContext;
    const std::string_view name = document.fileName ? document.fileName : "";
    if (context.documentName != name) context.documentName.assign(name);
    context.blocks = state.blocks;
    context.firstBlock = state.blocks.empty() ? 0 : state.blocks.front();
    context.beforeShown = state.beforeShown;
}

}  // namespace weather
