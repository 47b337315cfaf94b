// Holds of instructions being rewritten in place (see safe_copy.h). A small
// ring of slots, each an address and a held mark: a writer takes the next
// slot, a trapped thread looks for its address among them. Only atomics, so
// that the fault handlers may read it.
#include <atomic>
#include <thread>

#include "platform/safe_copy.h"

namespace platform {
namespace {

constexpr uint8_t kBreakpoint = 0xCC;
constexpr size_t kHoldSlots = 16;

struct HoldSlot {
    std::atomic<uintptr_t> instruction{0};
    std::atomic<uint32_t> held{0};
};
HoldSlot g_holds[kHoldSlots];
std::atomic<size_t> g_nextHold{0};
// Counts every start and end of a hold: a trapped thread that saw no hold
// and no count change around its look at the breakpoint knows that the
// breakpoint is not one of ours.
std::atomic<uint64_t> g_holdEvents{0};
std::atomic<uint32_t> g_waiting{0};

struct Waiting {
    bool counted = false;
    void Count() {
        if (!counted) g_waiting.fetch_add(1);
        counted = true;
    }
    ~Waiting() {
        if (counted) g_waiting.fetch_sub(1);
    }
};

}  // namespace

size_t HoldInstruction(uintptr_t instruction) {
    const size_t token = g_nextHold.fetch_add(1) % kHoldSlots;
    HoldSlot& slot = g_holds[token];
    slot.held.store(1);
    slot.instruction.store(instruction);
    g_holdEvents.fetch_add(1);
    return token;
}

uint32_t ThreadsWaitingAtHolds() { return g_waiting.load(); }

void EndInstructionHold(size_t token) {
    if (token >= kHoldSlots) return;
    g_holdEvents.fetch_add(1);
    g_holds[token].held.store(0);
}

namespace detail {

bool ReleaseTrappedThread(uintptr_t instruction) {
    if (instruction == 0) return false;
    const auto first = reinterpret_cast<const volatile uint8_t*>(instruction);
    Waiting waiting;
    // The writer may hold the same instruction again at once: the thread
    // waits until it sees the instruction without its breakpoint.
    for (;;) {
        const uint64_t events = g_holdEvents.load();
        bool known = false, held = false;
        for (HoldSlot& slot : g_holds) {
            if (slot.instruction.load() != instruction) continue;
            known = true;
            held = held || slot.held.load() != 0;
        }
        if (!known) return false;
        if (*first != kBreakpoint) return true;
        if (!held && g_holdEvents.load() == events) return false;
        waiting.Count();
        std::this_thread::yield();
    }
}

}  // namespace detail
}  // namespace platform
