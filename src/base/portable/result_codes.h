// Result codes shared by the portable rules and the Windows side. The portable
// code cannot include <winerror.h>, so the values the library reports are named
// here once; they are the platform's HRESULT values bit for bit.
#pragma once

#include <cstdint>

namespace vtls::result {

using Code = std::int32_t;

[[nodiscard]] constexpr Code FromBits(std::uint32_t bits) noexcept {
    return static_cast<Code>(bits);
}

inline constexpr Code kOk = 0;
inline constexpr Code kFalse = 1;
inline constexpr Code kInvalidArg = FromBits(0x80070057u);
inline constexpr Code kOutOfMemory = FromBits(0x8007000Eu);
inline constexpr Code kFail = FromBits(0x80004005u);
inline constexpr Code kNotImpl = FromBits(0x80004001u);
inline constexpr Code kNoInterface = FromBits(0x80004002u);
inline constexpr Code kUnexpected = FromBits(0x8000FFFFu);

inline constexpr Code kDvFormatEtc = FromBits(0x80040064u);
inline constexpr Code kDvLindex = FromBits(0x80040068u);
inline constexpr Code kDvTymed = FromBits(0x80040069u);
inline constexpr Code kDvDvaspect = FromBits(0x8004006Bu);

[[nodiscard]] constexpr bool Succeeded(Code code) noexcept { return code >= 0; }

}  // namespace vtls::result
