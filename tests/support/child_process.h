// Starts a program of the test suite as a second process and collects its output.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace vtls::test {

struct ChildResult {
    DWORD exitCode;
    std::string output;  // standard output
};

// The folder of the running test program, where the DLLs and helpers are built.
[[nodiscard]] std::wstring ProgramFolder();

// Runs <ProgramFolder>\program with the command-line tail arguments and waits at
// most timeoutMs. Empty when it could not start or did not end in time (then it
// is killed).
[[nodiscard]] std::optional<ChildResult> RunChild(const std::wstring& program,
                                                  const std::wstring& arguments,
                                                  DWORD timeoutMs = 20000);

// Splits "key value..." lines into key -> rest of the line.
[[nodiscard]] std::map<std::string, std::string> ParseReport(const std::string& output);

}  // namespace vtls::test
