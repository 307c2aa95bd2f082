// Owners for the icon, bitmap and device-context handles of the icon functions.
#pragma once

#include <windows.h>

#include <cstdlib>

#include "base/unique_resource.h"

namespace vtls {

inline void DestroyIconHandle(HICON icon) noexcept { ::DestroyIcon(icon); }
inline void DeleteBitmapHandle(HBITMAP bitmap) noexcept { ::DeleteObject(bitmap); }
inline void ReleaseScreenDC(HDC dc) noexcept { ::ReleaseDC(nullptr, dc); }
inline void FreeCrtString(wchar_t* text) noexcept { std::free(text); }

using UniqueIcon = UniqueResource<HICON, DestroyIconHandle>;
using UniqueBitmap = UniqueResource<HBITMAP, DeleteBitmapHandle>;
// A device context of the whole screen, from GetDC(nullptr).
using UniqueScreenDC = UniqueResource<HDC, ReleaseScreenDC>;
// A string from the C library's heap (_wcsdup).
using UniqueCrtString = UniqueResource<wchar_t*, FreeCrtString>;

}  // namespace vtls
