// vtls_probe: loads VantrelSh.dll into a fresh process on request and reports
// what it saw, one "key value..." line each, for the tests in the parent process.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "frame/unique_resource.h"
#include "icons/icon_inspection.h"
#include "support/process_resources.h"

namespace {

using vtls::UniqueModule;

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

UniqueModule LoadLibraryUnderTest(const wchar_t* name = L"VantrelSh.dll") {
    return UniqueModule(LoadLibraryW(name));
}

// Loads the DLL, optionally after the shell, and reports what loading changed
// and what the library derived from the shell it found.
int LoadReport(bool preloadShell) {
    UniqueModule shell;
    if (preloadShell) {
        shell.reset(LoadLibraryW(L"shell32.dll"));
    }
    const vtls::test::ProcessResources before = vtls::test::MeasureProcess();
    const UniqueModule library = LoadLibraryUnderTest();
    if (!library) {
        std::printf("load-error %lu\n", GetLastError());
        return 1;
    }
    const vtls::test::ProcessResources after = vtls::test::MeasureProcess();
    // Loaded now means loaded during attach: before it, or as one of the DLL's imports.
    std::printf("shell32-at-load %d\n", GetModuleHandleW(L"shell32.dll") != nullptr ? 1 : 0);
    std::printf("threads-added %d\n", static_cast<int>(after.threads - before.threads));
    std::printf("windows-added %d\n", static_cast<int>(after.topLevelWindows - before.topLevelWindows));

    using GetVersionFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    using FlagFn = BOOL(WINAPI*)();
    DWORD platform = 0, major = 0, minor = 0;
    Export<GetVersionFn>(library.get(), "SHGetVersion")(&platform, &major, &minor);
    std::printf("version %lu %lu %lu\n", platform, major, minor);
    std::printf("flags %d %d %d\n", Export<FlagFn>(library.get(), "SHIsNT")(),
                Export<FlagFn>(library.get(), "SHIsIntegratedIE")(),
                Export<FlagFn>(library.get(), "SHIsWin2000")());
    return 0;
}

int ClipboardIds() {
    // Whether the data-transfer stream format exists before and after the load:
    // the library registers it although no export hands it out.
    const wchar_t* const streamFormat = L"OPCSTMFORMATDATATIME";
    std::printf("stream-format-before %d\n", GlobalFindAtomW(streamFormat) != 0 ? 1 : 0);
    const UniqueModule library = LoadLibraryUnderTest();
    if (!library) {
        return 1;
    }
    std::printf("stream-format-after %d\n", GlobalFindAtomW(streamFormat) != 0 ? 1 : 0);
    using GetFormatFn = UINT(WINAPI*)(void*);  // FORMATETC*, unused here
    for (const char* name : {"VtlsGetItemIDFormat", "VtlsGetItemIDListFormat", "VtlsGetDataSourceFormat",
                             "VtlsGetDataSourceListFormat", "VtlsGetServerFormat", "VtlsGetTextFormat"}) {
        std::printf("%s %u\n", name, Export<GetFormatFn>(library.get(), name)(nullptr));
    }
    return 0;
}

// Loads and unloads the library many times; what stays behind is a leak.
int LoadUnloadCycles(int cycles, const wchar_t* name) {
    // The shell stays loaded, as in every process that uses the library, so each
    // cycle maps and unmaps the DLL itself rather than the shell's whole tree.
    const UniqueModule shell(LoadLibraryW(L"shell32.dll"));
    LoadLibraryUnderTest(name);  // the first load settles the loader's own caches
    const vtls::test::ProcessResources before = vtls::test::MeasureProcess();
    for (int i = 0; i < cycles; ++i) {
        const UniqueModule library = LoadLibraryUnderTest(name);
        if (!library) {
            return 1;
        }
    }
    const vtls::test::ProcessResources after = vtls::test::MeasureProcess();
    std::printf("handles-added %lld\n", static_cast<long long>(after.handles) - static_cast<long long>(before.handles));
    std::printf("pagefile-added %lld\n",
                static_cast<long long>(after.pagefileBytes) - static_cast<long long>(before.pagefileBytes));
    std::printf("handles-counted %d\n", before.handles > 0 ? 1 : 0);
    return 0;
}

// The shell icon settings as this fresh process's copy of the library read them.
int IconMetrics() {
    const UniqueModule library = LoadLibraryUnderTest();
    const auto useHighColor = Export<BOOL(WINAPI*)()>(library.get(), "SHUseHighColorIcons");
    const auto metrics = Export<int(WINAPI*)(int)>(library.get(), "SHGetSystemMetrics");
    if (useHighColor == nullptr || metrics == nullptr) {
        return 1;
    }
    std::printf("high-color %d\n", useHighColor());
    std::printf("cx-icon %d\n", metrics(SM_CXICON));
    return 0;
}

// Icons of a module's icon group as this fresh process's copy of the library
// makes them: size, and which image of the icon fixture they came from.
int ExtractIcon(const wchar_t* path, int index) {
    const UniqueModule library = LoadLibraryUnderTest();
    using ExtractFn = HRESULT(WINAPI*)(LPCWSTR, INT, HICON*, HICON*);
    const auto extract = Export<ExtractFn>(library.get(), "SHExtractIcon");
    if (extract == nullptr) {
        return 1;
    }
    HICON icons[2] = {};
    std::printf("result 0x%08lX\n", static_cast<unsigned long>(extract(path, index, &icons[0], &icons[1])));
    const char* const names[2] = {"large", "small"};
    for (int i = 0; i < 2; ++i) {
        if (icons[i] == nullptr) {
            continue;
        }
        const vtls::test::IconShape shape = vtls::test::ShapeOf(icons[i]);
        const vtls::test::FixtureImage image = vtls::test::IdentifyImage(icons[i]);
        std::printf("%s %d %d group %d image %d depth %d\n", names[i], shape.width, shape.height, image.group,
                    image.size, image.depth);
        DestroyIcon(icons[i]);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {

    if (argc >= 2 && std::wcscmp(argv[1], L"load-report") == 0) {
        return LoadReport(argc >= 3 && std::wcscmp(argv[2], L"--preload-shell") == 0);
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"clipboard-ids") == 0) {
        return ClipboardIds();
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"load-unload") == 0) {
        return LoadUnloadCycles(_wtoi(argv[2]), argc >= 4 ? argv[3] : L"VantrelSh.dll");
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"icon-metrics") == 0) {
        return IconMetrics();
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"extract-icon") == 0) {
        return ExtractIcon(argv[2], _wtoi(argv[3]));
    }
    std::fprintf(stderr,
                 "usage: vtls_probe load-report [--preload-shell] | clipboard-ids | load-unload N [dll] | "
                 "icon-metrics | extract-icon <module> <index>\n");
    return 2;
}
