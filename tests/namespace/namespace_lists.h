// Item identifier lists for the namespace tests, built byte by byte.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "list_bytes.h"

namespace vtls::test {

// The namespace root's root-item list, byte for byte: cb 18, the class id
// {BC99C20F-9257-11D3-A28A-080021322581} in memory order, the terminator.
inline const Bytes kNamespaceRootList = {0x12, 0x00, 0x0F, 0xC2, 0x99, 0xBC, 0x57, 0x92, 0xD3, 0x11, 0xA2,
                                         0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81, 0x00, 0x00};

inline Bytes RootItem(const CLSID& classId) {
    Bytes item(18, 0);
    item[0] = 18;
    std::memcpy(item.data() + 2, &classId, sizeof classId);
    return item;
}

// An item of the given payload bytes.
inline Bytes RawItem(std::initializer_list<std::uint8_t> payload) {
    Bytes item{static_cast<std::uint8_t>(payload.size() + 2), 0};
    item.insert(item.end(), payload);
    return item;
}

// The 6-byte item with which the tests' peers answer the stored result.
inline Bytes ResultItem(HRESULT result) {
    Bytes item(6, 0);
    item[0] = 6;
    std::memcpy(item.data() + 2, &result, sizeof result);
    return item;
}

inline LPCITEMIDLIST Pidl(const Bytes& list) { return reinterpret_cast<LPCITEMIDLIST>(list.data()); }

// A list's bytes with its terminator.
inline Bytes Copy(LPCITEMIDLIST list) {
    const auto* at = reinterpret_cast<const std::uint8_t*>(list);
    std::size_t size = 0;
    while (at[size] != 0 || at[size + 1] != 0) {
        size += at[size] | (at[size + 1] << 8);
    }
    return Bytes(at, at + size + 2);
}

inline std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

// What the task allocator says it handed out for a block.
inline SIZE_T AllocatedSize(const void* memory) {
    IMalloc* allocator = nullptr;
    if (FAILED(CoGetMalloc(1, &allocator))) {
        return 0;
    }
    const SIZE_T size = allocator->GetSize(const_cast<void*>(memory));
    allocator->Release();
    return size;
}

}  // namespace vtls::test
