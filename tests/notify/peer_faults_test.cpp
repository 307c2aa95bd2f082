// Change notification and content requests under load and against peers that
// misbehave: a listener that hangs or is killed, a server callback that hangs, a
// requester whose window stopped, a forger, a foreign stand-in server, threads
// flushing at once, a process freeing the library while it holds a role, a storm
// larger than one message, and a sender of malformed messages. None of them may
// freeze anyone else or cost the others a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channel/content_answers.h"
#include "support/listener_window.h"
#include "support/probe.h"

namespace {

using namespace vtls::test;

DWORD Since(DWORD start) { return GetTickCount() - start; }

// A change as the probe's listeners report it, "event <listener> <event> <list1>
// <list2> <extra>", read back as (poster, sequence); one not exactly as its
// poster posted it (event, list, no list 2, extra bytes) is poster 0xFFFFFFFF.
using Received = std::pair<std::uint32_t, std::uint32_t>;

std::vector<Received> ReceivedBy(const Probe& probe, std::size_t listener, const std::string& prefix = "event") {
    std::vector<Received> events;
    for (const std::string& line : probe.Lines(prefix + " ")) {
        std::istringstream fields(line);
        std::string word, list1, list2, extra;
        std::size_t index = 0;
        long code = 0;
        if (!(fields >> word >> index >> code >> list1 >> list2 >> extra) || index != listener) continue;
        const auto number = [&](std::size_t at) {  // list 1 holds the two in 6-byte items
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < 4 && list1.size() == 28; ++i) {
                value |= static_cast<std::uint32_t>(std::stoul(list1.substr(at + 2 * i, 2), nullptr, 16)) << 8 * i;
            }
            return value;
        };
        const std::uint32_t poster = number(4), sequence = number(16);
        const bool intact = list1 == Hex(EventList(poster, sequence)) && code == PosterEvent(poster) && list2 == "-" &&
                            extra == Hex(EventExtra(poster, sequence));
        events.push_back({intact ? poster : 0xFFFFFFFFu, sequence});
    }
    return events;
}

// Events 0..count-1 of each (poster, count), poster after poster.
std::vector<Received> Posted(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> posters) {
    std::vector<Received> events;
    for (const auto& [poster, count] : posters) {
        for (std::uint32_t i = 0; i < count; ++i) events.push_back({poster, i});
    }
    return events;
}

