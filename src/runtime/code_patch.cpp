#include "runtime/code_patch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "runtime/editor_entries.h"
#include "runtime/guarded_memory.h"

namespace runtime {
namespace {

constexpr uint8_t kNop = 0x90;

// The bytes of [address, address + length) when they lie in one committed
// readable region (the readable-range cache answers for the game's code
// after its first look), read under the fault guard.
bool ReadInOneRegion(uint64_t address, uint8_t* out, size_t length) {
    if (address == 0 || length == 0 || !IsReadableCached(address, length)) return false;
    return GuardedCopy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), length);
}

}  // namespace

bool WriteGameCode(uint64_t address, const uint8_t* bytes, size_t length) {
    return PatchCodeBytes(address, bytes, length);
}

bool WriteCode(uint64_t address, const void* bytes, size_t length, uint64_t instruction) {
    bool (*writer)(uint64_t, const uint8_t*, size_t) = Entries().patchCode;
    if (writer != nullptr && writer != &WriteGameCode)
        return writer(address, static_cast<const uint8_t*>(bytes), length);  // a test's writer
    return PatchInstructionBytes(instruction != 0 ? instruction : address, address, bytes, length);
}

Capture CaptureCodePatch(CodePatch& patch, uint64_t instruction, const MaskedBytes& expect, uint8_t siteOffset,
                         uint8_t length) {
    if (patch.captured) return Capture::Captured;
    if (instruction == 0 || length == 0 || length > kMaxCodePatchLength) return Capture::Mismatch;
    const size_t span = std::max<size_t>(expect.length, static_cast<size_t>(siteOffset) + length);
    uint8_t bytes[64];
    if (span > sizeof bytes) return Capture::Mismatch;
    if (!ReadInOneRegion(instruction, bytes, span)) return Capture::Unreadable;
    if (expect.length != 0 && !expect.MatchesAt(bytes)) return Capture::Mismatch;
    patch.site = instruction + siteOffset;
    patch.instruction = instruction;
    patch.length = length;
    std::memset(patch.saved, 0, sizeof patch.saved);
    std::memcpy(patch.saved, bytes + siteOffset, length);
    std::memset(patch.bytes, kNop, sizeof patch.bytes);
    patch.applied = 0;
    patch.captured = 1;
    return Capture::Captured;
}

void AdoptCodePatch(CodePatch& patch, uint64_t site, const uint8_t* saved, uint8_t length) {
    if (patch.captured || length == 0 || length > kMaxCodePatchLength) return;
    patch.site = site;
    patch.instruction = site;
    patch.length = length;
    std::memset(patch.saved, 0, sizeof patch.saved);
    std::memcpy(patch.saved, saved, length);
    std::memset(patch.bytes, kNop, sizeof patch.bytes);
    patch.applied = 0;
    patch.captured = 1;
}

void SetPatchBytes(CodePatch& patch, const uint8_t* bytes) { std::memcpy(patch.bytes, bytes, patch.length); }

bool ApplyCodePatch(CodePatch& patch) {
    if (patch.applied) return true;
    if (!patch.captured || !WriteCode(patch.site, patch.bytes, patch.length, patch.instruction)) return false;
    patch.applied = 1;
    return true;
}

void RestoreCodePatch(CodePatch& patch) {
    if (patch.applied && WriteCode(patch.site, patch.saved, patch.length, patch.instruction)) patch.applied = 0;
}

bool ApplyCodePatches(std::span<CodePatch* const> patches) {
    std::vector<CodePatch*> written;  // by this call (empty once the group is in)
    for (CodePatch* patch : patches) {
        if (patch->applied) continue;
        if (ApplyCodePatch(*patch)) {
            written.push_back(patch);
            continue;
        }
        // Back to what the game had: every patch of the group this call
        // wrote (one applied before it belongs to whoever applied it).
        for (CodePatch* w : written) RestoreCodePatch(*w);
        return false;
    }
    return true;
}

void RestoreCodePatches(std::span<CodePatch* const> patches) {
    for (CodePatch* patch : patches) RestoreCodePatch(*patch);
}

bool AnyApplied(std::span<CodePatch* const> patches) {
    return std::any_of(patches.begin(), patches.end(), [](const CodePatch* p) { return p->applied != 0; });
}

bool AllCaptured(std::span<CodePatch* const> patches) {
    return std::all_of(patches.begin(), patches.end(), [](const CodePatch* p) { return p->captured != 0; });
}

bool AttemptDue(const Attempts& attempts) {
    if (attempts.failedForGood) return false;
    return attempts.retryAtMs == 0 || platform::TickCount64() >= attempts.retryAtMs;
}

void FailForGood(Attempts& attempts) { attempts.failedForGood = 1; }

bool Settle(Attempts& attempts, Capture outcome) {
    if (outcome == Capture::Mismatch) FailForGood(attempts);
    if (outcome == Capture::Unreadable) FailForNow(attempts);
    return outcome == Capture::Captured;
}

void FailForNow(Attempts& attempts) {
    const uint64_t now = platform::TickCount64();
    attempts.retryAtMs = (now == 0 ? 1 : now) + kPatchRetryIntervalMs;
}

}  // namespace runtime
