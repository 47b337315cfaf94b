// Puddles: "puddles.scale", written to its row's targets (one of them when a
// target selector is set) and re-applied on a schedule the puddles mode
// chooses (from the render hooks and from a keeper thread); "puddles.range"
// and "puddles.depthtest", only published for the game-side capture patch;
// and the eleven ripple keys, fields of a game ripple block at fixed offsets
// from a ripple base that a ripple job publishes.
//
// This build sets no puddles mode, no target selector and no ripple base
// (what chooses them, and how the ripple block is found, is not known to
// it): the keeper thread never starts, the render hooks never re-apply the
// scale, every target of the row is written, and the ripple keys are never
// read or written. Everything below works once they are set.
//
// Thread rule: mode, selector, the keeper's flags and the ripple state are
// atomics. The keeper thread and the render thread call
// ApplyPuddlesScaleLive; the published values are stored before their
// active flag (atomic exchange), which the capture patch tests first. The
// unload stops the keeper and waits for it (StopPuddlesKeeper). The
// start's check of keeperStop, its start of the keeper and its record of
// it, and the stop's setting of keeperStop and its read of the keeper, each
// hold keeperLock: a keeper starts before the stop reads it, or not at all.
#pragma once
#include <cstdint>
#include <mutex>

#include "core/shared_value.h"

namespace visualsettings {

// The puddles' state; the thread rule above.
struct PuddlesState {
    core::SharedValue<int32_t> mode{0};            // 0 .. 9 (see PuddlesRenderHook)
    core::SharedValue<int32_t> targetSelector{0};  // > 0: only target selector - 1 (0 the row's own, 1.. its extras)
    core::SharedValue<uint32_t> keeperPause{0};
    core::SharedValue<uint32_t> keeperStop{0};
    core::SharedValue<uint32_t> keeperStarted{0};  // claimed by compare-exchange
    core::SharedValue<uint64_t> keeperThread{0};   // platform::StartThread id
    std::mutex keeperLock;                         // the start against the stop (the thread rule above)
    core::SharedValue<uint64_t> rippleBase{0};
    core::SharedValue<uint32_t> rippleReady{0};    // set after rippleBase is stored
};
extern PuddlesState Puddles;

inline constexpr const char* kPuddlesScaleKey = "puddles.scale";
inline constexpr const char* kPuddlesRangeKey = "puddles.range";
inline constexpr const char* kPuddlesDepthTestKey = "puddles.depthtest";
bool IsPuddlesPublishedKey(const char* key);  // "puddles.range" or "puddles.depthtest"

// ---- Ripples -----------------------------------------------------------------------------
bool IsPuddleRippleKey(const char* key);  // one of the eleven (exact)
// Ripple base + the key's offset while the ripple state is ready, else 0.
uint64_t PuddleRippleFieldAddress(const char* key);
bool ReadPuddleRippleField(const char* key, float& value);
bool WritePuddleRippleField(const char* key, float value);  // game units
// The ripple job's side: the base, then the ready flag.
void PublishPuddleRippleBase(uint64_t base);

// ---- Scale -----------------------------------------------------------------------------------
// value (unconverted) to the "puddles.scale" row's targets; true when a
// store succeeded (the row's applied value and flag then follow).
bool ApplyPuddlesScaleLive(float value);
// The render hooks' call: where in a frame.
enum class PuddlesRenderPoint { BeforeExecuteCommandLists, AfterExecuteCommandLists, Present };
// Re-applies the scale at this point when the mode asks for it, the edits
// are shown and the row is overridden.
void PuddlesRenderHook(PuddlesRenderPoint point);
// Starts the keeper thread once a mode other than 0 is set (every
// visualsettings before/after pass calls it); a failed start is tried
// again by the next pass.
void StartPuddlesKeeperWhenAsked();
// The unload: stops the keeper and waits at most timeoutMs (a keeper that
// has not started yet is abandoned instead); true when no thread is left.
bool StopPuddlesKeeper(uint32_t timeoutMs);

// ---- Published values for the capture patch --------------------------------------------------
// Scale, range (r - 1 and 1 / r with r = value x 7, kept at least 1e-6 from
// 0) and depth test: each with flag 1 while the edits are shown and its row
// is overridden, else flag 0 (its cells then keep their last values).
void PublishPuddlesValues();
// The scale cell := value, its flag := active (the per-row writers).
void PublishPuddlesScale(float value, bool active);

void ResetPuddlesForTesting();

}  // namespace visualsettings
