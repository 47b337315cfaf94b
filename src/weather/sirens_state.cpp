#include "weather/sirens_state.h"

#include <utility>

#include "platform/clock.h"

namespace weather {

SirenState Sirens;

const std::array<SirenProfileRow, kSirenProfileCount> SirenProfileTable = {{
    {"0_unused", 0},
    {"police/sheriff", 1},
    {"police3", 2},
    {"fbiold", 3},
    {"ambulance", 4},
    {"police van", 5},
    {"policebike", 6},
    {"firetruck", 7},
    {"police old", 8},
    {"orange_globes", 9},
    {"orange_lightbar", 10},
    {"foglights", 11},
    {"fbi", 12},
    {"police dual lightbar", 13},
    {"riot2", 14},
    {"pbus2", 15},
    {"STD Lightbar", 16},
    {"CNC Rotators", 17},
    {"2024_01 Sirens", 18},
    {"2024_01 Sirens2", 19},
    {"PolBati Lightbar", 20},
}};

const std::array<SirenProfileRow, kSirenAnchorCount> SirenAnchorTable = {{
    {"0_unused", 0},
    {"orange_lightbar", 10},
    {"police dual lightbar", 13},
    {"2024_01 Sirens2", 19},
    {"PolBati Lightbar", 20},
}};

using T = SirenFieldType;

const std::array<SirenField, kSirenProfileFieldCount> SirenProfileFieldTable = {{
    {"timeMultiplier", 12, T::Float, 0.01f},
    {"lightFalloffMax", 16, T::Float, 0.1f},
    {"lightFalloffExponent", 20, T::Float, 0.1f},
    {"lightInnerConeAngle", 24, T::Float, 0.1f},
    {"lightOuterConeAngle", 28, T::Float, 0.1f},
    {"lightOffset", 32, T::Float, 0.01f},
    {"sequencerBpm", 40, T::U32, 1.0f},
    {"leftHeadLight.sequencer", 44, T::U32, 1.0f},
    {"rightHeadLight.sequencer", 48, T::U32, 1.0f},
    {"leftTailLight.sequencer", 52, T::U32, 1.0f},
    {"rightTailLight.sequencer", 56, T::U32, 1.0f},
    {"leftHeadLightMultiples", 60, T::Byte, 1.0f},
    {"rightHeadLightMultiples", 61, T::Byte, 1.0f},
    {"leftTailLightMultiples", 62, T::Byte, 1.0f},
    {"rightTailLightMultiples", 63, T::Byte, 1.0f},
    {"useRealLights", 64, T::Bool, 1.0f},
}};

const std::array<SirenField, kSirenLightFieldCount> SirenLightFieldTable = {{
    {"rotation.delta", 0, T::Float, 0.01f},
    {"rotation.start", 4, T::Float, 0.01f},
    {"rotation.sequencer", 8, T::U32, 1.0f},
    {"rotation.multiples", 12, T::Byte, 1.0f},
    {"rotation.direction", 13, T::Bool, 1.0f},
    {"rotation.syncToBpm", 14, T::Bool, 1.0f},
    {"flashiness.delta", 16, T::Float, 0.01f},
    {"flashiness.start", 20, T::Float, 0.01f},
    {"flashiness.speed", 24, T::Float, 0.01f},
    {"flashiness.sequencer", 28, T::U32, 1.0f},
    {"flashiness.multiples", 32, T::Byte, 1.0f},
    {"flashiness.direction", 33, T::Bool, 1.0f},
    {"flashiness.syncToBpm", 34, T::Bool, 1.0f},
    {"corona.intensity", 36, T::Float, 0.25f},
    {"corona.size", 40, T::Float, 0.05f},
    {"corona.pull", 44, T::Float, 0.01f},
    {"corona.faceCamera", 48, T::Bool, 1.0f},
    {"color", 52, T::U32, 1.0f, true},
    {"intensity", 56, T::Float, 0.05f},
    {"lightGroup", 60, T::Byte, 1.0f},
    {"scaleFactor", 61, T::Byte, 1.0f},
    {"scale", 62, T::Bool, 1.0f},
    {"rotate", 63, T::Bool, 1.0f},
    {"flash", 64, T::Bool, 1.0f},
    {"light", 65, T::Bool, 1.0f},
    {"spotLight", 66, T::Bool, 1.0f},
    {"castShadows", 67, T::Bool, 1.0f},
}};

uint64_t SirenNowMs() { return platform::TickCount64(); }

void ClearSirenEdits(SirenState& s) {
    s.SirenBaseline.Clear();
    s.SirenEditedImage.Clear();
    s.SirenBaselineTaken = 0;
    s.SirenEditedImageSaved = 0;
    s.SirenBeforeShown = 0;
    s.editedCount = {};
}

void ResetSirenState() {
    SirenState& s = Sirens;
    uint64_t worker = 0;
    {
        std::lock_guard<std::mutex> lock(s.workerLock);
        s.workerCancel.Set(1);
        worker = std::exchange(s.worker, 0);
        s.workerStopped = 0;
    }
    platform::WaitForThread(worker, platform::kWaitForever);
    std::lock_guard<std::mutex> lock(s.lock);
    s.SirenBlockAddress = 0;
    s.SirenLoadPending = 0;
    s.SirenLoadStartTick = 0;
    s.SirenLoadStatus = "Ready.";
    s.SirenWorkerRunning = 0;
    s.SirenWorkerDone = 0;
    s.SirenWorkerResult = 0;
    s.workerCancel.Set(0);
    ClearSirenEdits(s);
    s.scratch.Clear();
    s.SirenChangeCounter = 0;
    s.scan = nullptr;
    s.afterHandOverStep = nullptr;
    s.searchFrom = 0;
    s.searchTo = 0;
}

}  // namespace weather
