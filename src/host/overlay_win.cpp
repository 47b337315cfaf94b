// The overlay's render path on the game's Direct3D 12 frames: the
// ExecuteCommandLists detour learns the game's direct queue; the Present
// detour sets the overlay up on its first useful call and then records one
// UI frame into the current back buffer, submits it on the game's queue and
// lets the game present; the resize detours wait for the GPU and drop the
// per-buffer objects around the game's own resize.
#include "host/overlay_win.h"

#include <imgui.h>
#include <imgui_impl_dx12.h>
#include <imgui_impl_win32.h>

#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "game/before_after.h"
#include "host/detour_gate.h"
#include "host/overlay_state.h"
#include "host/staged_setup.h"
#include "host/startup.h"
#include "platform/clock.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/theme.h"
#include "visualsettings/puddles.h"
#include "visualsettings/visualsettings_entries.h"

namespace host {

OverlayWinState OverlayWin;

void ResetOverlayWinState() {
    OverlayWin.OverlayQueue = nullptr;
    OverlayWin.OverlayInitialized = 0;
    OverlayWin.OverlayUiContext = nullptr;
    OverlayWin.GameWindow = nullptr;
    OverlayWin.GameWindowProc = nullptr;
}

namespace {

using PresentFn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain*, UINT, UINT);
using ResizeBuffersFn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain*, UINT, UINT, UINT, DXGI_FORMAT, UINT);
using ResizeBuffers1Fn = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain3*, UINT, UINT, UINT, DXGI_FORMAT, UINT,
                                                     const UINT*, IUnknown* const*);
using ExecuteCommandListsFn = void(STDMETHODCALLTYPE*)(ID3D12CommandQueue*, UINT, ID3D12CommandList* const*);

// DXGI's largest buffer count.
constexpr UINT kMaxFrameRows = 16;
// Bounded waits for the GPU: a frame's allocator, a resize, the unload.
constexpr DWORD kFrameWaitMs = 1000;
constexpr DWORD kIdleWaitMs = 2000;

struct OverlayFrameRow {
    ID3D12CommandAllocator* allocator = nullptr;
    D3D12_CPU_DESCRIPTOR_HANDLE rtv{};
    uint64_t fenceValue = 0;  // the overlay fence's value of this row's last submission
};

// Render objects. Touched only on the thread that presents (or resizes),
// under Overlay.OverlayMutex, and by the unload after every detour has left.
ID3D12Device* OverlayDevice = nullptr;
ID3D12DescriptorHeap* OverlaySrvHeap = nullptr;
ID3D12DescriptorHeap* OverlayRtvHeap = nullptr;
ID3D12GraphicsCommandList* OverlayCommandList = nullptr;
std::vector<OverlayFrameRow> OverlayFrameContext;
UINT OverlayFrameCount = 0;
UINT OverlayBufferWidth = 0;
UINT OverlayBufferHeight = 0;
DXGI_FORMAT OverlayRtvFormat = DXGI_FORMAT_R8G8B8A8_UNORM;
SwapChainShape OverlayBuiltFor;
// The overlay's own fence, signalled on the game's queue after each submission.
ID3D12Fence* OverlayFence = nullptr;
HANDLE OverlayFenceEvent = nullptr;
uint64_t OverlayLastSignalled = 0;
// Frames in flight the UI renderer was set up with (its vertex-buffer ring).
UINT OverlayRendererFrames = 0;
DescriptorSlots OverlaySrvSlots;
bool Win32BackendUp = false;
bool Dx12BackendUp = false;

// The set-up's inputs, for its steps.
IDXGISwapChain* SetupSwapChain = nullptr;
DXGI_SWAP_CHAIN_DESC SetupDesc{};

