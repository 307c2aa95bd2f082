#include "change_events.h"

#include <shlobj.h>

#include <cwchar>
#include <cwctype>

#include "client_support.h"
#include "console.h"

namespace vtls::tool {
namespace {

struct NamedEvent {
    const wchar_t* name;  // without the prefix, lower case
    LONG code;
};

// The events a namespace of folders and items posts.
constexpr NamedEvent kEvents[] = {
    {L"renameitem", SHCNE_RENAMEITEM}, {L"create", SHCNE_CREATE},         {L"delete", SHCNE_DELETE},
    {L"mkdir", SHCNE_MKDIR},           {L"rmdir", SHCNE_RMDIR},           {L"attributes", SHCNE_ATTRIBUTES},
    {L"updatedir", SHCNE_UPDATEDIR},   {L"updateitem", SHCNE_UPDATEITEM}, {L"updateimage", SHCNE_UPDATEIMAGE},
    {L"renamefolder", SHCNE_RENAMEFOLDER},
};

std::string Upper(const wchar_t* name) {
    std::string text;
    for (const wchar_t* at = name; *at != L'\0'; ++at) {
        text.push_back(static_cast<char>(std::towupper(static_cast<wint_t>(*at))));
    }
    return text;
}

// Both compare a given text with a known lower-case one, ignoring case.
bool StartsWith(const wchar_t* given, const wchar_t* prefix) noexcept {
    for (; *prefix != L'\0'; ++given, ++prefix) {
        if (std::towlower(static_cast<wint_t>(*given)) != static_cast<wint_t>(*prefix)) {
            return false;
        }
    }
    return true;
}

bool SameName(const wchar_t* given, const wchar_t* known) noexcept {
    for (;; ++given, ++known) {
        if (std::towlower(static_cast<wint_t>(*given)) != static_cast<wint_t>(*known)) {
            return false;
        }
        if (*known == L'\0') {
            return true;
        }
    }
}

}  // namespace

std::string EventName(LONG event) {
    if (event == 0) {
        return "none";
    }
    auto rest = static_cast<unsigned long>(event);
    std::string text;
    for (const NamedEvent& known : kEvents) {
        const auto bit = static_cast<unsigned long>(known.code);
        if ((rest & bit) == bit) {
            text += (text.empty() ? "SHCNE_" : "|SHCNE_") + Upper(known.name);
            rest &= ~bit;
        }
    }
    if (rest != 0) {
        text += Format(text.empty() ? "0x%lX" : "|0x%lX", rest);
    }
    return text;
}

bool ParseEvent(const wchar_t* text, LONG& event) noexcept {
    if (text == nullptr) {
        return false;
    }
    unsigned long number = 0;
    if (ParseWhole(text, 0xFFFFFFFFul, number)) {
        event = static_cast<LONG>(number);
        return true;
    }
    if (StartsWith(text, L"shcne_")) {
        text += std::wcslen(L"shcne_");
    }
    for (const NamedEvent& known : kEvents) {
        if (SameName(text, known.name)) {
            event = known.code;
            return true;
        }
    }
    return false;
}

std::string EventNameList() {
    std::string text;
    for (const NamedEvent& known : kEvents) {
        text += (text.empty() ? "" : ", ") + ToUtf8(known.name);
    }
    return text;
}

}  // namespace vtls::tool
