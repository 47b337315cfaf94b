#include "runtime/redirects.h"

#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "runtime/block_locators.h"
#include "runtime/code_index.h"
#include "runtime/guarded_memory.h"
#include "runtime/near_alloc.h"
#include "runtime/override_groups.h"

namespace runtime {

RedirectState Redirects;

namespace {

size_t IndexOf(RedirectId id) { return static_cast<size_t>(id); }

int32_t I32At(uint64_t address) {
    uint32_t bits = 0;
    GuardedReadU32(address, bits);
    return static_cast<int32_t>(bits);
}

bool FitsRel32(uint64_t from, uint64_t to) {
    const int64_t d = static_cast<int64_t>(to - from);
    return d >= INT32_MIN && d <= INT32_MAX;
}

void StoreWord(uint64_t address, uint32_t bits) {
    __atomic_store_n(reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(address)), bits, __ATOMIC_RELAXED);
}

bool AllFound(std::span<const RedirectRecord> records) {
    for (const RedirectRecord& r : records)
        if (!r.found) return false;
    return true;
}

// Takes the instruction at p for the record, reading cell (false when the
// bytes could not be read: for now).
Capture TakeRecord(RedirectRecord& record, const RedirectRecordRow& row, uint64_t p, uint64_t cell,
                   const MaskedBytes& shape) {
    const Capture outcome = CaptureCodePatch(record.patch, p, shape, row.disp, 4);
    if (outcome != Capture::Captured) return outcome;
    const int32_t disp = static_cast<int32_t>(static_cast<int64_t>(cell - (p + row.length)));
    uint8_t bytes[4];
    std::memcpy(bytes, &disp, 4);
    SetPatchBytes(record.patch, bytes);
    record.instruction = p;
    record.cell = cell;
    record.found = 1;
    return Capture::Captured;
}

// The cell of the installer, opened near site when it has none.
uint64_t CellNear(RedirectId id, uint64_t site) {
    uint64_t& cell = Redirects.cells[IndexOf(id)];
    if (cell == 0) cell = NearCell(site, Redirect(id).cellSize);
    return cell;
}

// One record of a load or twin installer: the first instruction of its
// shape reading its field whose place in the cell is in reach.
bool FindLoadRecord(RedirectId id, const RedirectRecordRow& row, RedirectRecord& record, Attempts& attempts) {
    const MaskedBytes shape{row.shape, nullptr, row.shapeLength};
    for (uint64_t p : TimecycleReadsOf(row, row.field)) {
        const uint64_t cell = CellNear(id, p);
        if (cell == 0) {
            FailForNow(attempts);
            return false;
        }
        if (!FitsRel32(p + row.length, cell + row.at)) continue;  // out of reach: the next reader
        return Settle(attempts, TakeRecord(record, row, p, cell + row.at, shape));
    }
    FailForGood(attempts);
    return false;
}

// The temperature's records: the n-th reader of each shape, all in reach
// of one cell opened at the first; none is tried beyond reach.
bool FindTemperatureRecords(RedirectId id, std::span<const RedirectRecordRow> rows,
                            std::span<RedirectRecord> records, Attempts& attempts) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (records[i].found) continue;
        size_t nth = 0;
        for (size_t j = 0; j < i; ++j) nth += ShapeOf(rows[j]) == ShapeOf(rows[i]);
        const std::vector<uint64_t> readers = TimecycleReadsOf(rows[i], rows[i].field);
        if (readers.size() <= nth) {
            FailForGood(attempts);
            return false;
        }
        const uint64_t p = readers[nth];
        const uint64_t cell = CellNear(id, p);
        if (cell == 0) {
            FailForNow(attempts);
            return false;
        }
        if (!FitsRel32(p + rows[i].length, cell + rows[i].at)) {
            FailForGood(attempts);
            return false;
        }
        const MaskedBytes shape{rows[i].shape, nullptr, rows[i].shapeLength};
        if (!Settle(attempts, TakeRecord(records[i], rows[i], p, cell + rows[i].at, shape))) return false;
    }
    return true;
}

// A masked record: the load at the pattern's only match must read the field.
bool FindMaskedRecord(RedirectId id, const RedirectRecordRow& row, RedirectRecord& record, Attempts& attempts,
                      uint64_t block) {
    const uint64_t hit = CodePatternUnique(row.pattern);
    const uint64_t p = hit + row.from;
    if (hit == 0 || p + row.length + static_cast<uint64_t>(static_cast<int64_t>(I32At(p + row.disp))) !=
                        block + row.field) {
        FailForGood(attempts);
        return false;
    }
    const uint64_t cell = CellNear(id, p);
    if (cell == 0) {
        FailForNow(attempts);
        return false;
    }
    if (!FitsRel32(p + row.length, cell + row.at)) {
        FailForGood(attempts);
        return false;
    }
    const CodePatternRow& pattern = CodePattern(row.pattern);
    const MaskedBytes shape{pattern.bytes + row.from, pattern.mask + row.from, row.disp};
    return Settle(attempts, TakeRecord(record, row, p, cell + row.at, shape));
}

std::array<CodePatch*, 3> PatchesOf(RedirectId id, size_t& count) {
    std::array<CodePatch*, 3> patches{};
    count = 0;
    for (RedirectRecord& r : RecordsOf(id)) patches[count++] = &r.patch;
    return patches;
}

// The installer whose cell starts with each slot.
struct SlotRedirects {
    int16_t of[kSlotCount];
    SlotRedirects() {
        for (int16_t& v : of) v = -1;
        for (size_t i = 0; i < kRedirectCount; ++i)
            of[static_cast<size_t>(Redirect(static_cast<RedirectId>(i)).slots.front())] = static_cast<int16_t>(i);
    }
};

