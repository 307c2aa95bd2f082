// The one mapping from registry error codes to the library's results. Portable:
// the codes are plain numbers, named here because <winerror.h> is not available.
#pragma once

#include <cstdint>

#include "base/portable/result_codes.h"

namespace vtls::registry {

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorKeyDeleted = 1018;

inline constexpr result::Code kStgFileNotFound = result::FromBits(0x80030002u);
inline constexpr result::Code kStgAccessDenied = result::FromBits(0x80030005u);
inline constexpr result::Code kStgFileAlreadyExists = result::FromBits(0x80030050u);

// Callers turn codes they treat specially (more data, no more items) into
// S_FALSE first; everything unknown here is E_UNEXPECTED.
[[nodiscard]] result::Code HResultFromRegError(std::uint32_t error) noexcept;

}  // namespace vtls::registry
