// The icon group enumeration behind SHExtractIcon.
#pragma once

#include <windows.h>

#include "icons/icon_owners.h"

namespace vtls {

// Shared with EnumIconGroupProc during one enumeration. slot holds the number
// of groups still to pass over; when the wanted group is reached, its name
// instead: an integer id as it is, a string name as a copy owned by nameCopy.
// picked tells which of the two slot holds, so that nothing the enumeration
// did not pick is ever used as a name.
struct IconGroupPick {
    ULONG_PTR slot = 0;
    bool picked = false;
    UniqueCrtString nameCopy;

    [[nodiscard]] LPCWSTR Name() const noexcept { return reinterpret_cast<LPCWSTR>(slot); }
};

// ENUMRESNAMEPROCW for RT_GROUP_ICON names; param points to an IconGroupPick.
// TRUE to go on, FALSE once the group is picked.
BOOL CALLBACK EnumIconGroupProc(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param);

}  // namespace vtls
