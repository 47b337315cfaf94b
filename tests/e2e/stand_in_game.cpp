// Stand-in for the game, for the end-to-end test under Wine: a window of
// class "grcWindow", a Direct3D 12 device, a direct queue and a flip swap
// chain of explicit size, cleared to a known background colour every frame
// and presented. It loads the stand-in script host (ScriptHookV.dll), which
// loads the plug-ins from the same folder, and resumes the host's scripts
// once per frame.
//
// The test drives it through a command file and reads a status file, both
// in the game's folder:
//   e2e-command.txt  lines "resize W H", "resize1 W H", "fps N" (a frame-rate
//                    cap, 0 = none), "unguard", "unload", "quit"; taken and
//                    deleted within about 50 ms.
//   e2e-status.txt   "key=value" lines, rewritten about every 100 ms.
//   e2e-game.log     events and the frame rate of every second.
// It also records what a plug-in could have changed: the method-table slots
// of the swap chain and the queue, the first code bytes of those methods,
// the window procedure, and two guard pages (one in the executable's image,
// one in a private region) that any memory scan would trip.
#include <d3d12.h>
#include <dxgi1_4.h>
#include <windows.h>

#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "stand_in.h"

namespace {

constexpr UINT kMaxBuffers = 4;
// The background every frame is cleared to (8-bit: 26, 140, 89).
constexpr float kBackground[4] = {26.0f / 255.0f, 140.0f / 255.0f, 89.0f / 255.0f, 1.0f};

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

// A page of the executable's image that a scan of the image would read.
__attribute__((section(".scanpg"), aligned(4096))) volatile unsigned char g_imageCanary[4096] = {1};
void* g_privateCanary = nullptr;

struct Game {
    std::wstring folder;
    HWND window = nullptr;
    LONG_PTR originalWndProc = 0;
    UINT width = 1280, height = 720, buffers = 3;
    UINT clientWidth = 0, clientHeight = 0;

    IDXGIFactory4* factory = nullptr;
    ID3D12Device* device = nullptr;
    ID3D12CommandQueue* queue = nullptr;
    IDXGISwapChain3* swapChain = nullptr;
    ID3D12DescriptorHeap* rtvHeap = nullptr;
    UINT rtvStep = 0;
    ID3D12CommandAllocator* allocators[kMaxBuffers] = {};
    ID3D12GraphicsCommandList* list = nullptr;
    ID3D12Fence* fence = nullptr;
    HANDLE fenceEvent = nullptr;
    UINT64 fenceValues[kMaxBuffers] = {};
    UINT64 nextFence = 0;

    HMODULE host = nullptr;
    StandInLoadPluginsFn loadPlugins = nullptr;
    StandInRunScriptsFn runScripts = nullptr;
    StandInUnloadPluginsFn unloadPlugins = nullptr;
    StandInDescribeFn describe = nullptr;
    int pluginsLoaded = 0;
    int pluginsUnloaded = 0;
    bool unloadDone = false;

    uint64_t frames = 0;
    uint64_t presentFailures = 0;
    HRESULT lastPresentResult = S_OK;
    uint64_t clearFailures = 0;
    uint64_t resizes = 0;
    uint64_t resizeFailures = 0;
    HRESULT lastResizeResult = S_OK;
    bool resizeWithBuffers1 = false;
    uint64_t commandsDone = 0;
    std::string lastCommand;
    bool quit = false;
    unsigned fpsCap = 0;

    uint64_t mouseMessages = 0;
    uint64_t keyMessages = 0;
    uint64_t escapeDowns = 0;