template <typename T>
void SafeRelease(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// The overlay's mark on a swap chain it built its frame objects for (private
// data of the swap chain; a new swap chain at the old address has none).
constexpr GUID kOverlayMarkGuid = {0x6f1d2c84, 0x3b7a, 0x4e19, {0x9c, 0x52, 0xa7, 0x0e, 0x41, 0xd3, 0x88, 0x2b}};
uint64_t OverlayNextMark = 1;

uint64_t SwapChainMark(IDXGISwapChain* swapChain) {
    uint64_t mark = 0;
    UINT size = sizeof mark;
    if (FAILED(swapChain->GetPrivateData(kOverlayMarkGuid, &size, &mark)) || size != sizeof mark) return 0;
    return mark;
}

// The status line, also on the debug output (seen by a debugger or a
// debug-output viewer).
void ReportOverlayStatus(const std::string& text) {
    SetOverlayStatus(text);
    OutputDebugStringA(("Varnel: " + text + "\n").c_str());
}

// ---- Fence ------------------------------------------------------------------------------

bool EnsureOverlayFence() {
    if (OverlayFence != nullptr && OverlayFenceEvent != nullptr) return true;
    if (OverlayDevice == nullptr) return false;
    if (OverlayFence == nullptr &&
        FAILED(OverlayDevice->CreateFence(OverlayLastSignalled, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&OverlayFence))))
        return false;
    if (OverlayFenceEvent == nullptr) OverlayFenceEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return OverlayFenceEvent != nullptr;
}

void ReleaseOverlayFence() {
    SafeRelease(OverlayFence);
    if (OverlayFenceEvent != nullptr) {
        CloseHandle(OverlayFenceEvent);
        OverlayFenceEvent = nullptr;
    }
}

// True once the GPU has passed value on the overlay fence (or nothing of
// ours was ever submitted); false when it did not within timeoutMs.
bool WaitForFenceValue(uint64_t value, DWORD timeoutMs) {
    if (value == 0 || OverlayFence == nullptr) return true;
    if (OverlayFence->GetCompletedValue() >= value) return true;
    if (OverlayFenceEvent == nullptr || FAILED(OverlayFence->SetEventOnCompletion(value, OverlayFenceEvent)))
        return false;
    WaitForSingleObject(OverlayFenceEvent, timeoutMs);
    return OverlayFence->GetCompletedValue() >= value;
}

// Signals the overlay fence behind everything queued so far and waits for it.
bool WaitForQueueIdle(DWORD timeoutMs) {
    ID3D12CommandQueue* queue = OverlayWin.OverlayQueue.Get();
    if (queue == nullptr || OverlayFence == nullptr) return true;
    if (FAILED(queue->Signal(OverlayFence, OverlayLastSignalled + 1))) return false;
    ++OverlayLastSignalled;
    return WaitForFenceValue(OverlayLastSignalled, timeoutMs);
}

// ---- Per-buffer objects ----------------------------------------------------------------------

// Releases the rows and the RTV heap once the GPU is done with them; false
// (and everything kept) when it is not done in time.
bool ReleaseOverlayFrameContexts() {
    if (!OverlayFrameContext.empty() && !WaitForFenceValue(OverlayLastSignalled, kIdleWaitMs)) return false;
    for (OverlayFrameRow& row : OverlayFrameContext) SafeRelease(row.allocator);
    OverlayFrameContext.clear();
    SafeRelease(OverlayRtvHeap);
    OverlayFrameCount = 0;
    OverlayBufferWidth = 0;
    OverlayBufferHeight = 0;
    OverlayBuiltFor = SwapChainShape{};
    return true;
}

