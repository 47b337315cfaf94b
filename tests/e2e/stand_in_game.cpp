// Stand-in for the game, for the end-to-end test under Wine: a window of
// class "grcWindow" of 1600 x 1000, a Direct3D 12 device, a direct queue and
// a flip swap chain of three buffers, cleared to a known colour every frame
// and presented. Its stand-in script host (ScriptHookV.dll) loads the
// plug-in beside it; the game resumes the host's scripts once per frame.
// The test writes commands to e2e-command.txt (see RunCommand; taken within
// about 50 ms) and reads e2e-status.txt ("key=value", every 100 ms);
// e2e-game.log has the events and every line of debug output. The status
// tells what a plug-in changed: the method-table slots of the swap chain and
// the queue and the first code bytes of those methods, the window
// procedure, two guard pages (in the image and in a private region) that any
// memory scan would trip, two engine store sites of the game's code, a
// timecycle modifier's block in the game's heap, and the water tuning block
// in its image, from which it draws a square of its frame, and its vehicle
// siren settings in its heap (stand_in_sirens.h). It also counts what the
// plug-in submits on the game's queue (fence signals with a fence not the
// game's), so the test can wait for frames the overlay actually drew instead
// of sleeping.
// The game keeps a keyframe table of its own (stand_in_timecycle.h) and
// paints a patch of each frame in the sky colour it reads there; the status
// has that colour and whether the URBAN records of the table were written.
#include <d3d12.h>
#include <dxgi1_4.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "stand_in.h"
#include "stand_in_sirens.h"
#include "stand_in_sites.h"
#include "stand_in_timecycle.h"
#include "stand_in_vs.h"

namespace {

constexpr UINT kBuffers = 3;
// The background every frame is cleared to (8-bit: 26, 140, 89).
constexpr float kBackground[4] = {26.0f / 255.0f, 140.0f / 255.0f, 89.0f / 255.0f, 1.0f};
// The sky patch, right of and below where the editor's window opens.
constexpr D3D12_RECT kSkyPatch = {1380, 720, 1540, 880};

// Method-table slots the overlay hooks.
struct MethodProbe {
    const char* name;
    bool queue;  // of the command queue, else of the swap chain
    int slot;
    void* original = nullptr;
    unsigned char code[16] = {};
};
MethodProbe g_methods[] = {
    {"present", false, 8},
    {"resize_buffers", false, 13},
    {"resize_buffers1", false, 39},
    {"execute_command_lists", true, 10},
};

// The command queue's Signal, which the game wraps to count the plug-in's
// submissions (a slot the plug-in does not hook).
constexpr int kQueueSignalSlot = 14;
using SignalFn = HRESULT(STDMETHODCALLTYPE*)(ID3D12CommandQueue*, ID3D12Fence*, UINT64);
SignalFn g_queueSignal = nullptr;

// A page of the executable's image that a scan of the image would read.
__attribute__((section(".scanpg"), aligned(4096))) volatile unsigned char g_imageCanary[4096] = {1};
void* g_privateCanary = nullptr;

// The engine's stores of the scanline and lens-distortion values into the
// post-effect block (movups xmm0,[rip+d]; movaps [rsi+r12+0x1D0 / 0x3C0],xmm0),
// each once in the image; the 9-byte store is at +7.
constexpr size_t kStoreSites = 2, kStoreSiteLength = 16, kStoreOffset = 7, kStoreLength = 9;
__attribute__((section(".stores"), used)) volatile unsigned char g_storeSites[kStoreSites][kStoreSiteLength] = {
    {0x0F, 0x10, 0x05, 0x10, 0x20, 0x30, 0x00, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xD0, 0x01, 0x00, 0x00},
    {0x0F, 0x10, 0x05, 0x40, 0x50, 0x60, 0x00, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xC0, 0x03, 0x00, 0x00},
};
// Their first bytes, kept outside the image (a copy in it would be a second match).
std::vector<unsigned char> g_storeOriginal(kStoreSites * kStoreSiteLength);

struct Game {
    std::wstring folder;
    HWND window = nullptr;
    LONG_PTR originalWndProc = 0;
    UINT width = 1600, height = 1000;
    UINT clientWidth = 0, clientHeight = 0;

