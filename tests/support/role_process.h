// A role of the library held by a helper process for the length of a test.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace vtls::test {

class RoleProcess {
public:
    // role: "server <answer>" or "client".
    explicit RoleProcess(const std::wstring& role) : ready_(L"ready"), quit_(L"quit") {
        const auto space = role.find(L' ');
        const std::wstring kind = role.substr(0, space);
        const std::wstring rest = space == std::wstring::npos ? L"" : role.substr(space);
        started_ = child_.Start(L"vtls_role_probe.exe", kind + L" " + ready_.Name() + L" " + quit_.Name() + rest) &&
                   ready_.WaitSignalled();
    }
    ~RoleProcess() {
        if (!finished_) quit_.Signal();
    }

    [[nodiscard]] bool Ready() const { return started_; }
    [[nodiscard]] DWORD ProcessId() const { return child_.ProcessId(); }

    // Leaves the role and returns the helper's report.
    std::map<std::string, std::string> Finish() {
        finished_ = true;
        quit_.Signal();
        const auto result = child_.Wait();
        EXPECT_TRUE(result.has_value());
        EXPECT_EQ(result ? result->exitCode : 1u, 0u) << (result ? result->output : "");
        output_ = result ? result->output : "";
        return ParseReport(output_);
    }

    // Every line of the report that begins with prefix, in order (after Finish).
    [[nodiscard]] std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> lines;
        std::istringstream stream(output_);
        for (std::string line; std::getline(stream, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        }
        return lines;
    }

private:
    NamedEvent ready_;
    NamedEvent quit_;
    ChildProcess child_;
    std::string output_;
    bool started_ = false;
    bool finished_ = false;
};

}  // namespace vtls::test