bool CreateOverlayFrameContexts(IDXGISwapChain* swapChain, const DXGI_SWAP_CHAIN_DESC& desc) {
    if (swapChain == nullptr || OverlayDevice == nullptr || desc.BufferCount == 0 || desc.BufferCount > kMaxFrameRows)
        return false;
    if (!ReleaseOverlayFrameContexts() || !EnsureOverlayFence()) return false;

    OverlayFrameCount = desc.BufferCount;
    DXGI_FORMAT format = desc.BufferDesc.Format;
    ID3D12Resource* first = nullptr;
    if (SUCCEEDED(swapChain->GetBuffer(0, IID_PPV_ARGS(&first)))) {
        const DXGI_FORMAT own = first->GetDesc().Format;
        if (own != DXGI_FORMAT_UNKNOWN) format = own;
        first->Release();
    }
    OverlayBufferWidth = desc.BufferDesc.Width;
    OverlayBufferHeight = desc.BufferDesc.Height;
    OverlayRtvFormat = format != DXGI_FORMAT_UNKNOWN ? format : DXGI_FORMAT_R8G8B8A8_UNORM;

    D3D12_DESCRIPTOR_HEAP_DESC heapDesc{};
    heapDesc.Type = D3D12_DESCRIPTOR_HEAP_TYPE_RTV;
    heapDesc.NumDescriptors = OverlayFrameCount;
    heapDesc.Flags = D3D12_DESCRIPTOR_HEAP_FLAG_NONE;
    heapDesc.NodeMask = 0;
    bool ok = SUCCEEDED(OverlayDevice->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&OverlayRtvHeap)));
    if (ok) {
        OverlayFrameContext.assign(OverlayFrameCount, OverlayFrameRow{});
        const UINT step = OverlayDevice->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);
        D3D12_CPU_DESCRIPTOR_HANDLE handle = OverlayRtvHeap->GetCPUDescriptorHandleForHeapStart();
        for (UINT i = 0; ok && i < OverlayFrameCount; ++i) {
            OverlayFrameRow& row = OverlayFrameContext[i];
            row.rtv = handle;
            ID3D12Resource* buffer = nullptr;
            ok = SUCCEEDED(swapChain->GetBuffer(i, IID_PPV_ARGS(&buffer)));
            if (ok) {
                OverlayDevice->CreateRenderTargetView(buffer, nullptr, handle);
                buffer->Release();
                ok = SUCCEEDED(OverlayDevice->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                                     IID_PPV_ARGS(&row.allocator)));
            }
            handle.ptr += step;
        }
    }
    if (ok && OverlayCommandList == nullptr) {
        ok = SUCCEEDED(OverlayDevice->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT,
                                                        OverlayFrameContext[0].allocator, nullptr,
                                                        IID_PPV_ARGS(&OverlayCommandList)));
        if (ok) OverlayCommandList->Close();
    }
    if (!ok) {
        ReleaseOverlayFrameContexts();
        return false;
    }
    uint64_t mark = OverlayNextMark++;
    if (FAILED(swapChain->SetPrivateData(kOverlayMarkGuid, sizeof mark, &mark))) mark = 0;
    OverlayBuiltFor =
        SwapChainShape{swapChain, desc.BufferCount, desc.BufferDesc.Width, desc.BufferDesc.Height, mark};
    RaiseOverlaySkipFrames(2);
    return true;
}

// Before the game's resize: close the menu, skip the next frames, let the
// GPU finish and drop the per-buffer objects (the game can only resize once
// nothing refers to its buffers).
void WaitGpuIdle() {
    SuspendMenu();
    RaiseOverlaySkipFrames(3);
    if (OverlayDevice != nullptr) WaitForQueueIdle(kIdleWaitMs);
    ReleaseOverlayFrameContexts();
}

// ---- UI renderer's texture descriptors -----------------------------------------------------

void SrvDescriptorAlloc(ImGui_ImplDX12_InitInfo*, D3D12_CPU_DESCRIPTOR_HANDLE* cpu, D3D12_GPU_DESCRIPTOR_HANDLE* gpu) {
    int32_t slot = AllocateDescriptorSlot(OverlaySrvSlots);
    if (slot < 0) slot = 0;  // never expected: more live textures than descriptors
    const UINT step = OverlayDevice->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_CBV_SRV_UAV);
    *cpu = OverlaySrvHeap->GetCPUDescriptorHandleForHeapStart();
    *gpu = OverlaySrvHeap->GetGPUDescriptorHandleForHeapStart();
    cpu->ptr += static_cast<SIZE_T>(slot) * step;
    gpu->ptr += static_cast<UINT64>(slot) * step;
}

