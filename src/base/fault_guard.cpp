#include "base/fault_guard.h"

#include <cstddef>

// Each architecture has one small assembly routine, vtls_guarded_invoke, that
// calls the function inside a frame of its own. The frame carries an exception
// handler of the kind __except registers, so it is asked only after every
// handler inside the call declined: exceptions the callee raises and handles
// itself are left alone. The handler unwinds the call's frames and resumes the
// routine at its landing point, which restores every callee-saved register from
// the routine's own frame and returns 1; a call that returns gives 0.
//
// On x64 the system finds that handler by walking the stack with the unwind
// data of every function in between. Code without unwind data for a frame of
// its own (Wine's stubs for unimplemented exports are such code) breaks that
// walk, and the exception would go unhandled. A vectored handler covers that
// case alone: it repeats the system's walk and, only when the walk cannot reach
// the guard, resumes the routine at the landing point itself. (A handler of a
// frame before the break is passed over then; letting it decline would leave the
// exception unhandled, which is what the guard is there to prevent.)

namespace {

// Shared with the assembly: code at offset 0, the routine's stack pointer while
// it calls the function at offset 8 (x64 only).
struct GuardFrame {
    DWORD code;
    ULONG_PTR stack;
    GuardFrame* outer;
};
static_assert(offsetof(GuardFrame, code) == 0);
static_assert(sizeof(void*) == 4 || offsetof(GuardFrame, stack) == 8);

}  // namespace

extern "C" {
DWORD vtls_guarded_invoke(void (*function)(void*), void* context, GuardFrame* frame);
}

#if defined(__x86_64__)

extern "C" {
extern const char vtls_guard_landing[];
extern const char vtls_guard_return[];  // the return address of the guarded call
EXCEPTION_DISPOSITION vtls_guard_frame_handler(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT* context,
                                               void* dispatcherContext);
}

// Frame: eight callee-saved registers pushed, then 200 bytes: 32 of shadow
// space, xmm6-xmm15 at 32..191, the GuardFrame pointer at 192.
asm(R"(
    .text
    .p2align 4
    .globl vtls_guarded_invoke
    .def vtls_guarded_invoke; .scl 2; .type 32; .endef
    .seh_proc vtls_guarded_invoke
vtls_guarded_invoke:
    pushq %rbx
    .seh_pushreg %rbx
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    pushq %r12
    .seh_pushreg %r12
    pushq %r13
    .seh_pushreg %r13
    pushq %r14
    .seh_pushreg %r14
    pushq %r15
    .seh_pushreg %r15
    subq $200, %rsp
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
    .seh_handler vtls_guard_frame_handler, @except
    movq %r8, 192(%rsp)
    movq %rsp, 8(%r8)
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    .globl vtls_guard_return
vtls_guard_return:
    nop
    xorl %eax, %eax
.Lvtls_guard_leave:
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
    addq $200, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbp
    popq %rbx
    retq
    .globl vtls_guard_landing
vtls_guard_landing:
    cld
    movq 192(%rsp), %rcx
    movl %eax, (%rcx)
    movl $1, %eax
    jmp .Lvtls_guard_leave
    .seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION vtls_guard_frame_handler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                          CONTEXT* context, void* dispatcherContext) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
        return ExceptionContinueSearch;
    }
    const auto* dispatcher = static_cast<const DISPATCHER_CONTEXT*>(dispatcherContext);
    // Unwinds the call's frames, running their unwind handlers, and resumes at
    // the landing point with the code as the unwind's return value.
    RtlUnwindEx(establisherFrame, const_cast<char*>(vtls_guard_landing), record,
                reinterpret_cast<void*>(static_cast<ULONG_PTR>(record->ExceptionCode)), context,
                dispatcher->HistoryTable);
    return ExceptionContinueSearch;  // not reached
}

