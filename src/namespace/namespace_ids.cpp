// The library's class and interface ids, defined once from their declarations
// in the public header. The system headers come first, so their ids stay
// declarations.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <initguid.h>

#include "VantrelSh.h"
