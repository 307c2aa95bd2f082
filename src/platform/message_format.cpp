// VtlsFormatMessage and VtlsFormat: FormatMessageW, with the library's own
// message table behind whatever source the caller names.
#include <cstdarg>

#include "VantrelSh.h"
#include "base/module_record.h"
#include "base/unique_resource.h"

extern "C" DWORD WINAPI VtlsFormatMessage(DWORD flags, LPCVOID source, DWORD messageId,
                                          DWORD languageId, LPWSTR buffer, DWORD size,
                                          va_list* arguments) {
    // A caller's own string names no message, so there is nothing to fall back to;
    // refused before anything is formatted or the thread's last error is touched.
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
        return 0;
    }
    const DWORD written =
        FormatMessageW(flags, source, messageId, languageId, buffer, size, arguments);
    if (written != 0) {
        return written;
    }
    // Codes the caller's source lacks (the OPC results above all) are looked up in
    // the library's table. A caller's FORMAT_MESSAGE_FROM_SYSTEM stays set, so the
    // system's table remains the last resort.
    return FormatMessageW(flags | FORMAT_MESSAGE_FROM_HMODULE, vtls::g_Module.instance,
                          messageId, languageId, buffer, size, arguments);
}

extern "C" LPWSTR WINAPIV VtlsFormat(LPCWSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    // FormatMessageW stores the address of the LocalAlloc'd string through the
    // buffer argument. Held by an owner so that a failed call can leave nothing.
    vtls::UniqueLocal result;
    const DWORD written =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0,
                       reinterpret_cast<LPWSTR>(result.put()), 0, &arguments);
    va_end(arguments);
    if (written == 0) {
        return nullptr;
    }
    return static_cast<LPWSTR>(result.release());
}
