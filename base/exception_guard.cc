#include "base/exception_guard.h"

#include <windows.h>

#include <delayimp.h>

#include <algorithm>
#include <cstring>

// GCC has no __try/__except, so the frame that owns the exception handler is
// a small assembly routine, tx_guarded_invoke(fn, context, state), answering 1
// when fn returned and 0 when the handler took an exception. All the stack
// and register juggling happens inside it; to the C++ code it is an ordinary
// call that returns normally with the callee-saved registers intact, so
// nothing the optimiser does around it can break the resume path. The
// handler is C++ but only copies plain data and then leaves for good.

namespace base {
namespace {

constexpr DWORD kDelayLoadModuleNotFound =
    VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND);
constexpr DWORD kDelayLoadProcNotFound =
    VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND);
// libgcc's codes for C++ throws ('GCC' in the customer range), which go
// through SEH dispatch in the 64-bit build; they belong to the C++ runtime.
constexpr DWORD kGccThrow = 0x20474343;
constexpr DWORD kGccUnwind = 0x21474343;
constexpr DWORD kGccForcedUnwind = 0x22474343;

constexpr size_t kMaxName = 256;

#if defined(__x86_64__)
// Where tx_guarded_invoke keeps `state`: just above the 32-byte home area
// that its frame provides for fn.
constexpr size_t kStateSlot = 32;
#endif

}  // namespace

// Filled by the handler while the exception is dispatched, deep on the
// faulting stack, where the heap may be the thing that failed: fixed buffers
// only, turned into strings once the guard has returned.
struct GuardState {
  DWORD code;
  char dll[kMaxName + 1];
  char proc[kMaxName + 1];
};

}  // namespace base

extern "C" {
int tx_guarded_invoke(void (*fn)(void*), void* context, base::GuardState* state)
    __asm__("tx_guarded_invoke");
EXCEPTION_DISPOSITION tx_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                       CONTEXT* context, void* dispatch)
    __asm__("tx_guard_handler") __attribute__((used));
#if defined(__x86_64__)
void tx_guard_resume() __asm__("tx_guard_resume");  // A label; never called.
#else
[[noreturn]] void tx_guard_resume(void* registration) __asm__("tx_guard_resume");
#endif
}

#if defined(__x86_64__)

// Table-based SEH: the routine's unwind info names tx_guard_handler as its
// exception handler, which finds `state` in the slot above the callee's home
// area (EstablisherFrame + 32) and resumes at tx_guard_resume through
// RtlUnwindEx. The unwind restores the callee-saved registers and rsp as they
// were at the call, so the routine only has to return.
__asm__(
    "\t.text\n"
    "\t.p2align 4\n"
    "\t.globl tx_guarded_invoke\n"
    "\t.def tx_guarded_invoke; .scl 2; .type 32; .endef\n"
    "\t.seh_proc tx_guarded_invoke\n"
    "tx_guarded_invoke:\n"
    "\tsubq $40, %rsp\n"
    "\t.seh_stackalloc 40\n"
    "\t.seh_endprologue\n"
    "\t.seh_handler tx_guard_handler, @except\n"
    "\tmovq %r8, 32(%rsp)\n"      // kStateSlot
    "\tmovq %rcx, %rax\n"
    "\tmovq %rdx, %rcx\n"
    "\tcall *%rax\n"
    "\tmovl $1, %eax\n"
    "tx_guard_resume:\n"          // Resumed here with rax = 0.
    "\tcld\n"
    "\taddq $40, %rsp\n"
    "\tret\n"
    "\t.seh_endproc\n"
    "\t.text\n");

#elif defined(__i386__)

// Frame-based SEH: the routine links a registration record {prev, handler,
// state} into FS:[0] around the call. The handler runs the unwind handlers of
// the records above it (RtlUnwind, which leaves FS:[0] at our record), then
// moves esp back to the record and joins the normal exit, so the record is
// unlinked on both paths and ebx/esi/edi/ebp come back from the routine's own
// saves. A C++ exception escaping fn would bypass the unlink, which is why
// this build has none. The image carries no SafeSEH table, so any handler in
// it is accepted; should one ever be added, tx_guard_handler must be in it.
__asm__(
    "\t.text\n"
    "\t.p2align 4\n"
    "\t.globl tx_guarded_invoke\n"
    "\t.def tx_guarded_invoke; .scl 2; .type 32; .endef\n"
    "tx_guarded_invoke:\n"
    "\tpushl %ebp\n"
    "\tmovl %esp, %ebp\n"
    "\tpushl %ebx\n"
    "\tpushl %esi\n"
    "\tpushl %edi\n"
    "\tpushl 16(%ebp)\n"          // record.state
    "\tpushl $tx_guard_handler\n"  // record.handler
    "\tpushl %fs:0\n"             // record.prev; the record is at ebp-24
    "\tmovl %esp, %fs:0\n"
    "\tsubl $12, %esp\n"          // Keeps the caller's 16-byte alignment for fn.
    "\tpushl 12(%ebp)\n"
    "\tcall *8(%ebp)\n"
    "\tmovl $1, %eax\n"
    "\tleal -24(%ebp), %esp\n"
    "tx_guard_unlink:\n"          // esp = the record, eax = the answer.
    "\tpopl %ecx\n"
    "\tmovl %ecx, %fs:0\n"
    "\taddl $8, %esp\n"
    "\tpopl %edi\n"
    "\tpopl %esi\n"
    "\tpopl %ebx\n"
    "\tpopl %ebp\n"
    "\tret\n"
    "\n"
    "\t.p2align 4\n"
    "\t.globl tx_guard_resume\n"
    "\t.def tx_guard_resume; .scl 2; .type 32; .endef\n"
    "tx_guard_resume:\n"          // (registration), called from the handler.
    "\tmovl 4(%esp), %eax\n"
    "\tpushl %eax\n"              // Kept here across RtlUnwind.
    "\tpushl $0\n"                // ReturnValue
    "\tpushl $0\n"                // ExceptionRecord: RtlUnwind makes its own.
    "\tpushl $1f\n"               // TargetIp
    "\tpushl %eax\n"              // TargetFrame
    "\tcall _RtlUnwind@16\n"
    "1:\n"
    "\tmovl (%esp), %esp\n"
    "\txorl %eax, %eax\n"
    "\tcld\n"
    "\tjmp tx_guard_unlink\n"
    "\t.text\n");

