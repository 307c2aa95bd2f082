#include "registry/portable/reg_result.h"

namespace vtls::registry {

result::Code HResultFromRegError(std::uint32_t error) noexcept {
    switch (error) {
    case kErrorSuccess:
        return result::kOk;
    case kErrorFileNotFound:
    case kErrorKeyDeleted:  // a key deleted under an open handle is gone as well
        return kStgFileNotFound;
    case kErrorAccessDenied:
        return kStgAccessDenied;
    case kErrorFileExists:
        return kStgFileAlreadyExists;
    default:
        return result::kUnexpected;
    }
}

}  // namespace vtls::registry
