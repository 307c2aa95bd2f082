// The DLL's entry point. Static objects are constructed before it runs and torn
// down after its detach call.
#include <windows.h>

#include "base/window_object.h"
#include "module/process_attach.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        vtls::OnProcessAttach(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary, the process lives on: a later load may map the
        // library elsewhere, and must not find classes whose procedure was here.
        vtls::UnregisterWindowClasses();
    }
    return TRUE;
}
