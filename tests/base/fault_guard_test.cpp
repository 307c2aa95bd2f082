// Guarded calls that return, that fault, and that raise and handle their own
// exceptions.
#include "base/fault_guard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__x86_64__)
// In assembly, because what it does is below what C++ can say: sets up a stack
// frame without unwind data, as Wine's stubs for unimplemented exports do, so
// the system's stack walk cannot get past it; spoils every callee-saved
// register, which the guard must restore for its caller; then faults.
extern "C" void vtls_test_fault_unseen(void*);
asm(R"(
    .text
    .globl vtls_test_fault_unseen
vtls_test_fault_unseen:
    subq $40, %rsp
    movq $-1, %rbx; movq $-1, %rbp; movq $-1, %rsi; movq $-1, %rdi
    movq $-1, %r12; movq $-1, %r13; movq $-1, %r14; movq $-1, %r15
    pcmpeqd %xmm6, %xmm6; pcmpeqd %xmm7, %xmm7; pcmpeqd %xmm8, %xmm8; pcmpeqd %xmm9, %xmm9; pcmpeqd %xmm10, %xmm10
    pcmpeqd %xmm11, %xmm11; pcmpeqd %xmm12, %xmm12; pcmpeqd %xmm13, %xmm13; pcmpeqd %xmm14, %xmm14; pcmpeqd %xmm15, %xmm15
    xorl %eax, %eax
    movl $1, (%rax)
    addq $40, %rsp
    ret

)");

#endif

namespace vtls {
namespace {

constexpr DWORD kWineStubCode = 0x80000100;  // what a Wine stub raises when called

void WriteThroughNull(void*) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

TEST(FaultGuard, ReturningCallKeepsItsLastErrorAndRaisedOnesEndAtTheException) {
    int calls = 0;
    auto body = [&] {
        ++calls;
        SetLastError(12345);
    };
    CallOutcome outcome = CallCatchingFaults(body);
    EXPECT_TRUE(!outcome.faulted && outcome.code == 0 && calls == 1);
    EXPECT_EQ(GetLastError(), 12345u);
    // As a Wine stub raises it: non-continuable, with the module and the function's name.
    bool after = false;
    static const char kNames[] = "vtls_test.dll\0Missing";
    const ULONG_PTR names[2] = {reinterpret_cast<ULONG_PTR>(kNames), reinterpret_cast<ULONG_PTR>(kNames + 14)};
    auto stub = [&] {
        RaiseException(kWineStubCode, EXCEPTION_NONCONTINUABLE, 2, names);
        after = true;
    };
    outcome = CallCatchingFaults(stub);
    EXPECT_TRUE(outcome.faulted && outcome.code == kWineStubCode);
    EXPECT_FALSE(after) << "the call must end at the exception, not resume after it";
}

// State on the caller's side survives the unwind; an inner guard catches and
// the outer one sees nothing.
TEST(FaultGuard, AccessViolationsAreReportedWithTheirCodeAndCallerStateSurvives) {
    volatile long state = 7;
    const CallOutcome outcome = CallCatchingFaults(WriteThroughNull, nullptr);
    EXPECT_TRUE(outcome.faulted && outcome.code == EXCEPTION_ACCESS_VIOLATION && state == 7);
    CallOutcome inner{};
    auto body = [&] { inner = CallCatchingFaults(WriteThroughNull, nullptr); };
    EXPECT_FALSE(CallCatchingFaults(body).faulted);
    EXPECT_TRUE(inner.faulted);
}

// Exceptions the called function handles itself are its own business: a guard
// that grabbed them at first sight would break the callee.
TEST(FaultGuard, ExceptionsHandledInsideTheCallAreLeftAlone) {
    bool caught = false;
    auto cxx = [&] {
        try {
            throw std::runtime_error("inside");
        } catch (const std::runtime_error&) {
            caught = true;
        }
    };
    EXPECT_FALSE(CallCatchingFaults(cxx).faulted);
    EXPECT_TRUE(caught);

    // The system's pointer probe reads the memory and handles the access
    // violation itself.
    BOOL bad = FALSE;
    auto probe = [&] { bad = IsBadReadPtr(reinterpret_cast<const void*>(16), 4); };
    EXPECT_FALSE(CallCatchingFaults(probe).faulted);
    EXPECT_TRUE(bad);
}

TEST(FaultGuard, ThreadsFaultAtOnceEachSeeingItsOwnCode) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            const DWORD code = 0xE0000000u + static_cast<DWORD>(t);
            auto raise = [code] { RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr); };
            for (int round = 0; round < kRounds; ++round) {
                const CallOutcome outcome = CallCatchingFaults(raise);
                const CallOutcome av = CallCatchingFaults(WriteThroughNull, nullptr);
                wrong += !outcome.faulted || outcome.code != code || av.code != EXCEPTION_ACCESS_VIOLATION ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

#if defined(__x86_64__)
// The system cannot walk past such a frame to the guard's handler; the guard
// still ends the call, and the caller goes on with its own registers.
TEST(FaultGuard, FaultBehindFrameWithoutUnwindDataIsCaught) {
    volatile int calls = 0;
    for (int round = 0; round < 3; ++round) {
        const CallOutcome outcome = CallCatchingFaults(vtls_test_fault_unseen, nullptr);
        calls = calls + (outcome.faulted && outcome.code == EXCEPTION_ACCESS_VIOLATION ? 1 : 0);
    }
    EXPECT_EQ(calls, 3);
}

// The fallback handler is the guard's only for its call: one left behind by an
// earlier call would stand before handlers registered since, and take the
// faults they are owed.
LONG g_seenByLaterHandler = 0;

TEST(FaultGuard, HandlersRegisteredAfterAGuardedCallStillSeeFaultsFirst) {
    auto nothing = [] {};
    EXPECT_FALSE(CallCatchingFaults(nothing).faulted);
    void* const later = AddVectoredExceptionHandler(0, [](EXCEPTION_POINTERS*) -> LONG {
        ++g_seenByLaterHandler;
        return EXCEPTION_CONTINUE_SEARCH;
    });
    ASSERT_NE(later, nullptr);
    const CallOutcome outcome = CallCatchingFaults(vtls_test_fault_unseen, nullptr);
    RemoveVectoredExceptionHandler(later);
    EXPECT_TRUE(outcome.faulted);
    EXPECT_EQ(g_seenByLaterHandler, 1);
}
#endif

}  // namespace
}  // namespace vtls
