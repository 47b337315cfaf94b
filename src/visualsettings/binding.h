// Binding the parameters to game memory: every row's target becomes an
// absolute address in its live address, so that the writers and the
// before/after logic need not decode targets again. Three groups are
// addressed from bases found by searching the game's code: the coronas array
// (CoronasBlockBase), the bright filmic array (FilmicBrightBase) and the
// eight dark filmic slots (FilmicDarkBase, the 32 bytes before the bright
// block). ReadLiveVisualSetting reads a row's current game value back.
//
// The two code searches join the runtime's shared start-up pass over the
// game image and are made once per run (the game's code does not change):
// a failed search is remembered, never repeated per frame or per tick. A
// base found is kept for the run. The callers that re-bind while a base is
// missing (the walkers, the writers, the before/after pass, the overlay) do
// so through BindWhenBasesMissing, at most once per kRebindIntervalMs.
//
// Rows of the runtime table are bound through the table's lookup (0 until
// the table is located), never as offsets from the game module. A row whose
// default is left to the game build has its game value read once when it is
// first bound, before anything is written to it, and that value becomes its
// default (AdoptGameDefault).
//
// Thread rule: binding and reading run on the script fiber (start-up, tick)
// and the render thread (overlay, tab) without a lock; the bases and live
// addresses are 64-bit atomics stored whole; two bindings at once store the
// same values.
#pragma once
#include <cstdint>

#include "core/shared_value.h"
#include "runtime/shared_image_search.h"
#include "visualsettings/param_table.h"

namespace visualsettings {

inline constexpr uint64_t kCoronasFirstField = 0xCC18;     // the first coronas row's offset
inline constexpr uint64_t kCoronasReadableBytes = 156;     // from that field
inline constexpr uint64_t kFilmicDarkFromAnchor = 60;      // the anchor is the bright exposure field
inline constexpr uint64_t kFilmicBrightFromAnchor = 28;
inline constexpr uint64_t kFilmicBlockBytes = 32;
inline constexpr uint64_t kRebindIntervalMs = 2000;

// The binding's state; the thread rule above.
struct BindingState {
    // The two code searches (runtime/shared_image_search.h).
    runtime::SharedImageSearch coronasSearch;
    runtime::SharedImageSearch filmicSearch;
    // The bases, each kept once found; 0 while not found.
    core::SharedValue<uint64_t> coronasBase{0};
    core::SharedValue<uint64_t> filmicAnchor{0};
    core::SharedValue<uint64_t> filmicDarkBase{0};
    core::SharedValue<uint64_t> filmicBrightBase{0};
    core::SharedValue<uint8_t> filmicBlockFound{0};
    // Rows the last binding rebound to a pointer-map target.
    core::SharedValue<uint64_t> pointerMapCount{0};
    // Bindings run (tests) and the time of the last on-demand one.
    core::SharedValue<uint64_t> bindings{0};
    core::SharedValue<uint64_t> lastOnDemandMs{0};
    core::SharedValue<uint8_t> onDemandTried{0};
};
extern BindingState Binding;

// Registers the two code searches with the runtime's shared pass (the
// editor's wiring does this at process start, before any search runs).
void RegisterBindingSearches();

// The coronas base and the filmic anchor: the kept answer, or the search.
uint64_t FindCoronasBlock();
uint64_t FindFilmicBlockAnchor();

// Fills the bases, every row's live address and the dark filmic slots'
// addresses. Any number of times.
void BindVisualSettingsParams();
// True when the coronas or dark filmic base (and, with bright, the bright
// filmic base) is missing.
bool BindingBaseMissing(bool bright = false);
// The binding when BindingBaseMissing(bright), at most once per
// kRebindIntervalMs (the first call at once).
void BindWhenBasesMissing(bool bright = false);

// Rebinds one row to its pointer-map entry's first target; false when the
// key is hidden, the map has no usable entry, or the target is not inside
// the game's writable data.
bool BindParamToPointerMap(VisualSettingsParam& row);

// The row's current game value in file units; false when none was read.
bool ReadLiveVisualSetting(VisualSettingsParam& row, float& out);
// Makes the row's default known: when it is not, the row's game value is
// read (ReadLiveVisualSetting) and adopted as default and original. True
// when the default is known afterwards. Every writer calls this before it
// writes a row to the game.
bool EnsureGameDefault(VisualSettingsParam& row);

// The base of a single row outside a walk: CoronasBlockBase for keys
// beginning "misc.coronas." (case-sensitive), else the game module.
uint64_t ParamBaseForKey(const VisualSettingsParam& row);
// The base of an array in a walk: its search base, or the game module.
uint64_t ArrayBaseAddress(const ParamArray& array);

// Everything above back to the start of the run (tests).
void ResetBindingForTesting();

}  // namespace visualsettings
