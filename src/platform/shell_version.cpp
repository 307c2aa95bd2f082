// SHGetVersion and the three version flags.
#include <optional>

#include <shlwapi.h>

#include "VantrelSh.h"
#include "base/loaded_shell.h"
#include "platform/process_flags.h"
#include "platform/portable/version_rules.h"

namespace {

std::optional<std::uint32_t> SystemPlatform() noexcept {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) {
        return std::nullopt;
    }
    return info.dwPlatformId;
}

std::optional<vtls::frame::ShellVersion> ShellReportedVersion() noexcept {
    const auto getVersion = vtls::FindLoadedShellFunction<DLLGETVERSIONPROC>("DllGetVersion");
    if (getVersion == nullptr) {
        return std::nullopt;
    }
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    if (getVersion(&info) != S_OK) {
        return std::nullopt;
    }
    return vtls::frame::ShellVersion{info.dwPlatformID, info.dwMajorVersion, info.dwMinorVersion};
}

static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(sizeof(DLLVERSIONINFO) == 20);

}  // namespace

extern "C" void WINAPI SHGetVersion(DWORD* platform, DWORD* major, DWORD* minor) {
    const vtls::frame::ShellVersion version =
        vtls::frame::ResolveShellVersion(SystemPlatform(), ShellReportedVersion());
    // All three are required; a missing one is skipped rather than written through.
    if (platform != nullptr) *platform = version.platform;
    if (major != nullptr) *major = version.major;
    if (minor != nullptr) *minor = version.minor;
}

extern "C" BOOL WINAPI SHIsNT() { return vtls::g_bIsNT; }

extern "C" BOOL WINAPI SHIsIntegratedIE() { return vtls::g_bIsIntegratedIE; }

extern "C" BOOL WINAPI SHIsWin2000() { return vtls::g_bIsWin2000; }
