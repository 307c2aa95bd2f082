// Loading the library into a fresh process: what it starts, what it leaves behind.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>

#include "support/child_process.h"

namespace {

using vtls::test::ParseReport;
using vtls::test::RunChild;

TEST(LibraryLoad, StartsNoThreadAndCreatesNoWindow) {
    for (const wchar_t* arguments : {L"load-report", L"load-report --preload-shell"}) {
        const auto child = RunChild(L"vtls_probe.exe", arguments);
        ASSERT_TRUE(child.has_value());
        ASSERT_EQ(child->exitCode, 0u) << child->output;
        const auto report = ParseReport(child->output);
        EXPECT_EQ(report.at("threads-added"), "0") << child->output;
        EXPECT_EQ(report.at("windows-added"), "0") << child->output;
    }
}

// Wine's loader and the shell keep a fixed amount per process after the first
// loads of a DLL, so the test compares a short run with a long one: only what
// grows with the number of loads is a leak.
TEST(LibraryLoad, RepeatedLoadAndUnloadLeaksNothing) {
    const auto measure = [](int cycles) {
        const auto child = RunChild(L"vtls_probe.exe", L"load-unload " + std::to_wstring(cycles));
        EXPECT_TRUE(child.has_value());
        EXPECT_EQ(child ? child->exitCode : 1u, 0u) << (child ? child->output : "");
        auto report = ParseReport(child ? child->output : "");
        EXPECT_EQ(report["handles-counted"], "1") << "the system handle table could not be read";
        const auto number = [&](const char* key) {
            return report.count(key) ? std::stoll(report[key]) : std::numeric_limits<long long>::max() / 2;
        };
        return std::make_pair(number("handles-added"), number("pagefile-added"));
    };
    const auto [shortHandles, shortBytes] = measure(50);
    const auto [longHandles, longBytes] = measure(250);
    EXPECT_EQ(longHandles, shortHandles);
    // 200 more loads: a leak of a hundred bytes each would show; pages round the rest.
    EXPECT_LE(longBytes - shortBytes, 16 * 1024) << "50 loads " << shortBytes << ", 250 loads " << longBytes;
}

}  // namespace
