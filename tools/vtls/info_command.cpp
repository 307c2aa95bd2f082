// vtls info: what the library found out about this process's platform.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "arguments.h"
#include "commands.h"
#include "console.h"

namespace vtls::tool {
namespace {

struct FileVersion {
    WORD major, minor, patch, build;
};

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::optional<FileVersion> ReadFileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return FileVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                       HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

const char* PlatformName(DWORD platform) {
    switch (platform) {
        case VTLS_PLATFORM_WINDOWS: return "Windows 95 family";
        case VTLS_PLATFORM_NT: return "Windows NT family";
        default: return "other";
    }
}

// What shell32 says of itself, with the build number the library does not keep.
void PrintShellSelfReport() {
    const HMODULE shell = GetModuleHandleW(L"shell32.dll");
    const auto getVersion = shell == nullptr ? nullptr
                                             : reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(
                                                   GetProcAddress(shell, "DllGetVersion")));
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    if (getVersion == nullptr || getVersion(&info) != S_OK) {
        Out("  shell32 reports   (nothing)\n");
        return;
    }
    Out(Format("  shell32 reports   %lu.%lu build %lu, platform %lu\n", info.dwMajorVersion,
               info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformID));
}

void PrintVersion() {
    DWORD platform = 0, major = 0, minor = 0;
    SHGetVersion(&platform, &major, &minor);
    Out("Shell\n");
    PrintShellSelfReport();
    Out(Format("  version           %lu.%lu\n", major, minor));
    Out(Format("  platform          %lu (%s)\n", platform, PlatformName(platform)));
    Out(Format("  SHIsNT            %d\n", SHIsNT()));
    Out(Format("  SHIsIntegratedIE  %d\n", SHIsIntegratedIE()));
    Out(Format("  SHIsWin2000       %d\n", SHIsWin2000()));
}

void PrintSettings() {
    SHELLFLAGSTATE state{};
    SHGetSettings2(&state);
    DWORD raw = 0;
    static_assert(sizeof(raw) == sizeof(state));
    std::memcpy(&raw, &state, sizeof(raw));
    struct Flag {
        const char* name;
        bool set;
    };
    const Flag flags[] = {
        {"fShowAllObjects", state.fShowAllObjects != 0},
        {"fShowExtensions", state.fShowExtensions != 0},
        {"fNoConfirmRecycle", state.fNoConfirmRecycle != 0},
        {"fShowSysFiles", state.fShowSysFiles != 0},
        {"fShowCompColor", state.fShowCompColor != 0},
        {"fDoubleClickInWebView", state.fDoubleClickInWebView != 0},
        {"fDesktopHTML", state.fDesktopHTML != 0},
        {"fWin95Classic", state.fWin95Classic != 0},
        {"fDontPrettyPath", state.fDontPrettyPath != 0},
        {"fShowAttribCol", state.fShowAttribCol != 0},
        {"fMapNetDrvBtn", state.fMapNetDrvBtn != 0},
        {"fShowInfoTip", state.fShowInfoTip != 0},
        {"fHideIcons", state.fHideIcons != 0},
    };
    std::string set;
    for (const Flag& flag : flags) {
        if (flag.set) {
            set += set.empty() ? "" : " ";
            set += flag.name;
        }
    }
    // The shell's own answer over a cleared structure. This call also makes the
    // tool import shell32, so the shell is loaded, as in every shell-side
    // process, before the library starts.
    SHELLFLAGSTATE shellOwn{};
    SHGetSettings(&shellOwn, 0xFFFFFFFF);
    DWORD shellRaw = 0;
    std::memcpy(&shellRaw, &shellOwn, sizeof(shellRaw));
    Out("Shell settings\n");
    Out(Format("  SHGetSettings2    0x%08lX  %s\n", raw, set.empty() ? "(none set)" : set.c_str()));
    Out(Format("  shell32 reports   0x%08lX\n", shellRaw));
}

std::string RegisteredName(UINT id) {
    if (id == 0) {
        return "(not registered)";
    }
    if (id < 0xC000) {
        return "(built-in)";
    }
    wchar_t name[256] = {};
    const int length = GetClipboardFormatNameW(id, name, static_cast<int>(std::size(name)));
    return "\"" + ToUtf8(std::wstring_view(name, static_cast<size_t>(length > 0 ? length : 0))) + "\"";
}

void PrintClipboardFormats() {
    struct FormatRow {
        const char* getter;
        UINT id;
    };
    // The data-transfer stream format has no getter; registering a known name
    // again only returns its id.
    const FormatRow formats[] = {
        {"VtlsGetItemIDFormat", VtlsGetItemIDFormat(nullptr)},
        {"VtlsGetItemIDListFormat", VtlsGetItemIDListFormat(nullptr)},
        {"VtlsGetDataSourceFormat", VtlsGetDataSourceFormat(nullptr)},
        {"VtlsGetDataSourceListFormat", VtlsGetDataSourceListFormat(nullptr)},
        {"(registered at load)", RegisterClipboardFormatW(VTLS_CFSTR_STMFORMATDATATIME)},
        {"VtlsGetServerFormat", VtlsGetServerFormat(nullptr)},
        {"VtlsGetTextFormat", VtlsGetTextFormat(nullptr)},
    };
    Out("Clipboard formats\n");
    for (const FormatRow& format : formats) {
        Out(Format("  0x%04X  %-28s %s\n", format.id, format.getter, RegisteredName(format.id).c_str()));
    }
}

bool PrintLibrary() {
    const HMODULE library = GetModuleHandleW(L"VantrelSh.dll");
    if (library == nullptr) {
        Err("vtls: VantrelSh.dll is not loaded in this process\n");
        return false;
    }
    const std::wstring path = ModulePath(library);
    Out("Library\n");
    Out(Format("  path              %s\n", ToUtf8(path).c_str()));
    if (const auto version = ReadFileVersion(path)) {
        Out(Format("  file version      %u.%u.%u.%u\n", version->major, version->minor, version->patch,
                   version->build));
    } else {
        Out("  file version      (no version resource)\n");
    }
    return true;
}

}  // namespace

int RunInfo(int argc, wchar_t** argv) {
    const ArgumentReader arguments("info",
                                   "usage: vtls info\n\nPrints the shell version and platform flags the library derived,\n"
                                   "the shell settings, the clipboard format ids with their registered\n"
                                   "names, and the path and file version of VantrelSh.dll.\n");
    return arguments.Run(argc, argv, [] {
        PrintVersion();
        PrintSettings();
        PrintClipboardFormats();
        return PrintLibrary() ? kExitOk : kExitFailure;
    });
}

}  // namespace vtls::tool
