// The shell's change event codes (SHCNE_*) by name, both ways.
#pragma once

#include <windows.h>

#include <string>

namespace vtls::tool {

// "SHCNE_UPDATEDIR"; several known bits joined by '|'; bits without a name as
// hex; "none" for 0.
[[nodiscard]] std::string EventName(LONG event);

// A code as a number (decimal or 0x hex) or as a name, case-insensitive, with
// or without "SHCNE_": "updatedir", "SHCNE_MKDIR", "0x1000".
[[nodiscard]] bool ParseEvent(const wchar_t* text, LONG& event) noexcept;

// The names ParseEvent knows, for usage texts.
[[nodiscard]] std::string EventNameList();

}  // namespace vtls::tool
