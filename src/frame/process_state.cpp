// The process's static objects, defined in one translation unit so that their
// construction order is the order written here (and teardown the reverse).
#include "frame/process_state.h"

namespace vtls {

// Plain data with no constructor: valid before any static object runs and never
// torn down, because threads of the library may outlive the unload.
ModuleRecord g_Module{};

BOOL g_bIsNT = FALSE;
BOOL g_bIsIntegratedIE = FALSE;
BOOL g_bIsWin2000 = FALSE;

}  // namespace vtls
