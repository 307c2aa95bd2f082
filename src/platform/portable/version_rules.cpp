#include "platform/portable/version_rules.h"

namespace vtls::frame {

ShellVersion ResolveShellVersion(std::optional<std::uint32_t> osPlatform,
                                 std::optional<ShellVersion> shellReport) noexcept {
    if (shellReport) {
        return *shellReport;
    }
    ShellVersion version = kDefaultShellVersion;
    if (osPlatform == kPlatformNT) {
        version.platform = kPlatformNT;
    }
    return version;
}

ProcessFlags DeriveProcessFlags(const ShellVersion& version) noexcept {
    const bool integrated = version.major > 4 || (version.major == 4 && version.minor >= 71);
    return ProcessFlags{
        version.platform == kPlatformNT ? 1 : 0,
        integrated ? 1 : 0,
        version.major >= 5 ? 1 : 0,
    };
}

}  // namespace vtls::frame
