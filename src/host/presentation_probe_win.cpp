// The start-up's throw-away window and Direct3D 12 objects, made only to
// learn the method-table entries of the swap chain and the command queue.
#include "host/overlay_win.h"
#include "platform/script_host.h"

namespace host {
namespace {

constexpr wchar_t kProbeClass[] = L"DummyWindow";

struct ProbeObjects {
    HINSTANCE instance = nullptr;
    bool classRegistered = false;
    HWND window = nullptr;
    IDXGIFactory4* factory = nullptr;
    IDXGIAdapter* adapter = nullptr;
    ID3D12Device* device = nullptr;
    ID3D12CommandQueue* queue = nullptr;
    IDXGISwapChain* swapChain = nullptr;
    IDXGISwapChain3* swapChain3 = nullptr;
};
ProbeObjects g_probe;

void** MethodTable(void* object) { return *static_cast<void***>(object); }

}  // namespace

bool OpenPresentationProbe(PresentationMethods& methods) {
    ProbeObjects& p = g_probe;
    // Our own module's instance: the class can't collide with another
    // module's "DummyWindow", and unregistering it can't remove theirs.
    p.instance = static_cast<HINSTANCE>(platform::OwnModuleHandle());
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = p.instance;
    windowClass.lpszClassName = kProbeClass;
    p.classRegistered = RegisterClassExW(&windowClass) != 0;
    if (!p.classRegistered) return false;
    p.window = CreateWindowExW(0, kProbeClass, L"Dummy", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                               p.instance, nullptr);
    if (p.window == nullptr) return false;

    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&p.factory)))) return false;
    if (FAILED(p.factory->EnumAdapters(0, &p.adapter))) return false;
    if (FAILED(D3D12CreateDevice(p.adapter, D3D_FEATURE_LEVEL_11_0, IID_PPV_ARGS(&p.device)))) return false;
    D3D12_COMMAND_QUEUE_DESC queueDesc{};
    queueDesc.Type = D3D12_COMMAND_LIST_TYPE_DIRECT;
    queueDesc.Priority = 0;
    queueDesc.Flags = D3D12_COMMAND_QUEUE_FLAG_NONE;
    queueDesc.NodeMask = 0;
    if (FAILED(p.device->CreateCommandQueue(&queueDesc, IID_PPV_ARGS(&p.queue)))) return false;

    DXGI_SWAP_CHAIN_DESC desc{};
    // An explicit size: a swap chain that takes its size from the window
    // fails in some DXGI implementations.
    desc.BufferDesc.Width = 100;
    desc.BufferDesc.Height = 100;
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.OutputWindow = p.window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    desc.Flags = 0;
    if (FAILED(p.factory->CreateSwapChain(p.queue, &desc, &p.swapChain))) return false;

    void** chain = MethodTable(p.swapChain);
    methods.present = &chain[8];
    methods.resizeBuffers = &chain[13];
    if (SUCCEEDED(p.swapChain->QueryInterface(IID_PPV_ARGS(&p.swapChain3))) && p.swapChain3 != nullptr)
        methods.resizeBuffers1 = &MethodTable(p.swapChain3)[39];
    methods.executeCommandLists = &MethodTable(p.queue)[10];
    return true;
}

void ClosePresentationProbe() {
    ProbeObjects& p = g_probe;
    if (p.swapChain3 != nullptr) p.swapChain3->Release();
    if (p.swapChain != nullptr) p.swapChain->Release();
    if (p.queue != nullptr) p.queue->Release();
    if (p.device != nullptr) p.device->Release();
    if (p.adapter != nullptr) p.adapter->Release();
    if (p.factory != nullptr) p.factory->Release();
    if (p.window != nullptr) DestroyWindow(p.window);
    if (p.classRegistered) UnregisterClassW(kProbeClass, p.instance);
    p = ProbeObjects{};
}

}  // namespace host
