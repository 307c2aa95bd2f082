// Icon extraction: SHExtractIcon against the platform's PrivateExtractIconsW and
// SHDefExtractIconW, each asked for the same large and small icon of the same
// group of the same file, in one process.
//
// Each call makes both icons, which are then destroyed (outside the timing).
// Calls are timed one by one and the candidates take turns, call by call, each
// in turn going first, so drift from other load on the machine falls on all of
// them alike; figures are medians per call.
//
// usage: icon_bench [module]   (default: the test fixture beside the program,
//                                then the system's shell32.dll)
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "bench_clock.h"

namespace {

constexpr int kWarmupCalls = 20;
constexpr int kTimedCalls = 401;

using vtls::bench::CounterSeconds;
using vtls::bench::Percentile;

struct IconPair {
    HICON large = nullptr;
    HICON small = nullptr;
    void Destroy() {
        for (HICON* icon : {&large, &small}) {
            if (*icon != nullptr) {
                DestroyIcon(*icon);
                *icon = nullptr;
            }
        }
    }
};

// One way of getting the pair; false when it did not make both icons.
struct Candidate {
    const char* name;
    bool (*extract)(const std::wstring& path, int index, int large, int small, IconPair& icons);
};

bool Ours(const std::wstring& path, int index, int, int, IconPair& icons) {
    return SHExtractIcon(path.c_str(), index, &icons.large, &icons.small) == S_OK;
}

bool Private(const std::wstring& path, int index, int large, int small, IconPair& icons) {
    // Two sizes in one call: the low words are the first icon's, the high
    // words the second's.
    HICON made[2] = {};
    UINT ids[2] = {};
    const UINT count = PrivateExtractIconsW(path.c_str(), index, MAKELONG(large, small), MAKELONG(large, small),
                                            made, ids, 2, 0);
    icons.large = made[0];
    icons.small = made[1];
    return count == 2 && made[0] != nullptr && made[1] != nullptr;
}

bool ShellDefault(const std::wstring& path, int index, int large, int small, IconPair& icons) {
    return SHDefExtractIconW(path.c_str(), index, 0, &icons.large, &icons.small, MAKELONG(large, small)) == S_OK;
}

constexpr Candidate kCandidates[] = {
    {"SHExtractIcon", Ours},
    {"PrivateExtractIconsW", Private},
    {"SHDefExtractIconW", ShellDefault},
};
constexpr std::size_t kCandidateCount = sizeof(kCandidates) / sizeof(kCandidates[0]);

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) {
        DeleteObject(info.hbmColor);
    }
    return bitmap.bmWidth;
}

// Times every candidate on one group; false when one of them failed.
bool MeasureGroup(const std::wstring& path, int index, int large, int small) {
    for (const Candidate& candidate : kCandidates) {
        IconPair icons;
        const bool made = candidate.extract(path, index, large, small, icons);
        const int largeWidth = IconWidth(icons.large);
        const int smallWidth = IconWidth(icons.small);
        icons.Destroy();
        if (!made || largeWidth != large || smallWidth != small) {
            std::printf("%s on group %d: %s (icons %d and %d px wide)\n", candidate.name, index,
                        made ? "wrong sizes" : "failed", largeWidth, smallWidth);
            return false;
        }
    }
    std::vector<double> seconds[kCandidateCount];
    for (int call = -kWarmupCalls; call < kTimedCalls; ++call) {
        // Each call starts with another candidate, so none always runs first.
        for (std::size_t turn = 0; turn < kCandidateCount; ++turn) {
            const std::size_t c = (turn + static_cast<std::size_t>(call + kWarmupCalls)) % kCandidateCount;
            IconPair icons;
            const double start = CounterSeconds();
            kCandidates[c].extract(path, index, large, small, icons);
            const double elapsed = CounterSeconds() - start;
            icons.Destroy();
            if (call >= 0) {
                seconds[c].push_back(elapsed);
            }
        }
    }
    const double ours = Percentile(seconds[0], 0.5);
    // Ours over each peer call by call (the calls of one turn ran side by side).
    std::vector<double> ratios[kCandidateCount];
    for (std::size_t c = 0; c < kCandidateCount; ++c) {
        for (std::size_t i = 0; i < seconds[c].size(); ++i) {
            ratios[c].push_back(seconds[0][i] / seconds[c][i]);
        }
    }
    std::printf("group %d, %d px + %d px\n", index, large, small);
    for (std::size_t c = 0; c < kCandidateCount; ++c) {
        const double median = Percentile(seconds[c], 0.5);
        std::printf("  %-22s median %8.1f us   p90 %8.1f us   SHExtractIcon / this %6.2f (per call %6.3f)\n",
                    kCandidates[c].name, median * 1e6, Percentile(seconds[c], 0.9) * 1e6, ours / median,
                    Percentile(ratios[c], 0.5));
    }
    return true;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> modules;
    if (argc > 1) {
        modules.push_back(argv[1]);
    } else {
        const std::wstring fixture = ProgramFolder() + L"\\vtls_icon_fixture.dll";
        if (Exists(fixture)) {
            modules.push_back(fixture);
        }
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        modules.push_back(std::wstring(system) + L"\\shell32.dll");
    }
    // The sizes SHExtractIcon makes: the shell's large size as this process
    // read it at load (no setting: the system's), the system's small size.
    const int large = SHGetSystemMetrics(SM_CXICON);
    const int small = GetSystemMetrics(SM_CXSMICON);
    bool ok = true;
    for (const std::wstring& module : modules) {
        std::printf("Icon extraction, %ls (median per call of a large and a small icon, %d calls each)\n",
                    module.c_str(), kTimedCalls);
        for (int index : {0, 2}) {
            ok = MeasureGroup(module, index, large, small) && ok;
        }
        std::printf("\n");
    }
    return ok ? 0 : 1;
}
