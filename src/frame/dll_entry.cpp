// The DLL's entry point. Static objects are constructed before it runs and torn
// down after its detach call, so detach has nothing of its own to do.
#include <windows.h>

#include "frame/process_attach.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        vtls::OnProcessAttach(instance);
    }
    return TRUE;
}