#else
#error "Unsupported architecture"
#endif

namespace base {
namespace {

bool IsReadable(const MEMORY_BASIC_INFORMATION& region) {
  constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                              PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                              PAGE_EXECUTE_WRITECOPY;
  return region.State == MEM_COMMIT && (region.Protect & kReadable) &&
         !(region.Protect & (PAGE_GUARD | PAGE_NOACCESS));
}

// How many of the `wanted` bytes at `address` can be read without faulting.
// The pointers come from the exception record and may be anything; a fault
// inside the handler would be a nested exception, so nothing is touched
// before VirtualQuery has vouched for it.
size_t ReadableBytes(const void* address, size_t wanted) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(address);
  size_t readable = 0;
  while (readable < wanted) {
    MEMORY_BASIC_INFORMATION region;
    if (!::VirtualQuery(reinterpret_cast<const void*>(start + readable), &region,
                        sizeof(region)) ||
        !IsReadable(region)) {
      break;
    }
    readable = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize - start;
  }
  return std::min(readable, wanted);
}

// Copies at most kMaxName characters of `name`. A string that runs into
// unreadable memory before its terminator is not a name, and is dropped.
void CopyName(const char* name, char (&out)[kMaxName + 1]) {
  out[0] = '\0';
  const size_t readable = ReadableBytes(name, kMaxName + 1);
  if (readable == 0)
    return;
  // memchr rather than strnlen: the system's C library has it, the static
  // runtime's strnlen would be code of its own.
  const char* end = static_cast<const char*>(memchr(name, '\0', readable));
  const size_t length = end ? static_cast<size_t>(end - name) : readable;
  if (length == readable && readable <= kMaxName)
    return;
  const size_t kept = std::min(length, kMaxName);
  memcpy(out, name, kept);
  out[kept] = '\0';
}

// Answers whether the guard takes this exception, recording it if so. The
// delay-load helper's DelayLoadInfo lives on the raiser's stack, which the
// resume discards, hence the copies now.
bool Claim(const EXCEPTION_RECORD* record, GuardState* state) {
  if (record->ExceptionFlags & EXCEPTION_UNWIND)
    return false;
  const DWORD code = record->ExceptionCode;
  if (code == kGccThrow || code == kGccUnwind || code == kGccForcedUnwind)
    return false;

  const DWORD last_error = ::GetLastError();  // fn's failure stays readable.
  state->code = code;
  if ((code == kDelayLoadModuleNotFound || code == kDelayLoadProcNotFound) &&
      record->NumberParameters >= 1) {
    const void* address = reinterpret_cast<const void*>(record->ExceptionInformation[0]);
    DelayLoadInfo info;
    if (ReadableBytes(address, sizeof(info)) == sizeof(info)) {
      memcpy(&info, address, sizeof(info));
      CopyName(info.szDll, state->dll);
      if (info.dlp.fImportByName)
        CopyName(info.dlp.szProcName, state->proc);
    }
  }
  ::SetLastError(last_error);
  return true;
}

}  // namespace

bool CallWithExceptionGuard(void (*fn)(void* context), void* context,
                            GuardedCallException* exception) {
  GuardState state;
  state.code = 0;
  state.dll[0] = '\0';
  state.proc[0] = '\0';
  const bool returned = tx_guarded_invoke(fn, context, &state) != 0;
  if (exception) {
    exception->code = returned ? 0 : state.code;
    exception->dll = state.dll;
    exception->proc = state.proc;
  }
  return returned;
}

}  // namespace base

#if defined(__x86_64__)

EXCEPTION_DISPOSITION tx_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                       CONTEXT* context, void* dispatch) {
  auto* state = *reinterpret_cast<base::GuardState**>(static_cast<char*>(frame) + base::kStateSlot);
  if (!base::Claim(record, state))
    return ExceptionContinueSearch;
  auto* dispatcher = static_cast<DISPATCHER_CONTEXT*>(dispatch);
  ::RtlUnwindEx(frame, reinterpret_cast<void*>(&tx_guard_resume), record, nullptr,
                dispatcher->ContextRecord, dispatcher->HistoryTable);
  return ExceptionContinueSearch;  // Not reached: RtlUnwindEx does not return.
}

#else

namespace {
struct GuardRegistration {
  GuardRegistration* prev;
  void* handler;
  base::GuardState* state;
};
}  // namespace

// The system calls handlers with a 4-byte aligned stack.
__attribute__((force_align_arg_pointer)) EXCEPTION_DISPOSITION tx_guard_handler(
    EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void* dispatch) {
  auto* registration = static_cast<GuardRegistration*>(frame);
  if (!base::Claim(record, registration->state))
    return ExceptionContinueSearch;
  tx_guard_resume(registration);
}

#endif
