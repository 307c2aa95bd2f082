// Menu merging: the same cases through our SHMergeMenu and through shell32's
// Shell_MergeMenus (found by its ordinal, 67), with a table of where the
// results differ; then both timed on a large merge.
//
// Each timed run merges into a fresh copy of the destination; building and
// destroying the menus is outside the timed part. The two candidates alternate
// run by run, so drift from other load on the machine falls on both alike.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "bench_clock.h"

namespace {

// Shell_MergeMenus takes its flags as a ULONG, 32 bits like our UINT.
using MergeFunction = UINT(WINAPI*)(HMENU destination, HMENU source, UINT insert, UINT idAdjust, UINT idAdjustMax,
                                    UINT flags);
constexpr WORD kShellMergeMenusOrdinal = 67;

constexpr int kTimedRuns = 501;
constexpr int kWarmupRuns = 5;

// ---- Menus ----------------------------------------------------------------------

// A separator when text is empty; a popup when items is not empty (an item
// with submenu items but no text is not used).
struct Item {
    std::wstring text;
    UINT id = 0;
    std::vector<Item> items;
};
Item Sep() { return {}; }
Item Cmd(std::wstring text, UINT id) { return {std::move(text), id, {}}; }
Item Pop(std::wstring text, UINT id, std::vector<Item> items) { return {std::move(text), id, std::move(items)}; }

HMENU Build(const std::vector<Item>& items) {
    HMENU menu = CreatePopupMenu();
    UINT position = 0;
    for (const Item& item : items) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        if (item.text.empty()) {
            info.fMask = MIIM_FTYPE;
            info.fType = MFT_SEPARATOR;
        } else {
            info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | (item.items.empty() ? 0 : MIIM_SUBMENU);
            info.fType = MFT_STRING;
            info.wID = item.id;
            info.hSubMenu = item.items.empty() ? nullptr : Build(item.items);
            info.dwTypeData = const_cast<wchar_t*>(item.text.c_str());
        }
        InsertMenuItemW(menu, position++, TRUE, &info);
    }
    return menu;
}

// "text:id" per item ("<n chars>" for long texts), "-" for a separator, a
// submenu in brackets, items joined by '|'.
std::string Describe(HMENU menu) {
    std::string out;
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[1024] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 1024;
        if (position > 0) {
            out += '|';
        }
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) {
            out += '?';
            continue;
        }
        if ((info.fType & MFT_SEPARATOR) != 0) {
            out += '-';
            continue;
        }
        const std::wstring wide(text);
        out += wide.size() > 24 ? "<" + std::to_string(wide.size()) + " chars>" : std::string(wide.begin(), wide.end());
        out += ':' + std::to_string(info.wID);
        if (info.hSubMenu != nullptr) {
            out += '[' + Describe(info.hSubMenu) + ']';
        }
    }
    return out;
}

// ---- The comparison table ---------------------------------------------------------

struct Case {
    const char* name;
    std::vector<Item> destination;
    std::vector<Item> source;
    UINT insert;
    UINT idAdjust;
    UINT idAdjustMax;
    UINT flags;
};

