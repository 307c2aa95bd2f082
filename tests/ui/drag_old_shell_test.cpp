// The older shell's path of the drag functions, chosen through the test seam,
// with the shell's ordinal exports played by recording functions (which can be
// missing, or fault when called) and, at the end, by Wine's real shell32.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>
#include <thread>
#include <vector>

#include "VantrelSh.h"
#include "drag_test_objects.h"
#include "base/com_ptr.h"
#include "ui/drag_shell.h"

// Found by argument lookup, so in POINT's own (global) namespace.
static bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }
static void PrintTo(const POINT& point, std::ostream* out) { *out << "(" << point.x << ", " << point.y << ")"; }

namespace vtls::ui {
namespace {

using test::TestDataObject;
using test::TestDropSource;
using test::TestWindow;

constexpr DWORD kWineStubCode = 0x80000100;

struct ShellCall {
    WORD ordinal;
    HWND window = nullptr;
    POINT point{};
    INT_PTR first = 0;  // 136's values; 137's flag
    INT_PTR second = 0;
    IDataObject* data = nullptr;
    IDropSource* source = nullptr;
    DWORD allowed = 0;
    DWORD* effect = nullptr;
};

enum class Behaviour { kReturn, kAccessViolation, kStubException };

struct FakeShell {
    std::vector<ShellCall> calls;
    std::map<WORD, int> lookups;
    std::set<WORD> missing;
    std::map<WORD, Behaviour> behaviour;
    HRESULT loopResult = DRAGDROP_S_DROP;
    DWORD loopEffect = DROPEFFECT_COPY;

