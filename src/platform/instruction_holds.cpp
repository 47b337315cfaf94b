// Holds of instructions being rewritten in place (see safe_copy.h). A table
// of slots, each the address of an instruction held now (0: free): a writer
// claims a free slot for the length of its hold, a trapped thread looks for
// its address among them. A slot is never taken from a hold that lasts, so a
// thread trapped at a held instruction always finds it. Beside it, the
// addresses of every instruction ever held, which are never forgotten. Only
// atomics, so that the fault handlers may read them.
#include <atomic>
#include <thread>

#include "platform/safe_copy.h"

namespace platform {
namespace {

constexpr uint8_t kBreakpoint = 0xCC;
// More than the writers that can hold at once; a writer that finds every
// slot taken waits for one.
constexpr size_t kHoldSlots = 64;

std::atomic<uintptr_t> g_held[kHoldSlots];

// Every instruction ever held, added before its first breakpoint is
// written: open addressing, entries only ever added, so a look that meets a
// free entry knows the address is not there. The game's code has far fewer
// rewritten instructions than entries; should it ever fill up, every
// address counts as once held.
constexpr size_t kEverHeldEntries = 4096;
std::atomic<uintptr_t> g_everHeld[kEverHeldEntries];
std::atomic<bool> g_everHeldFull{false};

size_t EverHeldHome(uintptr_t instruction) {
    return static_cast<size_t>((instruction * 0x9E3779B97F4A7C15ull) >> 52) % kEverHeldEntries;
}

void RememberHeld(uintptr_t instruction) {
    const size_t home = EverHeldHome(instruction);
    for (size_t i = 0; i < kEverHeldEntries; ++i) {
        std::atomic<uintptr_t>& entry = g_everHeld[(home + i) % kEverHeldEntries];
        uintptr_t seen = 0;
        if (entry.compare_exchange_strong(seen, instruction) || seen == instruction) return;
    }
    g_everHeldFull.store(true);
}

bool WasEverHeld(uintptr_t instruction) {
    const size_t home = EverHeldHome(instruction);
    for (size_t i = 0; i < kEverHeldEntries; ++i) {
        const uintptr_t seen = g_everHeld[(home + i) % kEverHeldEntries].load();
        if (seen == instruction) return true;
        if (seen == 0) return false;
    }
    return g_everHeldFull.load();
}
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
    if (instruction == 0) return kHoldSlots;
    RememberHeld(instruction);
    for (;;) {
        for (size_t token = 0; token < kHoldSlots; ++token) {
            uintptr_t free = 0;
            if (g_held[token].compare_exchange_strong(free, instruction)) {
                g_holdEvents.fetch_add(1);
                return token;
            }
        }
        std::this_thread::yield();
    }
}

uint32_t ThreadsWaitingAtHolds() { return g_waiting.load(); }

void EndInstructionHold(size_t token) {
    if (token >= kHoldSlots) return;
    g_holdEvents.fetch_add(1);
    g_held[token].store(0);
}

namespace detail {

bool ReleaseTrappedThread(uintptr_t instruction) {
    if (instruction == 0 || !WasEverHeld(instruction)) return false;
    const auto first = reinterpret_cast<const volatile uint8_t*>(instruction);
    Waiting waiting;
    // A writer puts the breakpoint there only while it holds the
    // instruction and takes it away before the hold ends, and no one else
    // takes a breakpoint out of code: once the byte at an instruction that
    // was held is something else, the breakpoint was ours and the
    // instruction is whole again, however many holds came and went since.
    // While the byte is still the breakpoint the thread waits as long as the
    // instruction is held (the writer may hold it again at once).
    for (;;) {
        const uint64_t events = g_holdEvents.load();
        bool held = false;
        for (const std::atomic<uintptr_t>& slot : g_held) held = held || slot.load() == instruction;
        if (*first != kBreakpoint) return true;
        if (!held && g_holdEvents.load() == events) return false;
        waiting.Count();
        std::this_thread::yield();
    }
}

}  // namespace detail
}  // namespace platform
