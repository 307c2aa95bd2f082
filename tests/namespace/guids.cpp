// The library's class and interface ids, defined for the tests from the public
// header.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <initguid.h>

#include "VantrelSh.h"