namespace {

// The innermost guard of each thread, for the vectored handler. Allocated on
// first use and freed when the module is unloaded.
class GuardSlot {
public:
    constexpr GuardSlot() noexcept = default;
    GuardSlot(const GuardSlot&) = delete;
    GuardSlot& operator=(const GuardSlot&) = delete;
    ~GuardSlot() {
        if (m_index != TLS_OUT_OF_INDEXES) {
            TlsFree(m_index);
        }
    }

    [[nodiscard]] bool Ready() noexcept {
        InitOnceExecuteOnce(&m_once, Allocate, this, nullptr);
        return m_index != TLS_OUT_OF_INDEXES;
    }
    // Must not disturb the thread's last error: the vectored handler runs in the
    // middle of other code's exceptions.
    [[nodiscard]] GuardFrame* Innermost() const noexcept {
        const DWORD lastError = GetLastError();
        auto* frame = static_cast<GuardFrame*>(TlsGetValue(m_index));
        SetLastError(lastError);
        return frame;
    }
    void SetInnermost(GuardFrame* frame) const noexcept {
        const DWORD lastError = GetLastError();
        TlsSetValue(m_index, frame);
        SetLastError(lastError);
    }

private:
    static BOOL CALLBACK Allocate(INIT_ONCE*, void* self, void**) noexcept {
        static_cast<GuardSlot*>(self)->m_index = TlsAlloc();
        return TRUE;
    }

    INIT_ONCE m_once = INIT_ONCE_STATIC_INIT;
    DWORD m_index = TLS_OUT_OF_INDEXES;
};

GuardSlot g_guardSlot;

// The thread's information block (its Self field, at gs:0x30). NtCurrentTeb()
// would do, but GCC 12 at -O2 warns that its read is out of bounds.
const NT_TIB* ThreadBlock() noexcept {
    const NT_TIB* tib = nullptr;
    asm("movq %%gs:0x30, %0" : "=r"(tib));
    return tib;
}

// Whether the system's search for frame handlers, starting from the faulting
// context, reaches the guard's frame: the same walk the dispatcher makes.
bool FrameSearchReaches(const CONTEXT& fault, ULONG_PTR guardStack) noexcept {
    const NT_TIB* tib = ThreadBlock();
    const auto stackLow = reinterpret_cast<ULONG_PTR>(tib->StackLimit);
    const auto stackHigh = reinterpret_cast<ULONG_PTR>(tib->StackBase);
    CONTEXT context = fault;
    for (int depth = 0; depth < 1024; ++depth) {
        if (context.Rsp == guardStack && context.Rip == reinterpret_cast<ULONG_PTR>(vtls_guard_return)) {
            return true;
        }
        if (context.Rsp >= guardStack || context.Rsp < stackLow || context.Rsp + 8 > stackHigh) {
            return false;
        }
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (function == nullptr) {
            // No unwind data: the system takes the frame for a leaf whose return
            // address is at the stack pointer.
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += 8;
        } else {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                             &establisher, nullptr);
        }
        if (context.Rip == 0) {
            return false;
        }
    }
    return false;
}

// Wine registers the handlers of its own code in a chain in the thread block,
// which its dispatcher honours whatever the stack walk finds; one between the
// fault and the guard may still take the exception.
bool ChainedHandlerBelow(ULONG_PTR faultStack, ULONG_PTR guardStack) noexcept {
    const NT_TIB* tib = ThreadBlock();
    for (const EXCEPTION_REGISTRATION_RECORD* entry = tib->ExceptionList;
         entry != nullptr && reinterpret_cast<ULONG_PTR>(entry) != ~ULONG_PTR{0}; entry = entry->Next) {
        const auto at = reinterpret_cast<ULONG_PTR>(entry);
        if (at >= guardStack) {
            break;
        }
        if (at > faultStack) {
            return true;
        }
    }
    return false;
}

