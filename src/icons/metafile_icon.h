// Rebuilding an icon from the records of a metafile picture.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/unique_resource.h"
#include "icons/icon_owners.h"

namespace vtls {

// Shared by the record callback's calls during one extraction.
struct METAICONSTATE {
    UniqueIcon icon;         // the result
    BOOL first = TRUE;       // no bitmap record taken yet
    UniqueGlobal maskBits;   // device-format bits of the first bitmap
    BITMAP mask = {};        // its description
    // Bytes of the metafile from the record being visited to its end: no record
    // may reach past them, whatever its own size field claims.
    std::size_t remaining = 0;
};

// MFENUMPROC; param points to a METAICONSTATE. 1 to go on, 0 to stop.
int CALLBACK ExtractIconMetaProc(HDC dc, HANDLETABLE* table, METARECORD* record, int objects, LPARAM param);

}  // namespace vtls
