// What the process's role leaves for the managers to read.
#pragma once

#include "VantrelSh.h"

namespace vtls {

// The server's content callback, read by the server channel on each request.
extern VTLSCONTENTPROC g_pfnContent;
// The notify manager's role: 1 after VtlsSrvInitialize, 0 after VtlsCliInitialize.
extern BOOL g_bFsNotifyServer;

}  // namespace vtls