    IDXGIFactory4* factory = nullptr;
    ID3D12Device* device = nullptr;
    ID3D12CommandQueue* queue = nullptr;
    IDXGISwapChain3* swapChain = nullptr;
    ID3D12DescriptorHeap* rtvHeap = nullptr;
    UINT rtvStep = 0;
    ID3D12CommandAllocator* allocators[kBuffers] = {};
    ID3D12GraphicsCommandList* list = nullptr;
    ID3D12Fence* fence = nullptr;
    HANDLE fenceEvent = nullptr;
    UINT64 fenceValues[kBuffers] = {};
    UINT64 nextFence = 0;
    ID3D12Device* oldDevice = nullptr;  // our one reference to a device we replaced

    // Counters and results, written to the status file under their names
    // (99: the old device was not dropped yet).
    std::map<std::string, uint64_t> counts{{"old_device_refs_at_drop", 99}};
    bool resizeWithBuffers1 = false, quit = false;
    unsigned fpsCap = 0;
    // Signals on the game's queue with a fence not the game's since the game
    // made its current swap chain: the overlay signals once after each frame
    // it draws, and a few times more (texture uploads, the waits for the GPU
    // around a resize and the unload).
    std::atomic<uint64_t> overlaySignals{0};

    standin::SkyColour sky;  // painted on the last frame

    LARGE_INTEGER start{}, frequency{};
    double statusStamp = -1, commandStamp = -1;
    FILE* log = nullptr;
};

Game g;

double NowSeconds() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - g.start.QuadPart) / static_cast<double>(g.frequency.QuadPart);
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
    if (g.log == nullptr) return;
    std::fprintf(g.log, "[%9.3f] ", NowSeconds());
    va_list args;
    va_start(args, format);
    std::vfprintf(g.log, format, args);
    va_end(args);
    std::fputc('\n', g.log);
    std::fflush(g.log);
}

bool Failed(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return false;
    Log("%s failed %08lx", what, static_cast<unsigned long>(hr));
    return true;
}