LONG CALLBACK GuardVectoredHandler(EXCEPTION_POINTERS* pointers) noexcept {
    GuardFrame* guard = g_guardSlot.Innermost();
    if (guard == nullptr || guard->stack == 0) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    CONTEXT* context = pointers->ContextRecord;
    if (context->Rsp >= guard->stack || FrameSearchReaches(*context, guard->stack) ||
        ChainedHandlerBelow(context->Rsp, guard->stack)) {
        // Not raised inside the guarded call, or the frame handlers get their turn.
        return EXCEPTION_CONTINUE_SEARCH;
    }
    context->Rsp = guard->stack;
    context->Rip = reinterpret_cast<ULONG_PTR>(vtls_guard_landing);
    context->Rax = pointers->ExceptionRecord->ExceptionCode;
    return EXCEPTION_CONTINUE_EXECUTION;
}

// For the time of one guarded call: the guard is the thread's innermost, and the
// vectored handler is registered. Nothing stays behind in the process.
class [[nodiscard]] VectoredFallback {
public:
    explicit VectoredFallback(GuardFrame& frame) noexcept {
        if (!g_guardSlot.Ready()) {
            return;
        }
        m_frame = &frame;
        frame.outer = g_guardSlot.Innermost();
        g_guardSlot.SetInnermost(&frame);
        m_handler = AddVectoredExceptionHandler(0, GuardVectoredHandler);
    }
    ~VectoredFallback() {
        if (m_handler != nullptr) {
            RemoveVectoredExceptionHandler(m_handler);
        }
        if (m_frame != nullptr) {
            g_guardSlot.SetInnermost(m_frame->outer);
        }
    }
    VectoredFallback(const VectoredFallback&) = delete;
    VectoredFallback& operator=(const VectoredFallback&) = delete;

private:
    GuardFrame* m_frame = nullptr;
    void* m_handler = nullptr;
};

}  // namespace

#elif defined(__i386__)

// An exception registration record on the stack, at the head of the thread's
// chain (fs:0) for the time of the call; the chain needs no unwind data, so no
// fallback is needed here. The handler unwinds the records of the call
// (RtlUnwind runs their handlers and stops at ours), then continues in the
// routine's frame directly, as __except does: a non-continuable exception may
// not be resumed through the dispatcher. Frame: ebp-12..ebp-4 saved edi, esi,
// ebx; ebp-16 the handler; ebp-20 the link to the previous record (the record's
// address is ebp-20).
asm(R"(
    .text
    .p2align 4
    .globl _vtls_guarded_invoke
    .def _vtls_guarded_invoke; .scl 2; .type 32; .endef
_vtls_guarded_invoke:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl $_vtls_guard_frame_handler
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    xorl %eax, %eax
Lvtls_guard_leave:
    movl -20(%ebp), %ecx
    movl %ecx, %fs:0
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
Lvtls_guard_landing:
    cld
    movl 16(%ebp), %ecx
    movl %eax, (%ecx)
    movl $1, %eax
    jmp Lvtls_guard_leave

    .p2align 4
    .def _vtls_guard_frame_handler; .scl 3; .type 32; .endef
_vtls_guard_frame_handler:
    movl 4(%esp), %eax
    testl $6, 4(%eax)
    jz 1f
    movl $1, %eax
    ret
1:
    movl 8(%esp), %ebx
    pushl (%eax)
    pushl %ebx
    pushl $0
    pushl %eax
    pushl $2f
    pushl %ebx
    call _RtlUnwind@16
2:
    popl %ebx
    popl %eax
    leal 20(%ebx), %ebp
    movl %ebx, %esp
    jmp Lvtls_guard_landing
)");

namespace {

class [[nodiscard]] VectoredFallback {
public:
    explicit VectoredFallback(GuardFrame&) noexcept {}
};

}  // namespace

#else
#error "no fault guard for this architecture"
#endif

namespace vtls {

CallOutcome CallCatchingFaults(void (*function)(void* context), void* context) noexcept {
    GuardFrame frame{};
    const VectoredFallback fallback(frame);
    if (vtls_guarded_invoke(function, context, &frame) == 0) {
        return {false, 0};
    }
    return {true, frame.code};
}

}  // namespace vtls
