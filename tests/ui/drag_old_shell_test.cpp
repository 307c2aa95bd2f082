// The older shell's path of the drag functions, chosen through the test seam,
// with the shell's ordinal exports played by recording functions (which can be
// missing, or fault when called).
#include <gtest/gtest.h>

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
    std::pair<LONG, LONG> point{};
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
BOOL WINAPI Fake131(HWND window, POINT point) { return Record({131, window, {point.x, point.y}}); }
BOOL WINAPI Fake132() { return Record({132}); }
BOOL WINAPI Fake134(POINT point) { return Record({134, nullptr, {point.x, point.y}}); }
BOOL WINAPI Fake136(INT_PTR first, INT_PTR second) { return Record({136, nullptr, {}, first, second}); }
BOOL WINAPI Fake137(BOOL show) { return Record({137, nullptr, {}, show}); }
BOOL WINAPI Fake177(HWND window, POINT point) { return Record({177, window, {point.x, point.y}}); }

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

using Points = std::vector<std::pair<LONG, LONG>>;
Points PointsOf(const std::vector<ShellCall>& calls) {
    Points points;
    for (const ShellCall& call : calls) points.push_back(call.point);
    return points;
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

// Points go relative to the entered window and drop ends as leave does; null
// points are refused without calling the shell. Missing exports fail enter and
// over and are skipped elsewhere; faults in the shell are reported the same way.
TEST_F(OldShellDrag, ShellCallsFollowTheHelperAndOnlyEnterAndOverFail) {
    EXPECT_EQ(Sequence(target_.get()), std::vector<HRESULT>(7, S_OK));
    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{131, 134, 132, 134, 132, 134, 137}));
    EXPECT_EQ(fake_.calls[0].window, target_.get());
    EXPECT_TRUE(PointsOf(fake_.calls) == (Points{{10, 20}, {10, 20}, {}, {10, 20}, {}, {10, 20}, {}}));
    EXPECT_EQ(fake_.calls[6].first, FALSE);
    fake_.calls.clear();
    EXPECT_EQ(helper_->DragEnter(target_.get(), nullptr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(helper_->DragOver(nullptr, 0), E_INVALIDARG);
    EXPECT_TRUE(fake_.calls.empty());

    // Found exports are kept: a fresh binding for the missing ones.
    DragShell fresh(DragPath::kOldShell, FakeFinder);
    const ScopedDragShellOverride inner(fresh);
    const std::vector<HRESULT> expected = {E_FAIL, E_FAIL, S_OK, E_FAIL, S_OK, E_FAIL, S_OK};
    fake_.missing = {131, 132, 134, 137};
    EXPECT_EQ(Sequence(target_.get()), expected);
    SHShowDragImage(TRUE);
    EXPECT_TRUE(fake_.calls.empty());
    // The window was kept although the shell could not be told.
    fake_.missing = {131};
    POINT cursor{110, 220};
    EXPECT_EQ(helper_->DragOver(&cursor, 0), S_OK);
    EXPECT_TRUE(PointsOf(fake_.calls) == (Points{{10, 20}}));
    fake_.calls.clear();
    fake_.missing.clear();
    fake_.behaviour = {{131, Behaviour::kAccessViolation}, {134, Behaviour::kStubException},
                       {132, Behaviour::kAccessViolation}, {137, Behaviour::kStubException}};
    EXPECT_EQ(Sequence(target_.get()), expected);
    SHShowDragImage(TRUE);
    EXPECT_EQ(fake_.Ordinals(), (std::vector<WORD>{131, 134, 132, 134, 132, 134, 137, 137}));
}

// Prepare, loop, reset; without any one export nothing is called; a fault gives
// E_FAIL, skips the loop after a failed preparation, and still resets the image.
// A found export is kept, so a fresh binding is installed for each missing one.
TEST_F(OldShellDrag, DoDragDropPreparesRunsAndResetsInThatOrder) {
    TestDataObject data;
    TestDropSource dropSource(DRAGDROP_S_DROP);
    DWORD effect = 0;
    EXPECT_EQ(VtlsSHDoDragDrop(target_.get(), POINT{10, 20}, &data, &dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE,
                               &effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "the loop's effect reaches the caller";
    ASSERT_EQ(fake_.Ordinals(), (std::vector<WORD>{177, 88, 136}));
    EXPECT_TRUE(fake_.calls[0].window == target_.get() && fake_.calls[0].point == std::make_pair(110L, 220L));
    const ShellCall& loop = fake_.calls[1];
    EXPECT_TRUE(loop.window == target_.get() && loop.data == &data && loop.source == &dropSource &&
                loop.first == (DROPEFFECT_COPY | DROPEFFECT_MOVE) && loop.effect == &effect);
    EXPECT_TRUE(fake_.calls[2].first == 0 && fake_.calls[2].second == 255);
    for (WORD missing : {88, 136, 177}) {
        DragShell fresh(DragPath::kOldShell, FakeFinder);
        const ScopedDragShellOverride inner(fresh);
        fake_.calls.clear();
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
    // The system's path never looks the ordinals up.
    DragShell newer(DragPath::kSystemHelper, FakeFinder);
    const ScopedDragShellOverride inner(newer);
    fake_.lookups.clear();
    static_cast<void>(VtlsSHDoDragDrop(target_.get(), POINT{1, 1}, &data, nullptr, DROPEFFECT_COPY, &effect));
    EXPECT_TRUE(fake_.lookups.empty());
}

}  // namespace
}  // namespace vtls::ui