// Debug output of any module (OutputDebugString raises this exception
// before the system handles it) goes to the log.
LONG CALLBACK CatchDebugOutput(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        std::string line(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        Log("debug: %s", line.c_str());
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void** MethodTable(bool queue) {
    IUnknown* object = queue ? static_cast<IUnknown*>(g.queue) : static_cast<IUnknown*>(g.swapChain);
    return *reinterpret_cast<void***>(object);
}

void RecordMethods() {
    for (MethodProbe& probe : g_methods) {
        probe.original = MethodTable(probe.queue)[probe.slot];
        std::memcpy(probe.code, probe.original, sizeof probe.code);
    }
}

HRESULT STDMETHODCALLTYPE CountingSignal(ID3D12CommandQueue* queue, ID3D12Fence* fence, UINT64 value) {
    if (queue == g.queue && fence != g.fence) ++g.overlaySignals;
    return g_queueSignal(queue, fence, value);
}

// Every command queue shares the method table: one entry wraps them all
// (only the signals on the game's current queue are counted).
bool WatchQueueSignals() {
    void** slot = &MethodTable(true)[kQueueSignalSlot];
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
    g_queueSignal = reinterpret_cast<SignalFn>(*slot);
    *slot = reinterpret_cast<void*>(&CountingSignal);
    VirtualProtect(slot, sizeof *slot, old, &old);
    return true;
}

// A timecycle modifier of the game in its heap: the 12-byte records (value,
// blend, 4 bytes of the game's own) of "e2e_tunnel", 1 MiB into a private
// read-write region of 64 MiB (the size of region the editor searches first).
constexpr int kModifierRows = 6;
constexpr float kModifierValues[kModifierRows][2] = {{17.375f, 0.625f}, {2.75f, 1.0f},  {0.125f, 3.5f},
                                                     {40.0f, 0.25f},    {5.5f, 0.875f}, {0.375f, 12.125f}};
unsigned char* g_modifierBlock = nullptr;

void PlantModifierBlock() {
    auto* region = static_cast<unsigned char*>(VirtualAlloc(nullptr, 64u << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (region == nullptr) return;
    g_modifierBlock = region + (1u << 20) + 20;
    for (int i = 0; i < kModifierRows; ++i) {
        const uint32_t own = 0x7E570000u + static_cast<uint32_t>(i);
        std::memcpy(g_modifierBlock + i * 12, &kModifierValues[i][0], 4);
        std::memcpy(g_modifierBlock + i * 12 + 4, &kModifierValues[i][1], 4);
        std::memcpy(g_modifierBlock + i * 12 + 8, &own, 4);
    }
}

// Rows of the block as planted; rows whose value or blend differ; the game's
// own bytes untouched; the first value in thousandths.
void DescribeModifierBlock(std::map<std::string, uint64_t>& values) {
    if (g_modifierBlock == nullptr) return;
    uint64_t original = 0, changed = 0, own = 0;
    for (int i = 0; i < kModifierRows; ++i) {
        float a, b;
        uint32_t bytes;
        std::memcpy(&a, g_modifierBlock + i * 12, 4);
        std::memcpy(&b, g_modifierBlock + i * 12 + 4, 4);
        std::memcpy(&bytes, g_modifierBlock + i * 12 + 8, 4);
        const bool same = a == kModifierValues[i][0] && b == kModifierValues[i][1];
        original += same;
        changed += !same;
        own += bytes == 0x7E570000u + static_cast<uint32_t>(i);
    }
    float first;
    std::memcpy(&first, g_modifierBlock, 4);
    values["modifier_rows_original"] = original;
    values["modifier_rows_changed"] = changed;
    values["modifier_own_bytes_intact"] = own == kModifierRows;
    values["modifier_first_value_milli"] = first > 0.0f ? static_cast<uint64_t>(first * 1000.0f + 0.5f) : 0;
}

// The game's water tuning block in its image (80 bytes: the water colour,
// then nineteen floats), as the editor's image search finds it by its run
// of values. The game draws its water square from RippleScale (see
// WaterSquareColour); its first bytes are kept outside the image (a copy in
// it would be a second match).
struct WaterTuning {
    uint32_t waterColour;
    float values[19];
};
__attribute__((used, aligned(16))) volatile WaterTuning g_waterTuning = {
    0x1A00191Cu,
    {0.04f, 0.05f, 1118.0f, 1.1f, 0.7f, 0.25f, 10.0f, 50.0f, 0.0f, 10.0f, 90.0f, 80.0f, 0.0f, 200.0f, 0.05f, -4000.0f,
     -4000.0f, 4500.0f, 8000.0f}};
std::vector<unsigned char> g_waterOriginal(sizeof(WaterTuning));

float RippleScale() { return g_waterTuning.values[0]; }

// The square's colour: the background's, with a red that rises with
// RippleScale above the game's own 0.04 (so at the game's values the square
// is not seen; 0.08 gives red 36).
void WaterSquareColour(float colour[4]) {
    float red = 26.0f + (RippleScale() - 0.04f) * 250.0f;
    red = red < 0.0f ? 0.0f : red > 255.0f ? 255.0f : red;
    colour[0] = static_cast<float>(static_cast<int>(red + 0.5f)) / 255.0f;
    colour[1] = kBackground[1];
    colour[2] = kBackground[2];
    colour[3] = 1.0f;
}

// 4-byte words of the block that differ from the game's; RippleScale in thousandths.
void DescribeWaterTuning(std::map<std::string, uint64_t>& values) {
    unsigned char now[sizeof(WaterTuning)];
    std::memcpy(now, const_cast<const WaterTuning*>(&g_waterTuning), sizeof now);
    uint64_t changed = 0;
    for (size_t i = 0; i < sizeof now; i += 4) changed += std::memcmp(now + i, g_waterOriginal.data() + i, 4) != 0;
    values["watertune_changed"] = changed;
    const float ripple = RippleScale();
    values["watertune_ripple_milli"] = ripple > 0.0f ? static_cast<uint64_t>(ripple * 1000.0f + 0.5f) : 0;
}

bool GuardIntact(const void* page) {
    MEMORY_BASIC_INFORMATION info{};
    if (page == nullptr || VirtualQuery(page, &info, sizeof info) != sizeof info) return false;
    return (info.Protect & PAGE_GUARD) != 0;
}

void SetGuards(bool on) {
    DWORD old = 0;
    DWORD protect = PAGE_READWRITE | (on ? PAGE_GUARD : 0);
    VirtualProtect(const_cast<unsigned char*>(g_imageCanary), sizeof g_imageCanary, protect, &old);
    if (g_privateCanary != nullptr) VirtualProtect(g_privateCanary, 4096, protect, &old);
}

LRESULT CALLBACK GameWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ++g.counts["game_mouse_messages"];
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) ++g.counts["game_escape_downs"];
    switch (message) {
    case WM_SIZE:
        g.clientWidth = LOWORD(lParam);
        g.clientHeight = HIWORD(lParam);
        return 0;
    case WM_CLOSE:
    case WM_DESTROY: g.quit = true; return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool CreateGameWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &GameWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"grcWindow";
    if (RegisterClassExW(&wc) == 0) return false;
    // A borderless window at the screen's origin, so client and screen
    // coordinates agree for the test's clicks and screenshots.
    g.window = CreateWindowExW(0, L"grcWindow", L"Varnel stand-in game", WS_POPUP | WS_VISIBLE, 0, 0,
                               static_cast<int>(g.width), static_cast<int>(g.height), nullptr, nullptr,
                               wc.hInstance, nullptr);
    if (g.window == nullptr) return false;
    g.originalWndProc = GetWindowLongPtrW(g.window, GWLP_WNDPROC);
    SetForegroundWindow(g.window);
    return true;
}

bool CreateTargets() {
    D3D12_CPU_DESCRIPTOR_HANDLE handle = g.rtvHeap->GetCPUDescriptorHandleForHeapStart();
    for (UINT i = 0; i < kBuffers; ++i) {
        ID3D12Resource* buffer = nullptr;
        if (FAILED(g.swapChain->GetBuffer(i, IID_PPV_ARGS(&buffer)))) return false;
        g.device->CreateRenderTargetView(buffer, nullptr, handle);
        buffer->Release();  // no reference is kept between frames
        handle.ptr += g.rtvStep;
    }
    for (UINT64& value : g.fenceValues) value = 0;
    return true;
}

bool CreateSwapChain() {
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = g.width;  // explicit: a size of 0 is not safe under Wine
    desc.Height = g.height;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = kBuffers;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    IDXGISwapChain1* swapChain1 = nullptr;
    if (Failed(g.factory->CreateSwapChainForHwnd(g.queue, g.window, &desc, nullptr, nullptr, &swapChain1),
               "CreateSwapChainForHwnd"))
        return false;
    const HRESULT hr = swapChain1->QueryInterface(IID_PPV_ARGS(&g.swapChain));
    swapChain1->Release();
    return !Failed(hr, "IDXGISwapChain3") && CreateTargets();
}

// Device, queue, swap chain and the frame objects (the factory stays).
bool CreateDevice() {
    IDXGIAdapter1* adapter = nullptr;
    if (Failed(g.factory->EnumAdapters1(0, &adapter), "EnumAdapters1")) return false;
    HRESULT hr = D3D12CreateDevice(adapter, D3D_FEATURE_LEVEL_11_0, IID_PPV_ARGS(&g.device));
    adapter->Release();
    if (Failed(hr, "D3D12CreateDevice")) return false;
    D3D12_COMMAND_QUEUE_DESC queueDesc{};
    queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;
    D3D12_DESCRIPTOR_HEAP_DESC heapDesc{};
    heapDesc.Type = D3D12_DESCRIPTOR_HEAP_TYPE_RTV;
    heapDesc.NumDescriptors = kBuffers;
    if (Failed(g.device->CreateCommandQueue(&queueDesc, IID_PPV_ARGS(&g.queue)), "CreateCommandQueue") ||
        Failed(g.device->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&g.rtvHeap)), "CreateDescriptorHeap"))
        return false;
    g.rtvStep = g.device->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);
    for (ID3D12CommandAllocator*& allocator : g.allocators)
        if (Failed(g.device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT, IID_PPV_ARGS(&allocator)),
                   "CreateCommandAllocator"))
            return false;
    if (Failed(g.device->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, g.allocators[0], nullptr,
                                           IID_PPV_ARGS(&g.list)),
               "CreateCommandList") ||
        Failed(g.device->CreateFence(0, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&g.fence)), "CreateFence"))
        return false;
    g.list->Close();
    g.nextFence = 0;
    if (g.fenceEvent == nullptr) g.fenceEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return CreateSwapChain();
}

