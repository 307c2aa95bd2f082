#include "platform/portable/format_rules.h"

namespace vtls::frame {

result::Code CheckFormatEtc(std::uint32_t formatId, const FormatEtcFields& fields) noexcept {
    if (static_cast<std::uint32_t>(fields.cfFormat) != formatId) {
        return result::kDvFormatEtc;
    }
    if ((fields.tymed & kTymedHGlobal) == 0) {
        return result::kDvTymed;
    }
    if (fields.aspect != kAspectContent) {
        return result::kDvDvaspect;
    }
    if (fields.lindex != kLindexAll) {
        return result::kDvLindex;
    }
    return result::kOk;
}

}  // namespace vtls::frame
