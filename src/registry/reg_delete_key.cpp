// VtlsRegDeleteKey: a key with everything below it, as much as can be deleted.
#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "registry/portable/reg_result.h"

namespace {

constexpr DWORD kNameChars = 260;

// Counts failures and keeps the first one, which is what the caller sees.
struct FirstError {
    DWORD failures = 0;
    HRESULT first = S_OK;
    void note(HRESULT result) noexcept {
        if (failures++ == 0) {
            first = result;
        }
    }
};

}  // namespace

extern "C" HRESULT WINAPI VtlsRegDeleteKey(HKEY parent, LPCWSTR name) {
    // An empty name would name the parent itself.
    if (parent == nullptr || name == nullptr || name[0] == L'\0') {
        return E_INVALIDARG;
    }
    vtls::UniqueRegKey key;
    const HRESULT opened = VtlsRegOpenKey(parent, name, key.put(), MAXIMUM_ALLOWED);
    if (FAILED(opened)) {
        return opened;
    }
    FirstError errors;
    DWORD index = 0;
    for (;;) {
        WCHAR subkey[kNameChars];
        DWORD capacity = kNameChars;
        const LONG error = RegEnumKeyExW(key.get(), index, subkey, &capacity, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_SUCCESS) {
            const HRESULT deleted = VtlsRegDeleteKey(key.get(), subkey);
            if (FAILED(deleted)) {
                // Skip the blocked branch; its siblings still go.
                errors.note(deleted);
                ++index;
            }
            // Otherwise the next subkey has moved into this index.
            continue;
        }
        if (error == ERROR_NO_MORE_ITEMS) {
            const LONG removed = RegDeleteKeyW(parent, name);
            if (removed != ERROR_SUCCESS) {
                errors.note(vtls::registry::HResultFromRegError(static_cast<DWORD>(removed)));
            }
        } else {
            errors.note(vtls::registry::HResultFromRegError(static_cast<DWORD>(error)));
        }
        break;
    }
    return errors.failures == 0 ? S_OK : errors.first;
}
