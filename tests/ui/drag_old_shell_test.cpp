// The older shell's path of the drag functions, chosen through the test seam,
// with the shell's ordinal exports played by recording functions (which can be
// missing, or fault when called).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "ui/drag_shell.h"

namespace vtls::ui {
namespace {

using Calls = std::vector<std::string>;
enum class Behaviour { kAccessViolation, kStubException };

// What reached the shell, one line per call: the ordinal and its arguments.
struct FakeShell {
    HWND target = nullptr;
    Calls calls;
    std::set<WORD> missing;
    std::map<WORD, Behaviour> behaviour;
};

FakeShell* g_fake = nullptr;
// On this path the library only hands the caller's objects on: markers will do.
const auto kData = reinterpret_cast<IDataObject*>(static_cast<ULONG_PTR>(0xDA7A00));
const auto kSource = reinterpret_cast<IDropSource*>(static_cast<ULONG_PTR>(0x5C0E00));

std::string Text(HWND window) { return window == g_fake->target ? " target" : " other"; }
std::string Text(POINT point) { return " " + std::to_string(point.x) + "," + std::to_string(point.y); }

// The results are what the shell's stubs answer; the library ignores them.
BOOL Record(WORD ordinal, const std::string& arguments = {}) {
    g_fake->calls.push_back(std::to_string(ordinal) + arguments);
    const auto found = g_fake->behaviour.find(ordinal);
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
    Record(88, Text(window) + (data == kData && source == kSource ? " data source " : " ? ") + std::to_string(allowed));
    if (effect != nullptr) *effect = DROPEFFECT_COPY;
    return DRAGDROP_S_DROP;
}
BOOL WINAPI Fake131(HWND window, POINT point) { return Record(131, Text(window) + Text(point)); }
BOOL WINAPI Fake132() { return Record(132); }
BOOL WINAPI Fake134(POINT point) { return Record(134, Text(point)); }
BOOL WINAPI Fake136(INT_PTR first, INT_PTR second) {
    return Record(136, " " + std::to_string(first) + " " + std::to_string(second));
}
BOOL WINAPI Fake137(BOOL show) { return Record(137, " " + std::to_string(show)); }
BOOL WINAPI Fake177(HWND window, POINT point) { return Record(177, Text(window) + Text(point)); }

FARPROC FakeFinder(HMODULE, WORD ordinal) {
    const std::map<WORD, void*> exports = {
        {88, reinterpret_cast<void*>(Fake88)},   {131, reinterpret_cast<void*>(Fake131)},
        {132, reinterpret_cast<void*>(Fake132)}, {134, reinterpret_cast<void*>(Fake134)},
        {136, reinterpret_cast<void*>(Fake136)}, {137, reinterpret_cast<void*>(Fake137)},
        {177, reinterpret_cast<void*>(Fake177)}};
    const auto found = exports.find(ordinal);
    return g_fake->missing.count(ordinal) != 0 || found == exports.end() ? nullptr
                                                                        : reinterpret_cast<FARPROC>(found->second);
}

struct WindowCloser {
    void operator()(HWND window) const { DestroyWindow(window); }
};

class OldShellDrag : public ::testing::Test {
protected:
    OldShellDrag() {
        g_fake = &fake_;
        fake_.target = target_.get();
    }
    ~OldShellDrag() override { g_fake = nullptr; }
    void SetUp() override { ASSERT_EQ(SHGetDropTargetHelper(helper_.put()), S_OK); }

    // Enter, over, leave, over, drop, over, show: what reaches the shell.
    std::vector<HRESULT> Sequence() {
        POINT cursor{110, 220};
        return {helper_->DragEnter(target_.get(), nullptr, &cursor, DROPEFFECT_COPY), helper_->DragOver(&cursor, 0),
                helper_->DragLeave(), helper_->DragOver(&cursor, 0), helper_->Drop(nullptr, &cursor, DROPEFFECT_MOVE),
                helper_->DragOver(&cursor, 0), helper_->Show(FALSE)};
    }
    HRESULT DoDrag(DWORD* effect) {
        return VtlsSHDoDragDrop(target_.get(), POINT{10, 20}, kData, kSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect);
    }

