// How the platform and shell versions become the three process flags.
// Portable: the Windows side gathers the numbers, these rules decide.
#pragma once

#include <cstdint>
#include <optional>

namespace vtls::frame {

// Platform codes of DLLVERSIONINFO, equal to VER_PLATFORM_WIN32_WINDOWS / _NT.
inline constexpr std::uint32_t kPlatformWindows = 1;
inline constexpr std::uint32_t kPlatformNT = 2;

struct ShellVersion {
    std::uint32_t platform;
    std::uint32_t major;
    std::uint32_t minor;

    friend constexpr bool operator==(const ShellVersion& a, const ShellVersion& b) noexcept {
        return a.platform == b.platform && a.major == b.major && a.minor == b.minor;
    }
};

// What is reported when neither the system nor the shell says otherwise:
// a Windows 95 family system with shell 4.0.
inline constexpr ShellVersion kDefaultShellVersion{kPlatformWindows, 4, 0};

// The process flags, each 0 or 1 as the exported BOOL readers return them.
struct ProcessFlags {
    std::int32_t isNT;
    std::int32_t isIntegratedIE;
    std::int32_t isWin2000;
};

// osPlatform: what GetVersionExW reported, absent if it failed.
// shellReport: what shell32's DllGetVersion reported, absent if the shell is not
// loaded, has no DllGetVersion, or the call failed. A shell report wins whole,
// including its platform code.
[[nodiscard]] ShellVersion ResolveShellVersion(std::optional<std::uint32_t> osPlatform,
                                               std::optional<ShellVersion> shellReport) noexcept;

// Integrated shell from 4.71 on, Windows 2000 shell from major 5 on; all unsigned.
[[nodiscard]] ProcessFlags DeriveProcessFlags(const ShellVersion& version) noexcept;

}  // namespace vtls::frame
