// Fault-safe copy on Windows: a small copy routine with a known instruction
// range and a vectored exception handler. An access violation (or an in-page
// error or guard-page hit) whose instruction pointer lies inside that range
// resumes at the routine's failure exit; every other exception is left to
// the handlers after ours.
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

extern "C" {
int varnel_guarded_copy(void* dst, const void* src, size_t n);
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
    ~HandlerRegistration() {
        if (handle != nullptr) RemoveVectoredExceptionHandler(handle);
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
    if (rip < reinterpret_cast<uintptr_t>(varnel_guarded_copy_begin) ||
        rip >= reinterpret_cast<uintptr_t>(varnel_guarded_copy_end))
        return EXCEPTION_CONTINUE_SEARCH;
    context->Rip = reinterpret_cast<DWORD64>(varnel_guarded_copy_fault);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallSafeCopyHandler() {
    // First in the chain, so that a handler of the game never sees our own
    // expected faults.
    if (g_installed.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(g_registration.mutex);
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

}  // namespace platform
