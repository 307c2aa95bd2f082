// Private messages of the notify window that no caller sends.
#pragma once

#include <windows.h>

// WM_VTLS_CLOSENOTIFY: the role is left; the window destroys itself.
#define WM_VTLS_CLOSENOTIFY 0x3972
