// A hidden top-level window of a class of this program's own, for the tests'
// listeners, reply windows and stand-ins. The class is registered on first use.
#pragma once

#include <windows.h>

namespace vtls::test {

inline HWND HiddenWindow(const wchar_t* className, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);  // fails harmlessly once registered
    return CreateWindowExW(0, className, name, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
}

}  // namespace vtls::test
