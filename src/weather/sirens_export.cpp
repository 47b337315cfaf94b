#include "weather/sirens_export.h"

#include <cstring>

#include "core/file_utils.h"
#include "core/workspace.h"
#include "runtime/guarded_memory.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_state.h"

namespace weather {

namespace {

uint32_t BigEndianU32(std::string_view file, uint64_t at) {
    const auto* p = reinterpret_cast<const uint8_t*>(file.data()) + at;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

struct OffsetPair {
    uint32_t runtime;
    uint32_t file;
};

constexpr OffsetPair kHeadMap[] = {
    {12, 24}, {16, 28}, {20, 32}, {24, 36}, {28, 40},   {32, 44},   {40, 52},   {44, 64},
    {48, 80}, {52, 96}, {56, 112}, {60, 120}, {61, 121}, {62, 122}, {63, 123}, {64, 124},
};

// scaleFactor, scale and rotate lie in the file in the reverse of their runtime order.
constexpr OffsetPair kLightMap[] = {
    {0, 16},   {4, 20},   {8, 28},   {12, 32},  {13, 33},  {14, 34},  {16, 48},  {20, 52},  {24, 56},
    {28, 60},  {32, 64},  {33, 65},  {34, 66},  {36, 80},  {40, 84},  {44, 88},  {48, 92},  {52, 96},
    {56, 100}, {60, 104}, {61, 107}, {62, 106}, {63, 105}, {64, 108}, {65, 109}, {66, 110}, {67, 111},
};

template <size_t N>
int Lookup(const OffsetPair (&map)[N], uint32_t runtime) {
    for (const OffsetPair& p : map)
        if (p.runtime == runtime) return static_cast<int>(p.file);
    return -1;
}

// One field: the edited bytes at block position p, into the record's file
// offset when they differ from the baseline's.
void PatchField(std::string& out, const CarcolsSirenData& data, const uint8_t* edited, const uint8_t* baseline,
                size_t profile, uint64_t p, uint64_t fileOffsetInRecord, SirenFieldType type,
                CarcolsPatchOutcome& outcome) {
    const uint64_t width = SirenFieldWidth(type);
    if (p + width > kSirenBlockBytes) {
        outcome.notSafe = true;
        return;
    }
    if (std::memcmp(edited + p, baseline + p, width) == 0) return;
    const int record = CarcolsRecordOfProfile(profile);
    if (record < 0 || static_cast<uint64_t>(record) >= data.records) {
        ++outcome.notInFile;
        return;
    }
    // 64-bit positions: no file offset wraps.
    const uint64_t at = data.offset + static_cast<uint64_t>(record) * kCarcolsRecordBytes + fileOffsetInRecord;
    if (at + width > out.size()) {
        outcome.notSafe = true;
        return;
    }
    if (width == 1) {
        out[at] = static_cast<char>(edited[p]);
    } else {
        uint32_t value;
        std::memcpy(&value, edited + p, 4);
        out[at] = static_cast<char>(value >> 24);
        out[at + 1] = static_cast<char>(value >> 16);
        out[at + 2] = static_cast<char>(value >> 8);
        out[at + 3] = static_cast<char>(value);
    }
    ++outcome.written;
}

}  // namespace

bool FindCarcolsSirenData(std::string_view file, CarcolsSirenData& data) {
    if (file.size() < 20 || file.substr(0, 4) != "PSIN") return false;
    const uint64_t size = file.size();
    for (uint64_t pos = 0; pos + 16 <= size; ++pos) {
        if (BigEndianU32(file, pos) != kCarcolsSirenHash) continue;
        const uint64_t d = BigEndianU32(file, pos + 4);
        const uint64_t l = BigEndianU32(file, pos + 12);
        if (l == 0 || l % kCarcolsRecordBytes != 0) continue;
        const uint64_t k = l / kCarcolsRecordBytes;
        if (k < 1 || k > kSirenProfileCount || d + l > size) continue;
        bool idsInOrder = true;
        for (uint64_t r = 0; r < k && idsInOrder; ++r) {
            const uint64_t id = d + r * kCarcolsRecordBytes + 8;
            idsInOrder = id < size && static_cast<uint8_t>(file[id]) == r;
        }
        if (!idsInOrder) continue;
        data.offset = d;
        data.records = k;
        return true;
    }
    return false;
}

int CarcolsRecordOfProfile(size_t profile) {
    switch (profile) {
        case 0: return 1;
        case 1: return 2;
        case 3: return 4;
        case 4: return 5;
        case 5: return 6;
        case 6: return 7;
        case 7: return 8;
        case 8: return 9;
        case 9: return 10;
        case 12: return 13;
        default: return -1;
    }
}

int CarcolsHeadOffset(uint32_t runtimeOffset) { return Lookup(kHeadMap, runtimeOffset); }
int CarcolsLightOffset(uint32_t runtimeOffset) { return Lookup(kLightMap, runtimeOffset); }

CarcolsPatchOutcome PatchCarcolsSirens(std::string& file, const CarcolsSirenData& data, const uint8_t* edited,
                                       const uint8_t* baseline) {
    CarcolsPatchOutcome outcome;
    std::string out = file;
    for (const SirenProfileRow& row : SirenProfileTable) {
        const auto profile = static_cast<size_t>(row.index);
        for (const SirenField& f : SirenProfileFieldTable) {
            const int fileOffset = CarcolsHeadOffset(f.offset);
            if (f.offset < 12 || f.offset > 64 || fileOffset < 0) {
                outcome.notSafe = true;
                continue;
            }
            PatchField(out, data, edited, baseline, profile, SirenProfileOffset(profile) + f.offset,
                       static_cast<uint64_t>(fileOffset), f.type, outcome);
        }
        for (uint64_t light = 0; light < kSirenLightCount; ++light) {
            for (const SirenField& f : SirenLightFieldTable) {
                const int fileOffset = CarcolsLightOffset(f.offset);
                if (f.offset > 67 || fileOffset < 0) {
                    outcome.notSafe = true;
                    continue;
                }
                PatchField(out, data, edited, baseline, profile, SirenLightOffset(profile, light) + f.offset,
                           kCarcolsFirstLight + light * kCarcolsLightBytes + static_cast<uint64_t>(fileOffset), f.type,
                           outcome);
            }
        }
    }
    if (!outcome.notSafe && outcome.notInFile == 0 && outcome.written > 0) file.swap(out);
    return outcome;
}

bool ExportCarcolsYmt(std::string& status) {
    SirenState& s = Sirens;
    if (!s.SirenBaselineTaken) {
        status = "Nothing to export.";
        return false;
    }
    // The edited block: an own copy, which no search finds.
    const uint8_t* edited = nullptr;
    if (s.SirenBeforeShown && s.SirenEditedImageSaved) {
        edited = s.SirenEditedImage.data();
    } else {
        uint8_t* copy = s.scratch.Reserve(kSirenBlockBytes);
        if (!SirenBlockValid() || !runtime::SafeReadMemory(s.SirenBlockAddress, copy, kSirenBlockBytes)) {
            status = "Export unavailable: load Vehicle Sirens first.";
            return false;
        }
        edited = copy;
    }
    const std::string source = core::ImportsMiscFolder() + "carcols.ymt";
    std::string file;
    core::FileReadFailure failure = core::FileReadFailure::None;
    if (!core::ReadFileBytes(core::WidenAscii(source), file, &failure) || file.empty()) {
        status = failure == core::FileReadFailure::TooLarge
                     ? "Export stopped: carcols.ymt is larger than 64 MiB."
                     : "Put carcols.ymt into Imports\\Misc first.";
        return false;
    }
    CarcolsSirenData data;
    if (!FindCarcolsSirenData(file, data)) {
        status = "This carcols.ymt layout is not supported.";
        return false;
    }
    const CarcolsPatchOutcome outcome = PatchCarcolsSirens(file, data, edited, s.SirenBaseline.data());
    if (outcome.notSafe) {
        status = "Export stopped: this carcols.ymt is not safe to write.";
        return false;
    }
    if (outcome.notInFile > 0) {
        status = "Export stopped: this edited siren profile is not in carcols.ymt.";
        return false;
    }
    if (outcome.written == 0) {
        status = "Nothing to export.";
        return false;
    }
    // Written to a temporary file and renamed over the target: a failed
    // write leaves an earlier export as it was.
    const std::string target = core::ExportsMiscFolder() + "carcols.ymt";
    // The folder getters make a folder once: one the user removed since is made again here.
    core::CreateParentDirectory(target);
    if (!core::WriteTextFile(target, file)) {
        status = "Export failed: carcols.ymt could not be saved.";
        return false;
    }
    std::string back;
    if (!core::ReadFileBytes(core::WidenAscii(target), back) || back != file) {
        status = "Export failed: saved file could not be verified.";
        return false;
    }
    status = "Exported carcols.ymt.";
    return true;
}

}  // namespace weather