void SrvDescriptorFree(ImGui_ImplDX12_InitInfo*, D3D12_CPU_DESCRIPTOR_HANDLE cpu, D3D12_GPU_DESCRIPTOR_HANDLE) {
    if (OverlaySrvHeap == nullptr || OverlayDevice == nullptr) return;
    const UINT step = OverlayDevice->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_CBV_SRV_UAV);
    const SIZE_T start = OverlaySrvHeap->GetCPUDescriptorHandleForHeapStart().ptr;
    if (step == 0 || cpu.ptr < start) return;
    FreeDescriptorSlot(OverlaySrvSlots, static_cast<int32_t>((cpu.ptr - start) / step));
}

// ---- Set-up, in steps that undo themselves when a later one fails -------------------------

// The game's queue is known and belongs to the swap chain's device (a queue
// of another device is forgotten, so that the next one is captured).
bool StepQueueKnown() {
    ID3D12CommandQueue* queue = OverlayWin.OverlayQueue.Get();
    if (queue == nullptr) return false;
    ID3D12Device* chainDevice = nullptr;
    ID3D12Device* queueDevice = nullptr;
    const bool same = SUCCEEDED(SetupSwapChain->GetDevice(IID_PPV_ARGS(&chainDevice))) &&
                      SUCCEEDED(queue->GetDevice(IID_PPV_ARGS(&queueDevice))) && chainDevice == queueDevice;
    SafeRelease(chainDevice);
    SafeRelease(queueDevice);
    if (!same) OverlayWin.OverlayQueue.CompareExchange(queue, nullptr);
    return same;
}

bool StepDevice() { return SUCCEEDED(SetupSwapChain->GetDevice(IID_PPV_ARGS(&OverlayDevice))); }
void UndoDevice() { SafeRelease(OverlayDevice); }

bool StepDescription() { return SUCCEEDED(SetupSwapChain->GetDesc(&SetupDesc)); }

bool StepGameWindow() {
    HWND window = FindWindowA("grcWindow", nullptr);
    if (window == nullptr) window = SetupDesc.OutputWindow;
    if (OverlayWin.GameWindowProc.Get() == nullptr) OverlayWin.GameWindow = window;
    return OverlayWin.GameWindow.Get() != nullptr;
}

bool StepUiContext() {
    ImGuiContext* context = ImGui::CreateContext();
    if (context == nullptr) return false;
    ImGui::SetCurrentContext(context);
    ui::ApplyUiStyleMetrics();
    ui::ApplyUiStyleColours();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    ui::LoadUiFonts(io);
    OverlayWin.OverlayUiContext = context;
    return true;
}
void UndoUiContext() {
    // The window procedure feeds the context under this lock on its own thread.
    std::lock_guard<std::timed_mutex> input(Overlay.UiInputMutex);
    ImGuiContext* context = OverlayWin.OverlayUiContext.Exchange(nullptr);
    ui::ResetFontsState();
    if (context != nullptr) ImGui::DestroyContext(context);
}

bool StepSrvHeap() {
    D3D12_DESCRIPTOR_HEAP_DESC desc{};
    desc.Type = D3D12_DESCRIPTOR_HEAP_TYPE_CBV_SRV_UAV;
    desc.NumDescriptors = kOverlaySrvDescriptors;
    desc.Flags = D3D12_DESCRIPTOR_HEAP_FLAG_SHADER_VISIBLE;
    desc.NodeMask = 0;
    OverlaySrvSlots = DescriptorSlots{};
    return SUCCEEDED(OverlayDevice->CreateDescriptorHeap(&desc, IID_PPV_ARGS(&OverlaySrvHeap)));
}
void UndoSrvHeap() { SafeRelease(OverlaySrvHeap); }

bool StepFrameContexts() { return CreateOverlayFrameContexts(SetupSwapChain, SetupDesc); }
void UndoFrameContexts() {
    ReleaseOverlayFrameContexts();
    SafeRelease(OverlayCommandList);
    ReleaseOverlayFence();
}

