// Fault-safe copy, stores and guarded runs on Linux. The copy and the
// stores are small routines with known instruction ranges: a SIGSEGV or
// SIGBUS whose instruction pointer lies inside one resumes at that
// routine's failure exit. A guarded
// run enters its body through a routine that keeps the stack pointer of
// its frame in a per-thread slot: a fault on a thread whose slot is set
// resumes at that routine's failure exit with the frame's stack pointer,
// which puts the callee-saved registers back and returns 0. A SIGTRAP at
// the breakpoint of an instruction being rewritten waits for the rewrite and
// runs the instruction again. Any other fault goes to the handler that was
// installed before ours (or kills the process as usual).
#include <linux/membarrier.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/safe_copy.h"
#include "platform/simulated.h"

// int varnel_guarded_copy(void* dst /*rdi*/, const void* src /*rsi*/, size_t n /*rdx*/)
// returns 1 when copied, 0 when a fault ended the copy.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_copy
    .hidden varnel_guarded_copy
    .type varnel_guarded_copy, @function
varnel_guarded_copy:
    mov %rdx, %rcx
    .globl varnel_guarded_copy_begin
    .hidden varnel_guarded_copy_begin
varnel_guarded_copy_begin:
    rep movsb
    .globl varnel_guarded_copy_end
    .hidden varnel_guarded_copy_end
varnel_guarded_copy_end:
    mov $1, %eax
    ret
    .globl varnel_guarded_copy_fault
    .hidden varnel_guarded_copy_fault
varnel_guarded_copy_fault:
    xor %eax, %eax
    ret
    .size varnel_guarded_copy, .-varnel_guarded_copy
)");

// The stores, in one range with one failure exit (none of them pushes):
// int varnel_guarded_store32(void* dst /*rdi*/, uint32_t value /*esi*/)
// int varnel_guarded_store64(void* dst /*rdi*/, uint64_t value /*rsi*/)
//   one plain store to an aligned destination, one (locked) xchg to any other;
// int varnel_guarded_write(void* dst /*rdi*/, const void* src /*rsi*/, size_t n /*rdx*/)
//   bytes, a word and a dword until dst is 8-aligned, then quadwords (four
//   at a time while there are), then a dword, a word and a byte: every store
//   naturally aligned, so every aligned element of up to 8 bytes is written
//   by one store.
// Each returns 1 when stored, 0 when a fault ended it.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_stores_begin
    .hidden varnel_guarded_stores_begin
varnel_guarded_stores_begin:
    .globl varnel_guarded_store32
    .hidden varnel_guarded_store32
    .type varnel_guarded_store32, @function
varnel_guarded_store32:
    test $3, %dil
    jnz 1f
    mov %esi, (%rdi)
    mov $1, %eax
    ret
1:  xchg %esi, (%rdi)
    mov $1, %eax
    ret
    .size varnel_guarded_store32, .-varnel_guarded_store32

    .globl varnel_guarded_store64
    .hidden varnel_guarded_store64
    .type varnel_guarded_store64, @function
varnel_guarded_store64:
    test $7, %dil
    jnz 1f
    mov %rsi, (%rdi)
    mov $1, %eax
    ret
1:  xchg %rsi, (%rdi)
    mov $1, %eax
    ret
    .size varnel_guarded_store64, .-varnel_guarded_store64

    .globl varnel_guarded_write
    .hidden varnel_guarded_write
    .type varnel_guarded_write, @function
varnel_guarded_write:
    test %rdx, %rdx
    jz 8f
    test $1, %dil
    jz 1f
    movb (%rsi), %al
    movb %al, (%rdi)
    inc %rsi
    inc %rdi
    dec %rdx
1:  cmp $2, %rdx
    jb 7f
    test $2, %dil
    jz 2f
    movw (%rsi), %ax
    movw %ax, (%rdi)
    add $2, %rsi
    add $2, %rdi
    sub $2, %rdx
2:  cmp $4, %rdx
    jb 6f
    test $4, %dil
    jz 3f
    movl (%rsi), %eax
    movl %eax, (%rdi)
    add $4, %rsi
    add $4, %rdi
    sub $4, %rdx
3:  cmp $32, %rdx
    jb 4f
    movq (%rsi), %rax
    movq 8(%rsi), %rcx
    movq %rax, (%rdi)
    movq %rcx, 8(%rdi)
    movq 16(%rsi), %rax
    movq 24(%rsi), %rcx
    movq %rax, 16(%rdi)
    movq %rcx, 24(%rdi)
    add $32, %rsi
    add $32, %rdi
    sub $32, %rdx
    jmp 3b