template <size_t I>
void ApplyEntry() {
    ApplyRedirect(static_cast<RedirectId>(I));
}
template <size_t I>
bool PrepareEntry() {
    return PrepareRedirect(static_cast<RedirectId>(I));
}
template <size_t... I>
constexpr std::array<RedirectApplyFn, kRedirectCount> ApplyTable(std::index_sequence<I...>) {
    return {&ApplyEntry<I>...};
}
template <size_t... I>
constexpr std::array<RedirectPrepareFn, kRedirectCount> PrepareTable(std::index_sequence<I...>) {
    return {&PrepareEntry<I>...};
}
constexpr auto kApplyEntries = ApplyTable(std::make_index_sequence<kRedirectCount>());
constexpr auto kPrepareEntries = PrepareTable(std::make_index_sequence<kRedirectCount>());

constexpr RedirectId kLightDir[] = {RedirectId::LightDirColorRG, RedirectId::LightDirColorB, RedirectId::LightDirMult};

}  // namespace

void ResetRedirects() {
    Redirects = RedirectState{};
    ResetNearCellsForTesting();
}

std::span<RedirectRecord> RecordsOf(RedirectId id) {
    const RedirectRow& row = Redirect(id);
    return std::span<RedirectRecord>(Redirects.records + row.firstRecord, row.recordCount);
}

bool PrepareRedirect(RedirectId id) {
    const RedirectRow& row = Redirect(id);
    const std::span<RedirectRecord> records = RecordsOf(id);
    if (AllFound(records) && Redirects.cells[IndexOf(id)] != 0) return true;
    Attempts& attempts = Redirects.attempts[IndexOf(id)];
    if (!AttemptDue(attempts)) return false;
    const uint64_t block = TimecycleBlockLocator();
    if (block == 0 || !EnsureCodeIndex()) {
        FailForGood(attempts);
        return false;
    }
    const std::span<const RedirectRecordRow> rows = RedirectRecords(id);
    switch (row.kind) {
        case RedirectKind::Temperature: return FindTemperatureRecords(id, rows, records, attempts);
        case RedirectKind::Masked: return FindMaskedRecord(id, rows[0], records[0], attempts, block);
        case RedirectKind::Load:
        case RedirectKind::Twin:
            // A twin's later records are looked for only once its first is found.
            for (size_t i = 0; i < rows.size(); ++i)
                if (!records[i].found && !FindLoadRecord(id, rows[i], records[i], attempts)) return false;
            return true;
    }
    return false;
}

uint32_t GameValueBits(const LiveOverrideSlot& slot) {
    if (slot.enabled) return std::bit_cast<uint32_t>(slot.value.Get());
    const uint64_t address = slot.address;
    if (address == 0) return std::bit_cast<uint32_t>(slot.value.Get());
    uint32_t bits = 0;
    if (IsReadableCached(address, 4) && GuardedReadU32(address, bits)) return bits;
    return std::bit_cast<uint32_t>(slot.loaded ? slot.liveValue.Get() : slot.value.Get());
}

void StageRedirectCell(RedirectId id) {
    const uint64_t cell = Redirects.cells[IndexOf(id)];
    if (cell == 0) return;
    const std::span<const SlotId> slots = Redirect(id).slots;
    for (size_t k = 0; k < slots.size(); ++k) StoreWord(cell + 4 * k, GameValueBits(Slot(slots[k])));
}

bool ApplyRedirect(RedirectId id) {
    if (!PrepareRedirect(id)) return false;
    StageRedirectCell(id);
    size_t count = 0;
    const std::array<CodePatch*, 3> patches = PatchesOf(id, count);
    return ApplyCodePatches(std::span<CodePatch* const>(patches.data(), count));
}

void RestoreRedirect(RedirectId id) {
    for (RedirectRecord& r : RecordsOf(id)) RestoreCodePatch(r.patch);
}

bool RedirectPatched(RedirectId id) {
    for (const RedirectRecord& r : RecordsOf(id))
        if (!r.patch.applied) return false;
    return true;
}

void RestoreAllRedirects() {
    for (size_t i = 0; i < kRedirectCount; ++i) RestoreRedirect(static_cast<RedirectId>(i));
}

void ApplyLiveLightDir() {
    for (RedirectId id : kLightDir) {
        bool any = false;
        for (SlotId slot : Redirect(id).slots) any = any || Slot(slot).enabled;
        if (any) ApplyRedirect(id);
        else RestoreRedirect(id);
    }
}

void RestoreLightDirRedirects() {
    for (RedirectId id : kLightDir) RestoreRedirect(id);
}

void ApplyLiveSlotGroupC() { StageRedirectCell(RedirectId::AmbientBounceDownWrap); }

bool RedirectOfSlot(SlotId slot, RedirectId& id) {
    static const SlotRedirects table;
    const int16_t i = table.of[static_cast<size_t>(slot)];
    if (i < 0) return false;
    id = static_cast<RedirectId>(i);
    return true;
}

void RedirectCellStep(SlotId slot) {
    RedirectId id;
    if (RedirectOfSlot(slot, id) && Slot(slot).enabled) ApplyRedirect(id);
}

void RestoreRedirectRecord(SlotId slot) {
    RedirectId id;
    if (RedirectOfSlot(slot, id)) RestoreRedirect(id);
}

RedirectApplyFn RedirectApplier(RedirectId id) { return kApplyEntries[IndexOf(id)]; }
RedirectPrepareFn RedirectInstaller(RedirectId id) { return kPrepareEntries[IndexOf(id)]; }

}  // namespace runtime
