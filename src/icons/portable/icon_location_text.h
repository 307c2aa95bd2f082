// The text of a class's "DefaultIcon" value: a module path, a comma, an icon
// index in decimal. Portable: the characters are UTF-16 code units of whichever
// type the caller holds them in (wchar_t on Windows, char16_t elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/portable/result_codes.h"

namespace vtls::icons {

// Copies source, up to its terminator or sourceChars, into destination as
// lstrcpyn does: at most capacity - 1 characters and a terminator; nothing at
// all when capacity is 0 or destination is null.
template <typename Char>
void CopyTruncated(Char* destination, std::size_t capacity, const Char* source, std::size_t sourceChars) noexcept;

// Splits text (textChars at most; it ends earlier at a terminator) at its first
// comma, which is overwritten with a terminator, copies the path before it with
// CopyTruncated and converts the number after it as "%lu" does into *index.
// E_FAIL when a line feed comes before any comma, when there is no comma, or
// when no number follows it (the path is copied by then). index must not be null.
template <typename Char>
[[nodiscard]] result::Code ParseIconLocation(Char* text, std::size_t textChars, Char* path, std::size_t capacity,
                                             std::int32_t* index) noexcept;

extern template void CopyTruncated(char16_t*, std::size_t, const char16_t*, std::size_t) noexcept;
extern template void CopyTruncated(wchar_t*, std::size_t, const wchar_t*, std::size_t) noexcept;
extern template result::Code ParseIconLocation(char16_t*, std::size_t, char16_t*, std::size_t,
                                               std::int32_t*) noexcept;
extern template result::Code ParseIconLocation(wchar_t*, std::size_t, wchar_t*, std::size_t,
                                               std::int32_t*) noexcept;

}  // namespace vtls::icons
