// Which FORMATETC the library accepts for its clipboard formats. Portable: the
// Windows side copies the fields out of the platform structure.
#pragma once

#include <cstdint>

#include "base/portable/result_codes.h"

namespace vtls::frame {

inline constexpr std::uint32_t kTymedHGlobal = 1;    // TYMED_HGLOBAL
inline constexpr std::uint32_t kAspectContent = 1;   // DVASPECT_CONTENT
inline constexpr std::int32_t kLindexAll = -1;
inline constexpr std::uint32_t kClipboardText = 1;   // CF_TEXT

// The FORMATETC fields the check reads; the target device is never examined.
struct FormatEtcFields {
    std::uint16_t cfFormat;
    std::uint32_t aspect;
    std::int32_t lindex;
    std::uint32_t tymed;
};

// First failing test wins, in this order: format, medium, aspect, index.
// The medium is a bit set (global memory must be among the offered media);
// the aspect is compared for equality.
[[nodiscard]] result::Code CheckFormatEtc(std::uint32_t formatId,
                                          const FormatEtcFields& fields) noexcept;

}  // namespace vtls::frame
