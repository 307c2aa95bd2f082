#pragma once

#include <windows.h>

namespace vtls {

// Registered format ids, 0 before attach or when registration failed.
extern UINT cfItemID;
extern UINT cfItemIDArray;
extern UINT cfDataSource;
extern UINT cfDataSourceArray;
extern UINT cfStmFormatDataTime;
extern UINT cfServer;

// Registers the six formats, in their fixed order; called once at attach.
void InitClipboardFormats() noexcept;

}  // namespace vtls
