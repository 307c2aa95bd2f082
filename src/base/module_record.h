// The library's module record: its instance handle and what creating its
// windows needs. Filled while the library attaches, read afterwards.
#pragma once

#include <windows.h>

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

}  // namespace vtls
