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

// Wine's loader itself keeps a little per process on the first loads of any
// DLL; the sibling DLL, which does nothing at load, measures that floor in the
// same run.
TEST(LibraryLoad, RepeatedLoadAndUnloadLeaksNothing) {
    const auto measure = [](const wchar_t* dll) {
        const auto child = RunChild(L"vtls_probe.exe", std::wstring(L"load-unload 500 ") + dll);
        EXPECT_TRUE(child.has_value());
        EXPECT_EQ(child ? child->exitCode : 1u, 0u) << (child ? child->output : "");
        auto report = ParseReport(child ? child->output : "");
        EXPECT_EQ(report["handles-counted"], "1") << "the system handle table could not be read";
        const auto number = [&](const char* key) {
            return report.count(key) ? std::stoll(report[key]) : std::numeric_limits<long long>::max();
        };
        return std::make_pair(number("handles-added"), number("pagefile-added"));
    };
    const auto [ourHandles, ourBytes] = measure(L"VantrelSh.dll");
    const auto [floorHandles, floorBytes] = measure(L"VantrelUi.dll");
    EXPECT_LE(ourHandles, floorHandles);
    // A leak of even a hundred bytes per load shows over 500 loads.
    EXPECT_LE(ourBytes, floorBytes + 32 * 1024) << "ours " << ourBytes << ", floor " << floorBytes;
}

}  // namespace
