#include "registry/copy_key_tree.h"

#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "registry/new_key.h"
#include "registry/portable/reg_result.h"

namespace vtls::registry {
namespace {

constexpr DWORD kClassChars = 260;
constexpr DWORD kNameChars = 260;
constexpr DWORD kDataBytes = 4096;
// KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | DELETE
constexpr REGSAM kDestinationAccess = 0x0001000F;

HRESULT Mapped(LONG error) noexcept { return HResultFromRegError(static_cast<DWORD>(error)); }

// The source's numbers of subkeys and values, read with its class: the loops
// below stop after that many entries instead of asking once more to hear that
// there are none, one round trip to the registry less per loop. (A source that
// is changed while it is copied was never copied as of one moment.) Listing
// subkeys needs a right that reading the counts does not: a key without
// subkeys is still asked once, so that a key that may not be listed fails the
// copy as before.
struct Counts {
    DWORD subkeys;
    DWORD values;
};

// Where the copy's key is made: under the caller's parent, which may already
// hold the name, or under a key this copy has just created, which holds only
// what the copy puts there.
enum class Parent { kCallers, kNewCopy };

HRESULT CopyTree(HKEY source, HKEY destParent, LPCWSTR destName, Parent parent, HKEY* out) noexcept;

// Below a new key no name can be taken by anything but another process racing
// the copy, and that key is deleted with the failed copy either way: the key is
// created without first looking for it, one round trip less per key.
LONG CreateTarget(HKEY destParent, LPCWSTR destName, LPCWSTR keyClass, Parent parent, HKEY* out) noexcept {
    if (parent == Parent::kCallers) {
        return CreateNewKey(destParent, destName, keyClass, kDestinationAccess, out);
    }
    DWORD disposition = 0;
    const LONG error = RegCreateKeyExW(destParent, destName, 0, const_cast<LPWSTR>(keyClass), REG_OPTION_NON_VOLATILE,
                                       kDestinationAccess, nullptr, out, &disposition);
    if (error == ERROR_SUCCESS && disposition != REG_CREATED_NEW_KEY) {
        RegCloseKey(*out);
        *out = nullptr;
        return ERROR_FILE_EXISTS;
    }
    return error;
}

// Subkeys first, so that each key exists before anything below it.
HRESULT CopySubkeys(HKEY source, HKEY target, DWORD count) noexcept {
    for (DWORD index = 0; index < count || index == 0; ++index) {
        WCHAR name[kNameChars];
        DWORD nameChars = kNameChars;
        const LONG error = RegEnumKeyExW(source, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) {
            return S_OK;
        }
        if (error != ERROR_SUCCESS) {
            return Mapped(error);
        }
        UniqueRegKey subkey;
        HRESULT result = VtlsRegOpenKey(source, name, subkey.put(), MAXIMUM_ALLOWED);
        if (SUCCEEDED(result)) {
            result = CopyTree(subkey.get(), target, name, Parent::kNewCopy, nullptr);
        }
        if (FAILED(result)) {
            return result;
        }
    }
    return S_OK;
}

HRESULT CopyValues(HKEY source, HKEY target, DWORD count) noexcept {
    for (DWORD index = 0; index < count; ++index) {
        WCHAR name[kNameChars];
        BYTE data[kDataBytes];
        DWORD nameChars = kNameChars;
        DWORD dataBytes = kDataBytes;
        DWORD type = REG_NONE;
        const LONG error = RegEnumValueW(source, index, name, &nameChars, nullptr, &type, data, &dataBytes);
        if (error == ERROR_NO_MORE_ITEMS) {
            return S_OK;
        }
        // Larger names or data report ERROR_MORE_DATA and end the copy here.
        if (error != ERROR_SUCCESS) {
            return Mapped(error);
        }
        const LONG written = RegSetValueExW(target, name, 0, type, data, dataBytes);
        if (written != ERROR_SUCCESS) {
            return Mapped(written);
        }
    }
    return S_OK;
}

HRESULT CopyTree(HKEY source, HKEY destParent, LPCWSTR destName, Parent parent, HKEY* out) noexcept {
    if (out != nullptr) {
        *out = nullptr;
    }
    WCHAR keyClass[kClassChars];
    DWORD classChars = kClassChars;
    Counts counts{};
    LONG error = RegQueryInfoKeyW(source, keyClass, &classChars, nullptr, &counts.subkeys, nullptr, nullptr,
                                  &counts.values, nullptr, nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) {
        return Mapped(error);
    }
    UniqueRegKey target;
    error = CreateTarget(destParent, destName, keyClass, parent, target.put());
    if (error != ERROR_SUCCESS) {
        // Nothing was created; an existing destination stays untouched.
        return Mapped(error);
    }
    HRESULT result = CopySubkeys(source, target.get(), counts.subkeys);
    if (SUCCEEDED(result)) {
        result = CopyValues(source, target.get(), counts.values);
    }
    if (FAILED(result)) {
        target.reset();
        // A failed copy leaves nothing behind; its own error is what matters.
        static_cast<void>(VtlsRegDeleteKey(destParent, destName));
        return result;
    }
    if (out != nullptr) {
        *out = target.release();
    }
    return S_OK;
}

}  // namespace

HRESULT CopyKeyTree(HKEY source, HKEY destParent, LPCWSTR destName, HKEY* out) noexcept {
    return CopyTree(source, destParent, destName, Parent::kCallers, out);
}

}  // namespace vtls::registry
