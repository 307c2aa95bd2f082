// SHGetIconLocationFromClass: where the icon of a COM class is, from the class's
// registration: its declared default icon, else the first icon of its local
// server's executable, else of its in-process server's module.
#include <cstddef>
#include <initializer_list>

#include "VantrelSh.h"
#include "icons/portable/icon_location_text.h"
#include "base/unique_resource.h"

namespace {

using vtls::icons::CopyTruncated;
using vtls::icons::ParseIconLocation;

constexpr int kClassIdChars = 40;
constexpr int kKeyPathChars = 128;
constexpr DWORD kValueBytes = 2048;

constexpr wchar_t kDefaultIconKey[] = L"CLSID\\%s\\DefaultIcon";
constexpr wchar_t kLocalServerKey[] = L"CLSID\\%s\\LocalServer32";
constexpr wchar_t kInprocServerKey[] = L"CLSID\\%s\\InprocServer32";

// 2048 bytes of text and one character more that the registry never writes, so
// that a value stored without a terminator still ends inside the buffer.
struct ValueText {
    wchar_t chars[kValueBytes / sizeof(wchar_t) + 1] = {};
    DWORD bytes = 0;

    [[nodiscard]] std::size_t Chars() const noexcept { return bytes / sizeof(wchar_t); }
};

// The default value of the class's key made from format, if it is text. S_FALSE
// when it is larger than the buffer; registry failures as the registry
// functions map them, a value of another type as STG_E_FILENOTFOUND.
[[nodiscard]] HRESULT ReadDefaultValue(const wchar_t* classId, const wchar_t* format, ValueText* text) noexcept {
    wchar_t path[kKeyPathChars];
    wsprintfW(path, format, classId);
    vtls::UniqueRegKey key;
    const HRESULT opened = VtlsRegOpenKey(HKEY_CLASSES_ROOT, path, key.put(), MAXIMUM_ALLOWED);
    if (FAILED(opened)) {
        return opened;
    }
    text->bytes = kValueBytes;
    return VtlsRegQueryValue(key.get(), nullptr, REG_SZ, text->chars, &text->bytes);
}

}  // namespace

extern "C" HRESULT WINAPI SHGetIconLocationFromClass(REFCLSID classId, LPWSTR path, UINT capacity, INT* index) {
    if (index == nullptr || (path == nullptr && capacity != 0)) {
        return E_INVALIDARG;
    }
    wchar_t classText[kClassIdChars] = {};
    StringFromGUID2(classId, classText, kClassIdChars);

    ValueText text;
    HRESULT result = ReadDefaultValue(classText, kDefaultIconKey, &text);
    if (result == S_OK) {
        result = ParseIconLocation(text.chars, text.Chars(), path, capacity, index);
    }
    // A server's path is the module itself, taken whole with its first icon;
    // S_FALSE (a value too long to read) ends the search too.
    for (const wchar_t* serverKey : {kLocalServerKey, kInprocServerKey}) {
        if (SUCCEEDED(result)) {
            break;
        }
        result = ReadDefaultValue(classText, serverKey, &text);
        if (result == S_OK) {
            CopyTruncated(path, capacity, text.chars, text.Chars());
            *index = 0;
        }
    }
    return result;
}
