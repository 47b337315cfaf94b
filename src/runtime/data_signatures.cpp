#include "runtime/data_signatures.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "runtime/block_locators.h"
#include "platform/clock.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/scans.h"
#include "runtime/signature_pass.h"

namespace runtime {
namespace {

constexpr uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

template <size_t N>
constexpr std::array<uint8_t, N * 4> Run(const uint32_t (&values)[N]) {
    std::array<uint8_t, N * 4> out{};
    for (size_t i = 0; i < N; ++i) {
        for (size_t b = 0; b < 4; ++b) out[i * 4 + b] = static_cast<uint8_t>(values[i] >> (8 * b));
    }
    return out;
}

struct SignatureRow {
    DataSignatureId id;
    DataSignatureKind kind;
    uint16_t length;
    uint32_t blockSize;
    const uint8_t* bytes;  // the known run: the game's default values at the head of the block
    const char* mask;
};

// The rows of src/runtime/data/data_signatures.tsv. Every id without a run
// waits for the game build's data.
#include "runtime/data_signature_table.inc"
static_assert(std::size(kSignatureRows) == kDataSignatureCount);

struct Table {
    std::array<DataSignature, kDataSignatureCount + 1> rows{};
    Table() {
        for (const SignatureRow& r : kSignatureRows) rows[r.id] = {r.kind, r.length, r.blockSize, r.bytes, r.mask};
    }
};

const Table& BuiltInTable() {
    static const Table table;
    return table;
}

// Rows planted by tests, with their own storage.
struct Planted {
    std::vector<uint8_t> bytes;
    std::string mask;
    DataSignature row;
};
std::array<std::unique_ptr<Planted>, kDataSignatureCount + 1> g_planted;

const DataSignature kEmptyRow{};

// Accepts a unique hit whose size bytes lie in the image and are readable
// (in one region: from the pass's region list when given, else queried).
uint64_t AcceptHit(uint64_t hit, uint64_t size, const std::vector<platform::MemoryRegion>* regions = nullptr) {
    const uint64_t base = GameImageBase();
    const uint64_t end = base + GetGameImageSize();
    if (hit == 0 || hit < base) return 0;
    if (hit + size < hit || hit + size > end) return 0;
    const bool readable = regions != nullptr ? detail::ReadableInOneOf(*regions, hit, size) : IsReadable(hit, size);
    return readable ? hit : 0;
}

bool Searchable(const DataSignature& row) {
    return row.kind != DataSignatureKind::None && row.bytes != nullptr && row.length != 0;
}

}  // namespace

const DataSignature& DataSignatureRow(DataSignatureId id) {
    if (id < 1 || id > kDataSignatureCount) return kEmptyRow;
    if (g_planted[id]) return g_planted[id]->row;
    return BuiltInTable().rows[id];
}

std::vector<DataSignatureId> DataSignatureIdsWithoutBytes() {
    std::vector<DataSignatureId> ids;
    for (DataSignatureId id = 1; id <= kDataSignatureCount; ++id) {
        if (BuiltInTable().rows[id].bytes == nullptr) ids.push_back(id);
    }
    return ids;
}

namespace detail {

void AddDataSignaturePatterns(std::vector<SearchPattern>& patterns, std::vector<int>& ids) {
    bool any = false;
    for (DataSignatureId id = 1; id <= kDataSignatureCount; ++id) {
        CachedSearch& cached = Locators.SignatureCache[static_cast<size_t>(id)];
        if (StateOf(cached) != SearchState::NotTried) continue;
        const DataSignature& row = DataSignatureRow(id);
        if (!Searchable(row)) {
            SettleSearch(cached, 0, platform::TickCount64());
            continue;
        }
        patterns.push_back({row.bytes, row.kind == DataSignatureKind::Masked ? row.mask : nullptr, row.length});
        ids.push_back(id);
        any = true;
    }
    if (any) Locators.SignaturePasses.FetchAdd(1);
}

void SettleDataSignature(int id, const SearchPattern& pattern, const std::vector<platform::MemoryRegion>& regions) {
    SettleSearch(Locators.SignatureCache[static_cast<size_t>(id)],
                 AcceptHit(pattern.UniqueHit(), DataSignatureRow(id).blockSize, &regions), platform::TickCount64());
}

}  // namespace detail

uint64_t DataSignatureBase(DataSignatureId id) {
    if (id < 1 || id > kDataSignatureCount) return 0;
    return detail::AnswerOfPass(Locators.SignatureCache[static_cast<size_t>(id)]);
}

uint64_t FindSignatureInImage(const uint8_t* bytes, const char* mask, uint64_t blockSize) {
    const uint64_t base = GameImageBase();
    const uint64_t size = GetGameImageSize();
    if (base == 0 || size == 0 || bytes == nullptr || mask == nullptr || mask[0] == '\0') return 0;
    return AcceptHit(FindUniquePatternIn(base, size, bytes, mask), blockSize);
}

uint64_t FindExactBytes(const uint8_t* bytes, uint64_t length, uint64_t blockSize) {
    if (bytes == nullptr || length == 0) return 0;
    const std::string mask(static_cast<size_t>(length), 'x');
    return FindSignatureInImage(bytes, mask.c_str(), blockSize);
}

uint64_t ResolveTimecycleBlockField(LiveHandle handle) {
    const uint64_t block = TimecycleBlockLocator();
    if (block == 0) return 0;
    const uint64_t offset = handle & kLiveHandleOffsetMask;
    if (!(handle & kLiveHandleSubtract)) return offset < kTimecycleBlockSize ? block + offset : 0;
    if (block < offset) return 0;
    return IsReadable(block - offset, 4) ? block - offset : 0;
}

uint64_t ResolveSecondaryBlockField(LiveHandle handle) {
    const uint64_t block = SecondaryBlockLocator();
    if (block == 0) return 0;
    const uint64_t offset = handle & kLiveHandleOffsetMask;
    if (!(handle & kLiveHandleSubtract)) return offset < kSecondaryBlockSpan ? block + offset : 0;
    if (offset >= kSecondaryBlockBackSpan || offset > block) return 0;
    return IsReadable(block - offset, 4) ? block - offset : 0;
}

uint64_t ResolveSignatureField(LiveHandle handle) {
    const DataSignatureId id = static_cast<DataSignatureId>((handle >> kLiveHandleIdShift) & 0xFF);
    const uint64_t base = DataSignatureBase(id);
    if (base == 0) return 0;
    const uint64_t address = base + (handle & kLiveHandleOffsetMask);
    if (address == 0) return 0;
    return IsReadable(address, 4) ? address : 0;
}

uint64_t ResolveLiveHandle(uint64_t base, LiveHandle handle) {
    if (handle & kLiveHandleTimecycle) return ResolveTimecycleBlockField(handle);
    if (handle & kLiveHandleSecondary) return ResolveSecondaryBlockField(handle);
    if (handle & kLiveHandleSignature) return ResolveSignatureField(handle);
    return base != 0 ? base + handle : 0;
}

void SetDataSignatureForTesting(DataSignatureId id, std::vector<uint8_t> bytes, std::string mask,
                                uint32_t blockSize) {
    if (id < 1 || id > kDataSignatureCount) return;
    auto planted = std::make_unique<Planted>();
    planted->bytes = std::move(bytes);
    planted->mask = std::move(mask);
    const DataSignature& builtIn = BuiltInTable().rows[id];
    planted->row.kind = planted->mask.empty() ? DataSignatureKind::ExactRun : DataSignatureKind::Masked;
    const size_t length = planted->mask.empty() ? planted->bytes.size() : planted->mask.size();
    planted->bytes.resize(length);
    planted->row.length = static_cast<uint16_t>(length);
    planted->row.blockSize = blockSize != 0 ? blockSize : builtIn.blockSize;
    planted->row.bytes = planted->bytes.data();
    planted->row.mask = planted->mask.empty() ? nullptr : planted->mask.c_str();
    g_planted[id] = std::move(planted);
}

void ClearDataSignaturesForTesting() {
    for (auto& p : g_planted) p.reset();
}

}  // namespace runtime
