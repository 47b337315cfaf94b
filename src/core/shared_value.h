// A value shared by the render thread, the script fiber and worker threads
// without a lock. Loads and stores are relaxed atomics: each side sees the
// other's latest store on its next frame, and no access is a data race.
//
// It reads and assigns like the plain variable it stands for:
//     if (UiSettings.FPSCounter) ...;  UiSettings.UIScale = 1.5f;
// A UI widget that wants a pointer edits a local copy and stores it back:
//     float scale = UiSettings.UIScale;
//     if (ImGui::SliderFloat("##UIScale", &scale, 0.5f, 2.0f)) UiSettings.UIScale = scale;
#pragma once
#include <atomic>

namespace core {

template <typename T>
class SharedValue {
public:
    constexpr SharedValue(T initial) noexcept : value_(initial) {}
    SharedValue(const SharedValue&) = delete;
    SharedValue& operator=(const SharedValue&) = delete;

    operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
    T Get() const noexcept { return value_.load(std::memory_order_relaxed); }
    SharedValue& operator=(T v) noexcept {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }
    void Set(T v) noexcept { value_.store(v, std::memory_order_relaxed); }
    // Stores v and returns the value it replaced, in one step.
    T Exchange(T v) noexcept { return value_.exchange(v, std::memory_order_acq_rel); }

private:
    std::atomic<T> value_;
};

}  // namespace core
