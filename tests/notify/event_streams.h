// The events the role probe posts and the streams its listeners report:
// "event <listener> <code> <list1> <list2> <extra>" lines, checked per poster.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/role_process.h"
#include "base/portable/byte_order.h"

namespace vtls::test::streams {

using Bytes = std::vector<std::uint8_t>;

inline constexpr wchar_t kProbe[] = L"vtls_role_probe.exe";

inline std::string Hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (const auto byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", byte);
        text += digits;
    }
    return text.empty() ? "-" : text;
}

// The probe's list for event (poster, sequence): two 6-byte items holding them.
inline Bytes EventList(std::uint32_t poster, std::uint32_t sequence) {
    Bytes list(14, 0);
    vtls::itemid::StoreU16(list.data(), 6);
    vtls::itemid::StoreU32(list.data() + 2, poster);
    vtls::itemid::StoreU16(list.data() + 6, 6);
    vtls::itemid::StoreU32(list.data() + 8, sequence);
    return list;
}

// The probe's extra bytes for that event (0 to 3 of them).
inline Bytes EventExtra(std::uint32_t poster, std::uint32_t sequence) {
    Bytes extra(sequence % 4);
    for (std::size_t i = 0; i < extra.size(); ++i) {
        extra[i] = static_cast<std::uint8_t>(sequence * 7 + i + poster * 31);
    }
    return extra;
}

inline LONG PosterEvent(std::uint32_t poster) { return poster % 2 == 0 ? SHCNE_UPDATEITEM : SHCNE_ATTRIBUTES; }

// The ASCII names of the tests' arguments, for messages.
inline std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) narrow += static_cast<char>(c);
    return narrow;
}

// Checks the "event <listener> <code> <list1> <list2> <extra>" lines of one
// client: each of its listeners got events 0..count-1 of every poster exactly
// once, in the poster's order, with the poster's code, list and extra bytes, and
// nothing else. Returns the first fault found, empty when there is none.
inline std::string CheckStreams(const std::vector<std::string>& lines, std::size_t listeners,
                         const std::vector<std::uint32_t>& posters, std::uint32_t count) {
    // next[listener][poster index]: the sequence number expected next.
    std::vector<std::vector<std::uint32_t>> next(listeners, std::vector<std::uint32_t>(posters.size(), 0));
    std::vector<std::string> listCache;
    for (const std::string& line : lines) {
        std::istringstream fields(line);
        std::string word;
        std::size_t listener = 0;
        long code = 0;
        std::string list1, list2, extra;
        if (!(fields >> word >> listener >> code >> list1 >> list2 >> extra) || listener >= listeners) {
            return "unreadable line: " + line;
        }
        std::size_t poster = posters.size();
        std::uint32_t sequence = 0;
        if (list1.size() == 28) {
            const Bytes probe = [&] {
                Bytes bytes;
                for (std::size_t i = 0; i < list1.size(); i += 2) {
                    bytes.push_back(static_cast<std::uint8_t>(std::stoul(list1.substr(i, 2), nullptr, 16)));
                }
                return bytes;
            }();
            for (std::size_t p = 0; p < posters.size(); ++p) {
                if (vtls::itemid::LoadU32(probe.data() + 2) == posters[p]) poster = p;
            }
            sequence = vtls::itemid::LoadU32(probe.data() + 8);
        }
        if (poster == posters.size()) {
            return "event of no poster: " + line;
        }
        const std::uint32_t id = posters[poster];
        if (sequence != next[listener][poster]) {
            return "listener " + std::to_string(listener) + " expected event " + std::to_string(next[listener][poster]) +
                   " of poster " + std::to_string(id) + ", got: " + line;
        }
        if (code != PosterEvent(id) || list1 != Hex(EventList(id, sequence)) || list2 != "-" ||
            extra != Hex(EventExtra(id, sequence))) {
            return "event altered: " + line;
        }
        ++next[listener][poster];
    }
    for (std::size_t listener = 0; listener < listeners; ++listener) {
        for (std::size_t p = 0; p < posters.size(); ++p) {
            if (next[listener][p] != count) {
                return "listener " + std::to_string(listener) + " got " + std::to_string(next[listener][p]) + " of " +
                       std::to_string(count) + " events of poster " + std::to_string(posters[p]);
            }
        }
    }
    return "";
}