// Each listener of the probe got exactly these events, each poster's in its
// order (posters ascending; how they interleave is free).
void ExpectStreams(const Probe& client, std::size_t listeners, const std::vector<Received>& expected) {
    for (std::size_t listener = 0; listener < listeners; ++listener) {
        std::vector<Received> got = ReceivedBy(client, listener);
        std::stable_sort(got.begin(), got.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        EXPECT_TRUE(got == expected) << "listener " << listener << ": " << got.size() << " events";
    }
}

const Bytes kEmptyRoot{0, 0, 0, 0, 8, 0, 0, 0, 0, 0};

TEST(PeerFaults, AHungListenerCostsOneBoundAndNobodyElseMissesAChange) {
    NamedEvent stalled(L"stalled"), release(L"release"), resumed(L"resumed");
    // Its extra listener, on a thread of its own, stops inside the first change;
    // its main-thread listener keeps working.
    Probe victim(L"client 1 1 " + stalled.Name() + L" " + release.Name() + L" " + resumed.Name());
    Probe first(L"client 2");
    Probe before(L"post 21 20 1");  // twenty changes, each flushed at once
    ASSERT_TRUE(victim.Ready() && first.Ready() && before.Ready());
    const DWORD start = GetTickCount();
    EXPECT_EQ(before.Finish(30000)["posted"], "20");
    std::printf("[ figures  ] 20 flushed changes past a hung listener: %lu ms\n", Since(start));
    ASSERT_TRUE(stalled.WaitSignalled(1000));
    // Once it answers again it gets the changes posted from then on.
    release.Signal();
    ASSERT_TRUE(resumed.WaitSignalled(5000));
    Probe after(L"post 22 5 1");
    ASSERT_TRUE(after.Ready());
    EXPECT_EQ(after.Finish(30000)["posted"], "5");
    first.Finish();
    victim.Finish();
    const auto everything = Posted({{21, 20}, {22, 5}});
    for (std::size_t listener = 0; listener < 2; ++listener) {
        EXPECT_EQ(ReceivedBy(first, listener), everything) << "listener " << listener;
    }
    EXPECT_EQ(ReceivedBy(victim, 0), everything) << "the hung listener's neighbour";
    // What it missed while hung is not sent again.
    EXPECT_EQ(ReceivedBy(victim, 0, "hung-event"), Posted({{21, 1}, {22, 5}}));
}

TEST(PeerFaults, AKilledListenerProcessStopsNeitherThePosterNorOtherListeners) {
    constexpr std::uint32_t kEvents = 3000;
    NamedEvent stalled(L"stalled"), release(L"release"), resumed(L"resumed");
    Probe first(L"client 2");
    // Its one listener stops inside change 700; the process is killed there.
    Probe victim(L"client 0 700 " + stalled.Name() + L" " + release.Name() + L" " + resumed.Name());
    Probe poster(L"post 3 " + std::to_wstring(kEvents) + L" 40");
    ASSERT_TRUE(first.Ready() && victim.Ready() && poster.Ready());
    const vtls::UniqueHandle victimProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, victim.ProcessId()));
    ASSERT_TRUE(victimProcess);
    poster.Go();
    ASSERT_TRUE(stalled.WaitSignalled(60000));
    ASSERT_TRUE(TerminateProcess(victimProcess.get(), 9));
    ASSERT_EQ(WaitForSingleObject(victimProcess.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    const DWORD killed = GetTickCount();
    EXPECT_EQ(poster.Finish(30000)["posted"], std::to_string(kEvents));  // past the dead process
    std::printf("[ figures  ] poster ended %lu ms after the kill\n", Since(killed));
    first.Finish();
    ExpectStreams(first, 2, Posted({{3, kEvents}}));
}

// The server's "late" callback answers value 1 just after the requester gave up
// and any other at once. (A refusal, and a slow answer that is waited for, are
// the forged-reply test's servers.)
TEST(PeerFaults, AHungCallbackFailsTheRequestInTimeAndItsLateReplyIsNeverTaken) {
    Probe server(L"server late");
    ASSERT_TRUE(server.Ready());
    ClientRole role;
    const Answer abandoned = AskInSync(1);
    EXPECT_EQ(abandoned.hr, E_FAIL);
    EXPECT_GE(abandoned.ms, static_cast<DWORD>(VTLS_CONTENT_TIMEOUT_MS - 100));
    EXPECT_LT(abandoned.ms, static_cast<DWORD>(VTLS_CONTENT_TIMEOUT_MS + 3000));
    // While the server is still inside that callback, a request fails at once.
    EXPECT_EQ(AskInSync(2).hr, E_FAIL);
    // The late reply to value 1 comes and goes; the first answer after it is the
    // request's own, never value 1's.
    Answer next{E_FAIL, {}, 0};
    for (const DWORD start = GetTickCount(); next.hr != S_OK && Since(start) < 5000;) {
        next = AskInSync(2);
        EXPECT_NE(next.reply, EchoAnswer(1, nullptr)) << "the late reply was taken";
    }
    EXPECT_EQ(next.reply, EchoAnswer(2, nullptr));
    EXPECT_EQ(server.Finish()["quit-signalled"], "1");
}

TEST(PeerFaults, ARequesterWhoseWindowStoppedHoldsUpOtherClientsOneBoundAtMost) {
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    ClientRole role;
    Probe requester(L"hung-requester 3");
    ASSERT_TRUE(requester.Ready());
    // This client keeps asking while the other one's replies find no taker.
    DWORD slowest = 0;
    for (DWORD value = 100, start = GetTickCount(); Since(start) < 4000; ++value) {
        const Answer answer = AskInSync(value);
        EXPECT_EQ(answer.reply, EchoAnswer(value, nullptr));
        slowest = std::max(slowest, answer.ms);
    }
    requester.Finish(30000);
    const auto lines = requester.Lines("request ");
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        // The server did not get its answer taken: the request failed.
        EXPECT_NE(line.find("sent 1 result 0x80004005"), std::string::npos) << line;
    }
    EXPECT_LT(slowest, static_cast<DWORD>(VTLS_CONTENT_REPLY_TIMEOUT_MS + 1500));
    server.Finish();
}