bool StepWin32Backend() {
    Win32BackendUp = ImGui_ImplWin32_Init(OverlayWin.GameWindow.Get());
    return Win32BackendUp;
}
void UndoWin32Backend() {
    if (Win32BackendUp) ImGui_ImplWin32_Shutdown();
    Win32BackendUp = false;
}

bool StepDx12Backend() {
    ImGui_ImplDX12_InitInfo info;
    info.Device = OverlayDevice;
    info.CommandQueue = OverlayWin.OverlayQueue.Get();
    info.NumFramesInFlight = static_cast<int>(OverlayFrameCount);
    info.RTVFormat = OverlayRtvFormat;
    info.DSVFormat = DXGI_FORMAT_UNKNOWN;
    info.SrvDescriptorHeap = OverlaySrvHeap;
    info.SrvDescriptorAllocFn = SrvDescriptorAlloc;
    info.SrvDescriptorFreeFn = SrvDescriptorFree;
    Dx12BackendUp = ImGui_ImplDX12_Init(&info);
    if (Dx12BackendUp) OverlayRendererFrames = OverlayFrameCount;
    return Dx12BackendUp;
}
void UndoDx12Backend() {
    if (Dx12BackendUp) ImGui_ImplDX12_Shutdown();
    Dx12BackendUp = false;
}

// The last step: nothing after it can fail, so it needs no undo.
bool StepWindowProcedure() {
    if (OverlayWin.GameWindowProc.Get() != nullptr) return true;
    SetLastError(0);
    const LONG_PTR previous =
        SetWindowLongPtrW(OverlayWin.GameWindow.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HookedWndProc));
    if (previous == 0 && GetLastError() != 0) return false;
    OverlayWin.GameWindowProc = reinterpret_cast<WNDPROC>(previous);
    return true;
}

const SetupStep kOverlaySetup[] = {
    {"game queue", StepQueueKnown, nullptr},
    {"device", StepDevice, UndoDevice},
    {"swap chain description", StepDescription, nullptr},
    {"game window", StepGameWindow, nullptr},
    {"UI context, theme and fonts", StepUiContext, UndoUiContext},
    {"SRV heap", StepSrvHeap, UndoSrvHeap},
    {"frame contexts", StepFrameContexts, UndoFrameContexts},
    {"Win32 back end", StepWin32Backend, UndoWin32Backend},
    {"Direct3D 12 back end", StepDx12Backend, UndoDx12Backend},
    {"window procedure", StepWindowProcedure, nullptr},
};

// Until the game's queue is known frames only pass through; a set-up that
// fails after that is retried at a bounded rate (OverlaySetupDue).
bool SetUpOverlay(IDXGISwapChain* swapChain) {
    if (OverlayWin.OverlayQueue.Get() == nullptr) return false;
    const uint64_t now = platform::TickCount64();
    if (!OverlaySetupDue(now)) return false;
    SetupSwapChain = swapChain;
    size_t failedAt = 0;
    const bool ok = RunSetupSteps(kOverlaySetup, std::size(kOverlaySetup), &failedAt);
    SetupSwapChain = nullptr;
    if (ok) {
        OverlayWin.OverlayInitialized = 1;
        OverlaySetupSucceeded();
        ReportOverlayStatus(OverlayStatus());
    } else if (failedAt > 0) {  // a queue of another device is not a failure
        OverlaySetupFailed(now, kOverlaySetup[failedAt].name);
        ReportOverlayStatus(OverlayStatus());
    }
    return ok;
}

// Everything the overlay made on its device, released once its last frames
// are done (bounded wait on its own fence: the game's old queue may be gone).
// The window procedure stays replaced and OverlayWin.GameWindow stays.
void ReleaseDeviceObjects() {
    WaitForFenceValue(OverlayLastSignalled, kIdleWaitMs);
    UndoDx12Backend();
    UndoWin32Backend();
    UndoFrameContexts();
    UndoSrvHeap();
    UndoDevice();
    UndoUiContext();
    OverlayRendererFrames = 0;
    OverlayWin.OverlayInitialized = 0;
}

