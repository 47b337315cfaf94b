// Fault-safe copy and guarded runs on Windows, through a vectored exception
// handler. The copy is a small routine with a known instruction range: an
// access violation (or an in-page error or guard-page hit) whose instruction
// pointer lies inside it resumes at the routine's failure exit. A guarded
// run enters its body through a routine that keeps the stack pointer of its
// frame in a thread-local slot (TlsGetValue: no allocation in the handler):
// such a fault on a thread whose slot is set resumes at that routine's
// failure exit with the frame's stack pointer, which puts the callee-saved
// registers (xmm6-xmm15 included) back and returns 0. Every other exception
// is left to the handlers after ours.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/safe_copy.h"
#include "platform/windows/win32.h"

// int varnel_guarded_copy(void* dst /*rcx*/, const void* src /*rdx*/, size_t n /*r8*/)
// returns 1 when copied, 0 when a fault ended the copy. rdi and rsi belong
// to the caller in the Windows x64 convention, so they are saved; the
// failure exit runs with the stack as it was at the fault.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_copy
    .def varnel_guarded_copy; .scl 2; .type 32; .endef
    .seh_proc varnel_guarded_copy
varnel_guarded_copy:
    push %rdi
    .seh_pushreg %rdi
    push %rsi
    .seh_pushreg %rsi
    .seh_endprologue
    mov %rcx, %rdi
    mov %rdx, %rsi
    mov %r8, %rcx
    .globl varnel_guarded_copy_begin
varnel_guarded_copy_begin:
    rep movsb
    .globl varnel_guarded_copy_end
varnel_guarded_copy_end:
    mov $1, %eax
    pop %rsi
    pop %rdi
    ret
    .globl varnel_guarded_copy_fault
varnel_guarded_copy_fault:
    xor %eax, %eax
    pop %rsi
    pop %rdi
    ret
    .seh_endproc
)");

// int varnel_guarded_run(void (*body)(void*) /*rcx*/, void* context /*rdx*/,
//                        uint64_t* frame /*r8*/)
// keeps the stack pointer after its prologue in *frame, calls body(context)
// and returns 1; the failure exit, entered with that stack pointer, returns 0.
// Frame: eight pushes, then 200 bytes: 32 of shadow space for the call, ten
// 16-byte saves of xmm6-xmm15 at +32, and 8 to keep the stack aligned.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_run
    .def varnel_guarded_run; .scl 2; .type 32; .endef
    .seh_proc varnel_guarded_run
varnel_guarded_run:
    push %rbp
    .seh_pushreg %rbp
    push %rbx
    .seh_pushreg %rbx
    push %rdi
    .seh_pushreg %rdi
    push %rsi
    .seh_pushreg %rsi
    push %r12
    .seh_pushreg %r12
    push %r13
    .seh_pushreg %r13
    push %r14
    .seh_pushreg %r14
    push %r15
    .seh_pushreg %r15
    sub $200, %rsp
    .seh_stackalloc 200
    movaps %xmm6, 32(%rsp)
    .seh_savexmm %xmm6, 32
    movaps %xmm7, 48(%rsp)
    .seh_savexmm %xmm7, 48
    movaps %xmm8, 64(%rsp)
    .seh_savexmm %xmm8, 64
    movaps %xmm9, 80(%rsp)
    .seh_savexmm %xmm9, 80
    movaps %xmm10, 96(%rsp)
    .seh_savexmm %xmm10, 96
    movaps %xmm11, 112(%rsp)
    .seh_savexmm %xmm11, 112
    movaps %xmm12, 128(%rsp)
    .seh_savexmm %xmm12, 128
    movaps %xmm13, 144(%rsp)
    .seh_savexmm %xmm13, 144
    movaps %xmm14, 160(%rsp)
    .seh_savexmm %xmm14, 160
    movaps %xmm15, 176(%rsp)
    .seh_savexmm %xmm15, 176
    .seh_endprologue
    mov %rsp, (%r8)
    mov %rcx, %rax
    mov %rdx, %rcx
    call *%rax
    mov $1, %eax
    jmp 1f
    .globl varnel_guarded_run_fault
varnel_guarded_run_fault:
    xor %eax, %eax
