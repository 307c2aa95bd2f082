// vtls: diagnostics for the Vantrel shell library.
#include <cwchar>
#include <string>

#include "commands.h"
#include "console.h"

namespace vtls::tool {
namespace {

struct Command {
    const wchar_t* name;
    const char* summary;
    int (*run)(int argc, wchar_t** argv);
};

constexpr Command kCommands[] = {
    {L"info", "shell version, platform flags, shell settings, clipboard formats, DLL", RunInfo},
    {L"pidl", "decode an item identifier list (hex, file or stream record)", RunPidl},
    {L"serve", "take the server role and answer content requests from a sample OPC namespace", RunServe},
    {L"browse", "take the client role and print the namespace the server answers, as a tree", RunBrowse},
    {L"watch", "take the client role and print each change delivered to a listener window", RunWatch},
    {L"notify", "post a change (SHChangeNotify2) for a path of the sample namespace", RunNotify},
    {L"reg", "print, copy or delete a registry tree (this machine or a named one)", RunReg},
    {L"icon", "print a class's registered icon location and save its icons as .ico files", RunIcon},
};

void PrintUsage(std::FILE* stream) {
    Print(stream, "usage: vtls <command> [arguments]\n       vtls --help\n\ncommands:\n");
    for (const Command& command : kCommands) {
        Print(stream, Format("  %-8s %s\n", ToUtf8(command.name).c_str(), command.summary));
    }
}

bool IsHelp(const wchar_t* argument) {
    return std::wcscmp(argument, L"--help") == 0 || std::wcscmp(argument, L"-h") == 0 ||
           std::wcscmp(argument, L"help") == 0;
}

}  // namespace
}  // namespace vtls::tool

int wmain(int argc, wchar_t** argv) {
    using namespace vtls::tool;
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (IsHelp(argv[1])) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (std::wcscmp(argv[1], command.name) == 0) {
            return command.run(argc - 2, argv + 2);
        }
    }
    Err(Format("vtls: unknown command '%s'\n", ToUtf8(argv[1]).c_str()));
    PrintUsage(stderr);
    return kExitUsage;
}
