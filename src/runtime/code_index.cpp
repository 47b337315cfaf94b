#include "runtime/code_index.h"

#include <cstring>
#include <mutex>
#include <string>

#include "runtime/block_locators.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/scans.h"
#include "runtime/signature_pass.h"

namespace runtime {

CodeIndexState CodeIndex;

namespace {

struct ShapeTable {
    std::vector<RipLoadShape> shapes;
    std::vector<int> ofRecord;  // by record row
};

const ShapeTable& Shapes() {
    static const ShapeTable table = [] {
        ShapeTable t;
        for (const RedirectRecordRow& r : AllRedirectRecords()) {
            if (r.shape == nullptr) {
                t.ofRecord.push_back(-1);
                continue;
            }
            int found = -1;
            for (size_t i = 0; i < t.shapes.size() && found < 0; ++i) {
                const RipLoadShape& s = t.shapes[i];
                if (s.shapeLength == r.shapeLength && s.length == r.length && s.disp == r.disp &&
                    std::memcmp(s.bytes, r.shape, r.shapeLength) == 0)
                    found = static_cast<int>(i);
            }
            if (found < 0) {
                uint8_t anchor = 0;
                while (anchor + 1 < r.shapeLength && r.shape[anchor] != 0x0F) ++anchor;
                t.shapes.push_back({r.shape, r.shapeLength, r.length, r.disp, anchor});
                found = static_cast<int>(t.shapes.size() - 1);
            }
            t.ofRecord.push_back(found);
        }
        return t;
    }();
    return table;
}

int32_t I32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

void ResetCodeIndex() {
    CodeIndex.built.Set(0);
    for (PatternMatches& m : CodeIndex.patterns) m = {};
    CodeIndex.timecycleReads.clear();
}

bool EnsureCodeIndex() {
    if (CodeIndex.built.Get()) return true;
    if (GameImageBase() == 0 || GetGameImageSize() == 0) return false;
    std::lock_guard<std::mutex> lock(Locators.SignaturePassMutex);
    if (!CodeIndex.built.Get()) detail::RunSignaturePassLocked();
    return CodeIndex.built.Get() != 0;
}

const PatternMatches& CodePatternMatches(CodePatternId id) {
    EnsureCodeIndex();
    return CodeIndex.patterns[static_cast<size_t>(id)];
}

uint64_t CodePatternUnique(CodePatternId id) {
    const PatternMatches& m = CodePatternMatches(id);
    return m.count == 1 ? m.first : 0;
}

uint64_t CodePatternFirst(CodePatternId id) { return CodePatternMatches(id).first; }

std::span<const RipLoadShape> RipLoadShapes() { return Shapes().shapes; }

int ShapeOf(const RedirectRecordRow& record) {
    const std::span<const RedirectRecordRow> all = AllRedirectRecords();
    const size_t row = static_cast<size_t>(&record - all.data());
    return row < all.size() ? Shapes().ofRecord[row] : -1;
}

std::vector<uint64_t> TimecycleReadsOf(const RedirectRecordRow& record, uint16_t field) {
    std::vector<uint64_t> out;
    const int shape = ShapeOf(record);
    if (shape < 0 || !EnsureCodeIndex()) return out;
    for (const CodeIndexState::Load& load : CodeIndex.timecycleReads) {
        if (load.shape == shape && load.field == field) out.push_back(load.address);
    }
    return out;
}

uint64_t FindFirstIn(uint64_t from, uint64_t size, const MaskedBytes& bytes) {
    if (from == 0 || size < bytes.length || bytes.length == 0) return 0;
    // A window of the game's code is copied under the fault guard and
    // searched in the copy; one that reaches unreadable memory is searched
    // span by span.
    std::vector<uint8_t> window(static_cast<size_t>(size));
    if (GuardedCopy(window.data(), reinterpret_cast<const void*>(static_cast<uintptr_t>(from)), size)) {
        for (size_t p = 0; p + bytes.length <= window.size(); ++p)
            if (bytes.MatchesAt(window.data() + p)) return from + p;
        return 0;
    }
    std::string mask = bytes.mask != nullptr ? std::string(bytes.mask, bytes.length) : std::string(bytes.length, 'x');
    detail::SearchPattern pattern{bytes.bytes, nullptr, bytes.length};
    pattern.mask = mask.c_str();
    detail::SearchPatterns(from, size, std::span<detail::SearchPattern>(&pattern, 1));
    return pattern.first;
}

namespace detail {

bool CodeIndexPending() { return !CodeIndex.built.Get(); }

void AddCodeIndexPatterns(std::vector<SearchPattern>& patterns) {
    for (size_t i = 0; i < kCodePatternCount; ++i) {
        const CodePatternRow& row = CodePattern(static_cast<CodePatternId>(i));
        patterns.push_back({row.bytes, row.mask, row.length});
    }
}

void MarkRipLoadOpcodes(CodeScan& scan) {
    for (const RipLoadShape& s : Shapes().shapes) scan.opcodes[s.bytes[s.anchor + 1]] = 1;
}

void CollectRipLoads(const Span& span, uint64_t at, uint64_t imageBase, uint64_t imageEnd,
                     std::vector<RawRipLoad>& out) {
    const uint8_t* const spanBytes = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint8_t op = spanBytes[at - span.start + 1];
    const std::vector<RipLoadShape>& shapes = Shapes().shapes;
    for (size_t i = 0; i < shapes.size(); ++i) {
        const RipLoadShape& s = shapes[i];
        if (s.bytes[s.anchor + 1] != op || at < span.start + s.anchor) continue;
        const uint64_t start = at - s.anchor;
        if (span.end - start < s.length) continue;
        const uint8_t* p = spanBytes + (start - span.start);
        if (std::memcmp(p, s.bytes, s.shapeLength) != 0) continue;
        const uint64_t target = start + s.length + static_cast<uint64_t>(static_cast<int64_t>(I32(p + s.disp)));
        if (target >= imageBase && target < imageEnd) out.push_back({start, target, static_cast<uint16_t>(i)});
    }
}

void SettleCodeIndex(std::span<const SearchPattern> patterns, const std::vector<RawRipLoad>& loads,
                     uint64_t timecycleBlock) {
    for (size_t i = 0; i < kCodePatternCount && i < patterns.size(); ++i)
        CodeIndex.patterns[i] = {patterns[i].count, patterns[i].first};
    CodeIndex.timecycleReads.clear();
    if (timecycleBlock != 0) {
        for (const RawRipLoad& load : loads) {
            if (load.target < timecycleBlock || load.target - timecycleBlock >= kTimecycleBlockSize) continue;
            CodeIndex.timecycleReads.push_back(
                {load.address, load.shape, static_cast<uint16_t>(load.target - timecycleBlock)});
        }
    }
    CodeIndex.built.Set(1);
}

}  // namespace detail
}  // namespace runtime
