// vtls pidl: a readable dump of an item identifier list.
#include <string>
#include <fstream>
#include <iterator>

#include "arguments.h"
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
    std::wstring file;
    bool record = false;
    std::string hex;
    ArgumentReader arguments("pidl", kUsage);
    const auto readFile = [&](bool isRecord) {
        return [&, isRecord](const wchar_t* path) {
            file = path;
            record = isRecord;
            return true;
        };
    };
    arguments.Value(L"--file", "a path", readFile(false));
    arguments.Value(L"--record", "a path", readFile(true));
    arguments.Positional([&](const wchar_t* digits) -> std::string {
        hex += ToUtf8(digits) + " ";
        return "";
    });
    arguments.Check(
        [&]() -> std::string { return file.empty() == hex.empty() ? "give hex digits, --file or --record" : ""; },
        true);
    return arguments.Run(argc, argv, [&] {
        std::vector<std::uint8_t> bytes;
        if (!file.empty()) {
            if (!ReadFile(file.c_str(), bytes)) {
                Err(Format("vtls pidl: cannot read '%s'\n", ToUtf8(file).c_str()));
                return kExitFailure;
            }
        } else if (std::string error; !ParseHex(hex, bytes, error)) {
            Err("vtls pidl: not hex: " + error + "\n");
            return kExitUsage;
        }
        const DecodeResult result = record ? DecodeRecord(bytes) : DecodeList(bytes);
        if (!result.ok) {
            Err("vtls pidl: malformed: " + result.text + "\n");
            return kExitFailure;
        }
        Out(result.text);
        return kExitOk;
    });
}

}  // namespace vtls::tool
