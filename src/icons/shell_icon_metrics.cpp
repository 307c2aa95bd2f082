// The shell's own large-icon size and colour depth, chosen by the user apart
// from the system icon metrics: read once at attach for icon extraction, and on
// every SHGetSystemMetrics call so a changed setting shows at once.
#include <cwchar>

#include "VantrelSh.h"
#include "icons/shell_icon_metrics.h"
#include "base/unique_resource.h"

namespace vtls {
namespace {

constexpr wchar_t kWindowMetricsKey[] = L"Control Panel\\Desktop\\WindowMetrics";
constexpr wchar_t kShellIconSize[] = L"Shell Icon Size";
constexpr wchar_t kShellIconBpp[] = L"Shell Icon BPP";
constexpr int kSmallestShellIcon = 16;
constexpr int kLargestShellIcon = 72;

// 96 bytes of text, plus one character the registry never writes, so the
// conversion always meets a terminator even when the stored text has none.
struct MetricText {
    static constexpr DWORD kBytes = 96;
    wchar_t chars[kBytes / sizeof(wchar_t) + 1] = {};

    [[nodiscard]] BYTE* bytes() noexcept { return reinterpret_cast<BYTE*>(chars); }
    // One decimal field, as the setting is written by the display control panel.
    [[nodiscard]] bool ToNumber(int* number) const noexcept { return swscanf(chars, L"%d", number) == 1; }
};

[[nodiscard]] bool ReadRaw(HKEY key, const wchar_t* name, MetricText* text) noexcept {
    DWORD size = MetricText::kBytes;
    return RegQueryValueExW(key, name, nullptr, nullptr, text->bytes(), &size) == ERROR_SUCCESS;
}

[[nodiscard]] bool ReadShellIconSize(int* size) noexcept {
    UniqueRegKey key;
    if (FAILED(VtlsRegOpenKey(HKEY_CURRENT_USER, kWindowMetricsKey, key.put(), MAXIMUM_ALLOWED))) {
        return false;
    }
    MetricText text;
    DWORD bytes = MetricText::kBytes;
    return VtlsRegQueryValue(key.get(), kShellIconSize, REG_SZ, text.bytes(), &bytes) == S_OK &&
           text.ToNumber(size) && *size >= kSmallestShellIcon && *size <= kLargestShellIcon;
}

}  // namespace

void InitShellIconMetrics() noexcept {
    g_bHighColorIcons = FALSE;
    g_nShellIconSize = GetSystemMetrics(SM_CXICON);

    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWindowMetricsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return;
    }
    MetricText text;
    int bitsPerPixel = 0;
    if (ReadRaw(key.get(), kShellIconBpp, &text) && text.ToNumber(&bitsPerPixel) && bitsPerPixel > 4) {
        g_bHighColorIcons = TRUE;
    }
    MetricText sizeText;
    if (ReadRaw(key.get(), kShellIconSize, &sizeText)) {
        int size = g_nShellIconSize;
        if (sizeText.ToNumber(&size)) {
            g_nShellIconSize = size;
        }
        // Taken as unsigned, a negative size lands above the range too.
        const auto asUnsigned = static_cast<unsigned>(g_nShellIconSize);
        if (asUnsigned > kLargestShellIcon || asUnsigned < kSmallestShellIcon) {
            g_nShellIconSize = GetSystemMetrics(SM_CXICON);
        }
    }
}

}  // namespace vtls

extern "C" int WINAPI SHGetSystemMetrics(int index) {
    int size = 0;
    if (index == SM_CXICON && vtls::ReadShellIconSize(&size)) {
        return size;
    }
    return GetSystemMetrics(index);
}

extern "C" BOOL WINAPI SHUseHighColorIcons() { return vtls::g_bHighColorIcons; }
