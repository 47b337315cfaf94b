#include "support/synthetic_game.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/safe_copy.h"
#include "runtime/block_locators.h"
#include "runtime/code_patch.h"
#include "support/thread_waits.h"

namespace testsupport {
namespace {

using runtime::CodePatternId;
using runtime::RedirectRecordRow;

void PutI32(std::vector<uint8_t>& code, size_t at, int32_t v) { std::memcpy(code.data() + at, &v, 4); }

// Sets the disp32 at offset disp of the instruction starting at start (in
// code placed at base) so that, with the instruction ending at end, it
// addresses target.
void Address(std::vector<uint8_t>& code, uint64_t base, size_t disp, size_t end, uint64_t target) {
    const int64_t d = static_cast<int64_t>(target - (base + end));
    EXPECT_EQ(static_cast<int32_t>(d), d) << "synthetic game: target out of reach";
    PutI32(code, disp, static_cast<int32_t>(d));
}

// The ModRM register of a shape (prefixes, optional REX, 0F, opcode..., ModRM).
struct ShapeInfo {
    int reg = 0;
    uint8_t op = 0;
};
ShapeInfo Decode(const uint8_t* shape, size_t length) {
    ShapeInfo info;
    size_t i = 0;
    bool rexR = false;
    while (i < length && shape[i] != 0x0F) {
        if (shape[i] >= 0x40 && shape[i] <= 0x4F) rexR = (shape[i] & 4) != 0;
        ++i;
    }
    info.op = shape[i + 1];
    const uint8_t modrm = shape[length - 1];
    info.reg = ((modrm >> 3) & 7) + (rexR ? 8 : 0);
    return info;
}

// movups/movss xmm<reg> to or from [rdi].
void MoveXmm(std::vector<uint8_t>& code, int reg, uint8_t prefix, uint8_t op) {
    if (prefix) code.push_back(prefix);
    if (reg >= 8) code.push_back(0x44);
    code.insert(code.end(), {0x0F, op, static_cast<uint8_t>(0x07 | ((reg & 7) << 3))});
}

struct GuardedCall {
    uint64_t function = 0;
    uint32_t out[4] = {};
};
void CallGuarded(void* context) {
    GuardedCall& call = *static_cast<GuardedCall*>(context);
    CallReader(call.function, call.out);
}

}  // namespace

size_t LanesRead(const RedirectRecordRow& record) {
    const runtime::CodePatternRow* pattern =
        record.pattern != runtime::kNoCodePattern ? &runtime::CodePattern(record.pattern) : nullptr;
    const uint8_t* shape = pattern ? pattern->bytes + record.from : record.shape;
    const ShapeInfo info = Decode(shape, pattern ? record.disp : record.shapeLength);
    if (info.op != 0x10) return 1;
    if (shape[0] == 0xF3) return 1;
    if (shape[0] == 0xF2) return 2;
    return 4;
}

std::vector<uint8_t> PatternBytesOf(CodePatternId id) {
    const runtime::CodePatternRow& row = runtime::CodePattern(id);
    std::vector<uint8_t> bytes(row.bytes, row.bytes + row.length);
    for (size_t i = 0; i < row.length; ++i)
        if (row.mask[i] != 'x') bytes[i] = 0;
    return bytes;
}

uint64_t PlantReader(SyntheticImage& image, const RedirectRecordRow& record, uint64_t target, uint64_t* instruction) {
    std::vector<uint8_t> code;
    size_t at = 0;  // where the instruction under test starts
    if (record.pattern != runtime::kNoCodePattern) {
        // The masked pattern runs whole: its other operands address scratch
        // data (the multiplier holds 1.0), then xmm0 goes to [rdi].
        const uint64_t scratch = image.Reserve(ImageSection::Data, 64, 16);
        image.WriteFloat(scratch, 1.0f);
        code = PatternBytesOf(record.pattern);
        at = record.from;
        const uint64_t base = image.Reserve(ImageSection::Text, code.size() + 8, 16);
        for (size_t i = 0; i + 8 <= code.size(); i += 8) {
            if (i == at) continue;
            if (code[i] == 0xF3 && code[i + 1] == 0x0F) Address(code, base, i + 4, i + 8, scratch);
        }
        Address(code, base, at + record.disp, at + record.length, target);
        MoveXmm(code, 0, 0, 0x11);
        code.push_back(0xC3);
        image.Write(base, code);
        if (instruction) *instruction = base + at;
        return base;
    }
    const ShapeInfo info = Decode(record.shape, record.shapeLength);
    if (info.op == 0x59 || info.op == 0x2E) MoveXmm(code, info.reg, 0xF3, 0x10);  // the other operand from [rdi]
    if (info.op == 0x3A) code.insert(code.end(), {0x0F, 0x57, 0xC0});          // xorps xmm0, xmm0
    at = code.size();
    code.insert(code.end(), record.shape, record.shape + record.shapeLength);
    code.resize(at + record.length, 0);  // disp32 (and insertps' imm8 = 0)
    if (info.op == 0x2E) {
        code.insert(code.end(), {0x0F, 0x94, 0xC0, 0x0F, 0xB6, 0xC0, 0x89, 0x07});  // sete al; movzx eax, al; mov [rdi], eax
    } else {
        MoveXmm(code, info.reg, 0, 0x11);  // movups [rdi], xmm<reg>
    }
    code.push_back(0xC3);
    const uint64_t base = image.Reserve(ImageSection::Text, code.size(), 16);
    Address(code, base, at + record.disp, at + record.length, target);
    image.Write(base, code);
    if (instruction) *instruction = base + at;
    return base;
}

void CallReader(uint64_t function, uint32_t out[4]) {
    reinterpret_cast<void (*)(uint32_t*)>(static_cast<uintptr_t>(function))(out);
}

uint64_t PlantLoadAcrossBlocks(SyntheticImage& image, const std::vector<uint8_t>& shape, uint64_t target) {
    // The store is the load's own bytes with 0F 11 and [rdi] for 0F 10 and rip.
    if (shape.size() < 2) return 0;
    std::vector<uint8_t> code = shape;
    code.resize(shape.size() + 4, 0);
    std::vector<uint8_t> store(shape.begin(), shape.end() - 2);
    store.push_back(0x11);
    store.push_back(static_cast<uint8_t>((shape.back() & 0x38) | 0x07));
    code.insert(code.end(), store.begin(), store.end());
    code.push_back(0xC3);
    const uint64_t block = image.Reserve(ImageSection::Text, 16 + code.size(), 16);
    const uint64_t at = block + 15 - shape.size();
    Address(code, at, shape.size(), shape.size() + 4, target);
    image.Write(at, code);
    return at;
}

bool ChangesAcrossBlocks(const runtime::CodePatch& patch) {
    size_t first = 0, last = patch.length;
    while (first < patch.length && patch.saved[first] == patch.bytes[first]) ++first;
    while (last > first && patch.saved[last - 1] == patch.bytes[last - 1]) --last;
    return last > first && (patch.site + first) >> 4 != (patch.site + last - 1) >> 4;
}

CallsDuringRewrites CallWhileRewriting(uint64_t function, float before, float after, int rounds,
                                       const std::function<void()>& rewrite) {
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> calls{0}, unexpected{0};
    std::thread game([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            GuardedCall call{function, {}};
            const bool ran = platform::GuardedRun(&CallGuarded, &call);
            const float read = std::bit_cast<float>(call.out[0]);
            if (!ran || (read != before && read != after)) unexpected.fetch_add(1, std::memory_order_relaxed);
            calls.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // The thread runs before the first rewrite; a thread that stalls ends
    // the rewrites after 10 s, short of its calls.
    const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
    testsupport::WaitUntil([&] { return calls.load() != 0; }, std::chrono::seconds(10));
    const uint64_t first = calls.load();
    for (int i = 0; (i < rounds || calls.load() - first < static_cast<uint64_t>(rounds)) &&
                    std::chrono::steady_clock::now() < deadline;
         ++i)
        rewrite();
    stop = true;
    game.join();
    return {calls.load() - first, unexpected.load()};
}

SyntheticGame PlantSyntheticGame(SyntheticImage& image) {
    SyntheticGame game;
    game.timecycleBlock = image.PlantLocatableTimecycleBlock();
    const uint64_t block = game.timecycleBlock;
    game.engineBlock = image.Reserve(ImageSection::Data, 20480 + 1360, 64);
    for (const RedirectRecordRow& record : runtime::AllRedirectRecords()) {
        uint64_t instruction = 0;
        game.readers.push_back(PlantReader(image, record, block + record.field, &instruction));
        game.instructions.push_back(instruction);
    }
    // The engine's stores follow the lea that names its block.
    image.PlantRipRelative({0x4C, 0x8D, 0x25, 0, 0, 0, 0}, 3, game.engineBlock);
    game.patterns.assign(runtime::kCodePatternCount, 0);
    const uint64_t scratch = image.Reserve(ImageSection::Data, 256, 16);
    for (size_t p = 0; p < runtime::kCodePatternCount; ++p) {
        const CodePatternId id = static_cast<CodePatternId>(p);
        // Planted by the readers (the masked redirects) or inside another
        // pattern (the stores alone of the fallbacks).
        if (id == CodePatternId::VehicleSecondSpecOverride || id == CodePatternId::VehicleLightsIntensityScale ||
            id == CodePatternId::EnvBlurStore30 || id == CodePatternId::ScreenBlurStore)
            continue;
        std::vector<uint8_t> bytes = PatternBytesOf(id);
        // The store at the end of this one runs a byte past it.
        if (id == CodePatternId::ExposureBloom) bytes.push_back(0x00);
        const uint64_t at = image.Reserve(ImageSection::Text, bytes.size(), 1);
        switch (id) {
            case CodePatternId::PedLight:
                Address(bytes, at, 4, 8, block + 160);
                Address(bytes, at, 12, 16, block + 152);
                Address(bytes, at, 36, 40, block + 164);
                for (int i = 0; i < 3; ++i) {
                    game.pedGlobals[i] = scratch + 16 * i;
                    const size_t store = i == 0 ? 16 : i == 1 ? 24 : 40;
                    Address(bytes, at, store + 4, store + 8, game.pedGlobals[i]);
                }
                break;
            case CodePatternId::Tonemap:
                Address(bytes, at, 5, 9, block + 376);
                Address(bytes, at, 21, 25, block + 412);
                break;
            case CodePatternId::NightVisionScalar: Address(bytes, at, 14, 18, block + 660); break;
            case CodePatternId::LightRays1:
                Address(bytes, at, 11, 15, block + 272);
                Address(bytes, at, 19, 23, block + 268);
                Address(bytes, at, 33, 37, block + 264);
                break;
            case CodePatternId::LightRays2:
                Address(bytes, at, 3, 7, block + 284);
                Address(bytes, at, 17, 21, block + 300);
                Address(bytes, at, 25, 29, block + 296);
                break;
            case CodePatternId::ManualLiveWrite0:
            case CodePatternId::ManualLiveWrite1:
            case CodePatternId::ManualLiveWrite2:
            case CodePatternId::ManualLiveWrite3: {
                const size_t m = p - static_cast<size_t>(CodePatternId::ManualLiveWrite0);
                game.manualGlobals[m] = scratch + 64 + 16 * m;
                Address(bytes, at, 4, 8, game.manualGlobals[m]);
                break;
            }
            default: break;
        }
        image.Write(at, bytes);
        game.patterns[p] = at;
        if (id == CodePatternId::LightRays1) {
            // light_ray_mult, between the two groups of loads.
            image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x0D, 0, 0, 0, 0}, 4, block + 276);
        }
        if (id == CodePatternId::HeatHaze) {
            const uint8_t stores[5] = {0x40, 0x50, 0x60, 0x80, 0x90};
            const size_t slots[5] = {0, 2, 3, 4, 5};
            game.heatHazeStores[1] = at + 8;
            for (int i = 0; i < 5; ++i)
                game.heatHazeStores[slots[i]] = image.PlantCode({0x42, 0x0F, 0x29, 0x84, 0x26, stores[i], 0x02, 0x00, 0x00});
        }
        if (id == CodePatternId::NightVisionScalar) {
            game.nightVisionStores[2] = at;
            game.nightVisionStores[3] = at + 18;
            game.nightVisionStores[0] = image.PlantCode({0x42, 0x0F, 0x11, 0x84, 0x26, 0x9C, 0x01, 0x00, 0x00});
            game.nightVisionStores[1] = image.PlantCode({0x42, 0x0F, 0x11, 0x84, 0x26, 0xAC, 0x01, 0x00, 0x00});
        }
    }
    image.PlantPuddleStoreSequence();
    return game;
}

}  // namespace testsupport