    // A borderless popup: its outer rectangle and client area start at (100, 200).
    const std::unique_ptr<HWND__, WindowCloser> target_{CreateWindowExW(
        0, L"STATIC", L"", WS_POPUP, 100, 200, 80, 60, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)};
    FakeShell fake_;
    DragShell shell_{DragPath::kOldShell, FakeFinder};
    ScopedDragShellOverride override_{shell_};
    ComPtr<IDropTargetHelper> helper_;
};

// Points go relative to the entered window and drop ends as leave does; null
// points are refused without calling the shell. Missing exports fail enter and
// over and are skipped elsewhere; faults in the shell are reported the same way.
TEST_F(OldShellDrag, ShellCallsFollowTheHelperAndOnlyEnterAndOverFail) {
    Calls all = {"131 target 10,20", "134 10,20", "132", "134 10,20", "132", "134 10,20", "137 0"};
    EXPECT_EQ(Sequence(), std::vector<HRESULT>(7, S_OK));
    EXPECT_EQ(fake_.calls, all);
    fake_.calls.clear();
    EXPECT_EQ(helper_->DragEnter(target_.get(), nullptr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(helper_->DragOver(nullptr, 0), E_INVALIDARG);
    EXPECT_TRUE(fake_.calls.empty());

    // Found exports are kept: a fresh binding for the missing ones.
    DragShell fresh(DragPath::kOldShell, FakeFinder);
    const ScopedDragShellOverride inner(fresh);
    const std::vector<HRESULT> expected = {E_FAIL, E_FAIL, S_OK, E_FAIL, S_OK, E_FAIL, S_OK};
    fake_.missing = {131, 132, 134, 137};
    EXPECT_EQ(Sequence(), expected);
    SHShowDragImage(TRUE);
    EXPECT_TRUE(fake_.calls.empty());
    fake_.missing.clear();
    fake_.behaviour = {{131, Behaviour::kAccessViolation}, {134, Behaviour::kStubException},
                       {132, Behaviour::kAccessViolation}, {137, Behaviour::kStubException}};
    EXPECT_EQ(Sequence(), expected);
    SHShowDragImage(TRUE);
    all.push_back("137 1");
    EXPECT_EQ(fake_.calls, all);
}

// Prepare, loop, reset; without any one export nothing is called; a fault gives
// E_FAIL, skips the loop after a failed preparation, and still resets the image.
// A found export is kept, so a fresh binding is installed for each missing one.
TEST_F(OldShellDrag, DoDragDropPreparesRunsAndResetsInThatOrder) {
    const std::string prepare = "177 target 110,220", loop = "88 target data source 3", reset = "136 0 255";
    DWORD effect = 0;
    EXPECT_EQ(DoDrag(&effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "the loop's effect reaches the caller";
    EXPECT_EQ(fake_.calls, (Calls{prepare, loop, reset}));
    for (WORD missing : {88, 136, 177}) {
        DragShell fresh(DragPath::kOldShell, FakeFinder);
        const ScopedDragShellOverride inner(fresh);
        fake_.calls.clear();
        fake_.missing = {missing};
        EXPECT_EQ(DoDrag(&effect), E_FAIL);
        EXPECT_TRUE(fake_.calls.empty()) << "without " << missing;
    }
    fake_.missing.clear();
    const std::pair<WORD, Calls> faults[] = {{177, {prepare, reset}}, {88, {prepare, loop, reset}},
                                             {136, {prepare, loop, reset}}};
    for (const auto& [faulting, called] : faults) {
        fake_.calls.clear();
        fake_.behaviour = {{faulting, faulting == 88 ? Behaviour::kAccessViolation : Behaviour::kStubException}};
        EXPECT_EQ(DoDrag(&effect), E_FAIL);
        EXPECT_EQ(fake_.calls, called) << "fault in " << faulting;
    }
}

}  // namespace
}  // namespace vtls::ui
