// Change notification under load, with a listener process killed mid-delivery,
// and against a process that sends garbage to the library's windows.
#include <gtest/gtest.h>

#include <process.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "channel/echo_answer.h"
#include "support/role_process.h"
#include "channel/portable/content_message.h"
#include "base/unique_resource.h"
#include "base/portable/byte_order.h"
#include "notify/event_streams.h"

namespace {

using namespace vtls::test::streams;
using vtls::test::ChildProcess;
using vtls::test::NamedEvent;
using vtls::test::RoleProcess;

// Leaves the roles of several helpers at once: each has thousands of lines to
// report, and one after the other takes seconds each.
std::vector<std::map<std::string, std::string>> FinishAll(const std::vector<std::unique_ptr<RoleProcess>>& helpers) {
    struct Job {
        RoleProcess* helper;
        std::map<std::string, std::string> report;
        static unsigned __stdcall Run(void* self) {
            auto* job = static_cast<Job*>(self);
            job->report = job->helper->Finish();
            return 0;
        }
    };
    std::vector<Job> jobs;
    for (const auto& helper : helpers) jobs.push_back({helper.get(), {}});
    std::vector<vtls::UniqueHandle> threads;
    for (Job& job : jobs) {
        threads.emplace_back(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Job::Run, &job, 0, nullptr)));
        if (!threads.back()) Job::Run(&job);
    }
    for (const auto& thread : threads) {
        if (thread) WaitForSingleObject(thread.get(), INFINITE);  // Finish bounds its own wait
    }
    std::vector<std::map<std::string, std::string>> reports;
    for (Job& job : jobs) reports.push_back(std::move(job.report));
    return reports;
}

// Checks how a poster ended and returns its report.
std::map<std::string, std::string> PosterReport(const std::optional<vtls::test::ChildResult>& result) {
    EXPECT_TRUE(result.has_value()) << "the poster did not end in time";
    if (!result) return {};
    EXPECT_EQ(result->exitCode, 0u) << result->output;
    return vtls::test::ParseReport(result->output);
}

TEST(NotifyStress, EveryListenerGetsEveryEventOnceInPosterOrder) {
    constexpr std::size_t kClients = 4;
    constexpr std::size_t kListeners = 3;
    constexpr std::uint32_t kEvents = 5000;
    const std::vector<std::uint32_t> ids{1, 2};
    std::vector<std::unique_ptr<RoleProcess>> clients;
    for (std::size_t i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<RoleProcess>(L"client " + std::to_wstring(kListeners)));
        ASSERT_TRUE(clients.back()->Ready());
    }
    NamedEvent go(L"go");
    std::vector<std::unique_ptr<Poster>> posters;
    // Batches of 50 to 150 (around 100) and of 32 to 96 (around 64).
    for (const std::uint32_t id : ids) {
        posters.push_back(std::make_unique<Poster>(go, id, kEvents, id == 1 ? 100 : 64));
        ASSERT_TRUE(posters.back()->Ready());
    }
    const DWORD start = GetTickCount();
    go.Signal();
    for (auto& poster : posters) {
        // Every flush returns only after every process delivered its batch, so a
        // poster that ended has reached every listener.
        EXPECT_EQ(PosterReport(poster->Wait(180000))["posted"], std::to_string(kEvents));
    }
    const DWORD elapsed = GetTickCount() - start;
    std::printf("[ figures  ] 2 posters x %lu events to %zu processes x %zu listeners: %lu ms\n",
                static_cast<unsigned long>(kEvents), kClients, kListeners, static_cast<unsigned long>(elapsed));
    RecordProperty("post_ms", static_cast<int>(elapsed));
    auto reports = FinishAll(clients);
    for (std::size_t i = 0; i < kClients; ++i) {
        SCOPED_TRACE("client " + std::to_string(i));
        EXPECT_EQ(reports[i]["quit-signalled"], "1");
        const std::vector<std::string> lines = clients[i]->Lines("event ");
        EXPECT_EQ(lines.size(), kListeners * ids.size() * kEvents);
        EXPECT_EQ(CheckStreams(lines, kListeners, ids, kEvents), "");
    }
}

