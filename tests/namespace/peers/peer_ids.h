// What the tests and their COM peers agree on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The namespace root's class id, which the test folder serves.
inline constexpr CLSID kRootClassId{0xBC99C20F, 0x9257, 0x11D3, {0xA2, 0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81}};
inline constexpr CLSID kItemServerClassId{0x41356770, 0xCBD0, 0x11D2,
                                          {0xA0, 0x34, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81}};
// Signalled by the tests when they are done with the server.
inline constexpr wchar_t kItemServerQuitEvent[] = L"VtlsTestItemServer.Quit";

// The items of a list in hex, without the terminator, as the peers report what
// they were given; "null" for no list.
inline std::string HexItems(const void* list) {
    if (list == nullptr) return "null";
    const auto* at = static_cast<const unsigned char*>(list);
    std::size_t size = 0;
    while (at[size] != 0 || at[size + 1] != 0) size += at[size] | (at[size + 1] << 8);
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += "0123456789abcdef"[at[i] >> 4];
        text += "0123456789abcdef"[at[i] & 15];
    }
    return text;
}
