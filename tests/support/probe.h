// A mode of vtls_probe running beside the test, for the cross-process tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace vtls::test {

class Probe {
public:
    // command: "<mode> [arguments]"; the probe gets the ready and go events after
    // the mode and is ready when this returns (see Ready).
    explicit Probe(const std::wstring& command) : ready_(L"ready"), go_(L"go") {
        const auto space = command.find(L' ');
        const std::wstring rest = space == std::wstring::npos ? L"" : command.substr(space);
        started_ = child_.Start(L"vtls_probe.exe", command.substr(0, space) + L" " + ready_.Name() + L" " +
                                                       go_.Name() + rest) &&
                   ready_.WaitSignalled(60000);
    }
    // A probe left without Finish still ends before the next test starts, so a
    // server of this test is never found by the next one.
    ~Probe() {
        go_.Signal();
        if (!finished_) {
            static_cast<void>(child_.Wait(30000));
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    [[nodiscard]] bool Ready() const { return started_; }
    [[nodiscard]] DWORD ProcessId() const { return child_.ProcessId(); }
    // Starts the mode's work; a role holder leaves its role and reports.
    void Go() const { go_.Signal(); }

    // Go, then the report once the probe ended by itself with exit code 0.
    std::map<std::string, std::string> Finish(DWORD timeoutMs = 120000) {
        Go();
        finished_ = true;
        const auto result = child_.Wait(timeoutMs);
        EXPECT_TRUE(result.has_value()) << "the probe did not end in time";
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
    NamedEvent go_;
    ChildProcess child_;
    std::string output_;
    bool finished_ = false;
    bool started_ = false;
};

}  // namespace vtls::test