4:  cmp $8, %rdx
    jb 5f
    movq (%rsi), %rax
    movq %rax, (%rdi)
    add $8, %rsi
    add $8, %rdi
    sub $8, %rdx
    jmp 4b
5:  cmp $4, %rdx
    jb 6f
    movl (%rsi), %eax
    movl %eax, (%rdi)
    add $4, %rsi
    add $4, %rdi
    sub $4, %rdx
6:  cmp $2, %rdx
    jb 7f
    movw (%rsi), %ax
    movw %ax, (%rdi)
    add $2, %rsi
    add $2, %rdi
    sub $2, %rdx
7:  test %rdx, %rdx
    jz 8f
    movb (%rsi), %al
    movb %al, (%rdi)
8:  mov $1, %eax
    ret
    .size varnel_guarded_write, .-varnel_guarded_write
    .globl varnel_guarded_stores_end
    .hidden varnel_guarded_stores_end
varnel_guarded_stores_end:
    .globl varnel_guarded_stores_fault
    .hidden varnel_guarded_stores_fault
varnel_guarded_stores_fault:
    xor %eax, %eax
    ret
)");

// int varnel_guarded_cas16(void* block /*rdi*/, uint64_t* expected /*rsi*/,
//                          const uint64_t* desired /*rdx*/)
// lock cmpxchg16b of the 16-byte aligned block: 1 when it held expected and
// now holds desired; 0 when it held something else, which is then in
// expected; -1 when a fault ended it.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_cas16
    .hidden varnel_guarded_cas16
    .type varnel_guarded_cas16, @function
varnel_guarded_cas16:
    push %rbx
    mov %rdx, %r8
    mov (%rsi), %rax
    mov 8(%rsi), %rdx
    mov (%r8), %rbx
    mov 8(%r8), %rcx
    .globl varnel_guarded_cas16_begin
    .hidden varnel_guarded_cas16_begin
varnel_guarded_cas16_begin:
    lock cmpxchg16b (%rdi)
    .globl varnel_guarded_cas16_end
    .hidden varnel_guarded_cas16_end
varnel_guarded_cas16_end:
    jne 1f
    mov $1, %eax
    pop %rbx
    ret
1:  mov %rax, (%rsi)
    mov %rdx, 8(%rsi)
    xor %eax, %eax
    pop %rbx
    ret
    .globl varnel_guarded_cas16_fault
    .hidden varnel_guarded_cas16_fault
varnel_guarded_cas16_fault:
    mov $-1, %eax
    pop %rbx
    ret
    .size varnel_guarded_cas16, .-varnel_guarded_cas16
)");

// int varnel_guarded_run(void (*body)(void*) /*rdi*/, void* context /*rsi*/,
//                        uint64_t* frame /*rdx*/)
// keeps the stack pointer after its pushes in *frame, calls body(context)
// and returns 1; the failure exit, entered with that stack pointer, returns 0.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_run
    .hidden varnel_guarded_run
    .type varnel_guarded_run, @function
varnel_guarded_run:
    push %rbp
    push %rbx
    push %r12
    push %r13
    push %r14
    push %r15
    sub $8, %rsp
    mov %rsp, (%rdx)
    mov %rdi, %rax
    mov %rsi, %rdi
    call *%rax
    add $8, %rsp
    pop %r15
    pop %r14
    pop %r13
    pop %r12
    pop %rbx
    pop %rbp
    mov $1, %eax
    ret
    .globl varnel_guarded_run_fault
    .hidden varnel_guarded_run_fault
varnel_guarded_run_fault:
    add $8, %rsp
    pop %r15
    pop %r14
    pop %r13
    pop %r12
    pop %rbx
    pop %rbp
    xor %eax, %eax
    ret
    .size varnel_guarded_run, .-varnel_guarded_run
)");

extern "C" {
int varnel_guarded_copy(void* dst, const void* src, size_t n);
int varnel_guarded_store32(void* dst, uint32_t value);
int varnel_guarded_store64(void* dst, uint64_t value);
int varnel_guarded_write(void* dst, const void* src, size_t n);
int varnel_guarded_cas16(void* block, uint64_t* expected, const uint64_t* desired);
int varnel_guarded_run(void (*body)(void*), void* context, uint64_t* frame);
extern const char varnel_guarded_run_fault[];
extern const char varnel_guarded_copy_begin[];
extern const char varnel_guarded_copy_end[];
extern const char varnel_guarded_copy_fault[];
extern const char varnel_guarded_stores_begin[];
extern const char varnel_guarded_stores_end[];
extern const char varnel_guarded_stores_fault[];
extern const char varnel_guarded_cas16_begin[];
extern const char varnel_guarded_cas16_end[];
extern const char varnel_guarded_cas16_fault[];
}

