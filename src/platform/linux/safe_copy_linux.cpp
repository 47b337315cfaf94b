// Fault-safe copy and guarded runs on Linux. The copy is a small routine
// with a known instruction range: a SIGSEGV or SIGBUS whose instruction
// pointer lies inside it resumes at the routine's failure exit. A guarded
// run enters its body through a routine that keeps the stack pointer of
// its frame in a per-thread slot: a fault on a thread whose slot is set
// resumes at that routine's failure exit with the frame's stack pointer,
// which puts the callee-saved registers back and returns 0. Any other fault
// goes to the handler that was installed before ours (or kills the process
// as usual).
#include <signal.h>
#include <ucontext.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "platform/safe_copy.h"

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
int varnel_guarded_run(void (*body)(void*), void* context, uint64_t* frame);
extern const char varnel_guarded_run_fault[];
extern const char varnel_guarded_copy_begin[];
extern const char varnel_guarded_copy_end[];
extern const char varnel_guarded_copy_fault[];
}

namespace platform {
namespace {

// The stack pointer of this thread's innermost guarded run; 0 outside any.
// Initial-exec: the fault handler reads it without any allocation.
__thread uint64_t t_runFrame __attribute__((tls_model("initial-exec"))) = 0;

struct sigaction g_previousSegv;
struct sigaction g_previousBus;
std::once_flag g_installOnce;

void PassOn(int sig, siginfo_t* info, void* context) {
    const struct sigaction& prev = sig == SIGBUS ? g_previousBus : g_previousSegv;
    if ((prev.sa_flags & SA_SIGINFO) && prev.sa_sigaction) {
        prev.sa_sigaction(sig, info, context);
        return;
    }
    if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN && prev.sa_handler != nullptr) {
        prev.sa_handler(sig);
        return;
    }
    // Default action: restore it and return, so the faulting instruction
    // runs again and the process ends the ordinary way.
    signal(sig, SIG_DFL);
}

void FaultHandler(int sig, siginfo_t* info, void* context) {
    auto* uc = static_cast<ucontext_t*>(context);
    const auto rip = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    if (rip >= reinterpret_cast<uintptr_t>(varnel_guarded_copy_begin) &&
        rip < reinterpret_cast<uintptr_t>(varnel_guarded_copy_end)) {
        uc->uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(reinterpret_cast<uintptr_t>(varnel_guarded_copy_fault));
        return;
    }
    if (t_runFrame != 0) {
        uc->uc_mcontext.gregs[REG_RSP] = static_cast<greg_t>(t_runFrame);
        uc->uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(reinterpret_cast<uintptr_t>(varnel_guarded_run_fault));
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
    });
}

bool SafeCopy(void* destination, const void* source, size_t size) {
    if (size == 0) return true;
    if (destination == nullptr || source == nullptr) return false;
    InstallSafeCopyHandler();
    return varnel_guarded_copy(destination, source, size) != 0;
}

bool GuardedRun(void (*body)(void* context), void* context) {
    if (body == nullptr) return false;
    InstallSafeCopyHandler();
    const uint64_t outer = t_runFrame;
    const bool completed = varnel_guarded_run(body, context, &t_runFrame) != 0;
    t_runFrame = outer;
    return completed;
}

}  // namespace platform
