// The one wrapper for a value shared by the render thread, the script fiber
// and worker threads without a lock. Every access is one sequentially
// consistent atomic step (std::atomic's own default): each side sees the
// other's latest store, a flag stored after other data is seen after that
// data, and no access is a data race. Values that must change together are
// kept under their module's lock instead.
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
    constexpr SharedValue() noexcept : value_(T{}) {}
    constexpr SharedValue(T initial) noexcept : value_(initial) {}
    SharedValue(const SharedValue&) = delete;
    SharedValue& operator=(const SharedValue&) = delete;

    operator T() const noexcept { return value_.load(); }
    T Get() const noexcept { return value_.load(); }
    // Gives the value stored, as std::atomic does (a = b = 0 works).
    T operator=(T v) noexcept {
        value_.store(v);
        return v;
    }
    void Set(T v) noexcept { value_.store(v); }
    // Stores v and returns the value it replaced, in one step.
    T Exchange(T v) noexcept { return value_.exchange(v); }
    // Stores desired when the value is expected, in one step; otherwise
    // expected receives the value found. True when stored.
    bool CompareExchange(T& expected, T desired) noexcept { return value_.compare_exchange_strong(expected, desired); }
    // Adds (subtracts) d in one step and returns the value before (integers).
    T FetchAdd(T d) noexcept { return value_.fetch_add(d); }
    T FetchSub(T d) noexcept { return value_.fetch_sub(d); }

private:
    std::atomic<T> value_;
};

}  // namespace core
