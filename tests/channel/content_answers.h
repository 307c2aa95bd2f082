// Content requests from this process, and what the probe's "echo" server
// answers them: one child named "child<value>" under the requested parent,
// built here the same way so replies can be compared byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "VantrelSh.h"
#include "channel/portable/content_message.h"
#include "list_bytes.h"

namespace vtls::test {

struct ClientRole {
    ClientRole() { EXPECT_EQ(VtlsCliInitialize(), S_OK); }
    ~ClientRole() { VtlsTerminate(); }
};

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

struct Answer {
    HRESULT hr;
    Bytes reply;  // empty on failure
    DWORD ms;
};

// VtlsGetContentInSync for a folder. The library hands out only a CIDA that
// holds together, so its packed size bounds the reply; a failure leaves none.
inline Answer AskInSync(DWORD value, LPCITEMIDLIST folder = nullptr) {
    CIDA* reply = reinterpret_cast<CIDA*>(1);
    const DWORD start = GetTickCount();
    const HRESULT hr = VtlsGetContentInSync(folder, value, &reply);
    const DWORD ms = GetTickCount() - start;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply);
    const auto size = hr == S_OK && bytes ? channel::PackedCidaSize(bytes, 1 << 20) : std::nullopt;
    Answer answer{hr, size ? Bytes(bytes, bytes + *size) : Bytes{}, ms};
    if (hr != S_OK) {
        EXPECT_EQ(reply, nullptr);
    }
    CoTaskMemFree(hr == S_OK ? reply : nullptr);
    return answer;
}

}  // namespace vtls::test