// Where two reports first differ, briefly (thousands of lines would bury the message).
inline std::string FirstDifference(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < actual.size() || i < expected.size(); ++i) {
        if (i >= actual.size() || i >= expected.size() || actual[i] != expected[i]) {
            return "line " + std::to_string(i) + " of " + std::to_string(actual.size()) + " (expected " +
                   std::to_string(expected.size()) + "): got \"" + (i < actual.size() ? actual[i] : "") +
                   "\", expected \"" + (i < expected.size() ? expected[i] : "") + "\"";
        }
    }
    return "";
}

// A probe in "post" mode: ready once started, posts when `go` is signalled.
class Poster {
public:
    Poster(const NamedEvent& go, std::uint32_t id, std::uint32_t count, std::uint32_t batch) : ready_(L"poster") {
        started_ = child_.Start(kProbe, L"post " + ready_.Name() + L" " + go.Name() + L" " + std::to_wstring(id) + L" " +
                                           std::to_wstring(count) + L" " + std::to_wstring(batch)) &&
                   ready_.WaitSignalled();
    }
    [[nodiscard]] bool Ready() const { return started_; }
    [[nodiscard]] DWORD ProcessId() const { return child_.ProcessId(); }
    // The poster's report once it ended by itself, empty if it did not in time.
    std::optional<vtls::test::ChildResult> Wait(DWORD timeoutMs) { return child_.Wait(timeoutMs); }

private:
    NamedEvent ready_;
    ChildProcess child_;
    bool started_ = false;
};

// A role probe that signals ready once started and does its work when `go` is
// signalled: "<mode> <ready> <go> <arguments>".
class GoProcess {
public:
    GoProcess(const std::wstring& mode, const NamedEvent& go, const std::wstring& arguments) : ready_(L"go-ready") {
        started_ = child_.Start(kProbe, mode + L" " + ready_.Name() + L" " + go.Name() + L" " + arguments) &&
                   ready_.WaitSignalled();
    }
    [[nodiscard]] bool Ready() const { return started_; }
    std::optional<vtls::test::ChildResult> Wait(DWORD timeoutMs) { return child_.Wait(timeoutMs); }

private:
    NamedEvent ready_;
    ChildProcess child_;
    bool started_ = false;
};

// One event as a listener reported it: which poster, which of its events.
struct Received {
    std::uint32_t poster;
    std::uint32_t sequence;
    bool operator==(const Received& other) const { return poster == other.poster && sequence == other.sequence; }
};

inline std::ostream& operator<<(std::ostream& out, const Received& event) {
    return out << event.poster << "/" << event.sequence;
}

// The events of the lines "<prefix> <listener> ..." in arrival order, each
// checked to carry exactly what its poster posted; an altered one is reported
// as poster 0xFFFFFFFF.
inline std::vector<Received> ReceivedBy(const std::vector<std::string>& lines, const std::string& prefix,
                                        std::size_t listener) {
    std::vector<Received> events;
    for (const std::string& line : lines) {
        std::istringstream fields(line);
        std::string word, list1, list2, extra;
        std::size_t index = 0;
        long code = 0;
        if (!(fields >> word >> index >> code >> list1 >> list2 >> extra) || word != prefix || index != listener) {
            continue;
        }
        Bytes bytes;
        for (std::size_t i = 0; i + 1 < list1.size(); i += 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(list1.substr(i, 2), nullptr, 16)));
        }
        if (bytes.size() != 14) {
            events.push_back({0xFFFFFFFFu, 0});
            continue;
        }
        const std::uint32_t poster = vtls::itemid::LoadU32(bytes.data() + 2);
        const std::uint32_t sequence = vtls::itemid::LoadU32(bytes.data() + 8);
        const bool intact = code == PosterEvent(poster) && list2 == "-" && extra == Hex(EventExtra(poster, sequence));
        events.push_back({intact ? poster : 0xFFFFFFFFu, sequence});
    }
    return events;
}

// Events first..first+count-1 of a poster, in order.
inline std::vector<Received> Span(std::uint32_t poster, std::uint32_t first, std::uint32_t count) {
    std::vector<Received> events;
    for (std::uint32_t i = 0; i < count; ++i) events.push_back({poster, first + i});
    return events;
}

inline std::vector<Received> operator+(std::vector<Received> a, const std::vector<Received>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace vtls::test::streams
