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

StartupState Startup;

void ResetStartupState() {
    Startup.Services = HostServices{};
    Startup.BootstrapDone = 0;
    Startup.HookEngineStarted = 0;
    Startup.GamePresent = nullptr;
    Startup.GameResizeBuffers = nullptr;
    Startup.GameResizeBuffers1 = nullptr;
    Startup.GameExecuteCommandLists = nullptr;
}

void SetHostServices(const HostServices& services) {
    Startup.Services = services;
    game::BeforeAfter.GameInFrontTest = services.gameWindowInFront;
}
const HostServices& CurrentHostServices() { return Startup.Services; }
const HookEngine& CurrentHookEngine() {
    return Startup.Services.engine != nullptr ? *Startup.Services.engine : BuiltInHookEngine();
}

namespace {

void CreateOneHook(const HookEngine& engine, void** slot, void* detour, core::SharedValue<void*>& game) {
    if (slot == nullptr || detour == nullptr) return;
    void* original = nullptr;
    if (engine.createHook(slot, detour, &original)) game = original;
}

}  // namespace

void InstallPresentationHooks() {
    const HookEngine& engine = CurrentHookEngine();
    if (engine.initialize()) Startup.HookEngineStarted.Set(1);
    const HostServices& services = Startup.Services;
    PresentationMethods methods;
    const bool opened = services.probe.open != nullptr && services.probe.open(methods);
    if (opened) {
        CreateOneHook(engine, methods.present, services.detours.present, Startup.GamePresent);
        CreateOneHook(engine, methods.resizeBuffers, services.detours.resizeBuffers, Startup.GameResizeBuffers);
        CreateOneHook(engine, methods.resizeBuffers1, services.detours.resizeBuffers1, Startup.GameResizeBuffers1);
        CreateOneHook(engine, methods.executeCommandLists, services.detours.executeCommandLists,
                      Startup.GameExecuteCommandLists);
        engine.enableAll();
    }
    if (services.probe.close != nullptr) services.probe.close();
}

void BootstrapEditor() {
    if (Startup.BootstrapDone.Exchange(1) != 0) return;
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
