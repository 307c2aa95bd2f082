#include "icons/portable/icon_location_text.h"

namespace vtls::icons {
namespace {

// The C library's white space in the "C" locale, which "%lu" skips.
template <typename Char>
[[nodiscard]] bool IsSpace(Char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%lu" with the 32-bit unsigned long of the Windows C library: optional white
// space and sign, then decimal digits. A minus sign negates in unsigned
// arithmetic, so "-1" gives 0xFFFFFFFF. A number beyond 32 bits is undefined for
// scanf; it gives 0xFFFFFFFF here, whatever the sign, as strtoul answers it.
template <typename Char>
[[nodiscard]] bool ConvertUnsigned(const Char* at, const Char* end, std::uint32_t* value) noexcept {
    while (at != end && IsSpace(*at)) {
        ++at;
    }
    bool negative = false;
    if (at != end && (*at == '+' || *at == '-')) {
        negative = *at == '-';
        ++at;
    }
    if (at == end || *at < '0' || *at > '9') {
        return false;
    }
    std::uint64_t number = 0;
    bool overflow = false;
    for (; at != end && *at >= '0' && *at <= '9'; ++at) {
        number = number * 10 + static_cast<std::uint64_t>(*at - '0');
        if (number > 0xFFFFFFFFu) {
            overflow = true;
            number = 0xFFFFFFFFu;
        }
    }
    const auto magnitude = static_cast<std::uint32_t>(number);
    *value = overflow || !negative ? magnitude : 0u - magnitude;
    return true;
}

}  // namespace

template <typename Char>
void CopyTruncated(Char* destination, std::size_t capacity, const Char* source, std::size_t sourceChars) noexcept {
    if (destination == nullptr || capacity == 0) {
        return;
    }
    std::size_t copied = 0;
    while (copied + 1 < capacity && copied < sourceChars && source[copied] != 0) {
        destination[copied] = source[copied];
        ++copied;
    }
    destination[copied] = 0;
}

template <typename Char>
result::Code ParseIconLocation(Char* text, std::size_t textChars, Char* path, std::size_t capacity,
                               std::int32_t* index) noexcept {
    std::size_t length = 0;
    while (length < textChars && text[length] != 0) {
        ++length;
    }
    std::size_t comma = 0;
    while (comma < length && text[comma] != ',' && text[comma] != '\n') {
        ++comma;
    }
    if (comma == length || text[comma] == '\n') {
        return result::kFail;
    }
    text[comma] = 0;
    CopyTruncated(path, capacity, text, comma);
    std::uint32_t value = 0;
    if (!ConvertUnsigned(text + comma + 1, text + length, &value)) {
        return result::kFail;
    }
    *index = static_cast<std::int32_t>(value);
    return result::kOk;
}

template void CopyTruncated(char16_t*, std::size_t, const char16_t*, std::size_t) noexcept;
template void CopyTruncated(wchar_t*, std::size_t, const wchar_t*, std::size_t) noexcept;
template result::Code ParseIconLocation(char16_t*, std::size_t, char16_t*, std::size_t, std::int32_t*) noexcept;
template result::Code ParseIconLocation(wchar_t*, std::size_t, wchar_t*, std::size_t, std::int32_t*) noexcept;

}  // namespace vtls::icons
