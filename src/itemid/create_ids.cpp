// VtlsCreateID, VtlsCreateWaitID and VtlsCreateErrorID: one-item lists of the
// library's own format, from the shell's task allocator.
#include <cwchar>

#include "VantrelSh.h"
#include "itemid/id_lists.h"
#include "itemid/portable/item_builder.h"

namespace vtls {
namespace {

// Placeholders carry no GUID; the builder gets the all-zero one and ignores it.
constexpr GUID kNoGuid{};

LPITEMIDLIST AllocateItem(std::size_t itemSize) noexcept {
    return static_cast<LPITEMIDLIST>(VtlsSHAlloc(static_cast<ULONG>(itemSize + itemid::kTerminatorSize)));
}

// The builder behind the three exports; for placeholders `value` replaces the name.
LPITEMIDLIST CreateItemID(itemid::Kind kind, LPCWSTR name, DWORD value, INT type, DWORD data, const GUID* guid,
                          INT extraCount, const void* extra) noexcept {
    if (kind != itemid::Kind::kReal) {
        LPITEMIDLIST list = AllocateItem(itemid::kFixedSize);
        if (list != nullptr) {
            itemid::WritePlaceholder(reinterpret_cast<std::uint8_t*>(list), kind, value);
        }
        return list;
    }
    // Sizes beyond the 16-bit item size, a negative count or missing bytes are
    // refused rather than written as a corrupt item.
    if (guid == nullptr || extraCount < 0 || (extraCount > 0 && extra == nullptr)) {
        return nullptr;
    }
    const std::size_t nameChars = name != nullptr ? std::wcslen(name) : 0;
    const auto itemSize = itemid::RealItemSize(nameChars, static_cast<std::size_t>(extraCount));
    if (!itemSize) {
        return nullptr;
    }
    LPITEMIDLIST list = AllocateItem(*itemSize);
    if (list != nullptr) {
        itemid::WriteRealItem(reinterpret_cast<std::uint8_t*>(list), *itemSize,
                              {reinterpret_cast<const std::uint8_t*>(name), nameChars, type,
                               reinterpret_cast<const std::uint8_t*>(guid), data,
                               static_cast<const std::uint8_t*>(extra), static_cast<std::size_t>(extraCount)});
    }
    return list;
}

}  // namespace
}  // namespace vtls

extern "C" LPITEMIDLIST WINAPI VtlsCreateID(LPCWSTR name, INT type, DWORD data, const GUID* guid, INT extraCount,
                                            const void* extra) {
    return vtls::CreateItemID(vtls::itemid::Kind::kReal, name, 0, type, data, guid, extraCount, extra);
}

extern "C" LPITEMIDLIST WINAPI VtlsCreateWaitID() {
    return vtls::CreateItemID(vtls::itemid::Kind::kWait, nullptr, 0, 0, 0, &vtls::kNoGuid, 0, nullptr);
}

extern "C" LPITEMIDLIST WINAPI VtlsCreateErrorID(DWORD error, BOOL flag) {
    const auto kind = flag != FALSE ? vtls::itemid::Kind::kErrorFlagged : vtls::itemid::Kind::kError;
    return vtls::CreateItemID(kind, nullptr, error, 0, 0, &vtls::kNoGuid, 0, nullptr);
}
