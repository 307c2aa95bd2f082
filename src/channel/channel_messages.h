// Private messages of the server channel window, sent only inside the process.
#pragma once

#include <windows.h>

// WM_VTLS_CLOSECHANNEL: the role is left; the window destroys itself.
#define WM_VTLS_CLOSECHANNEL (WM_USER + 0x104) /* 0x0504 */
