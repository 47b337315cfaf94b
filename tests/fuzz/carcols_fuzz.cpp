// libFuzzer target of the carcols.ymt reader and patcher: the input is the
// file. Whatever it holds, the siren data found lies whole in the file with
// its record ids in order, and a patch of live edits (chosen from the
// input) changes only bytes inside that data, each patched field holding
// the edited value most significant byte first; a file refused is left as
// it was.
// Real seeds: carcols
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "weather/sirens_export.h"
#include "weather/sirens_state.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

uint64_t Hash(std::string_view text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    weather::CarcolsSirenData found;
    if (!weather::FindCarcolsSirenData(input, found)) return 0;
    Require(size >= 20 && std::memcmp(data, "PSIN", 4) == 0);
    Require(found.records >= 1 && found.records <= weather::kSirenProfileCount);
    const uint64_t end = found.offset + found.records * weather::kCarcolsRecordBytes;
    Require(end <= size);
    for (uint64_t r = 0; r < found.records; ++r) Require(data[found.offset + r * weather::kCarcolsRecordBytes + 8] == r);

    // Edits of a few fields of profiles that have records, chosen from the input.
    std::vector<uint8_t> baseline(weather::kSirenBlockBytes, 0);
    std::vector<uint8_t> edited = baseline;
    uint64_t h = Hash(input);
    static const size_t kProfiles[] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 12};
    for (int i = 0; i < 4; ++i, h = h * 6364136223846793005ull + 1442695040888963407ull) {
        const size_t profile = kProfiles[(h >> 8) % 10];
        const uint64_t light = (h >> 16) % 21;  // 20: a head field
        const uint32_t value = static_cast<uint32_t>(h >> 32) | 1u;
        if (light == 20) {
            const weather::SirenField& f = weather::SirenProfileFieldTable[(h >> 24) % weather::kSirenProfileFieldCount];
            std::memcpy(edited.data() + weather::SirenProfileOffset(profile) + f.offset, &value,
                        weather::SirenFieldWidth(f.type));
        } else {
            const weather::SirenField& f = weather::SirenLightFieldTable[(h >> 24) % weather::kSirenLightFieldCount];
            std::memcpy(edited.data() + weather::SirenLightOffset(profile, light) + f.offset, &value,
                        weather::SirenFieldWidth(f.type));
        }
    }
    std::string file(input);
    const weather::CarcolsPatchOutcome outcome = weather::PatchCarcolsSirens(file, found, edited.data(), baseline.data());
    Require(!outcome.notSafe);
    Require(file.size() == size);
    const bool writable = outcome.notInFile == 0 && outcome.written > 0;
    if (!writable) {
        Require(file == input);
        return 0;
    }
    for (size_t i = 0; i < size; ++i)
        if (file[i] != input[i]) Require(i >= found.offset && i < end);
    return 0;
}
