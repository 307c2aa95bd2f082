#include "registry/new_key.h"

#include <cwchar>

#include "base/unique_resource.h"

namespace vtls::registry {
namespace {

constexpr DWORD kMaxNameChars = 255;  // the platform's limit for one key name

// Opens parent\path[0, length), creating missing levels one at a time: a
// multi-level RegCreateKeyExW in Wine rewrites the class of existing levels.
// *out stays null when the range names no level.
LONG OpenOrCreateLevels(HKEY parent, LPCWSTR path, size_t length, REGSAM view, HKEY* out) noexcept {
    *out = nullptr;
    UniqueRegKey current;
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && path[end] != L'\\') {
            ++end;
        }
        const size_t chars = end - start;
        if (chars > kMaxNameChars) {
            return ERROR_INVALID_PARAMETER;
        }
        if (chars != 0) {
            WCHAR name[kMaxNameChars + 1];
            std::wmemcpy(name, path + start, chars);
            name[chars] = L'\0';
            const HKEY at = current ? current.get() : parent;
            HKEY next = nullptr;
            LONG error = RegOpenKeyExW(at, name, 0, KEY_CREATE_SUB_KEY | view, &next);
            if (error == ERROR_FILE_NOT_FOUND) {
                error = RegCreateKeyExW(at, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_CREATE_SUB_KEY | view,
                                        nullptr, &next, nullptr);
            }
            if (error != ERROR_SUCCESS) {
                return error;
            }
            current.reset(next);
        }
        start = end + 1;
    }
    *out = current.release();
    return ERROR_SUCCESS;
}

}  // namespace

LONG CreateNewKey(HKEY parent, LPCWSTR path, LPCWSTR keyClass, REGSAM access, HKEY* out) noexcept {
    *out = nullptr;
    const REGSAM view = access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    // No rights are needed to learn that the key exists.
    UniqueRegKey probe;
    const LONG opened = RegOpenKeyExW(parent, path, 0, view, probe.put());
    if (opened == ERROR_SUCCESS) {
        return ERROR_FILE_EXISTS;
    }
    if (opened != ERROR_FILE_NOT_FOUND) {
        return opened;
    }
    // The last level is new; only it is created with the class.
    UniqueRegKey levels;
    LPCWSTR leaf = path;
    if (const wchar_t* last = std::wcsrchr(path, L'\\'); last != nullptr) {
        const LONG error = OpenOrCreateLevels(parent, path, static_cast<size_t>(last - path), view, levels.put());
        if (error != ERROR_SUCCESS) {
            return error;
        }
        leaf = last + 1;
    }
    UniqueRegKey created;
    DWORD disposition = 0;
    const LONG error = RegCreateKeyExW(levels ? levels.get() : parent, leaf, 0, const_cast<LPWSTR>(keyClass),
                                       REG_OPTION_NON_VOLATILE, access, nullptr, created.put(), &disposition);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // Someone else created it between the open and the create.
    if (disposition != REG_CREATED_NEW_KEY) {
        return ERROR_FILE_EXISTS;
    }
    *out = created.release();
    return ERROR_SUCCESS;
}

}  // namespace vtls::registry
