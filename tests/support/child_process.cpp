#include "support/child_process.h"

#include <sstream>
#include <vector>

#include "frame/unique_resource.h"

namespace vtls::test {
namespace {

struct PipeReader {
    HANDLE pipe;
    std::string output;

    static DWORD WINAPI Run(void* self) {
        auto* reader = static_cast<PipeReader*>(self);
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(reader->pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            reader->output.append(buffer, read);
        }
        return 0;
    }
};

}  // namespace

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring folder(path.data(), length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::optional<ChildResult> RunChild(const std::wstring& program, const std::wstring& arguments,
                                    DWORD timeoutMs) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0) ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        return std::nullopt;
    }

    const std::wstring path = ProgramFolder() + L"\\" + program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return std::nullopt;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    writeEnd.reset();  // so the read ends when the child's copy closes

    // Read on another thread so a child that fills the pipe cannot stall the wait.
    PipeReader reader{readEnd.get(), {}};
    const UniqueHandle readerThread(CreateThread(nullptr, 0, PipeReader::Run, &reader, 0, nullptr));
    if (!readerThread) {
        TerminateProcess(process.get(), 1);
        return std::nullopt;
    }
    const DWORD waited = WaitForSingleObject(process.get(), timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), INFINITE);
    }
    WaitForSingleObject(readerThread.get(), INFINITE);
    std::string output = std::move(reader.output);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    if (waited != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    return ChildResult{exitCode, std::move(output)};
}

std::map<std::string, std::string> ParseReport(const std::string& output) {
    std::map<std::string, std::string> report;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto space = line.find(' ');
        if (space != std::string::npos) {
            report[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return report;
}

}  // namespace vtls::test