template <typename T>
ULONG Drop(T*& object) {
    const ULONG left = object != nullptr ? object->Release() : 0;
    object = nullptr;
    return left;
}

void WaitFence(UINT64 value) {
    if (value == 0 || g.fence->GetCompletedValue() >= value) return;
    g.fence->SetEventOnCompletion(value, g.fenceEvent);
    WaitForSingleObject(g.fenceEvent, 5000);
}

void WaitIdle() {
    g.queue->Signal(g.fence, ++g.nextFence);
    WaitFence(g.nextFence);
}

void Resize(UINT width, UINT height) {
    WaitIdle();
    UINT masks[kBuffers] = {};
    IUnknown* queues[kBuffers] = {g.queue, g.queue, g.queue};
    const HRESULT hr =
        g.resizeWithBuffers1
            ? g.swapChain->ResizeBuffers1(kBuffers, width, height, DXGI_FORMAT_R8G8B8A8_UNORM, 0, masks, queues)
            : g.swapChain->ResizeBuffers(kBuffers, width, height, DXGI_FORMAT_R8G8B8A8_UNORM, 0);
    ++g.counts["resizes"];
    if (Failed(hr, "resize")) {
        ++g.counts["resize_failures"];
        return;
    }
    g.width = width;
    g.height = height;
    if (!CreateTargets()) Log("render targets after resize failed");
    Log("resized to %ux%u with %s", width, height, g.resizeWithBuffers1 ? "ResizeBuffers1" : "ResizeBuffers");
}