    [[nodiscard]] std::vector<WORD> Ordinals() const {
        std::vector<WORD> ordinals;
        for (const ShellCall& call : calls) {
            ordinals.push_back(call.ordinal);
        }
        return ordinals;
    }
};

FakeShell* g_fake = nullptr;

void Record(const ShellCall& call) {
    g_fake->calls.push_back(call);
    const auto found = g_fake->behaviour.find(call.ordinal);
    const Behaviour behaviour = found == g_fake->behaviour.end() ? Behaviour::kReturn : found->second;
    if (behaviour == Behaviour::kAccessViolation) {
        *static_cast<volatile int*>(nullptr) = 1;
    } else if (behaviour == Behaviour::kStubException) {
        static const char kModule[] = "fake-shell";
        static const char kFunction[] = "raising-export";
        const ULONG_PTR names[2] = {reinterpret_cast<ULONG_PTR>(kModule), reinterpret_cast<ULONG_PTR>(kFunction)};
        RaiseException(kWineStubCode, EXCEPTION_NONCONTINUABLE, 2, names);
    }
}

// The results are what the shell's stubs answer; the library ignores them.
HRESULT WINAPI Fake88(HWND window, IDataObject* data, IDropSource* source, DWORD allowed, DWORD* effect) {
    ShellCall call{88};
    call.window = window;
    call.data = data;
    call.source = source;
    call.allowed = allowed;
    call.effect = effect;
    Record(call);
    if (effect != nullptr) {
        *effect = g_fake->loopEffect;
    }
    return g_fake->loopResult;
}
BOOL WINAPI Fake131(HWND window, POINT point) {
    ShellCall call{131};
    call.window = window;
    call.point = point;
    Record(call);
    return FALSE;
}
BOOL WINAPI Fake132() {
    Record(ShellCall{132});
    return FALSE;
}
BOOL WINAPI Fake134(POINT point) {
    ShellCall call{134};
    call.point = point;
    Record(call);
    return FALSE;
}
BOOL WINAPI Fake136(INT_PTR first, INT_PTR second) {
    ShellCall call{136};
    call.first = first;
    call.second = second;
    Record(call);
    return FALSE;
}
BOOL WINAPI Fake137(BOOL show) {
    ShellCall call{137};
    call.first = show;
    Record(call);
    return FALSE;
}
BOOL WINAPI Fake177(HWND window, POINT point) {
    ShellCall call{177};
    call.window = window;
    call.point = point;
    Record(call);
    return FALSE;
}

template <typename Function>
FARPROC AsFound(Function function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

FARPROC FakeFinder(HMODULE, WORD ordinal) {
    ++g_fake->lookups[ordinal];
    if (g_fake->missing.count(ordinal) != 0) {
        return nullptr;
    }
    switch (ordinal) {
        case 88: return AsFound(Fake88);
        case 131: return AsFound(Fake131);
        case 132: return AsFound(Fake132);
        case 134: return AsFound(Fake134);
        case 136: return AsFound(Fake136);
        case 137: return AsFound(Fake137);
        case 177: return AsFound(Fake177);
        default: return nullptr;
    }
}

class OldShellDrag : public ::testing::Test {
protected:
    OldShellDrag() { g_fake = &fake_; }
    ~OldShellDrag() override { g_fake = nullptr; }

    ComPtr<IDropTargetHelper> MakeHelper() {
        ComPtr<IDropTargetHelper> helper;
        EXPECT_EQ(SHGetDropTargetHelper(helper.put()), S_OK);
        return helper;
    }

    FakeShell fake_;
    DragShell shell_{DragPath::kOldShell, FakeFinder};
    ScopedDragShellOverride override_{shell_};
};

// ---- The helper object ---------------------------------------------------------

TEST_F(OldShellDrag, HelperIsOursWithOneReferenceAndCountsExactly) {
    IDropTargetHelper* helper = nullptr;
    ASSERT_EQ(SHGetDropTargetHelper(&helper), S_OK);
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(helper->AddRef(), 2u);
    EXPECT_EQ(helper->Release(), 1u);

    IDropTargetHelper* other = nullptr;
    ASSERT_EQ(SHGetDropTargetHelper(&other), S_OK);
    EXPECT_NE(other, helper) << "every call makes a new object";
    EXPECT_EQ(other->Release(), 0u);

    // The last Release frees the object's memory.
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, helper));
    EXPECT_EQ(helper->Release(), 0u);
    EXPECT_FALSE(HeapValidate(GetProcessHeap(), 0, helper));
    EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(OldShellDrag, QueryInterfaceGivesTheSamePointerForItsTwoInterfacesOnly) {
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    ASSERT_TRUE(helper);

    void* unknown = nullptr;
    ASSERT_EQ(helper->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<void*>(helper.get()));
    void* again = nullptr;
    ASSERT_EQ(helper->QueryInterface(IID_IDropTargetHelper, &again), S_OK);
    EXPECT_EQ(again, static_cast<void*>(helper.get()));
    // Two more references than the caller's one.
    EXPECT_EQ(helper->AddRef(), 4u);
    EXPECT_EQ(helper->Release(), 3u);
    static_cast<IUnknown*>(unknown)->Release();
    static_cast<IUnknown*>(again)->Release();

    for (const IID& refused : {IID_IDragSourceHelper, IID_IDropTarget, IID_IDataObject}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(helper->QueryInterface(refused, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(helper->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(helper->AddRef(), 2u) << "refusals add no reference";
    helper->Release();
}

TEST_F(OldShellDrag, ReferenceCountIsSafeAcrossThreads) {
    IDropTargetHelper* helper = nullptr;
    ASSERT_EQ(SHGetDropTargetHelper(&helper), S_OK);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([helper] {
            for (int i = 0; i < 20000; ++i) {
                helper->AddRef();
                helper->Release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(helper->Release(), 0u);
}

TEST_F(OldShellDrag, NullOutPointerIsRefused) {
    EXPECT_EQ(SHGetDropTargetHelper(nullptr), E_POINTER);
}

// ---- Points and the target window ---------------------------------------------

TEST_F(OldShellDrag, DragEnterPassesThePointRelativeToTheTargetsOuterRectangle) {
    const TestWindow target(100, 200);
    ASSERT_NE(target.get(), nullptr);
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    TestDataObject data;
    POINT cursor{110, 220};
    // What the shell answers does not matter; only a fault or a missing export does.
    EXPECT_EQ(helper->DragEnter(target.get(), &data, &cursor, DROPEFFECT_COPY), S_OK);
    ASSERT_EQ(fake_.calls.size(), 1u);
    EXPECT_EQ(fake_.calls[0].ordinal, 131);
    EXPECT_EQ(fake_.calls[0].window, target.get());
    EXPECT_EQ(fake_.calls[0].point, (POINT{10, 20}));
    EXPECT_EQ(cursor, (POINT{110, 220})) << "the caller's point is not changed";
}

TEST_F(OldShellDrag, DragOverFollowsTheLastEnteredWindowThroughLeaveAndDrop) {
    const TestWindow first(100, 200);
    const TestWindow second(300, 50);
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    POINT cursor{150, 260};
    ASSERT_EQ(helper->DragEnter(first.get(), nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper->DragOver(&cursor, 0), S_OK);
    EXPECT_EQ(helper->DragLeave(), S_OK);
    EXPECT_EQ(helper->DragOver(&cursor, 0), S_OK);
    EXPECT_EQ(helper->Drop(nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper->DragOver(&cursor, 0), S_OK);
    ASSERT_EQ(helper->DragEnter(second.get(), nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper->DragOver(&cursor, 0), S_OK);

    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{131, 134, 132, 134, 132, 134, 131, 134}));
    for (std::size_t i : {1u, 3u, 5u}) {
        EXPECT_EQ(fake_.calls[i].point, (POINT{50, 60})) << "call " << i;
    }
    EXPECT_EQ(fake_.calls[7].point, (POINT{-150, 210}));
}

TEST_F(OldShellDrag, DropEndsTheImageExactlyAsDragLeaveDoes) {
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    TestDataObject data;
    POINT cursor{1, 2};
    EXPECT_EQ(helper->Drop(&data, &cursor, DROPEFFECT_MOVE), S_OK);
    EXPECT_EQ(helper->DragLeave(), S_OK);
    EXPECT_EQ(helper->Drop(nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{132, 132, 132}));
}

TEST_F(OldShellDrag, NullPointsAreRefusedWithoutCallingTheShell) {
    const TestWindow target(100, 200);
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    EXPECT_EQ(helper->DragEnter(target.get(), nullptr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(helper->DragOver(nullptr, 0), E_INVALIDARG);
    EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(OldShellDrag, ShowPassesTheFlagToTheShell) {
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    EXPECT_EQ(helper->Show(TRUE), S_OK);
    EXPECT_EQ(helper->Show(FALSE), S_OK);
    ASSERT_EQ(fake_.Ordinals(), (std::vector<WORD>{137, 137}));
    EXPECT_EQ(fake_.calls[0].first, TRUE);
    EXPECT_EQ(fake_.calls[1].first, FALSE);
}

// ---- Missing exports and faults --------------------------------------------------

TEST_F(OldShellDrag, MissingExportsFailEnterAndOverAndAreSkippedElsewhere) {
    const TestWindow target(100, 200);
    fake_.missing = {131, 132, 134, 137};
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    POINT cursor{110, 220};
    EXPECT_EQ(helper->DragEnter(target.get(), nullptr, &cursor, 0), E_FAIL);
    EXPECT_EQ(helper->DragOver(&cursor, 0), E_FAIL);
    EXPECT_EQ(helper->DragLeave(), S_OK);
    EXPECT_EQ(helper->Drop(nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper->Show(TRUE), S_OK);
    SHShowDragImage(TRUE);
    EXPECT_TRUE(fake_.calls.empty());

    // The window was kept although the shell could not be told.
    fake_.missing = {131};
    EXPECT_EQ(helper->DragOver(&cursor, 0), S_OK);
    ASSERT_EQ(fake_.Ordinals(), (std::vector<WORD>{134}));
    EXPECT_EQ(fake_.calls[0].point, (POINT{10, 20}));
}

TEST_F(OldShellDrag, FaultsInTheShellAreCaughtAndReported) {
    const TestWindow target(100, 200);
    fake_.behaviour = {{131, Behaviour::kAccessViolation},
                       {134, Behaviour::kStubException},
                       {132, Behaviour::kAccessViolation},
                       {137, Behaviour::kStubException}};
    ComPtr<IDropTargetHelper> helper = MakeHelper();
    POINT cursor{110, 220};
    EXPECT_EQ(helper->DragEnter(target.get(), nullptr, &cursor, 0), E_FAIL);
    EXPECT_EQ(helper->DragOver(&cursor, 0), E_FAIL);
    EXPECT_EQ(helper->DragLeave(), S_OK);
    EXPECT_EQ(helper->Drop(nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper->Show(FALSE), S_OK);
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{131, 134, 132, 132, 137, 137}));
}

// ---- The cache of found exports ----------------------------------------------------

TEST_F(OldShellDrag, FoundExportIsKeptAndMissingOneIsLookedUpAgain) {
    fake_.missing = {137};
    SHShowDragImage(TRUE);
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.lookups[137], 2);
    EXPECT_TRUE(fake_.calls.empty());

    fake_.missing.clear();
    SHShowDragImage(TRUE);
    SHShowDragImage(FALSE);
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.lookups[137], 3) << "found on the third use, then kept";
    EXPECT_EQ(fake_.calls.size(), 3u);

    // Kept also when the shell would no longer find it.
    fake_.missing = {137};
    SHShowDragImage(FALSE);
    EXPECT_EQ(fake_.lookups[137], 3);
    EXPECT_EQ(fake_.calls.size(), 4u);
}

TEST_F(OldShellDrag, ShowDragImageDoesNotLookAtTheShellVersion) {
    DragShell newer(DragPath::kSystemHelper, FakeFinder);
    const ScopedDragShellOverride inner(newer);
    SHShowDragImage(TRUE);
    ASSERT_EQ(fake_.Ordinals(), (std::vector<WORD>{137}));
    EXPECT_EQ(fake_.calls[0].first, TRUE);
}

// ---- SHDoDragDrop -------------------------------------------------------------------

TEST_F(OldShellDrag, DoDragDropPreparesRunsAndResetsInThatOrder) {
    const TestWindow source(100, 200);
    ASSERT_NE(source.get(), nullptr);
    TestDataObject data;
    TestDropSource dropSource(DRAGDROP_S_DROP);
    DWORD effect = 0;
    EXPECT_EQ(VtlsSHDoDragDrop(source.get(), POINT{10, 20}, &data, &dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE,
                               &effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "the loop's effect reaches the caller";

    ASSERT_EQ(fake_.Ordinals(), (std::vector<WORD>{177, 88, 136}));
    EXPECT_EQ(fake_.calls[0].window, source.get());
    EXPECT_EQ(fake_.calls[0].point, (POINT{110, 220})) << "screen coordinates";
    const ShellCall& loop = fake_.calls[1];
    EXPECT_EQ(loop.window, source.get());
    EXPECT_EQ(loop.data, &data);
    EXPECT_EQ(loop.source, &dropSource);
    EXPECT_EQ(loop.allowed, static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE));
    EXPECT_EQ(loop.effect, &effect);
    EXPECT_EQ(fake_.calls[2].first, 0);
    EXPECT_EQ(fake_.calls[2].second, 255);

    fake_.calls.clear();
    fake_.loopResult = DRAGDROP_S_CANCEL;
    EXPECT_EQ(VtlsSHDoDragDrop(source.get(), POINT{0, 0}, &data, nullptr, DROPEFFECT_COPY, &effect),
              DRAGDROP_S_CANCEL);
    ASSERT_EQ(fake_.calls.size(), 3u);
    EXPECT_EQ(fake_.calls[1].source, nullptr) << "no source: the shell uses its own";
}

TEST_F(OldShellDrag, DoDragDropFailsWithoutCallingWhenAnExportIsMissing) {
    const TestWindow source(100, 200);
    TestDataObject data;
    for (WORD missing : {88, 136, 177}) {
        DragShell fresh(DragPath::kOldShell, FakeFinder);
        const ScopedDragShellOverride inner(fresh);
        fake_.missing = {missing};
        DWORD effect = 0;
        EXPECT_EQ(VtlsSHDoDragDrop(source.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect), E_FAIL)
            << "without " << missing;
        EXPECT_TRUE(fake_.calls.empty()) << "without " << missing;
    }
}

TEST_F(OldShellDrag, DoDragDropFaultsGiveFailAndTheImageIsStillReset) {
    const TestWindow source(100, 200);
    TestDataObject data;
    struct Case {
        WORD faulting;
        Behaviour behaviour;
        std::vector<WORD> called;
    };
    const Case cases[] = {
        {177, Behaviour::kStubException, {177, 136}},
        {88, Behaviour::kAccessViolation, {177, 88, 136}},
        {136, Behaviour::kStubException, {177, 88, 136}},
    };
    for (const Case& c : cases) {
        fake_.calls.clear();
        fake_.behaviour = {{c.faulting, c.behaviour}};
        DWORD effect = 0;
        EXPECT_EQ(VtlsSHDoDragDrop(source.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect), E_FAIL)
            << "fault in " << c.faulting;
        EXPECT_EQ(fake_.Ordinals(), c.called) << "fault in " << c.faulting;
    }
}

TEST_F(OldShellDrag, SystemPathNeverCallsTheOrdinals) {
    DragShell newer(DragPath::kSystemHelper, FakeFinder);
    const ScopedDragShellOverride inner(newer);
    const TestWindow source(100, 200);
    TestDataObject data;
    DWORD effect = 0;
    // No drop source: the platform's drag loop refuses, and that is the answer.
    EXPECT_EQ(VtlsSHDoDragDrop(source.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect),
              DoDragDrop(&data, nullptr, DROPEFFECT_COPY, &effect));
    // Whatever the system's creation answers on this thread is the answer.
    ComPtr<IDropTargetHelper> ours;
    ComPtr<IDropTargetHelper> direct;
    EXPECT_EQ(SHGetDropTargetHelper(ours.put()),
              CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                               IID_IDropTargetHelper, reinterpret_cast<void**>(direct.put())));
    EXPECT_TRUE(fake_.calls.empty());
    EXPECT_TRUE(fake_.lookups.empty());
}

// ---- The real shell's exports -------------------------------------------------------

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(OldShellDragRealShell, HelperAndDragRunAgainstTheShellsOwnExports) {
    ASSERT_NE(LoadLibraryW(L"shell32.dll"), nullptr);
    DragShell real(DragPath::kOldShell, FindShellOrdinal);
    const ScopedDragShellOverride override(real);
    const TestWindow window(100, 200);

    ComPtr<IDropTargetHelper> helper;
    ASSERT_EQ(SHGetDropTargetHelper(helper.put()), S_OK);
    void* sourceHelper = nullptr;
    EXPECT_EQ(helper->QueryInterface(IID_IDragSourceHelper, &sourceHelper), E_NOINTERFACE) << "ours, not the system's";
    POINT cursor{110, 220};
    EXPECT_EQ(helper->DragEnter(window.get(), nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper->DragOver(&cursor, 0), S_OK);
    EXPECT_EQ(helper->Show(FALSE), S_OK);
    EXPECT_EQ(helper->DragLeave(), S_OK);
    EXPECT_EQ(helper->Drop(nullptr, &cursor, 0), S_OK);

    // Wine's ordinal 177 is a stub that raises when called: caught, E_FAIL.
    TestDataObject data;
    TestDropSource source(DRAGDROP_S_CANCEL);
    DWORD effect = 0;
    const HRESULT dragged = VtlsSHDoDragDrop(window.get(), POINT{5, 5}, &data, &source, DROPEFFECT_COPY, &effect);
    if (UnderWine()) {
        EXPECT_EQ(dragged, E_FAIL);
        EXPECT_EQ(source.asked(), 0) << "the loop does not run after a fault in preparing the image";
    }
}

}  // namespace
}  // namespace vtls::ui
