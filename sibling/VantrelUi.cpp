// The dialog library's entry that VantrelSh calls before it locates an item
// object. The dialogs keep no state that needs preparing there, so it does nothing.
#include <windows.h>

extern "C" void WINAPI VantrelUiOrdinal6() {}
