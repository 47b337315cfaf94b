#include "runtime/editor_entries.h"

#include "runtime/guarded_memory.h"
#include "runtime/override_groups.h"

namespace runtime {

EditorEntries& Entries() {
    static EditorEntries entries;
    return entries;
}

void FillRuntimeEntries(EditorEntries& entries) {
    entries.patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
        return PatchCodeBytes(address, bytes, length);
    };
    entries.parts[static_cast<size_t>(PartId::Scanline)].probe = &ScanlineStoreSites;
    entries.parts[static_cast<size_t>(PartId::LensDistortion)].probe = &LensDistortionStoreSites;
    entries.parts[static_cast<size_t>(PartId::HeatHaze)].probe = &HeatHazeStoreSites;
    // The appliers, gates, restores, engine writes and redirect records of
    // the override groups join here as they are built.
}

namespace {

template <typename Fn>
void Need(std::vector<std::string>& lines, Fn* entry, const char* where, const char* what, const char* function) {
    if (entry == nullptr) lines.push_back(std::string(where) + " " + what + " " + function);
}

}  // namespace

std::vector<std::string> MissingEntries(const EditorEntries& e) {
    std::vector<std::string> lines;
    const TickStepEntries& t = e.tick;
    Need(lines, t.syncTimecycleBeforeAfter, "tick", "step", "SyncTimecycleBeforeAfter");
    Need(lines, t.finishVisualSettingsSwitch, "tick", "step", "FinishVisualSettingsSwitch");
    Need(lines, t.modifierWorkPending, "tick", "test", "ModifierWorkPending");
    Need(lines, t.refreshModifier, "tick", "step", "RefreshModifier");
    Need(lines, t.stepModifierLiveResolve, "tick", "step", "StepModifierLiveResolve");
    Need(lines, t.isTimecycleFileWeather, "tick", "test", "IsTimecycleFileWeather");
    Need(lines, t.importedOverridesActive, "tick", "test", "ImportedOverridesActive");
    Need(lines, t.contextHasEdits, "tick", "test", "ContextHasEdits");
    Need(lines, t.visualSettingsBeforeAfter, "tick", "step", "VisualSettingsBeforeAfter");
    Need(lines, t.clearWriteListCount, "tick", "step", "ClearWriteListCount");
    Need(lines, t.restoreAllPatches, "tick", "step", "RestoreAllPatches");

    bool engineWrites = false, records = false, redirects = false;
    for (size_t p = 0; p < kPartCount; ++p) {
        const PartInfo& part = Part(static_cast<PartId>(p));
        const PartEntries& entries = e.parts[p];
        if (part.apply == PartApply::StorePatch) Need(lines, entries.probe, part.name, "probe", part.gate);
        else if (part.gate) Need(lines, entries.gate, part.name, "gate", part.gate);
        if (part.applier) Need(lines, entries.apply, part.name, "apply", part.applier);
        for (const PartMember& member : part.members) {
            if (member.applier)
                Need(lines, e.memberAppliers[static_cast<size_t>(member.slot)], part.name, "member", member.applier);
            engineWrites |= member.engineOffset != kNoEngineField;
            records |= member.record;
        }
        if (part.restorer) Need(lines, entries.restore, part.name, "restore", part.restorer);
        redirects |= part.apply == PartApply::GateRedirect;
    }
    if (engineWrites) Need(lines, e.engineWrite, "slots", "engine write", "ApplySlotToEngineBlock");
    if (records) Need(lines, e.restoreRecord, "slots", "record restore", "RestoreRedirectRecord");
    if (redirects) Need(lines, e.redirectStep, "slots", "redirect step", "RedirectCellStep");
    Need(lines, e.patchCode, "code", "write", "PatchCodeBytes");

    const BeforeAfterEntries& b = e.beforeAfter;
    Need(lines, b.anyTimecycleGroupEdited, "before/after", "test", "AnyTimecycleGroupEdited");
    Need(lines, b.anyVisualSettingsGroupEdited, "before/after", "test", "AnyVisualSettingsGroupEdited");
    Need(lines, b.modifierAllLiveBeforeAfter, "before/after", "step", "ModifierAllLiveBeforeAfter");
    Need(lines, b.showWeatherDocsBeforeAfter, "before/after", "step", "ShowWeatherDocsBeforeAfter");
    Need(lines, e.clearImportPatchesMark, "timecycle", "step", "ClearImportPatchesMark");
    return lines;
}

}  // namespace runtime
