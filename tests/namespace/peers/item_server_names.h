// What the tests and the test local server agree on.
#pragma once

#include <windows.h>

inline constexpr CLSID kItemServerClassId{0x41356770, 0xCBD0, 0x11D2,
                                          {0xA0, 0x34, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81}};
// Signalled by the tests when they are done with the server.
inline constexpr wchar_t kItemServerQuitEvent[] = L"VtlsTestItemServer.Quit";
