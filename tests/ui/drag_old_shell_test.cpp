// The older shell's path of the drag functions, chosen through the test seam,
// with the shell's ordinal exports played by recording functions (which can be
// missing, or fault when called) and, at the end, by Wine's real shell32.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "drag_test_objects.h"
#include "ui/drag_shell.h"

namespace vtls::ui {
namespace {

using test::TestDataObject;
using test::TestDropSource;
using test::TestWindow;

enum class Behaviour { kReturn, kAccessViolation, kStubException };

// One call of an ordinal: 131/177 window and point, 134 point, 136 first and
// second value, 137 the flag in first, 88 the drag loop's arguments.
struct ShellCall {
    WORD ordinal;
    HWND window = nullptr;
    POINT point{};
    INT_PTR first = 0, second = 0;
    IDataObject* data = nullptr;
    IDropSource* source = nullptr;
    DWORD* effect = nullptr;
};

struct FakeShell {
    std::vector<ShellCall> calls;
    std::map<WORD, int> lookups;
    std::set<WORD> missing;
    std::map<WORD, Behaviour> behaviour;
    HRESULT loopResult = DRAGDROP_S_DROP;

    [[nodiscard]] std::vector<WORD> Ordinals() const {
        std::vector<WORD> ordinals;
        for (const ShellCall& call : calls) ordinals.push_back(call.ordinal);
        return ordinals;
    }
};

FakeShell* g_fake = nullptr;

// The results are what the shell's stubs answer; the library ignores them.
BOOL Record(const ShellCall& call) {
    g_fake->calls.push_back(call);
    const auto found = g_fake->behaviour.find(call.ordinal);
    if (found != g_fake->behaviour.end() && found->second == Behaviour::kAccessViolation) {
        *static_cast<volatile int*>(nullptr) = 1;
    } else if (found != g_fake->behaviour.end()) {
        static const char kNames[] = "fake-shell\0raising-export";  // as a Wine stub names itself
        const ULONG_PTR names[2] = {reinterpret_cast<ULONG_PTR>(kNames), reinterpret_cast<ULONG_PTR>(kNames + 11)};
        RaiseException(0x80000100, EXCEPTION_NONCONTINUABLE, 2, names);
    }
    return FALSE;
}

HRESULT WINAPI Fake88(HWND window, IDataObject* data, IDropSource* source, DWORD allowed, DWORD* effect) {
    Record({88, window, {}, static_cast<INT_PTR>(allowed), 0, data, source, effect});
    if (effect != nullptr) *effect = DROPEFFECT_COPY;
    return g_fake->loopResult;
}
BOOL WINAPI Fake131(HWND window, POINT point) { return Record({131, window, point}); }
BOOL WINAPI Fake132() { return Record({132}); }
BOOL WINAPI Fake134(POINT point) { return Record({134, nullptr, point}); }
BOOL WINAPI Fake136(INT_PTR first, INT_PTR second) { return Record({136, nullptr, {}, first, second}); }
BOOL WINAPI Fake137(BOOL show) { return Record({137, nullptr, {}, show}); }
BOOL WINAPI Fake177(HWND window, POINT point) { return Record({177, window, point}); }

FARPROC FakeFinder(HMODULE, WORD ordinal) {
    ++g_fake->lookups[ordinal];
    const std::map<WORD, void*> exports = {
        {88, reinterpret_cast<void*>(Fake88)},   {131, reinterpret_cast<void*>(Fake131)},
        {132, reinterpret_cast<void*>(Fake132)}, {134, reinterpret_cast<void*>(Fake134)},
        {136, reinterpret_cast<void*>(Fake136)}, {137, reinterpret_cast<void*>(Fake137)},
        {177, reinterpret_cast<void*>(Fake177)}};
    const auto found = exports.find(ordinal);
    return g_fake->missing.count(ordinal) != 0 || found == exports.end() ? nullptr
                                                                        : reinterpret_cast<FARPROC>(found->second);
}

std::vector<POINT> Points(const std::vector<ShellCall>& calls) {
    std::vector<POINT> points;
    for (const ShellCall& call : calls) points.push_back(call.point);
    return points;
}
bool operator==(const std::vector<POINT>& a, const std::vector<POINT>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](POINT p, POINT q) { return p.x == q.x && p.y == q.y; });
}

class OldShellDrag : public ::testing::Test {
protected:
    OldShellDrag() { g_fake = &fake_; }
    ~OldShellDrag() override { g_fake = nullptr; }
    void SetUp() override { ASSERT_EQ(SHGetDropTargetHelper(helper_.put()), S_OK); }

