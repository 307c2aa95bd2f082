// Item lists built byte by byte for the namespace tests, and the COM set-up
// their peers need.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "base/unique_resource.h"
#include "list_bytes.h"
#include "support/child_process.h"
#include "support/registry_scratch.h"

namespace vtls::test {

// The namespace root's root-item list: cb 18, the class id
// {BC99C20F-9257-11D3-A28A-080021322581} in memory order, the terminator.
inline const Bytes kNamespaceRootList = {0x12, 0x00, 0x0F, 0xC2, 0x99, 0xBC, 0x57, 0x92, 0xD3, 0x11, 0xA2,
                                         0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81, 0x00, 0x00};

inline Bytes RootItem(const CLSID& classId) {
    Bytes item(18, 0);
    item[0] = 18;
    std::memcpy(item.data() + 2, &classId, sizeof classId);
    return item;
}

inline Bytes RawItem(std::initializer_list<std::uint8_t> payload) {
    Bytes item{static_cast<std::uint8_t>(payload.size() + 2), 0};
    item.insert(item.end(), payload);
    return item;
}

// The 6-byte item the tests' peers answer with the result stored in it.
inline Bytes ResultItem(HRESULT result) {
    Bytes item = RawItem({0, 0, 0, 0});
    std::memcpy(item.data() + 2, &result, sizeof result);
    return item;
}

// An item of size cb whose bytes are otherwise zero.
inline Bytes SizedItem(std::uint8_t cb) {
    Bytes item(cb, 0);
    item[0] = cb;
    return item;
}

inline LPCITEMIDLIST Pidl(const Bytes& list) { return reinterpret_cast<LPCITEMIDLIST>(list.data()); }

inline std::string Hex(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 15];
    }
    return text;
}

// A class served by a program of the test suite, for one scope.
class ServerRegistration : public ClassKey {
public:
    ServerRegistration(const CLSID& id, const wchar_t* serverKey, const std::wstring& command)
        : ClassKey(id), ok_(SetText(serverKey, nullptr, command) == ERROR_SUCCESS && Visible(serverKey)) {}
    [[nodiscard]] bool ok() const { return ok_; }

private:
    bool ok_;
};

// COM on the test's thread for one scope.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    [[nodiscard]] HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

}  // namespace vtls::test
