// vtls icon: where a class's icon is registered, and its icons as .ico files.
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>

#include "VantrelSh.h"
#include "arguments.h"
#include "commands.h"
#include "console.h"
#include "icon_file.h"

namespace vtls::tool {
namespace {

constexpr const char* kUsage =
    "usage: vtls icon <class id> [--out <folder>]\n"
    "\n"
    "Prints where the class's icon is registered (DefaultIcon, else the first icon\n"
    "of its LocalServer32 or InprocServer32 module) and extracts its large and\n"
    "small icons into <folder> (default: the current folder) as\n"
    "<class id>-large.ico and <class id>-small.ico. The class id is written\n"
    "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}, or given by a registered ProgID.\n";

constexpr UINT kPathChars = 1024;

std::string ResultText(HRESULT result) {
    const char* name = "";
    switch (static_cast<unsigned long>(result)) {
        case 0x00000001: name = " (S_FALSE)"; break;
        case 0x80004005: name = " (E_FAIL)"; break;
        case 0x8007000E: name = " (E_OUTOFMEMORY)"; break;
        case 0x80070057: name = " (E_INVALIDARG)"; break;
        case 0x8000FFFF: name = " (E_UNEXPECTED)"; break;
        case 0x80030002: name = " (STG_E_FILENOTFOUND)"; break;
        case 0x80030005: name = " (STG_E_ACCESSDENIED)"; break;
        default: break;
    }
    return Format("0x%08lX%s", static_cast<unsigned long>(result), name);
}

struct Options {
    CLSID classId{};
    std::wstring classText;
    std::wstring folder = L".";
};


// Writes one icon and says where; false after printing why not.
bool SaveIcon(const char* which, HICON icon, const std::wstring& path) {
    const IconSize size = SizeOfIcon(icon);
    const auto bytes = IconFileBytes(icon);
    if (bytes.empty()) {
        Err(Format("vtls icon: the %s icon's bitmaps cannot be read\n", which));
        return false;
    }
    if (!WriteBytes(path, bytes)) {
        Err(Format("vtls icon: cannot write '%s'\n", ToUtf8(path).c_str()));
        return false;
    }
    Out(Format("  %-9s %d x %d  %s\n", which, size.width, size.height, ToUtf8(path).c_str()));
    return true;
}

int Icon(const Options& options) {
    const std::string classText = ToUtf8(options.classText);
    wchar_t path[kPathChars] = {};
    INT index = 0;
    const HRESULT located = SHGetIconLocationFromClass(options.classId, path, kPathChars, &index);
    if (located == S_FALSE) {
        Err(Format("vtls icon: the registered icon location of %s is longer than 1024 characters\n",
                   classText.c_str()));
        return kExitFailure;
    }
    if (FAILED(located)) {
        Err(Format("vtls icon: no icon location registered for %s (DefaultIcon, LocalServer32, "
                   "InprocServer32): %s\n", classText.c_str(), ResultText(located).c_str()));
        return kExitFailure;
    }
    Out(Format("Class %s\n", classText.c_str()));
    Out(Format("  location  %s\n  index     %d\n", ToUtf8(path).c_str(), index));

    HICON large = nullptr;
    HICON small = nullptr;
    const HRESULT extracted = SHExtractIcon(path, index, &large, &small);
    if (FAILED(extracted)) {
        Err(Format("vtls icon: cannot extract icon %d of '%s': %s\n", index, ToUtf8(path).c_str(),
                   ResultText(extracted).c_str()));
        if (std::wcschr(path, L'"') != nullptr || std::wcschr(path, L' ') != nullptr) {
            Err("  (a server's path is registered as a command line; quotes and arguments stay in it)\n");
        }
        return kExitFailure;
    }
    // The file names carry the class id without its braces.
    const std::wstring stem = options.folder + L"\\" + options.classText.substr(1, 36);
    const bool saved = SaveIcon("large", large, stem + L"-large.ico") && SaveIcon("small", small, stem + L"-small.ico");
    DestroyIcon(large);
    DestroyIcon(small);
    return saved ? kExitOk : kExitFailure;
}

}  // namespace

int RunIcon(int argc, wchar_t** argv) {
    Options options;
    ArgumentReader arguments("icon", kUsage);
    arguments.Value(L"--out", "a folder", [&](const wchar_t* folder) {
        options.folder = folder;
        return true;
    });
    arguments.Positional([&](const wchar_t* argument) -> std::string {
        if (!options.classText.empty()) {
            return "unexpected argument '" + ToUtf8(argument) + "'";
        }
        if (FAILED(CLSIDFromString(argument, &options.classId))) {
            return "'" + ToUtf8(argument) + "' is neither a class id in braces nor a registered ProgID";
        }
        wchar_t text[40] = {};
        StringFromGUID2(options.classId, text, 40);
        options.classText = text;
        return "";
    });
    arguments.Check([&]() -> std::string { return options.classText.empty() ? "which class?" : ""; }, true);
    return arguments.Run(argc, argv, [&] { return Icon(options); });
}

}  // namespace vtls::tool