    LARGE_INTEGER start{}, frequency{};
    double fpsLastSecond = 0;
    uint64_t fpsFrames = 0;
    double fpsStamp = 0;
    double statusStamp = -1;
    double commandStamp = -1;
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

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

void** MethodTable(bool queue) {
    IUnknown* object = queue ? static_cast<IUnknown*>(g.queue) : static_cast<IUnknown*>(g.swapChain);
    return *reinterpret_cast<void***>(object);
}

void RecordMethods() {
    for (MethodProbe& probe : g_methods) {
        probe.original = MethodTable(probe.queue)[probe.slot];
        std::memcpy(probe.code, probe.original, sizeof probe.code);
        Log("method %s slot %d at %p", probe.name, probe.slot, probe.original);
    }
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
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ++g.mouseMessages;
    if (message >= WM_KEYFIRST && message <= WM_KEYLAST) ++g.keyMessages;
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) ++g.escapeDowns;
    switch (message) {
    case WM_SIZE:
        g.clientWidth = LOWORD(lParam);
        g.clientHeight = HIWORD(lParam);
        return 0;
    case WM_CLOSE:
        g.quit = true;
        return 0;
    case WM_DESTROY:
        g.quit = true;
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool CreateGameWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &GameWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"grcWindow";
    if (RegisterClassExW(&wc) == 0) return false;
    // A borderless window at the screen's origin, so client and screen
    // coordinates agree for the test's clicks and screenshots.
    g.window = CreateWindowExW(0, L"grcWindow", L"Varnel stand-in game", WS_POPUP | WS_VISIBLE, 0, 0,
                               static_cast<int>(g.width), static_cast<int>(g.height), nullptr, nullptr,
                               wc.hInstance, nullptr);
    if (g.window == nullptr) return false;
    g.originalWndProc = GetWindowLongPtrW(g.window, GWLP_WNDPROC);
    ShowWindow(g.window, SW_SHOW);
    SetForegroundWindow(g.window);
    SetFocus(g.window);
    return true;
}

bool CreateTargets() {
    D3D12_CPU_DESCRIPTOR_HANDLE handle = g.rtvHeap->GetCPUDescriptorHandleForHeapStart();
    for (UINT i = 0; i < g.buffers; ++i) {
        ID3D12Resource* buffer = nullptr;
        if (FAILED(g.swapChain->GetBuffer(i, IID_PPV_ARGS(&buffer)))) return false;
        g.device->CreateRenderTargetView(buffer, nullptr, handle);
        buffer->Release();  // no reference is kept between frames
        handle.ptr += g.rtvStep;
    }
    return true;
}

bool CreateDevice() {
    HRESULT hr = CreateDXGIFactory1(IID_PPV_ARGS(&g.factory));
    if (FAILED(hr)) return Log("CreateDXGIFactory1 failed %08lx", static_cast<unsigned long>(hr)), false;
    IDXGIAdapter1* adapter = nullptr;
    if (FAILED(g.factory->EnumAdapters1(0, &adapter))) return Log("no adapter"), false;
    hr = D3D12CreateDevice(adapter, D3D_FEATURE_LEVEL_11_0, IID_PPV_ARGS(&g.device));
    adapter->Release();
    if (FAILED(hr)) return Log("D3D12CreateDevice failed %08lx", static_cast<unsigned long>(hr)), false;

    D3D12_COMMAND_QUEUE_DESC queueDesc{};
    queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;
    if (FAILED(g.device->CreateCommandQueue(&queueDesc, IID_PPV_ARGS(&g.queue)))) return Log("no queue"), false;

    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = g.width;  // explicit: a size of 0 is not safe under Wine
    desc.Height = g.height;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = g.buffers;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    IDXGISwapChain1* swapChain1 = nullptr;
    hr = g.factory->CreateSwapChainForHwnd(g.queue, g.window, &desc, nullptr, nullptr, &swapChain1);
    if (FAILED(hr)) return Log("CreateSwapChainForHwnd failed %08lx", static_cast<unsigned long>(hr)), false;
    hr = swapChain1->QueryInterface(IID_PPV_ARGS(&g.swapChain));
    swapChain1->Release();
    if (FAILED(hr)) return Log("no IDXGISwapChain3"), false;

    D3D12_DESCRIPTOR_HEAP_DESC heapDesc{};
    heapDesc.Type = D3D12_DESCRIPTOR_HEAP_TYPE_RTV;
    heapDesc.NumDescriptors = kMaxBuffers;
    if (FAILED(g.device->CreateDescriptorHeap(&heapDesc, IID_PPV_ARGS(&g.rtvHeap)))) return Log("no rtv heap"), false;
    g.rtvStep = g.device->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);
    for (UINT i = 0; i < kMaxBuffers; ++i) {
        if (FAILED(g.device->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT, IID_PPV_ARGS(&g.allocators[i]))))
            return Log("no allocator"), false;
    }
    if (FAILED(g.device->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, g.allocators[0], nullptr,
                                           IID_PPV_ARGS(&g.list))))
        return Log("no command list"), false;
    g.list->Close();
    if (FAILED(g.device->CreateFence(0, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&g.fence)))) return Log("no fence"), false;
    g.fenceEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!CreateTargets()) return Log("no render targets"), false;
    return true;
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
    HRESULT hr;
    if (g.resizeWithBuffers1) {
        UINT masks[kMaxBuffers] = {};
        IUnknown* queues[kMaxBuffers] = {};
        for (UINT i = 0; i < g.buffers; ++i) queues[i] = g.queue;
        hr = g.swapChain->ResizeBuffers1(g.buffers, width, height, DXGI_FORMAT_R8G8B8A8_UNORM, 0, masks, queues);
    } else {
        hr = g.swapChain->ResizeBuffers(g.buffers, width, height, DXGI_FORMAT_R8G8B8A8_UNORM, 0);
    }
    g.lastResizeResult = hr;
    ++g.resizes;
    if (FAILED(hr)) {
        ++g.resizeFailures;
        Log("resize to %ux%u failed %08lx", width, height, static_cast<unsigned long>(hr));
        return;
    }
    g.width = width;
    g.height = height;
    for (UINT64& value : g.fenceValues) value = 0;
    if (!CreateTargets()) Log("render targets after resize failed");
    Log("resized to %ux%u with %s", width, height, g.resizeWithBuffers1 ? "ResizeBuffers1" : "ResizeBuffers");
}