namespace platform {
namespace {

// The stack pointer of this thread's innermost guarded run; 0 outside any.
// Initial-exec: the fault handler reads it without any allocation.
__thread uint64_t t_runFrame __attribute__((tls_model("initial-exec"))) = 0;

struct sigaction g_previousSegv;
struct sigaction g_previousBus;
struct sigaction g_previousTrap;
std::once_flag g_installOnce;

// The routines whose faults end in their failure exit.
struct GuardedRange {
    const char* begin;
    const char* end;
    const char* fault;
};
const GuardedRange kGuardedRanges[] = {
    {varnel_guarded_copy_begin, varnel_guarded_copy_end, varnel_guarded_copy_fault},
    {varnel_guarded_stores_begin, varnel_guarded_stores_end, varnel_guarded_stores_fault},
    {varnel_guarded_cas16_begin, varnel_guarded_cas16_end, varnel_guarded_cas16_fault},
};

void PassOn(int sig, siginfo_t* info, void* context) {
    const struct sigaction& prev =
        sig == SIGBUS ? g_previousBus : (sig == SIGTRAP ? g_previousTrap : g_previousSegv);
    if ((prev.sa_flags & SA_SIGINFO) && prev.sa_sigaction) {
        prev.sa_sigaction(sig, info, context);
        return;
    }
    if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN && prev.sa_handler != nullptr) {
        prev.sa_handler(sig);
        return;
    }
    // Default action: restore it and return, so the faulting instruction
    // runs again and the process ends the ordinary way (a breakpoint has
    // run already: it is raised again).
    signal(sig, SIG_DFL);
    if (sig == SIGTRAP) raise(sig);
}

// Faults turned into a guarded routine's failure (tests).
std::atomic<uint64_t> g_guardedFaults{0};

void FaultHandler(int sig, siginfo_t* info, void* context) {
    auto* uc = static_cast<ucontext_t*>(context);
    const auto rip = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    if (sig == SIGTRAP) {
        // int3 leaves rip after itself.
        if (rip != 0 && detail::ReleaseTrappedThread(rip - 1)) {
            uc->uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(rip - 1);
            return;
        }
        PassOn(sig, info, context);
        return;
    }
    for (const GuardedRange& range : kGuardedRanges) {
        if (rip >= reinterpret_cast<uintptr_t>(range.begin) && rip < reinterpret_cast<uintptr_t>(range.end)) {
            uc->uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(reinterpret_cast<uintptr_t>(range.fault));
            g_guardedFaults.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    if (t_runFrame != 0) {
        uc->uc_mcontext.gregs[REG_RSP] = static_cast<greg_t>(t_runFrame);
        uc->uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(reinterpret_cast<uintptr_t>(varnel_guarded_run_fault));
        g_guardedFaults.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    PassOn(sig, info, context);
}

}  // namespace

void InstallSafeCopyHandler() {
    std::call_once(g_installOnce, [] {
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_sigaction = FaultHandler;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGSEGV, &sa, &g_previousSegv);
        sigaction(SIGBUS, &sa, &g_previousBus);
        sigaction(SIGTRAP, &sa, &g_previousTrap);
    });
}

bool SafeCopy(void* destination, const void* source, size_t size) {
    if (size == 0) return true;
    if (destination == nullptr || source == nullptr) return false;
    InstallSafeCopyHandler();
    return varnel_guarded_copy(destination, source, size) != 0;
}

namespace {

// ThreadSanitizer does not see the stores, made in assembly: under it each
// is announced as the atomic store it is, by an atomic read-modify-write
// (instrumented) that leaves the value as it is.
void AnnounceAtomicStore32([[maybe_unused]] void* destination) {
#if defined(__SANITIZE_THREAD__)
    if ((reinterpret_cast<uintptr_t>(destination) & 3) == 0)
        __atomic_fetch_or(static_cast<uint32_t*>(destination), 0u, __ATOMIC_RELAXED);
#endif
}
void AnnounceAtomicStore64([[maybe_unused]] void* destination) {
#if defined(__SANITIZE_THREAD__)
    if ((reinterpret_cast<uintptr_t>(destination) & 7) == 0)
        __atomic_fetch_or(static_cast<uint64_t*>(destination), uint64_t{0}, __ATOMIC_RELAXED);
#endif
}

// The simulated game's hooks at the editor's stores (sim::AtNextStoreTo).
// A store looks at them only while some are set: one relaxed load otherwise.
struct StoreHook {
    uintptr_t address = 0;
    sim::StoreMoment moment = sim::StoreMoment::kBefore;
    std::function<void()> run;
};
std::mutex g_storeHooksMutex;
std::vector<StoreHook> g_storeHooks;
std::atomic<size_t> g_storeHookCount{0};

// Runs, and forgets, the hook set for this moment of a store of
// [destination, destination + size), if there is one; outside the lock, so
// that a hook may store too.
void RunStoreHook(const void* destination, size_t size, sim::StoreMoment moment) {
    if (g_storeHookCount.load(std::memory_order_relaxed) == 0) return;
    const auto from = reinterpret_cast<uintptr_t>(destination);
    std::function<void()> run;
    {
        std::lock_guard<std::mutex> lock(g_storeHooksMutex);
        for (auto it = g_storeHooks.begin(); it != g_storeHooks.end(); ++it) {
            if (it->moment != moment || it->address < from || it->address - from >= size) continue;
            run = std::move(it->run);
            g_storeHooks.erase(it);
            g_storeHookCount.store(g_storeHooks.size(), std::memory_order_relaxed);
            break;
        }
    }
    if (run) run();
}

}  // namespace

void sim::AtNextStoreTo(uintptr_t address, StoreMoment moment, std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(g_storeHooksMutex);
    for (StoreHook& h : g_storeHooks) {
        if (h.address == address && h.moment == moment) {
            h.run = std::move(hook);
            return;
        }
    }
    g_storeHooks.push_back({address, moment, std::move(hook)});
    g_storeHookCount.store(g_storeHooks.size(), std::memory_order_relaxed);
}

void sim::ClearStoreHooks() {
    std::lock_guard<std::mutex> lock(g_storeHooksMutex);
    g_storeHooks.clear();
    g_storeHookCount.store(0, std::memory_order_relaxed);
}

bool SafeStore32(void* destination, uint32_t value) {
    if (destination == nullptr) return false;
    InstallSafeCopyHandler();
    RunStoreHook(destination, 4, sim::StoreMoment::kBefore);
    if (varnel_guarded_store32(destination, value) == 0) return false;
    AnnounceAtomicStore32(destination);
    RunStoreHook(destination, 4, sim::StoreMoment::kAfter);
    return true;
}

bool SafeStore64(void* destination, uint64_t value) {
    if (destination == nullptr) return false;
    InstallSafeCopyHandler();
    RunStoreHook(destination, 8, sim::StoreMoment::kBefore);
    if (varnel_guarded_store64(destination, value) == 0) return false;
    AnnounceAtomicStore64(destination);
    RunStoreHook(destination, 8, sim::StoreMoment::kAfter);
    return true;
}

bool SafeStoreWithinBlock(void* destination, const void* bytes, size_t size) {
    const auto at = reinterpret_cast<uintptr_t>(destination);
    if (destination == nullptr || bytes == nullptr || size == 0 || (at & 15) + size > 16) return false;
    InstallSafeCopyHandler();
    void* block = reinterpret_cast<void*>(at & ~uintptr_t{15});
    uint64_t expected[2];
    if (varnel_guarded_copy(expected, block, sizeof expected) == 0) return false;
    for (;;) {
        uint64_t desired[2];
        std::memcpy(desired, expected, sizeof desired);
        std::memcpy(reinterpret_cast<uint8_t*>(desired) + (at & 15), bytes, size);
        const int result = varnel_guarded_cas16(block, expected, desired);
        if (result != 0) return result > 0;
    }
}

bool SafeWrite(void* destination, const void* source, size_t size) {
    if (size == 0) return true;
    if (destination == nullptr || source == nullptr) return false;
    InstallSafeCopyHandler();
    RunStoreHook(destination, size, sim::StoreMoment::kBefore);
    if (varnel_guarded_write(destination, source, size) == 0) return false;
    RunStoreHook(destination, size, sim::StoreMoment::kAfter);
    return true;
}

void SynchronizeInstructionStreams() {
    // Registered once; -1 when neither command is available.
    static const int command = [] {
        if (syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED_SYNC_CORE, 0, 0) == 0)
            return static_cast<int>(MEMBARRIER_CMD_PRIVATE_EXPEDITED_SYNC_CORE);
        // Without core serialisation the interrupt's return serialises on x86-64.
        if (syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0)
            return static_cast<int>(MEMBARRIER_CMD_PRIVATE_EXPEDITED);
        return -1;
    }();
    if (command >= 0) syscall(SYS_membarrier, command, 0, 0);
}

bool GuardedRun(void (*body)(void* context), void* context) {
    if (body == nullptr) return false;
    InstallSafeCopyHandler();
    const uint64_t outer = t_runFrame;
    const bool completed = varnel_guarded_run(body, context, &t_runFrame) != 0;
    t_runFrame = outer;
    return completed;
}

uint64_t sim::GuardedFaults() { return g_guardedFaults.load(); }

}  // namespace platform
