// The process's static objects, defined in one translation unit so that their
// construction order is the order written here (and teardown the reverse).
#include "base/module_record.h"
#include "icons/shell_icon_metrics.h"
#include "notify/manager/update_icons.h"
#include "platform/process_flags.h"

#include "channel/content_client.h"
#include "channel/srv_advise_manager.h"
#include "namespace/desktop_folder.h"
#include "notify/manager/fs_notify_manager.h"

namespace vtls {

// Plain data with no constructor: valid before any static object runs and never
// torn down, because threads of the library may outlive the unload.
ModuleRecord g_Module{};

BOOL g_bIsNT = FALSE;
BOOL g_bIsIntegratedIE = FALSE;
BOOL g_bIsWin2000 = FALSE;
int g_nShellIconSize = 0;
BOOL g_bHighColorIcons = FALSE;

// The static objects, constructed in this order before the entry point runs and
// destroyed in reverse after its detach. Their destructors release only what the
// objects own in memory; threads and windows are ended by VtlsTerminate.
CVtlsSrvAdviseManager g_SrvAdviseManager;
CDesktopFolder g_DesktopFolder;
CriticalSection g_csUpdateIcon;
CContentClient g_ContentClient;
CFsNotifyManager g_FsNotifyManager;

BOOL g_bInUpdateIcon = FALSE;

}  // namespace vtls