1:
    movaps 32(%rsp), %xmm6
    movaps 48(%rsp), %xmm7
    movaps 64(%rsp), %xmm8
    movaps 80(%rsp), %xmm9
    movaps 96(%rsp), %xmm10
    movaps 112(%rsp), %xmm11
    movaps 128(%rsp), %xmm12
    movaps 144(%rsp), %xmm13
    movaps 160(%rsp), %xmm14
    movaps 176(%rsp), %xmm15
    add $200, %rsp
    pop %r15
    pop %r14
    pop %r13
    pop %r12
    pop %rsi
    pop %rdi
    pop %rbx
    pop %rbp
    ret
    .seh_endproc
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

constexpr DWORD kInPageError = 0xC0000006;      // EXCEPTION_IN_PAGE_ERROR
constexpr DWORD kGuardPageViolation = 0x80000001;  // STATUS_GUARD_PAGE_VIOLATION

// The handler stays installed while our module is loaded; the destructor
// removes it when the module unloads (static objects of a DLL end at its
// detach), so the game is never left with a handler pointing into freed code.
struct HandlerRegistration {
    std::mutex mutex;
    void* handle = nullptr;
    // TLS slot of each thread's innermost guarded run: a pointer to the
    // uint64_t that holds its frame's stack pointer (null outside any).
    DWORD runSlot = TLS_OUT_OF_INDEXES;
    ~HandlerRegistration() {
        if (handle != nullptr) RemoveVectoredExceptionHandler(handle);
        if (runSlot != TLS_OUT_OF_INDEXES) TlsFree(runSlot);
    }
};
HandlerRegistration g_registration;
std::atomic<bool> g_installed{false};

LONG CALLBACK FaultHandler(EXCEPTION_POINTERS* info) {
    if (info == nullptr || info->ExceptionRecord == nullptr || info->ContextRecord == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_ACCESS_VIOLATION && code != kInPageError && code != kGuardPageViolation)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* context = info->ContextRecord;
    const auto rip = static_cast<uintptr_t>(context->Rip);
    if (rip >= reinterpret_cast<uintptr_t>(varnel_guarded_copy_begin) &&
        rip < reinterpret_cast<uintptr_t>(varnel_guarded_copy_end)) {
        context->Rip = reinterpret_cast<DWORD64>(varnel_guarded_copy_fault);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    const DWORD slot = g_registration.runSlot;
    if (slot == TLS_OUT_OF_INDEXES) return EXCEPTION_CONTINUE_SEARCH;
    // TlsGetValue sets the last error; the faulting code must not see ours.
    const DWORD lastError = GetLastError();
    const auto* frame = static_cast<const uint64_t*>(TlsGetValue(slot));
    SetLastError(lastError);
    if (frame == nullptr || *frame == 0) return EXCEPTION_CONTINUE_SEARCH;
    context->Rsp = *frame;
    context->Rip = reinterpret_cast<DWORD64>(varnel_guarded_run_fault);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallSafeCopyHandler() {
    // First in the chain, so that a handler of the game never sees our own
    // expected faults.
    if (g_installed.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(g_registration.mutex);
    if (g_registration.runSlot == TLS_OUT_OF_INDEXES) g_registration.runSlot = TlsAlloc();
    if (g_registration.handle == nullptr) g_registration.handle = AddVectoredExceptionHandler(1, FaultHandler);
    g_installed.store(g_registration.handle != nullptr, std::memory_order_release);
}

bool SafeCopy(void* destination, const void* source, size_t size) {
    if (size == 0) return true;
    if (destination == nullptr || source == nullptr) return false;
    InstallSafeCopyHandler();
    if (!g_installed.load(std::memory_order_acquire)) return false;  // unguarded: don't risk the fault
    return varnel_guarded_copy(destination, source, size) != 0;
}

bool GuardedRun(void (*body)(void* context), void* context) {
    if (body == nullptr) return false;
    InstallSafeCopyHandler();
    const DWORD slot = g_registration.runSlot;
    if (!g_installed.load(std::memory_order_acquire) || slot == TLS_OUT_OF_INDEXES) return false;  // unguarded
    void* outer = TlsGetValue(slot);
    uint64_t frame = 0;
    if (!TlsSetValue(slot, &frame)) return false;
    const bool completed = varnel_guarded_run(body, context, &frame) != 0;
    TlsSetValue(slot, outer);
    return completed;
}

}  // namespace platform
