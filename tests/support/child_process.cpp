#include "support/child_process.h"

#include <sstream>
#include <vector>

#include "base/unique_resource.h"

namespace vtls::test {

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring folder(path.data(), length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

// Reads on a thread of its own so a child that fills the pipe cannot stall a wait.
struct ChildProcess::Reader {
    UniqueHandle pipe;
    std::string output;

    static DWORD WINAPI Run(void* self) {
        auto* reader = static_cast<Reader*>(self);
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(reader->pipe.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) reader->output.append(buffer, read);
        return 0;
    }
};

ChildProcess::ChildProcess() = default;

ChildProcess::~ChildProcess() {
    if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), INFINITE);
    }
    if (readerThread_) WaitForSingleObject(readerThread_.get(), INFINITE);
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    reader_ = std::make_unique<Reader>();
    reader_->pipe.reset(readEnd);

    const std::wstring path = ProgramFolder() + L"\\" + program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
    CloseHandle(writeEnd);  // so the read ends when the child's copy closes
    if (!started) return false;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
    readerThread_.reset(CreateThread(nullptr, 0, Reader::Run, reader_.get(), 0, nullptr));
    return readerThread_.valid();
}

std::optional<ChildResult> ChildProcess::Wait(DWORD timeoutMs) {
    if (!process_ || !readerThread_) return std::nullopt;
    const DWORD waited = WaitForSingleObject(process_.get(), timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), INFINITE);
    }
    WaitForSingleObject(readerThread_.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process_.get(), &exitCode);
    return waited == WAIT_OBJECT_0 ? std::optional<ChildResult>(ChildResult{exitCode, reader_->output}) : std::nullopt;
}

std::optional<ChildResult> RunChild(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    ChildProcess child;
    return child.Start(program, arguments) ? child.Wait(timeoutMs) : std::nullopt;
}

NamedEvent::NamedEvent(const wchar_t* purpose) {
    static LONG counter = 0;
    name_ = std::wstring(L"vtls_test_") + purpose + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(InterlockedIncrement(&counter));
    event_.reset(CreateEventW(nullptr, TRUE, FALSE, name_.c_str()));
}

NamedEvent::~NamedEvent() = default;

bool NamedEvent::WaitSignalled(DWORD timeoutMs) const {
    return WaitForSingleObject(event_.get(), timeoutMs) == WAIT_OBJECT_0;
}

void NamedEvent::Signal() const { SetEvent(event_.get()); }

std::map<std::string, std::string> ParseReport(const std::string& output) {
    std::map<std::string, std::string> report;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto space = line.find(' ');
        if (space != std::string::npos) report[line.substr(0, space)] = line.substr(space + 1);
    }
    return report;
}

}  // namespace vtls::test
