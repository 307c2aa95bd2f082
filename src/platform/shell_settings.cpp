// SHGetSettings2: the shell's folder settings with a classic-style fallback.
#include <cstring>

#include "VantrelSh.h"
#include "base/loaded_shell.h"

namespace {

using GetSettingsFunction = void(WINAPI*)(LPSHELLFLAGSTATE, DWORD);

constexpr unsigned char kWin95ClassicBit = 0x80;  // bit 7 of the first byte
constexpr DWORD kAllSettings = 0xFFFFFFFF;

static_assert(sizeof(SHELLFLAGSTATE) == 4);

}  // namespace

extern "C" void WINAPI SHGetSettings2(LPSHELLFLAGSTATE state) {
    if (state == nullptr) {
        return;
    }
    unsigned char classic[sizeof(SHELLFLAGSTATE)] = {kWin95ClassicBit, 0, 0, 0};
    std::memcpy(state, classic, sizeof(classic));
    // Looked up on every call: the shell may be loaded after the library.
    if (const auto getSettings = vtls::FindLoadedShellFunction<GetSettingsFunction>("SHGetSettings")) {
        getSettings(state, kAllSettings);
    }
}