// A new swap chain on the same window, the old one released first (one
// flip-model swap chain per window): nothing but us may still hold it.
void RecreateSwapChain(bool withDevice) {
    WaitIdle();
    g.counts["swapchain_refs_left"] = Drop(g.swapChain);
    bool ok;
    if (withDevice) {
        Drop(g.list);
        for (ID3D12CommandAllocator*& allocator : g.allocators) Drop(allocator);
        Drop(g.fence);
        Drop(g.rtvHeap);
        Drop(g.queue);
        Drop(g.oldDevice);
        g.oldDevice = g.device;  // our reference now only watches
        g.device = nullptr;
        ok = CreateDevice();
        ++g.counts["device_recreations"];
    } else {
        ok = CreateSwapChain();
        ++g.counts["swapchain_recreations"];
    }
    g.overlaySignals = 0;
    if (!ok) ++g.counts["recreate_failures"];
    Log("%s recreated (%s), the old swap chain had %lu other references", withDevice ? "device" : "swap chain",
        ok ? "ok" : "failed", static_cast<unsigned long>(g.counts["swapchain_refs_left"]));
}

// References to the replaced device other than ours (0 when there is none).
uint64_t OldDeviceRefs() {
    if (g.oldDevice == nullptr) return 0;
    g.oldDevice->AddRef();
    return g.oldDevice->Release() - 1;
}

void DrawFrame() {
    const UINT index = g.swapChain->GetCurrentBackBufferIndex();
    WaitFence(g.fenceValues[index]);
    ID3D12Resource* buffer = nullptr;
    if (SUCCEEDED(g.swapChain->GetBuffer(index, IID_PPV_ARGS(&buffer)))) {
        g.allocators[index]->Reset();
        g.list->Reset(g.allocators[index], nullptr);
        D3D12_RESOURCE_BARRIER barrier{};
        barrier.Type = D3D12_RESOURCE_BARRIER_TYPE_TRANSITION;
        barrier.Transition.pResource = buffer;
        barrier.Transition.Subresource = D3D12_RESOURCE_BARRIER_ALL_SUBRESOURCES;
        barrier.Transition.StateBefore = D3D12_RESOURCE_STATE_PRESENT;
        barrier.Transition.StateAfter = D3D12_RESOURCE_STATE_RENDER_TARGET;
        g.list->ResourceBarrier(1, &barrier);
        D3D12_CPU_DESCRIPTOR_HANDLE rtv = g.rtvHeap->GetCPUDescriptorHandleForHeapStart();
        rtv.ptr += static_cast<SIZE_T>(index) * g.rtvStep;
        g.list->ClearRenderTargetView(rtv, kBackground, 0, nullptr);
        char weather[32];
        const int hour = StandInWorldWeather(weather, sizeof weather);
        g.sky = standin::SkyColourAt(weather, hour);
        const float sky[4] = {g.sky.r / 255.0f, g.sky.g / 255.0f, g.sky.b / 255.0f, 1.0f};
        if (g.width >= static_cast<UINT>(kSkyPatch.right) && g.height >= static_cast<UINT>(kSkyPatch.bottom))
            g.list->ClearRenderTargetView(rtv, sky, 1, &kSkyPatch);
        float water[4];
        WaterSquareColour(water);
        const D3D12_RECT square = {static_cast<LONG>(g.width) - 180, 20, static_cast<LONG>(g.width) - 30, 170};
        g.list->ClearRenderTargetView(rtv, water, 1, &square);
        std::swap(barrier.Transition.StateBefore, barrier.Transition.StateAfter);
        g.list->ResourceBarrier(1, &barrier);
        if (SUCCEEDED(g.list->Close())) {
            ID3D12CommandList* lists[] = {g.list};
            g.queue->ExecuteCommandLists(1, lists);
        }
        buffer->Release();
    }
    if (FAILED(g.swapChain->Present(0, 0))) ++g.counts["present_failures"];
    g.queue->Signal(g.fence, ++g.nextFence);
    g.fenceValues[index] = g.nextFence;
    ++g.counts["frames"];
}