// A swap chain the frame objects were not built for may belong to a new
// device (the game recreated device, queue and swap chain): then everything
// of the old device goes, the queue is captured anew, and the set-up runs
// again on the next frames.
void FollowNewDevice(IDXGISwapChain* swapChain, const DXGI_SWAP_CHAIN_DESC& desc) {
    const SwapChainShape now{swapChain, desc.BufferCount, desc.BufferDesc.Width, desc.BufferDesc.Height,
                             SwapChainMark(swapChain)};
    if (now.swapChain == OverlayBuiltFor.swapChain && now.tag == OverlayBuiltFor.tag) return;
    ID3D12Device* device = nullptr;
    if (FAILED(swapChain->GetDevice(IID_PPV_ARGS(&device)))) return;
    const bool moved = device != OverlayDevice;
    device->Release();
    if (!moved) return;
    ImGui::SetCurrentContext(OverlayWin.OverlayUiContext.Get());
    ReleaseDeviceObjects();
    OverlayWin.OverlayQueue = nullptr;
    ui::MainWindow.MainWindowShown = false;  // the new UI context places the window anew
    ReportOverlayStatus("Overlay left the old Direct3D 12 device; setting up on the new one.");
}

// ---- One overlay frame -----------------------------------------------------------------------

void Transition(ID3D12Resource* buffer, D3D12_RESOURCE_STATES before, D3D12_RESOURCE_STATES after) {
    D3D12_RESOURCE_BARRIER barrier{};
    barrier.Type = D3D12_RESOURCE_BARRIER_TYPE_TRANSITION;
    barrier.Flags = D3D12_RESOURCE_BARRIER_FLAG_NONE;
    barrier.Transition.pResource = buffer;
    barrier.Transition.Subresource = D3D12_RESOURCE_BARRIER_ALL_SUBRESOURCES;
    barrier.Transition.StateBefore = before;
    barrier.Transition.StateAfter = after;
    OverlayCommandList->ResourceBarrier(1, &barrier);
}

// The UI part of the frame, between the back ends' new frames and the render.
void BuildUiFrame() {
    std::lock_guard<std::timed_mutex> input(Overlay.UiInputMutex);
    ImGui_ImplWin32_NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    DefaultDisplaySizeWhenEmpty(io);
    UpdateOverlayInput(io);
    io.MouseDrawCursor = SoftwareCursorWanted();
    if (io.DeltaTime <= 0.0f) io.DeltaTime = 1.0f / 60.0f;
    // With a renderer that honours texture requests (ours does) the font
    // atlas builds itself; a legacy one needs it built before the frame.
    if ((io.BackendFlags & ImGuiBackendFlags_RendererHasTextures) == 0 && !io.Fonts->TexIsBuilt)
        io.Fonts->Build();
    ImGui::NewFrame();
    ui::DrawMainWindow();
    // While the "after" view of the visualsettings lacks one of the binding's
    // base addresses, the binding is retried here, at most once per
    // kVisualSettingsBindRetryMs (VisualSettingsBindDue).
    visualsettings::OverlayFrame([] { return VisualSettingsBindDue(platform::TickCount64()); });
    ImGui::Render();
}

