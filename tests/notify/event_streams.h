// The streams of changes the probe's listeners report: "<prefix> <listener>
// <event> <list1> <list2> <extra>" lines, read back as (poster, sequence).
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/listener_window.h"
#include "support/probe.h"

namespace vtls::test {

struct Received {
    std::uint32_t poster;
    std::uint32_t sequence;
    bool operator==(const Received& other) const { return poster == other.poster && sequence == other.sequence; }
};
inline std::ostream& operator<<(std::ostream& out, const Received& event) {
    return out << event.poster << "/" << event.sequence;
}

// One listener's changes in arrival order; one not exactly as its poster posted
// it (event, list, no list 2, extra bytes) is poster 0xFFFFFFFF.
inline std::vector<Received> ReceivedBy(const std::vector<std::string>& lines, const std::string& prefix,
                                        std::size_t listener) {
    std::vector<Received> events;
    for (const std::string& line : lines) {
        std::istringstream fields(line);
        std::string word, list1, list2, extra;
        std::size_t index = 0;
        long code = 0;
        if (!(fields >> word >> index >> code >> list1 >> list2 >> extra) || word != prefix || index != listener) continue;
        const auto number = [&](std::size_t at) {
            return list1.size() == 28 ? static_cast<std::uint32_t>(std::stoul(list1.substr(at + 6, 2) + list1.substr(at + 4, 2) +
                                                                            list1.substr(at + 2, 2) + list1.substr(at, 2), nullptr, 16))
                                      : 0xFFFFFFFFu;
        };
        const std::uint32_t poster = number(4), sequence = number(16);
        const bool intact = list1 == Hex(EventList(poster, sequence)) && code == PosterEvent(poster) && list2 == "-" &&
                            extra == Hex(EventExtra(poster, sequence));
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

// Each listener got events 0..count-1 of every poster exactly once, in the
// poster's order, intact, and nothing else.
inline void ExpectStreams(const Probe& client, std::size_t listeners, const std::vector<std::uint32_t>& posters,
                          std::uint32_t count) {
    const std::vector<std::string> lines = client.Lines("event ");
    for (std::size_t listener = 0; listener < listeners; ++listener) {
        const std::vector<Received> got = ReceivedBy(lines, "event", listener);
        EXPECT_EQ(got.size(), posters.size() * count) << "listener " << listener;
        for (const std::uint32_t poster : posters) {
            std::vector<Received> own;
            for (const Received& event : got) {
                if (event.poster == poster) own.push_back(event);
            }
            EXPECT_TRUE(own == Span(poster, 0, count)) << "listener " << listener << ", poster " << poster << ": "
                                                       << own.size() << " events";
        }
    }
}

}  // namespace vtls::test
