#include "host/startup.h"

#include "core/settings.h"
#include "core/workspace.h"
#include "game/before_after.h"
#include "host/host_services.h"
#include "runtime/block_locators.h"
#include "runtime/live_writes.h"
#include "runtime/override_patches.h"
#include "runtime/redirects.h"
#include "timecycle/timecycle_model.h"
#include "visualsettings/visualsettings_entries.h"

namespace host {

std::atomic<uint8_t> BootstrapDone{0};
std::atomic<uint8_t> HookEngineStarted{0};

std::atomic<void*> GamePresent{nullptr};
std::atomic<void*> GameResizeBuffers{nullptr};
std::atomic<void*> GameResizeBuffers1{nullptr};
std::atomic<void*> GameExecuteCommandLists{nullptr};

namespace {
HostServices g_services;
}  // namespace

void SetHostServices(const HostServices& services) {
    g_services = services;
    game::GameInFrontTest = services.gameWindowInFront;
}
const HostServices& CurrentHostServices() { return g_services; }
const HookEngine& CurrentHookEngine() {
    return g_services.engine != nullptr ? *g_services.engine : BuiltInHookEngine();
}

namespace {

void CreateOneHook(const HookEngine& engine, void** slot, void* detour, std::atomic<void*>& game) {
    if (slot == nullptr || detour == nullptr) return;
    void* original = nullptr;
    if (engine.createHook(slot, detour, &original)) game.store(original);
}

}  // namespace

void InstallPresentationHooks() {
    const HookEngine& engine = CurrentHookEngine();
    if (engine.initialize()) HookEngineStarted.store(1);
    const HostServices& services = g_services;
    PresentationMethods methods;
    const bool opened = services.probe.open != nullptr && services.probe.open(methods);
    if (opened) {
        CreateOneHook(engine, methods.present, services.detours.present, GamePresent);
        CreateOneHook(engine, methods.resizeBuffers, services.detours.resizeBuffers, GameResizeBuffers);
        CreateOneHook(engine, methods.resizeBuffers1, services.detours.resizeBuffers1, GameResizeBuffers1);
        CreateOneHook(engine, methods.executeCommandLists, services.detours.executeCommandLists,
                      GameExecuteCommandLists);
        engine.enableAll();
    }
    if (services.probe.close != nullptr) services.probe.close();
}

void BootstrapEditor() {
    if (BootstrapDone.exchange(1) != 0) return;
    core::EnsureWorkspaceFolders();
    core::LoadSettings();
    runtime::SecondaryBlockLocator();
    // The redirect preparers and store probes, in their order (one pass over
    // the game image serves every search among them).
    runtime::RunStartupPreparers();
    timecycle::AssignVariableSlotAddresses();
    visualsettings::StartVisualSettings();  // the parameters bound, then reset to their defaults
    runtime::PrepareRedirect(runtime::RedirectId::AmbientBounceDownWrap);
    runtime::ApplyLiveSlotGroupC();
    InstallPresentationHooks();
    if (!runtime::WriteListCaveInstalled()) runtime::InstallWriteListCave();
    runtime::ClearWriteListCount();
}

}  // namespace host