void DrawOverlayFrame(IDXGISwapChain* swapChain) {
    ImGui::SetCurrentContext(OverlayWin.OverlayUiContext.Get());
    DXGI_SWAP_CHAIN_DESC desc{};
    if (FAILED(swapChain->GetDesc(&desc)) || desc.BufferCount == 0) return;
    const SwapChainShape now{swapChain, desc.BufferCount, desc.BufferDesc.Width, desc.BufferDesc.Height,
                             SwapChainMark(swapChain)};
    const FrameRebuild rebuild =
        FrameContextsRebuildNeeded(!OverlayFrameContext.empty(), OverlayRtvHeap != nullptr, OverlayBuiltFor, now);
    if (rebuild == FrameRebuild::NewShape) SuspendMenu();
    if (rebuild != FrameRebuild::None) {
        if (!CreateOverlayFrameContexts(swapChain, desc)) return;
        if (rebuild == FrameRebuild::NewSwapChain)
            ReportOverlayStatus("Overlay drawing on a new swap chain of " + std::to_string(desc.BufferCount) +
                                " buffers.");
    }
    if (Overlay.OverlaySkipFrames.Get() > 0) {
        Overlay.OverlaySkipFrames.FetchSub(1);
        return;
    }

    IDXGISwapChain3* swapChain3 = nullptr;
    if (FAILED(swapChain->QueryInterface(IID_PPV_ARGS(&swapChain3)))) return;
    const UINT index = swapChain3->GetCurrentBackBufferIndex();
    swapChain3->Release();
    ID3D12CommandQueue* queue = OverlayWin.OverlayQueue.Get();
    if (index >= OverlayFrameCount || OverlayFrameContext[index].allocator == nullptr ||
        OverlayCommandList == nullptr || OverlaySrvHeap == nullptr || queue == nullptr || OverlayFence == nullptr)
        return;
    OverlayFrameRow& row = OverlayFrameContext[index];
    // The allocator (and the renderer's vertex buffers) may be reused only
    // once the GPU has passed their last use.
    if (!WaitForFenceValue(FenceValueBeforeRecording(row.fenceValue, OverlayLastSignalled, OverlayRendererFrames),
                           kFrameWaitMs))
        return;

    ID3D12Resource* buffer = nullptr;
    if (FAILED(swapChain->GetBuffer(index, IID_PPV_ARGS(&buffer)))) return;
    if (FAILED(row.allocator->Reset()) || FAILED(OverlayCommandList->Reset(row.allocator, nullptr))) {
        buffer->Release();
        return;
    }
    Transition(buffer, D3D12_RESOURCE_STATE_PRESENT, D3D12_RESOURCE_STATE_RENDER_TARGET);
    OverlayCommandList->OMSetRenderTargets(1, &row.rtv, FALSE, nullptr);
    ID3D12DescriptorHeap* heaps[] = {OverlaySrvHeap};
    OverlayCommandList->SetDescriptorHeaps(1, heaps);

    ImGui_ImplDX12_NewFrame();
    BuildUiFrame();
    ImGui_ImplDX12_RenderDrawData(ImGui::GetDrawData(), OverlayCommandList);

    Transition(buffer, D3D12_RESOURCE_STATE_RENDER_TARGET, D3D12_RESOURCE_STATE_PRESENT);
    if (FAILED(OverlayCommandList->Close())) {
        buffer->Release();
        return;
    }
    ID3D12CommandList* lists[] = {OverlayCommandList};
    queue->ExecuteCommandLists(1, lists);
    if (SUCCEEDED(queue->Signal(OverlayFence, OverlayLastSignalled + 1))) ++OverlayLastSignalled;
    row.fenceValue = OverlayLastSignalled;
    buffer->Release();
}

}  // namespace

// ---- Detours ---------------------------------------------------------------------------------

void STDMETHODCALLTYPE HookedExecuteCommandLists(ID3D12CommandQueue* queue, UINT count,
                                                 ID3D12CommandList* const* lists) {
    DetourScope scope;
    if (OverlayWin.OverlayQueue.Get() == nullptr && queue != nullptr &&
        queue->GetDesc().Type == D3D12_COMMAND_LIST_TYPE_DIRECT) {
        ID3D12CommandQueue* expected = nullptr;
        OverlayWin.OverlayQueue.CompareExchange(expected, queue);
    }
    auto game = reinterpret_cast<ExecuteCommandListsFn>(Startup.GameExecuteCommandLists.Get());
    visualsettings::PuddlesRenderHook(visualsettings::PuddlesRenderPoint::BeforeExecuteCommandLists);
    if (game != nullptr) game(queue, count, lists);
    visualsettings::PuddlesRenderHook(visualsettings::PuddlesRenderPoint::AfterExecuteCommandLists);
}

