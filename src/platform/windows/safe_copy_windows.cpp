// Fault-safe copy, stores and guarded runs on Windows, through a vectored
// exception handler. The copy and the stores are small routines with known
// instruction ranges: an access violation (or an in-page error or
// guard-page hit) whose instruction pointer lies inside one resumes at that
// routine's failure exit. A guarded
// run enters its body through a routine that keeps the stack pointer of its
// frame in a thread-local slot (TlsGetValue: no allocation in the handler):
// such a fault on a thread whose slot is set resumes at that routine's
// failure exit with the frame's stack pointer, which puts the callee-saved
// registers (xmm6-xmm15 included) back and returns 0. A breakpoint of an
// instruction being rewritten waits for the rewrite and runs the
// instruction again. Every other exception is left to the handlers after
// ours.
#include <atomic>
#include <cstdint>
#include <cstring>
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

// The stores, in one range with one failure exit (leaf routines: they touch
// neither the stack nor a register the caller keeps):
// int varnel_guarded_store32(void* dst /*rcx*/, uint32_t value /*edx*/)
// int varnel_guarded_store64(void* dst /*rcx*/, uint64_t value /*rdx*/)
//   one plain store to an aligned destination, one (locked) xchg to any other;
// int varnel_guarded_write(void* dst /*rcx*/, const void* src /*rdx*/, size_t n /*r8*/)
//   bytes, a word and a dword until dst is 8-aligned, then quadwords (four
//   at a time while there are), then a dword, a word and a byte: every store
//   naturally aligned, so every aligned element of up to 8 bytes is written
//   by one store.
// Each returns 1 when stored, 0 when a fault ended it.
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_stores_begin
varnel_guarded_stores_begin:
    .globl varnel_guarded_store32
    .def varnel_guarded_store32; .scl 2; .type 32; .endef
varnel_guarded_store32:
    test $3, %cl
    jnz 1f
    mov %edx, (%rcx)
    mov $1, %eax
    ret
1:  xchg %edx, (%rcx)
    mov $1, %eax
    ret

    .globl varnel_guarded_store64
    .def varnel_guarded_store64; .scl 2; .type 32; .endef
varnel_guarded_store64:
    test $7, %cl
    jnz 1f
    mov %rdx, (%rcx)
    mov $1, %eax
    ret
1:  xchg %rdx, (%rcx)
    mov $1, %eax
    ret

    .globl varnel_guarded_write
    .def varnel_guarded_write; .scl 2; .type 32; .endef
varnel_guarded_write:
    test %r8, %r8
    jz 8f
    test $1, %cl
    jz 1f
    movb (%rdx), %al
    movb %al, (%rcx)
    inc %rdx
    inc %rcx
    dec %r8
1:  cmp $2, %r8
    jb 7f
    test $2, %cl
    jz 2f
    movw (%rdx), %ax
    movw %ax, (%rcx)
    add $2, %rdx
    add $2, %rcx
    sub $2, %r8
2:  cmp $4, %r8
    jb 6f
    test $4, %cl
    jz 3f
    movl (%rdx), %eax
    movl %eax, (%rcx)
    add $4, %rdx
    add $4, %rcx
    sub $4, %r8
3:  cmp $32, %r8
    jb 4f
    movq (%rdx), %rax
    movq 8(%rdx), %r9
    movq %rax, (%rcx)
    movq %r9, 8(%rcx)
    movq 16(%rdx), %rax
    movq 24(%rdx), %r9
    movq %rax, 16(%rcx)
    movq %r9, 24(%rcx)
    add $32, %rdx
    add $32, %rcx
    sub $32, %r8
    jmp 3b
4:  cmp $8, %r8
    jb 5f
    movq (%rdx), %rax
    movq %rax, (%rcx)
    add $8, %rdx
    add $8, %rcx
    sub $8, %r8
    jmp 4b
5:  cmp $4, %r8
    jb 6f
    movl (%rdx), %eax
    movl %eax, (%rcx)
    add $4, %rdx
    add $4, %rcx
    sub $4, %r8
6:  cmp $2, %r8
    jb 7f
    movw (%rdx), %ax
    movw %ax, (%rcx)
    add $2, %rdx
    add $2, %rcx
    sub $2, %r8
7:  test %r8, %r8
    jz 8f
    movb (%rdx), %al
    movb %al, (%rcx)
8:  mov $1, %eax
    ret
    .globl varnel_guarded_stores_end
varnel_guarded_stores_end:
    .globl varnel_guarded_stores_fault
varnel_guarded_stores_fault:
    xor %eax, %eax
    ret
)");