    // Enter, over, leave, over, drop, over, show: what reaches the shell.
    std::vector<HRESULT> Sequence(HWND target) {
        POINT cursor{110, 220};
        TestDataObject data;
        return {helper_->DragEnter(target, &data, &cursor, DROPEFFECT_COPY), helper_->DragOver(&cursor, 0),
                helper_->DragLeave(), helper_->DragOver(&cursor, 0), helper_->Drop(&data, &cursor, DROPEFFECT_MOVE),
                helper_->DragOver(&cursor, 0), helper_->Show(FALSE)};
    }

    FakeShell fake_;
    DragShell shell_{DragPath::kOldShell, FakeFinder};
    ScopedDragShellOverride override_{shell_};
    ComPtr<IDropTargetHelper> helper_;
    const TestWindow target_{100, 200};
};

TEST_F(OldShellDrag, PointsGoRelativeToTheLastEnteredWindowAndDropEndsAsLeaveDoes) {
    EXPECT_EQ(Sequence(target_.get()), std::vector<HRESULT>(7, S_OK));
    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{131, 134, 132, 134, 132, 134, 137}));
    EXPECT_EQ(fake_.calls[0].window, target_.get());
    EXPECT_TRUE(Points(fake_.calls) == (std::vector<POINT>{{10, 20}, {10, 20}, {}, {10, 20}, {}, {10, 20}, {}}));
    EXPECT_EQ(fake_.calls[6].first, FALSE);
    fake_.calls.clear();
    const TestWindow second(300, 50);
    POINT cursor{150, 260};
    ASSERT_EQ(helper_->DragEnter(second.get(), nullptr, &cursor, 0), S_OK);
    EXPECT_EQ(helper_->DragOver(&cursor, 0), S_OK);
    EXPECT_TRUE(Points(fake_.calls) == (std::vector<POINT>{{-150, 210}, {-150, 210}}));
    EXPECT_EQ(cursor.x, 150) << "the caller's point is not changed";
    // Null points are refused without calling the shell; every call makes a new helper.
    EXPECT_EQ(helper_->DragEnter(second.get(), nullptr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(helper_->DragOver(nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(fake_.calls.size(), 2u);
    ComPtr<IDropTargetHelper> other;
    ASSERT_EQ(SHGetDropTargetHelper(other.put()), S_OK);
    EXPECT_NE(other.get(), helper_.get());
    EXPECT_EQ(SHGetDropTargetHelper(nullptr), E_POINTER);
}

// Missing exports fail enter and over and are skipped elsewhere; faults in the
// shell are caught and reported the same way.
TEST_F(OldShellDrag, MissingExportsAndFaultsFailEnterAndOverOnly) {
    const std::vector<HRESULT> expected = {E_FAIL, E_FAIL, S_OK, E_FAIL, S_OK, E_FAIL, S_OK};
    fake_.missing = {131, 132, 134, 137};
    EXPECT_EQ(Sequence(target_.get()), expected);
    SHShowDragImage(TRUE);
    EXPECT_TRUE(fake_.calls.empty());
    // The window was kept although the shell could not be told.
    fake_.missing = {131};
    POINT cursor{110, 220};
    EXPECT_EQ(helper_->DragOver(&cursor, 0), S_OK);
    EXPECT_TRUE(Points(fake_.calls) == (std::vector<POINT>{{10, 20}}));
    fake_.calls.clear();
    fake_.missing.clear();
    fake_.behaviour = {{131, Behaviour::kAccessViolation}, {134, Behaviour::kStubException},
                       {132, Behaviour::kAccessViolation}, {137, Behaviour::kStubException}};
    EXPECT_EQ(Sequence(target_.get()), expected);
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{131, 134, 132, 134, 132, 134, 137, 137}));
}

TEST_F(OldShellDrag, AFoundExportIsKeptAndAMissingOneIsLookedUpAgain) {
    fake_.missing = {137};
    SHShowDragImage(TRUE);
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.lookups[137], 2);
    fake_.missing.clear();
    SHShowDragImage(TRUE);
    SHShowDragImage(FALSE);
    fake_.missing = {137};  // kept also when the shell would no longer find it
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.lookups[137], 3);
    EXPECT_EQ(fake_.calls.size(), 3u);
    // SHShowDragImage does not look at the shell version.
    DragShell newer(DragPath::kSystemHelper, FakeFinder);
    const ScopedDragShellOverride inner(newer);
    fake_.missing.clear();
    SHShowDragImage(TRUE);
    ASSERT_EQ(fake_.calls.size(), 4u);
    EXPECT_EQ(fake_.calls[3].first, TRUE);
}

