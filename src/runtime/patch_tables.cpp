#include "runtime/patch_tables.h"

namespace runtime {
namespace {

#include "runtime/patch_tables_data.inc"

}  // namespace

bool MaskedBytes::MatchesAt(const uint8_t* p) const {
    for (size_t i = 0; i < length; ++i) {
        if ((mask == nullptr || mask[i] == 'x') && bytes[i] != p[i]) return false;
    }
    return true;
}

const CodePatternRow& CodePattern(CodePatternId id) { return kCodePatternRows[static_cast<size_t>(id)]; }

MaskedBytes PatternBytes(CodePatternId id) {
    const CodePatternRow& row = CodePattern(id);
    return {row.bytes, row.mask, row.length};
}

const ProbeRow& ProbeInfo(ProbeId id) { return kProbeRows[static_cast<size_t>(id)]; }

std::span<const ProbeSiteRow> ProbeSites(ProbeId id) {
    const ProbeRow& row = ProbeInfo(id);
    return std::span<const ProbeSiteRow>(kProbeSiteRows).subspan(row.firstSite, row.siteCount);
}

const RedirectRow& Redirect(RedirectId id) { return kRedirectRows[static_cast<size_t>(id)]; }

std::span<const RedirectRecordRow> RedirectRecords(RedirectId id) {
    const RedirectRow& row = Redirect(id);
    return std::span<const RedirectRecordRow>(kRedirectRecordRows).subspan(row.firstRecord, row.recordCount);
}

std::span<const RedirectRecordRow> AllRedirectRecords() { return kRedirectRecordRows; }
std::span<const EngineMemberRow> EngineMembers() { return kEngineMemberRows; }
std::span<const CodeSiteRow> CarriedCodeSiteRows() { return kCodeSiteRows; }

}  // namespace runtime
