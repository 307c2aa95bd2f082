// vtls pidl: a readable dump of an item identifier list.
#include <cwchar>
#include <fstream>
#include <iterator>

#include "commands.h"
#include "console.h"
#include "pidl_decoder.h"

namespace vtls::tool {
namespace {

constexpr const char* kUsage =
    "usage: vtls pidl <hex>             a list given as hex digits, terminator included\n"
    "       vtls pidl --file <path>     a file holding a list\n"
    "       vtls pidl --record <path>   a file holding a stream record (\"v8GE\" + items)\n";

bool ReadFile(const wchar_t* path, std::vector<std::uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int RunPidl(int argc, wchar_t** argv) {
    if (argc == 1 && (std::wcscmp(argv[0], L"--help") == 0 || std::wcscmp(argv[0], L"-h") == 0)) {
        Out(kUsage);
        return kExitOk;
    }
    std::vector<std::uint8_t> bytes;
    bool record = false;
    if (argc == 2 && (std::wcscmp(argv[0], L"--file") == 0 || std::wcscmp(argv[0], L"--record") == 0)) {
        record = std::wcscmp(argv[0], L"--record") == 0;
        if (!ReadFile(argv[1], bytes)) {
            Err(Format("vtls pidl: cannot read '%s'\n", ToUtf8(argv[1]).c_str()));
            return kExitFailure;
        }
    } else if (argc >= 1 && argv[0][0] != L'-') {
        std::string hex;
        for (int i = 0; i < argc; ++i) {
            hex += ToUtf8(argv[i]) + " ";
        }
        std::string error;
        if (!ParseHex(hex, bytes, error)) {
            Err("vtls pidl: not hex: " + error + "\n");
            return kExitUsage;
        }
    } else {
        Err(kUsage);
        return kExitUsage;
    }
    const DecodeResult result = record ? DecodeRecord(bytes) : DecodeList(bytes);
    if (!result.ok) {
        Err("vtls pidl: malformed: " + result.text + "\n");
        return kExitFailure;
    }
    Out(result.text);
    return kExitOk;
}

}  // namespace vtls::tool