void DrawFrame() {
    UINT index = g.swapChain->GetCurrentBackBufferIndex();
    if (index >= g.buffers) index = 0;
    WaitFence(g.fenceValues[index]);
    ID3D12Resource* buffer = nullptr;
    bool cleared = false;
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
        barrier.Transition.StateBefore = D3D12_RESOURCE_STATE_RENDER_TARGET;
        barrier.Transition.StateAfter = D3D12_RESOURCE_STATE_PRESENT;
        g.list->ResourceBarrier(1, &barrier);
        if (SUCCEEDED(g.list->Close())) {
            ID3D12CommandList* lists[] = {g.list};
            g.queue->ExecuteCommandLists(1, lists);
            cleared = true;
        }
        buffer->Release();
    }
    if (!cleared) ++g.clearFailures;
    HRESULT hr = g.swapChain->Present(0, 0);
    g.lastPresentResult = hr;
    if (FAILED(hr)) ++g.presentFailures;
    g.queue->Signal(g.fence, ++g.nextFence);
    g.fenceValues[index] = g.nextFence;
    ++g.frames;
}

void RunCommand(const std::string& line) {
    unsigned width = 0, height = 0;
    g.lastCommand = line;
    Log("command: %s", line.c_str());
    bool resize1 = line.rfind("resize1 ", 0) == 0;
    if ((resize1 && std::sscanf(line.c_str(), "resize1 %u %u", &width, &height) == 2) ||
        (!resize1 && std::sscanf(line.c_str(), "resize %u %u", &width, &height) == 2)) {
        g.resizeWithBuffers1 = resize1;
        // The swap chain follows the window, as a game does on WM_SIZE.
        SetWindowPos(g.window, nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (std::sscanf(line.c_str(), "fps %u", &width) == 1) {
        g.fpsCap = width;
    } else if (line == "unguard") {
        SetGuards(false);
    } else if (line == "unload") {
        g.pluginsUnloaded = g.unloadPlugins != nullptr ? g.unloadPlugins() : 0;
        g.unloadDone = true;
        Log("unloaded %d plug-ins", g.pluginsUnloaded);
    } else if (line == "quit") {
        g.quit = true;
    }
    ++g.commandsDone;
}

void PollCommands() {
    std::wstring path = g.folder + L"e2e-command.txt";
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return;
    std::vector<std::string> lines;
    char text[256];
    while (std::fgets(text, sizeof text, file) != nullptr) {
        std::string line(text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    std::fclose(file);
    DeleteFileW(path.c_str());
    for (const std::string& line : lines) RunCommand(line);
}

void WriteStatus() {
    std::string out;
    char line[256];
    auto add = [&](const char* key, uint64_t value) {
        std::snprintf(line, sizeof line, "%s=%" PRIu64 "\n", key, value);
        out += line;
    };
    add("frames", g.frames);
    add("time_ms", static_cast<uint64_t>(NowSeconds() * 1000.0));
    std::snprintf(line, sizeof line, "fps_last_second=%.1f\n", g.fpsLastSecond);
    out += line;
    add("width", g.width);
    add("height", g.height);
    add("client_width", g.clientWidth);
    add("client_height", g.clientHeight);
    add("present_failures", g.presentFailures);
    std::snprintf(line, sizeof line, "last_present_result=%08lx\n", static_cast<unsigned long>(g.lastPresentResult));
    out += line;
    add("clear_failures", g.clearFailures);
    add("resizes", g.resizes);
    add("resize_failures", g.resizeFailures);
    std::snprintf(line, sizeof line, "last_resize_result=%08lx\n", static_cast<unsigned long>(g.lastResizeResult));
    out += line;
    add("commands_done", g.commandsDone);
    add("plugins_loaded", static_cast<uint64_t>(g.pluginsLoaded));
    add("plugins_unloaded", static_cast<uint64_t>(g.pluginsUnloaded));
    add("unload_done", g.unloadDone ? 1 : 0);
    add("game_mouse_messages", g.mouseMessages);
    add("game_key_messages", g.keyMessages);
    add("game_escape_downs", g.escapeDowns);

    LONG_PTR wndProc = GetWindowLongPtrW(g.window, GWLP_WNDPROC);
    add("wndproc_replaced", wndProc != g.originalWndProc ? 1 : 0);
    uint64_t slotsChanged = 0, codeChanged = 0;
    for (const MethodProbe& probe : g_methods) {
        void* now = MethodTable(probe.queue)[probe.slot];
        bool slotChanged = now != probe.original;
        bool bytesChanged = std::memcmp(probe.original, probe.code, sizeof probe.code) != 0;
        slotsChanged += slotChanged ? 1 : 0;
        codeChanged += bytesChanged ? 1 : 0;
        std::snprintf(line, sizeof line, "hook_%s=%d\n", probe.name, slotChanged || bytesChanged ? 1 : 0);
        out += line;
    }
    add("hooked_slots", slotsChanged);
    add("hooked_code", codeChanged);
    add("image_guard_intact", GuardIntact(const_cast<unsigned char*>(g_imageCanary)) ? 1 : 0);
    add("private_guard_intact", GuardIntact(g_privateCanary) ? 1 : 0);
    HWND foreground = GetForegroundWindow();
    add("foreground", foreground == g.window ? 1 : 0);

    if (g.describe != nullptr) {
        std::vector<char> host(64 * 1024);
        g.describe(host.data(), static_cast<int>(host.size()));
        out += host.data();
    }

    std::wstring path = g.folder + L"e2e-status.txt";
    std::wstring temp = path + L".tmp";
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

bool LoadHost() {
    std::wstring path = g.folder + L"ScriptHookV.dll";
    g.host = LoadLibraryW(path.c_str());
    if (g.host == nullptr) return Log("ScriptHookV.dll not loaded (%lu)", GetLastError()), false;
    auto find = [](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(g.host, name)); };
    g.loadPlugins = reinterpret_cast<StandInLoadPluginsFn>(find("StandInLoadPlugins"));
    g.runScripts = reinterpret_cast<StandInRunScriptsFn>(find("StandInRunScripts"));
    g.unloadPlugins = reinterpret_cast<StandInUnloadPluginsFn>(find("StandInUnloadPlugins"));
    g.describe = reinterpret_cast<StandInDescribeFn>(find("StandInDescribe"));
    if (!g.loadPlugins || !g.runScripts || !g.unloadPlugins || !g.describe) return Log("host exports missing"), false;
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    QueryPerformanceFrequency(&g.frequency);
    QueryPerformanceCounter(&g.start);
    double maxSeconds = 600;
    bool withHost = true;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        auto next = [&]() { return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring(); };
        if (arg == L"--width") g.width = static_cast<UINT>(std::wcstoul(next().c_str(), nullptr, 10));
        else if (arg == L"--height") g.height = static_cast<UINT>(std::wcstoul(next().c_str(), nullptr, 10));
        else if (arg == L"--buffers") g.buffers = static_cast<UINT>(std::wcstoul(next().c_str(), nullptr, 10));
        else if (arg == L"--seconds") maxSeconds = static_cast<double>(std::wcstoul(next().c_str(), nullptr, 10));
        else if (arg == L"--no-host") withHost = false;
    }
    if (g.buffers < 2 || g.buffers > kMaxBuffers) g.buffers = 3;
    if (g.width < 64 || g.height < 64) g.width = 1280, g.height = 720;

    wchar_t exe[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    g.folder.assign(exe, n);
    g.folder = g.folder.substr(0, g.folder.find_last_of(L"\\/") + 1);
    g.log = _wfopen((g.folder + L"e2e-game.log").c_str(), L"wb");
    Log("stand-in game in %s, %ux%u, %u buffers", Narrow(g.folder).c_str(), g.width, g.height, g.buffers);

    g_privateCanary = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SetGuards(true);

    if (!CreateGameWindow()) return Log("window not created"), 2;
    if (!CreateDevice()) return 3;
    RecordMethods();
    if (withHost && LoadHost()) {
        g.pluginsLoaded = g.loadPlugins();
        Log("host loaded %d plug-ins", g.pluginsLoaded);
    }

    WriteStatus();
    while (!g.quit && NowSeconds() < maxSeconds) {
        double frameStart = NowSeconds();
        PumpMessages();
        double now = frameStart;
        if (now - g.commandStamp >= 0.05) {
            g.commandStamp = now;
            PollCommands();
        }
        if (g.clientWidth > 0 && g.clientHeight > 0 && (g.clientWidth != g.width || g.clientHeight != g.height))
            Resize(g.clientWidth, g.clientHeight);
        // The game's script thread: one resume of every script per frame.
        if (g.runScripts != nullptr) g.runScripts();
        DrawFrame();
        if (g.fpsCap > 0) {
            double next = frameStart + 1.0 / g.fpsCap;
            while (NowSeconds() < next) Sleep(1);
        }
        now = NowSeconds();
        if (now - g.fpsStamp >= 1.0) {
            g.fpsLastSecond = static_cast<double>(g.frames - g.fpsFrames) / (now - g.fpsStamp);
            g.fpsFrames = g.frames;
            g.fpsStamp = now;
            Log("frames %" PRIu64 ", %.1f fps", g.frames, g.fpsLastSecond);
        }
        if (now - g.statusStamp >= 0.1) {
            g.statusStamp = now;
            WriteStatus();
        }
    }
    WaitIdle();
    WriteStatus();
    Log("end after %" PRIu64 " frames", g.frames);
    if (g.log != nullptr) std::fclose(g.log);
    // Leave without tearing down: a plug-in still loaded goes with the process.
    ExitProcess(0);
}