// A process that does not use the library sends this client's notify window
// well-formed replies about another folder, naming the real server as sender,
// all through a request that waits 1.5 s on the server.
TEST(PeerFaults, AForgedReplyIsNeverTaken) {
    for (const bool answers : {false, true}) {
        SCOPED_TRACE(answers ? "slow" : "slow-refuse");
        Probe server(answers ? L"server slow" : L"server slow-refuse");
        ASSERT_TRUE(server.Ready());
        ClientRole role;
        const HWND notify = FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME);  // the only client: this one
        const HWND channel = FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME);
        ASSERT_TRUE(channel != nullptr && notify != nullptr);
        Probe forger(L"forge " + std::to_wstring(reinterpret_cast<std::uintptr_t>(notify)) + L" " +
                     std::to_wstring(reinterpret_cast<std::uintptr_t>(channel)) + L" 2500");
        ASSERT_TRUE(forger.Ready());
        forger.Go();
        Sleep(100);  // the forgeries are under way before the request starts
        const Answer answered = AskInSync(7);
        EXPECT_NE(forger.Finish(20000)["taken"], "0") << "no forgery reached the window";
        EXPECT_EQ(answered.hr, answers ? S_OK : E_FAIL);
        if (answers) {
            EXPECT_EQ(answered.reply, EchoAnswer(7, nullptr));
        }
        EXPECT_EQ(server.Finish()["calls"], "1");
    }
}

// A window in the server channel's place that does not use the library, and
// so checks nothing it sends: its answers are checked on arrival.
TEST(PeerFaults, AForeignServersAnswersAreCheckedOnArrival) {
    Probe fake(L"fake-server");
    ASSERT_TRUE(fake.Ready());
    ClientRole role;
    EXPECT_EQ(AskInSync(0).reply, kEmptyRoot) << "the stand-in is not reached";
    const char* const cases[] = {"about another folder", "offsets outside the block", "no reply",
                                 "a reply, then a refusal"};
    for (DWORD value = 1; value <= 4; ++value) EXPECT_EQ(AskInSync(value).hr, E_FAIL) << cases[value - 1];
    fake.Finish(10000);
    EXPECT_EQ(fake.Lines("answered ").size(), 5u) << "every request reached the stand-in";
}

TEST(PeerFaults, ThreadsFlushingAtOnceKeepEachThreadsOrder) {
    constexpr std::uint32_t kEvents = 300;
    Probe first(L"client 2");
    Probe posters(L"threads 40 8 " + std::to_wstring(kEvents));
    ASSERT_TRUE(first.Ready() && posters.Ready());
    const auto report = posters.Finish();
    EXPECT_EQ(report.at("posters-finished"), "1");
    EXPECT_NE(report.at("registration-rounds"), "0");
    first.Finish();
    // Every poster's events once, in its order, at every listener: the other
    // process's and the posting process's own.
    const auto all = Posted({{40, kEvents}, {41, kEvents}, {42, kEvents}, {43, kEvents}, {44, kEvents}, {45, kEvents},
                             {46, kEvents}, {47, kEvents}});
    ExpectStreams(first, 2, all);
    ExpectStreams(posters, 1, all);
}

TEST(PeerFaults, FreeingTheLibraryWhileHoldingARoleRunsNoFreedCode) {
    for (const bool server : {false, true}) {
        SCOPED_TRACE(server ? "server" : "client");
        Probe holder(server ? L"unload-role server" : L"unload-role client");
        ASSERT_TRUE(holder.Ready());
        // Its windows, freed by their process, still take what others send.
        const Bytes list = EventList(0xF4EE, 1);
        SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSH, reinterpret_cast<LPCITEMIDLIST>(list.data()), nullptr,
                        nullptr, 0);
        if (server) {
            ClientRole client;
            EXPECT_EQ(AskInSync(9).reply, kEmptyRoot);
        }
        auto report = holder.Finish(30000);
        for (const char* key : {"first-role", "second-role", "fresh-role"}) EXPECT_EQ(report[key], "0x00000000") << key;
        for (const char* key : {"held-by-its-threads", "windows-after-free", "unloaded-after-terminate", "fresh-windows",
                                "unloaded-at-end"}) {
            EXPECT_EQ(report[key], "1") << key;
        }
        EXPECT_EQ(report["access-violations"], "0");
    }
}

