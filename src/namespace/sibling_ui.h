// The one function of the sibling dialog library that this library calls. It
// has no name, only ordinal 6, and is imported by that ordinal: loading this
// library loads the sibling with it.
#pragma once

#include <windows.h>

extern "C" __declspec(dllimport) void WINAPI VantrelUiOrdinal6();