TEST_F(OldShellDrag, DoDragDropPreparesRunsAndResetsInThatOrder) {
    TestDataObject data;
    TestDropSource dropSource(DRAGDROP_S_DROP);
    DWORD effect = 0;
    EXPECT_EQ(VtlsSHDoDragDrop(target_.get(), POINT{10, 20}, &data, &dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE,
                               &effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "the loop's effect reaches the caller";
    ASSERT_EQ(fake_.Ordinals(), (std::vector<WORD>{177, 88, 136}));
    EXPECT_EQ(fake_.calls[0].window, target_.get());
    EXPECT_TRUE(Points({fake_.calls[0]}) == (std::vector<POINT>{{110, 220}})) << "screen coordinates";
    const ShellCall& loop = fake_.calls[1];
    EXPECT_TRUE(loop.window == target_.get() && loop.data == &data && loop.source == &dropSource &&
                loop.first == (DROPEFFECT_COPY | DROPEFFECT_MOVE) && loop.effect == &effect);
    EXPECT_TRUE(fake_.calls[2].first == 0 && fake_.calls[2].second == 255);
    fake_.calls.clear();
    fake_.loopResult = DRAGDROP_S_CANCEL;
    EXPECT_EQ(VtlsSHDoDragDrop(target_.get(), POINT{0, 0}, &data, nullptr, DROPEFFECT_COPY, &effect), DRAGDROP_S_CANCEL);
    ASSERT_EQ(fake_.calls.size(), 3u);
    EXPECT_EQ(fake_.calls[1].source, nullptr) << "no source: the shell uses its own";
}

// Without any one export nothing is called; a fault gives E_FAIL, and the image
// is still reset.
TEST_F(OldShellDrag, DoDragDropFailsWhenAnExportIsMissingOrFaults) {
    TestDataObject data;
    DWORD effect = 0;
    for (WORD missing : {88, 136, 177}) {
        DragShell fresh(DragPath::kOldShell, FakeFinder);
        const ScopedDragShellOverride inner(fresh);
        fake_.missing = {missing};
        EXPECT_EQ(VtlsSHDoDragDrop(target_.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect), E_FAIL);
        EXPECT_TRUE(fake_.calls.empty()) << "without " << missing;
    }
    fake_.missing.clear();
    const std::pair<WORD, std::vector<WORD>> faults[] = {{177, {177, 136}}, {88, {177, 88, 136}}, {136, {177, 88, 136}}};
    for (const auto& [faulting, called] : faults) {
        fake_.calls.clear();
        fake_.behaviour = {{faulting, faulting == 88 ? Behaviour::kAccessViolation : Behaviour::kStubException}};
        EXPECT_EQ(VtlsSHDoDragDrop(target_.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect), E_FAIL);
        EXPECT_EQ(fake_.Ordinals(), called) << "fault in " << faulting;
    }
}

TEST_F(OldShellDrag, TheSystemPathNeverCallsTheOrdinals) {
    DragShell newer(DragPath::kSystemHelper, FakeFinder);
    const ScopedDragShellOverride inner(newer);
    fake_.lookups.clear();
    TestDataObject data;
    DWORD effect = 0;
    // No drop source: the platform's drag loop refuses, and that is the answer.
    EXPECT_EQ(VtlsSHDoDragDrop(target_.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect),
              DoDragDrop(&data, nullptr, DROPEFFECT_COPY, &effect));
    ComPtr<IDropTargetHelper> ours, direct;
    EXPECT_EQ(SHGetDropTargetHelper(ours.put()),
              CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                               IID_IDropTargetHelper, reinterpret_cast<void**>(direct.put())));
    EXPECT_TRUE(fake_.calls.empty() && fake_.lookups.empty());
}

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
    EXPECT_EQ(helper->Drop(nullptr, &cursor, 0), S_OK);
    // Wine's ordinal 177 is a stub that raises when called: caught, E_FAIL, and
    // the loop does not run after a fault in preparing the image.
    TestDataObject data;
    TestDropSource source(DRAGDROP_S_CANCEL);
    DWORD effect = 0;
    const HRESULT dragged = VtlsSHDoDragDrop(window.get(), POINT{5, 5}, &data, &source, DROPEFFECT_COPY, &effect);
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
        EXPECT_EQ(dragged, E_FAIL);
        EXPECT_EQ(source.asked, 0);
    }
}

}  // namespace
}  // namespace vtls::ui
