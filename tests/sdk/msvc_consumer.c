/* Linked by lld-link against the MSVC-format import library, without a C
 * runtime (none for the MSVC target is on the build machine): only kernel32
 * and the library. Exit code 0 when every call answered as expected. */
#include <windows.h>

#include "VantrelSh.h"

static void Say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, NULL);
}

void __stdcall ConsumerEntry(void) {
    DWORD platform = 0, major = 0, minor = 0;
    LPITEMIDLIST wait = VtlsCreateWaitID();
    UINT failures = 0;

    SHGetVersion(&platform, &major, &minor);
    if (major < 4) {
        ++failures;
    }
    if (wait == NULL || VtlsComparePIDLs(wait, wait) != S_OK) {
        ++failures;
    }
    VtlsSHFree(wait);
    Say(failures == 0 ? "msvc consumer: all ok\r\n" : "msvc consumer: failures\r\n");
    ExitProcess(failures);
}
