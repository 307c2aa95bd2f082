// What the role probe's "echo" server answers: one child named "child<value>"
// under the requested parent, built here the same way so replies can be compared
// byte for byte.
#pragma once

#include <string>

#include "VantrelSh.h"
#include "list_bytes.h"

namespace vtls::test {

inline Bytes EchoAnswer(DWORD value, LPCITEMIDLIST parent) {
    const GUID guid{value, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const std::wstring name = L"child" + std::to_wstring(value);
    LPITEMIDLIST child = VtlsCreateID(name.c_str(), 5, value, &guid, 0, nullptr);
    LPCITEMIDLIST children[] = {child};
    const HGLOBAL block = SHCreateCIDA(parent, 1, children);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block));
    Bytes expected(bytes, bytes + GlobalSize(block));
    GlobalUnlock(block);
    GlobalFree(block);
    VtlsSHFree(child);
    return expected;
}

}  // namespace vtls::test