// "resize W H", "resize1 W H" (with ResizeBuffers1), "fps N" (a frame-rate
// cap, 0 = none), "unguard", "enable_slot NAME" or "enable_slot NAME=VALUE"
// (a live override slot of the plug-in on, with that value), "set_param KEY=VALUE"
// (a visualsettings parameter of the plug-in edited), "recreate" (a new swap chain on the same window),
// "recreate_device" (new device, queue and swap chain; one reference of ours
// keeps the old device to watch what else holds it), "drop_old_device",
// "unload", "quit".
void RunCommand(const std::string& line) {
    unsigned width = 0, height = 0;
    Log("command: %s", line.c_str());
    const bool resize1 = line.rfind("resize1 ", 0) == 0;
    if (std::sscanf(line.c_str(), resize1 ? "resize1 %u %u" : "resize %u %u", &width, &height) == 2) {
        g.resizeWithBuffers1 = resize1;
        // The swap chain follows the window, as a game does on WM_SIZE.
        SetWindowPos(g.window, nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (std::sscanf(line.c_str(), "fps %u", &width) == 1) {
        g.fpsCap = width;
    } else if (line.rfind("set_param ", 0) == 0) {
        g.counts["params_set"] += StandInSetPluginParam(line.c_str() + 10);
    } else if (line.rfind("enable_slot ", 0) == 0) {
        g.counts["slots_enabled"] += StandInEnablePluginSlot(line.c_str() + 12);
    } else if (line == "recreate" || line == "recreate_device") {
        RecreateSwapChain(line == "recreate_device");
    } else if (line == "drop_old_device") {
        g.counts["old_device_refs_at_drop"] = g.oldDevice != nullptr ? Drop(g.oldDevice) : 99;
    } else if (line == "unguard") {
        SetGuards(false);
    } else if (line == "unload") {
        g.counts["plugins_unloaded"] = StandInUnloadPlugin();
    } else if (line == "quit") {
        g.quit = true;
    }
    ++g.counts["commands_done"];
}

void PollCommands() {
    const std::wstring path = g.folder + L"e2e-command.txt";
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return;
    char text[256] = {};
    std::fgets(text, sizeof text, file);  // one command a file
    std::fclose(file);
    DeleteFileW(path.c_str());
    std::string line(text);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    RunCommand(line);
}

// Store sites whose nine store bytes are all no-operations, and sites with any byte changed.
void CountStoreSites(uint64_t& patched, uint64_t& changed) {
    patched = changed = 0;
    for (size_t s = 0; s < kStoreSites; ++s) {
        size_t nops = 0, differ = 0;
        for (size_t i = 0; i < kStoreSiteLength; ++i) {
            const unsigned char now = g_storeSites[s][i];
            differ += now != g_storeOriginal[s * kStoreSiteLength + i];
            nops += i >= kStoreOffset && i < kStoreOffset + kStoreLength && now == 0x90;
        }
        patched += nops == kStoreLength;
        changed += differ != 0;
    }
}

void WriteStatus() {
    std::map<std::string, uint64_t> values = g.counts;  // with what is measured now
    values["time_ms"] = static_cast<uint64_t>(NowSeconds() * 1000.0);
    values["width"] = g.width;
    values["height"] = g.height;
    values["wndproc_replaced"] = GetWindowLongPtrW(g.window, GWLP_WNDPROC) != g.originalWndProc;
    values["image_guard_intact"] = GuardIntact(const_cast<unsigned char*>(g_imageCanary));
    values["private_guard_intact"] = GuardIntact(g_privateCanary);
    values["old_device_refs"] = OldDeviceRefs();
    values["overlay_signals"] = g.overlaySignals.load();
    CountStoreSites(values["store_sites_patched"], values["store_sites_changed"]);
    StandInSitesStatus(values);
    StandInVisualSettingsStatus(values);
    DescribeModifierBlock(values);
    values["sky_r"] = g.sky.r;
    values["sky_g"] = g.sky.g;
    values["sky_b"] = g.sky.b;
    values["sky_keyframe"] = static_cast<uint64_t>(g.sky.keyframe);
    values["sky_from_table"] = g.sky.fromTable;
    values["table_urban_values"] = standin::UrbanValuesWritten();
    DescribeWaterTuning(values);
    StandInSirensStatus(values);
    for (const MethodProbe& probe : g_methods) {
        const bool slotChanged = MethodTable(probe.queue)[probe.slot] != probe.original;
        const bool codeChanged = std::memcmp(probe.original, probe.code, sizeof probe.code) != 0;
        values["hooked_slots"] += slotChanged;
        values["hooked_code"] += codeChanged;
        values[std::string("hook_") + probe.name] = slotChanged || codeChanged;
    }
    std::string out;
    for (const auto& [key, value] : values) out += key + "=" + std::to_string(value) + "\n";
    std::vector<char> host(64 * 1024);
    StandInDescribe(host.data(), static_cast<int>(host.size()));
    out += host.data();
    const std::wstring path = g.folder + L"e2e-status.txt", temp = path + L".tmp";
    FILE* file = _wfopen(temp.c_str(), L"wb");
    if (file == nullptr) return;
    std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) g.quit = true;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int wmain() {
    QueryPerformanceFrequency(&g.frequency);
    QueryPerformanceCounter(&g.start);
    wchar_t exe[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring path(exe, n);
    g.folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    g.log = _wfopen((g.folder + L"e2e-game.log").c_str(), L"wb");
    Log("stand-in game, %ux%u", g.width, g.height);
    AddVectoredExceptionHandler(1, &CatchDebugOutput);
    StandInSitesStart(path);
    StandInVisualSettingsStart();
    for (size_t s = 0; s < kStoreSites; ++s)
        for (size_t i = 0; i < kStoreSiteLength; ++i) g_storeOriginal[s * kStoreSiteLength + i] = g_storeSites[s][i];

    std::string tableReport;
    g.counts["table_loaded"] = standin::LoadKeyframeTable(g.folder + L"e2e-timecycle.xml", tableReport);
    Log("keyframe table: %s", tableReport.c_str());

    g_privateCanary = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    PlantModifierBlock();
    StandInSirensStart();
    std::memcpy(g_waterOriginal.data(), const_cast<const WaterTuning*>(&g_waterTuning), sizeof(WaterTuning));
    SetGuards(true);

    if (!CreateGameWindow()) return Log("window not created"), 2;
    if (Failed(CreateDXGIFactory1(IID_PPV_ARGS(&g.factory)), "CreateDXGIFactory1") || !CreateDevice()) return 3;
    RecordMethods();
    if (!WatchQueueSignals()) return Log("the queue's Signal not wrapped"), 4;
    Log("the host loaded the plug-in: %d", StandInLoadPlugin());

    WriteStatus();
    while (!g.quit) {
        const double frameStart = NowSeconds();
        PumpMessages();
        if (frameStart - g.commandStamp >= 0.05) {
            g.commandStamp = frameStart;
            PollCommands();
        }
        if (g.clientWidth > 0 && g.clientHeight > 0 && (g.clientWidth != g.width || g.clientHeight != g.height))
            Resize(g.clientWidth, g.clientHeight);
        // The game's script thread: one resume of every script per frame.
        StandInRunScripts();
        StandInSitesFrame();
        DrawFrame();
        if (g.fpsCap > 0)
            while (NowSeconds() < frameStart + 1.0 / g.fpsCap) Sleep(1);
        const double now = NowSeconds();
        if (now - g.statusStamp >= 0.1) {
            g.statusStamp = now;
            WriteStatus();
        }
    }
    WaitIdle();
    WriteStatus();
    Log("end after %" PRIu64 " frames", g.counts["frames"]);
    if (g.log != nullptr) std::fclose(g.log);
    // Leave without tearing down: a plug-in still loaded goes with the process.
    ExitProcess(0);
}