std::vector<Case> Cases() {
    const std::wstring longText(200, L'W');
    const std::vector<Item> ab = {Cmd(L"A", 1), Cmd(L"B", 2)};
    const std::vector<Item> abc = {Cmd(L"A", 1), Cmd(L"B", 2), Cmd(L"C", 3)};
    const std::vector<Item> aSepB = {Cmd(L"A", 1), Sep(), Cmd(L"B", 2)};
    const std::vector<Item> xy = {Cmd(L"X", 5), Cmd(L"Y", 9)};
    const std::vector<Item> withSub = {Cmd(L"X", 5), Pop(L"Sub", 7, {Cmd(L"S1", 11), Sep(), Cmd(L"S2", 12)})};
    return {
        {"append past the end, trailing separator", ab, {Cmd(L"X", 5), Cmd(L"Y", 9), Sep()}, 99, 100, 1000, 0},
        {"append with ADDSEPARATOR", ab, xy, 2, 100, 1000, SHMM_ADDSEPARATOR},
        {"ADDSEPARATOR, source starts with one", ab, {Sep(), Cmd(L"X", 5)}, 2, 100, 1000, SHMM_ADDSEPARATOR},
        {"middle of a menu, no flags", abc, {Cmd(L"X", 5)}, 1, 100, 1000, 0},
        {"middle of a menu, ADDSEPARATOR", abc, {Cmd(L"X", 5)}, 1, 100, 1000, SHMM_ADDSEPARATOR},
        {"separator at the insertion point", aSepB, {Cmd(L"X", 5), Sep()}, 1, 100, 1000, 0},
        {"separator above, ADDSEPARATOR", aSepB, {Sep(), Cmd(L"X", 5)}, 2, 100, 1000, SHMM_ADDSEPARATOR},
        {"at the top, separators around", ab, {Sep(), Cmd(L"X", 5), Sep()}, 0, 100, 1000, SHMM_ADDSEPARATOR},
        {"at the top, only separators", ab, {Sep(), Sep()}, 0, 100, 1000, 0},
        {"middle, only separators", abc, {Sep(), Sep()}, 1, 100, 1000, 0},
        {"ids 5 and 9 into 100..1000", ab, xy, 2, 100, 1000, 0},
        {"id range ends at 105", ab, xy, 2, 100, 105, 0},
        {"id range ends below every id", ab, xy, 2, 100, 104, 0},
        {"submenu, no SUBMENUSHAVEIDS", ab, withSub, 2, 100, 1000, 0},
        {"submenu with SUBMENUSHAVEIDS", ab, withSub, 2, 100, 1000, SHMM_SUBMENUSHAVEIDS},
        {"submenu id out of range", ab, withSub, 2, 100, 106, SHMM_SUBMENUSHAVEIDS},
        {"text of 200 characters", ab, {Cmd(longText, 5)}, 2, 100, 1000, 0},
        {"empty destination", {}, xy, 0, 100, 1000, SHMM_ADDSEPARATOR},
    };
}

struct Outcome {
    UINT result;
    std::string menu;
};

Outcome Run(MergeFunction merge, const Case& c) {
    HMENU destination = Build(c.destination);
    HMENU source = Build(c.source);
    const UINT result = merge(destination, source, c.insert, c.idAdjust, c.idAdjustMax, c.flags);
    Outcome outcome{result, Describe(destination)};
    DestroyMenu(destination);
    DestroyMenu(source);
    return outcome;
}

int CompareCases(MergeFunction shell) {
    std::printf("%-42s %8s %8s  %s\n", "case", "ours", "shell32", "menus");
    int differing = 0;
    for (const Case& c : Cases()) {
        const Outcome ours = Run(SHMergeMenu, c);
        const Outcome peer = Run(shell, c);
        const bool same = ours.result == peer.result && ours.menu == peer.menu;
        std::printf("%-42s %8u %8u  %s\n", c.name, ours.result, peer.result, same ? "same" : "DIFFER");
        if (!same) {
            ++differing;
            std::printf("%44s ours:    %s\n%44s shell32: %s\n", "", ours.menu.c_str(), "", peer.menu.c_str());
        }
    }
    std::printf("%d of %zu cases differ\n", differing, Cases().size());
    return differing;
}

// ---- Timing -------------------------------------------------------------------------

using vtls::bench::CounterSeconds;
using vtls::bench::Percentile;

// A 50-item destination; a 200-item source of which 20 open submenus of five
// items, with a separator after every 25 items.
std::vector<Item> LargeDestination() {
    std::vector<Item> items;
    for (UINT i = 1; i <= 50; ++i) {
        items.push_back(Cmd(L"Host command " + std::to_wstring(i), i));
    }
    return items;
}
std::vector<Item> LargeSource() {
    std::vector<Item> items;
    for (UINT i = 1; i <= 200; ++i) {
        if (i % 10 == 0) {
            std::vector<Item> sub;
            for (UINT k = 1; k <= 5; ++k) {
                sub.push_back(Cmd(L"Property " + std::to_wstring(k), 1000 + i * 10 + k));
            }
            items.push_back(Pop(L"Browse group " + std::to_wstring(i / 10), i, std::move(sub)));
        } else if (i % 25 == 0) {
            items.push_back(Sep());
        } else {
            items.push_back(Cmd(L"OPC item command " + std::to_wstring(i), i));
        }
    }
    return items;
}

