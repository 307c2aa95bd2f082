// Starts a program of the test suite as a second process and collects its output.
#pragma once

#include <windows.h>

#include "base/unique_resource.h"

#include <map>
#include <memory>
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

// A helper program running beside the test: started with its output collected,
// killed if it is still running when the object goes.
class ChildProcess {
public:
    ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    [[nodiscard]] bool Start(const std::wstring& program, const std::wstring& arguments);
    // Waits for the end; empty if it did not end in time (it is then killed).
    [[nodiscard]] std::optional<ChildResult> Wait(DWORD timeoutMs = 20000);
    [[nodiscard]] DWORD ProcessId() const { return processId_; }

private:
    struct Reader;
    vtls::UniqueHandle process_;
    vtls::UniqueHandle readerThread_;
    std::unique_ptr<Reader> reader_;
    DWORD processId_ = 0;
};

// A named event of the test's own, for a child to signal.
class NamedEvent {
public:
    explicit NamedEvent(const wchar_t* purpose);
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    [[nodiscard]] const std::wstring& Name() const { return name_; }
    [[nodiscard]] bool WaitSignalled(DWORD timeoutMs = 20000) const;
    void Signal() const;

private:
    std::wstring name_;
    vtls::UniqueHandle event_;
};

// Splits "key value..." lines into key -> rest of the line.
[[nodiscard]] std::map<std::string, std::string> ParseReport(const std::string& output);

}  // namespace vtls::test