// int varnel_guarded_cas16(void* block /*rcx*/, uint64_t* expected /*rdx*/,
//                          const uint64_t* desired /*r8*/)
// lock cmpxchg16b of the 16-byte aligned block: 1 when it held expected and
// now holds desired; 0 when it held something else, which is then in
// expected; -1 when a fault ended it (entered with rbx still pushed).
asm(R"(
    .text
    .p2align 4
    .globl varnel_guarded_cas16
    .def varnel_guarded_cas16; .scl 2; .type 32; .endef
    .seh_proc varnel_guarded_cas16
varnel_guarded_cas16:
    push %rbx
    .seh_pushreg %rbx
    .seh_endprologue
    mov %rcx, %r10
    mov %rdx, %r9
    mov (%r9), %rax
    mov 8(%r9), %rdx
    mov (%r8), %rbx
    mov 8(%r8), %rcx
    .globl varnel_guarded_cas16_begin
varnel_guarded_cas16_begin:
    lock cmpxchg16b (%r10)
    .globl varnel_guarded_cas16_end
varnel_guarded_cas16_end:
    jne 1f
    mov $1, %eax
    pop %rbx
    ret
1:  mov %rax, (%r9)
    mov %rdx, 8(%r9)
    xor %eax, %eax
    pop %rbx
    ret
    .globl varnel_guarded_cas16_fault
varnel_guarded_cas16_fault:
    mov $-1, %eax
    pop %rbx
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

constexpr DWORD kInPageError = 0xC0000006;      // EXCEPTION_IN_PAGE_ERROR
constexpr DWORD kGuardPageViolation = 0x80000001;  // STATUS_GUARD_PAGE_VIOLATION
constexpr DWORD kBreakpoint = 0x80000003;        // EXCEPTION_BREAKPOINT

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
    CONTEXT* context = info->ContextRecord;
    if (code == kBreakpoint) {
        // The exception address of a breakpoint is the breakpoint's own
        // byte; no other address is tried, since any byte that is not a
        // breakpoint would pass for an instruction made whole again.
        const auto at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
        if (at != 0 && detail::ReleaseTrappedThread(at)) {
            context->Rip = static_cast<DWORD64>(at);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (code != EXCEPTION_ACCESS_VIOLATION && code != kInPageError && code != kGuardPageViolation)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto rip = static_cast<uintptr_t>(context->Rip);
    for (const GuardedRange& range : kGuardedRanges) {
        if (rip >= reinterpret_cast<uintptr_t>(range.begin) && rip < reinterpret_cast<uintptr_t>(range.end)) {
            context->Rip = reinterpret_cast<DWORD64>(range.fault);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
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

bool SafeStore32(void* destination, uint32_t value) {
    if (destination == nullptr) return false;
    InstallSafeCopyHandler();
    if (!g_installed.load(std::memory_order_acquire)) return false;  // unguarded: don't risk the fault
    return varnel_guarded_store32(destination, value) != 0;
}

bool SafeStore64(void* destination, uint64_t value) {
    if (destination == nullptr) return false;
    InstallSafeCopyHandler();
    if (!g_installed.load(std::memory_order_acquire)) return false;
    return varnel_guarded_store64(destination, value) != 0;
}

bool SafeStoreWithinBlock(void* destination, const void* bytes, size_t size) {
    const auto at = reinterpret_cast<uintptr_t>(destination);
    if (destination == nullptr || bytes == nullptr || size == 0 || (at & 15) + size > 16) return false;
    InstallSafeCopyHandler();
    if (!g_installed.load(std::memory_order_acquire)) return false;
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
    if (!g_installed.load(std::memory_order_acquire)) return false;
    return varnel_guarded_write(destination, source, size) != 0;
}

namespace {

// A page of our own that SynchronizeInstructionStreams writes and then makes
// read-only: the system must then flush it from every core that runs the
// process, by an interrupt, after which each of those cores fetches its
// instructions afresh. Where FlushProcessWriteBuffers does nothing (Wine)
// this is what reaches the other cores. Freed when the module unloads.
struct InterruptPage {
    std::mutex mutex;
    volatile uint8_t* page = nullptr;
    ~InterruptPage() {
        if (page != nullptr) VirtualFree(const_cast<uint8_t*>(page), 0, MEM_RELEASE);
        page = nullptr;
    }
};
InterruptPage g_interruptPage;

}  // namespace

void SynchronizeInstructionStreams() {
    FlushProcessWriteBuffers();
    std::lock_guard<std::mutex> lock(g_interruptPage.mutex);
    if (g_interruptPage.page == nullptr)
        g_interruptPage.page = static_cast<uint8_t*>(VirtualAlloc(nullptr, 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    volatile uint8_t* page = g_interruptPage.page;
    if (page == nullptr) return;
    page[0] = static_cast<uint8_t>(page[0] + 1);
    DWORD old = 0;
    if (VirtualProtect(const_cast<uint8_t*>(page), 1, PAGE_READONLY, &old))
        VirtualProtect(const_cast<uint8_t*>(page), 1, PAGE_READWRITE, &old);
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