TEST(NotifyStress, KilledListenerProcessStopsNeitherThePosterNorOtherListeners) {
    constexpr std::uint32_t kEvents = 3000;
    constexpr std::uint32_t kStallAt = 700;
    const std::vector<std::uint32_t> ids{3};
    RoleProcess first(L"client 2");
    RoleProcess second(L"client 1");
    NamedEvent stalled(L"stalled"), release(L"release"), resumed(L"resumed");
    // Its one listener stops inside event 700; the process is killed there.
    RoleProcess victim(L"stall " + stalled.Name() + L" " + release.Name() + L" " + resumed.Name() + L" " +
                       std::to_wstring(kStallAt) + L" 0");
    ASSERT_TRUE(first.Ready() && second.Ready() && victim.Ready());
    NamedEvent go(L"go");
    Poster poster(go, ids[0], kEvents, 40);
    ASSERT_TRUE(poster.Ready());
    const vtls::UniqueHandle victimProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, victim.ProcessId()));
    ASSERT_TRUE(victimProcess);

    go.Signal();
    ASSERT_TRUE(stalled.WaitSignalled(60000));
    ASSERT_TRUE(TerminateProcess(victimProcess.get(), 9));
    ASSERT_EQ(WaitForSingleObject(victimProcess.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    const DWORD killed = GetTickCount();

    // The broadcast goes on past the dead process.
    EXPECT_EQ(PosterReport(poster.Wait(30000))["posted"], std::to_string(kEvents));
    std::printf("[ figures  ] poster ended %lu ms after the kill\n", static_cast<unsigned long>(GetTickCount() - killed));
    EXPECT_EQ(first.Finish()["quit-signalled"], "1");
    EXPECT_EQ(second.Finish()["quit-signalled"], "1");
    EXPECT_EQ(CheckStreams(first.Lines("event "), 2, ids, kEvents), "");
    EXPECT_EQ(CheckStreams(second.Lines("event "), 1, ids, kEvents), "");
}

// The content the server probe's echo answer gives for the root and value.
Bytes EchoReply(DWORD value) { return vtls::test::EchoAnswer(value, nullptr); }

// A probe in "hostile" mode aimed at one window of the library.
struct HostileRun {
    std::wstring target;
    std::uint32_t count;
    std::uint32_t seed;
    ChildProcess child;
    std::map<std::string, std::string> report;

    bool Start() {
        return child.Start(kProbe, L"hostile " + target + L" " + std::to_wstring(count) + L" " + std::to_wstring(seed));
    }
    // The sender survived, every message was taken within its timeout, and the
    // target window still exists.
    void Check() {
        SCOPED_TRACE(Narrow(target));
        report = PosterReport(child.Wait(180000));
        EXPECT_EQ(report["sent"], std::to_string(count));
        EXPECT_EQ(report["timeouts"], "0");
        EXPECT_EQ(report["failures"], "0");
        EXPECT_EQ(report["target-alive"], "1");
        // Each kind of payload, and each way of breaking a batch, was really sent.
        for (const auto& [name, kinds] : {std::pair{"kinds", 8}, std::pair{"mutations", 11}}) {
            std::istringstream counts(report[name]);
            int kind = 0;
            for (unsigned long n = 0; counts >> n; ++kind) EXPECT_GT(n, 0u) << name << " " << kind;
            EXPECT_EQ(kind, kinds) << name;
        }
    }
};

TEST(NotifyStress, HostileCopyDataDeliversNothingAndTargetsKeepWorking) {
    RoleProcess server(L"server echo");
    RoleProcess client(L"client 1");
    ASSERT_TRUE(server.Ready() && client.Ready());
    const std::wstring at = L" ";
    HostileRun runs[] = {
        {VTLS_FSNOTIFY_CLASS + at + VTLS_CLIENT_WINDOW_NAME, 4000, 1234, {}, {}},
        {VTLS_SRVCHANNEL_CLASS + at + VTLS_SERVER_WINDOW_NAME, 4000, 5678, {}, {}},
        {VTLS_FSNOTIFY_CLASS + at + VTLS_SERVER_WINDOW_NAME, 1000, 91011, {}, {}},
    };
    const DWORD start = GetTickCount();
    for (HostileRun& run : runs) ASSERT_TRUE(run.Start());
    for (HostileRun& run : runs) run.Check();
    std::printf("[ figures  ] 9,000 hostile messages: %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    // The server answered every well-formed request in the storm with its content.
    EXPECT_NE(runs[1].report["controls"], "0");
    EXPECT_EQ(runs[1].report["matching-replies"], runs[1].report["controls"]);

    // After the storm a posted change still arrives, and a request is answered.
    const Bytes after = EventList(0x5EED, 1);
    SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSH, reinterpret_cast<LPCITEMIDLIST>(after.data()), nullptr,
                    nullptr, 0);
    ASSERT_EQ(VtlsCliInitialize(), S_OK);
    CIDA* reply = nullptr;
    const HRESULT asked = VtlsGetContentInSync(nullptr, 4242, &reply);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply);
    // The library hands out only a CIDA that holds together; its packed size bounds it.
    const auto size = bytes == nullptr ? std::nullopt : vtls::channel::PackedCidaSize(bytes, 1 << 20);
    const Bytes replied = size ? Bytes(bytes, bytes + *size) : Bytes{};
    CoTaskMemFree(reply);
    VtlsTerminate();
    EXPECT_EQ(asked, S_OK);
    EXPECT_EQ(replied, EchoReply(4242));

    // Both targets leave normally (Finish checks exit code 0), and the client's
    // listener saw exactly the well-formed batches' events and the one posted
    // after: nothing from any broken batch.
    EXPECT_EQ(server.Finish()["quit-signalled"], "1");
    EXPECT_EQ(client.Finish()["quit-signalled"], "1");
    std::vector<std::string> expected;
    const unsigned long controlEvents = std::stoul(runs[0].report["control-events"]);
    EXPECT_GT(controlEvents, 0u);
    for (std::uint32_t n = 0; n < controlEvents; ++n) {
        expected.push_back("event 0 " + std::to_string(SHCNE_UPDATEITEM) + " " + Hex(EventList(0x7E57, n)) + " - -");
    }
    expected.push_back("event 0 " + std::to_string(SHCNE_UPDATEITEM) + " " + Hex(after) + " - -");
    EXPECT_EQ(FirstDifference(client.Lines("event "), expected), "");
}

}  // namespace
