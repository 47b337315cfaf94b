#include "timecycle/timecycle_entries.h"

#include "timecycle/edit_store.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/modifier_live.h"
#include "timecycle/timecycle_files.h"

namespace timecycle {

void FillTimecycleEntries(runtime::EditorEntries& entries) {
    entries.tick.syncTimecycleBeforeAfter = &SyncTimecycleBeforeAfter;
    entries.tick.isTimecycleFileWeather = &IsTimecycleFileWeather;
    entries.tick.importedOverridesActive = [] { return EditStore.ImportedOverridesActive.Get() != 0; };
    entries.tick.contextHasEdits = &ContextHasEdits;
    entries.beforeAfter.anyTimecycleGroupEdited = &AnyTimecycleGroupEdited;
    entries.tick.modifierWorkPending = &ModifierWorkPending;
    entries.tick.refreshModifier = &RefreshModifier;
    entries.tick.stepModifierLiveResolve = &StepModifierLiveResolve;
    entries.beforeAfter.modifierAllLiveBeforeAfter = &ModifierAllLiveBeforeAfter;
}

}  // namespace timecycle
