// Process-wide state set when the library is attached and only read afterwards.
#pragma once

#include <windows.h>

#include "frame/critical_section.h"

namespace vtls {

class CWindowImplRoot;  // owner of a hidden window

// A window being created on some thread: its first message binds it to owner.
struct PendingCreation {
    CWindowImplRoot* owner;
    DWORD threadId;
    PendingCreation* next;
};

struct ModuleRecord {
    HINSTANCE instance;
    // Serialises window-class registration and the pending-creation list.
    CRITICAL_SECTION windowCreationLock;
    PendingCreation* pendingCreations;
};

extern ModuleRecord g_Module;

// Written once during process attach, read without locking afterwards.
extern BOOL g_bIsNT;
extern BOOL g_bIsIntegratedIE;
extern BOOL g_bIsWin2000;
// The shell's large-icon size and whether its icons are loaded in full colour.
extern int g_nShellIconSize;
extern BOOL g_bHighColorIcons;

// Guards g_bInUpdateIcon, which is set while the notify window refreshes icons.
extern CriticalSection g_csUpdateIcon;
extern BOOL g_bInUpdateIcon;

}  // namespace vtls