TEST(PeerFaults, AStormLargerThanOneMessageArrivesWholeAndInOrder) {
    constexpr std::uint32_t kEvents = 100000;
    Probe listener(L"client 1");
    Probe storm(L"storm 51 " + std::to_wstring(kEvents));
    ASSERT_TRUE(listener.Ready() && storm.Ready());
    auto report = storm.Finish();
    EXPECT_EQ(report["posted"], std::to_string(kEvents));
    const double queued = std::stod(report["queued-bytes"]);
    const double growth = std::stod(report["peak-pagefile-growth"]);
    std::printf("[ figures  ] %lu deferred changes: %.0f bytes queued, peak memory growth %.0f bytes, flush %s ms\n",
                static_cast<unsigned long>(kEvents), queued, growth, report["flush-ms"].c_str());
    // The records themselves (allocator overhead included) and one batch at a time.
    EXPECT_LT(growth, 4 * queued + VTLS_MAX_COPYDATA_BYTES);
    listener.Finish();
    EXPECT_EQ(ReceivedBy(listener, 0), Posted({{51, kEvents}}));
}

// Every malformed batch and request of the portable tests, and empty and foreign
// messages, sent to the library's windows from another process.
TEST(PeerFaults, MalformedCopyDataDeliversNothingAndTargetsKeepWorking) {
    Probe server(L"server echo");
    Probe client(L"client 1");
    ASSERT_TRUE(server.Ready() && client.Ready());
    const std::wstring at = L" ";
    std::unique_ptr<Probe> senders[] = {
        std::make_unique<Probe>(L"hostile " + (VTLS_FSNOTIFY_CLASS + at + VTLS_CLIENT_WINDOW_NAME) + L" 40"),
        std::make_unique<Probe>(L"hostile " + (VTLS_SRVCHANNEL_CLASS + at + VTLS_SERVER_WINDOW_NAME) + L" 40"),
        std::make_unique<Probe>(L"hostile " + (VTLS_FSNOTIFY_CLASS + at + VTLS_SERVER_WINDOW_NAME) + L" 10")};
    for (const auto& sender : senders) ASSERT_TRUE(sender->Ready());
    for (const auto& sender : senders) sender->Go();
    std::vector<std::map<std::string, std::string>> reports;
    for (const auto& sender : senders) {
        reports.push_back(sender->Finish(180000));
        EXPECT_EQ(reports.back()["failures"], "0");  // each message was taken within its bound
        EXPECT_EQ(reports.back()["target-alive"], "1");
    }
    // The server answered every well-formed request among them with its content.
    EXPECT_EQ(reports[1]["matching-replies"], "40");
    // After them a posted change still arrives, and a request is answered.
    const Bytes after = EventList(0x5EED, 1);
    SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSH, reinterpret_cast<LPCITEMIDLIST>(after.data()), nullptr,
                    nullptr, 0);
    {
        ClientRole role;
        EXPECT_EQ(AskInSync(4242).reply, EchoAnswer(4242, nullptr));
    }
    server.Finish();
    client.Finish();
    // The client's listener saw exactly the well-formed batches' changes and the
    // one posted after: nothing from any malformed batch.
    std::vector<std::string> expected;
    for (std::uint32_t n = 0; n < 40; ++n) {
        expected.push_back("event 0 " + std::to_string(SHCNE_UPDATEITEM) + " " + Hex(EventList(0x7E57, n)) + " - -");
    }
    expected.push_back("event 0 " + std::to_string(SHCNE_UPDATEITEM) + " " + Hex(after) + " - -");
    EXPECT_EQ(client.Lines("event "), expected);
}

}  // namespace