HRESULT STDMETHODCALLTYPE HookedPresent(IDXGISwapChain* swapChain, UINT syncInterval, UINT flags) {
    DetourScope scope;
    auto game = reinterpret_cast<PresentFn>(Startup.GamePresent.Get());
    const PresentGate gate = EnterPresentGate();
    if (gate.draw && swapChain != nullptr) {
        DXGI_SWAP_CHAIN_DESC desc{};
        if (OverlayWin.OverlayInitialized.Get() != 0 && SUCCEEDED(swapChain->GetDesc(&desc))) FollowNewDevice(swapChain, desc);
        if (OverlayWin.OverlayInitialized.Get() != 0 || SetUpOverlay(swapChain)) DrawOverlayFrame(swapChain);
    }
    const HRESULT result = game != nullptr ? game(swapChain, syncInterval, flags) : E_FAIL;
    LeavePresentGate(gate);
    return result;
}

HRESULT STDMETHODCALLTYPE HookedResizeBuffers(IDXGISwapChain* swapChain, UINT bufferCount, UINT width, UINT height,
                                              DXGI_FORMAT format, UINT flags) {
    DetourScope scope;
    return RunResizeDetour(WaitGpuIdle, [&]() -> int32_t {
        auto game = reinterpret_cast<ResizeBuffersFn>(Startup.GameResizeBuffers.Get());
        return game != nullptr ? game(swapChain, bufferCount, width, height, format, flags) : kEFail;
    });
}

HRESULT STDMETHODCALLTYPE HookedResizeBuffers1(IDXGISwapChain3* swapChain, UINT bufferCount, UINT width, UINT height,
                                               DXGI_FORMAT format, UINT flags, const UINT* nodeMasks,
                                               IUnknown* const* presentQueues) {
    DetourScope scope;
    return RunResizeDetour(WaitGpuIdle, [&]() -> int32_t {
        auto game = reinterpret_cast<ResizeBuffers1Fn>(Startup.GameResizeBuffers1.Get());
        return game != nullptr ? game(swapChain, bufferCount, width, height, format, flags, nodeMasks, presentQueues)
                               : kEFail;
    });
}

// ---- Unload ----------------------------------------------------------------------------------

void ReleaseOverlay() {
    std::lock_guard<std::mutex> lock(Overlay.OverlayMutex);
    ImGuiContext* context = OverlayWin.OverlayUiContext.Get();
    if (context != nullptr) ImGui::SetCurrentContext(context);
    // The last overlay frames may still be on the GPU: nothing is freed
    // before they are done (if they never finish, everything is left as is).
    if (OverlayDevice != nullptr && !WaitForQueueIdle(kIdleWaitMs)) return;
    ReleaseDeviceObjects();
}

bool GameWindowInFront() {
    const HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground != nullptr) GetWindowThreadProcessId(foreground, &process);
    const HWND captured = OverlayWin.GameWindow.Get();
    const HWND topLevel = captured != nullptr ? GetAncestor(captured, GA_ROOT) : nullptr;
    return game::GameIsInFront(reinterpret_cast<uintptr_t>(foreground), process == GetCurrentProcessId(),
                         reinterpret_cast<uintptr_t>(captured), reinterpret_cast<uintptr_t>(topLevel));
}

HostServices WindowsHostServices() {
    HostServices services;
    const HookEngine* minHook = MinHookEngine();
    services.engine = minHook != nullptr ? minHook : &BuiltInHookEngine();
    services.probe.open = OpenPresentationProbe;
    services.probe.close = ClosePresentationProbe;
    services.detours.present = reinterpret_cast<void*>(&HookedPresent);
    services.detours.resizeBuffers = reinterpret_cast<void*>(&HookedResizeBuffers);
    services.detours.resizeBuffers1 = reinterpret_cast<void*>(&HookedResizeBuffers1);
    services.detours.executeCommandLists = reinterpret_cast<void*>(&HookedExecuteCommandLists);
    services.restoreWindowProcedure = RestoreGameWindowProc;
    services.releaseOverlay = ReleaseOverlay;
    services.gameWindowInFront = GameWindowInFront;
    return services;
}

}  // namespace host