double TimeOnce(MergeFunction merge, HMENU source, const std::vector<Item>& destinationItems, UINT& result) {
    HMENU destination = Build(destinationItems);
    const double start = CounterSeconds();
    result = merge(destination, source, 25, 100, 0x7FFF, SHMM_ADDSEPARATOR | SHMM_SUBMENUSHAVEIDS);
    const double seconds = CounterSeconds() - start;
    DestroyMenu(destination);
    return seconds;
}

void TimeLargeMerge(MergeFunction shell) {
    const std::vector<Item> destinationItems = LargeDestination();
    HMENU source = Build(LargeSource());
    std::vector<double> ours;
    std::vector<double> peer;
    UINT oursResult = 0;
    UINT peerResult = 0;
    std::vector<double> ratios;
    for (int run = 0; run < kWarmupRuns + kTimedRuns; ++run) {
        // Each goes first every other run.
        double o = 0;
        double p = 0;
        if (run % 2 == 0) {
            o = TimeOnce(SHMergeMenu, source, destinationItems, oursResult);
            p = TimeOnce(shell, source, destinationItems, peerResult);
        } else {
            p = TimeOnce(shell, source, destinationItems, peerResult);
            o = TimeOnce(SHMergeMenu, source, destinationItems, oursResult);
        }
        if (run >= kWarmupRuns) {
            ours.push_back(o);
            peer.push_back(p);
            ratios.push_back(o / p);
        }
    }
    DestroyMenu(source);
    const double oursMedian = Percentile(ours, 0.5);
    const double peerMedian = Percentile(peer, 0.5);
    std::printf("\nMerging a 200-item source with 20 submenus into a 50-item menu (%d runs each):\n", kTimedRuns);
    std::printf("%-30s %10s %10s %10s %8s\n", "", "p10 ms", "median ms", "p90 ms", "result");
    std::printf("%-30s %10.3f %10.3f %10.3f %8u\n", "ours (SHMergeMenu)", Percentile(ours, 0.1) * 1e3,
                oursMedian * 1e3, Percentile(ours, 0.9) * 1e3, oursResult);
    std::printf("%-30s %10.3f %10.3f %10.3f %8u\n", "shell32 (Shell_MergeMenus)", Percentile(peer, 0.1) * 1e3,
                peerMedian * 1e3, Percentile(peer, 0.9) * 1e3, peerResult);
    // On a loaded machine the median wanders; the fastest tenth is disturbed least.
    std::printf("ours / shell32: %.2f (medians), %.2f (p10), %.3f (median of the per-run ratios)\n",
                oursMedian / peerMedian, Percentile(ours, 0.1) / Percentile(peer, 0.1), Percentile(ratios, 0.5));
}

}  // namespace

int main() {
    const HMODULE shell32 = LoadLibraryW(L"shell32.dll");
    const auto shell = reinterpret_cast<MergeFunction>(reinterpret_cast<void*>(
        shell32 != nullptr ? GetProcAddress(shell32, MAKEINTRESOURCEA(kShellMergeMenusOrdinal)) : nullptr));
    if (shell == nullptr) {
        std::printf("shell32 has no export with ordinal %u\n", kShellMergeMenusOrdinal);
        return 1;
    }
    std::printf("Menu merging: SHMergeMenu (ours) and shell32's Shell_MergeMenus (ordinal %u)\n"
                "on the same menus; result values and the destination menus afterwards.\n\n",
                kShellMergeMenusOrdinal);
    CompareCases(shell);
    TimeLargeMerge(shell);
    return 0;
}
