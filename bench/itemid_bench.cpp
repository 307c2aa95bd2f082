// Item identifier lists: our stream records, copies, sizes and ordering, timed in
// one process against the shell's own functions on the same lists.
//
// Every figure is a median of repetitions; each repetition times a loop that runs
// at least kMinRepetitionSeconds, so the counter's resolution does not matter.
// The candidates of one row alternate repetition by repetition, so drift from
// other load on the machine falls on all of them alike.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "bench_clock.h"
#include "sample_names.h"
#include "base/com_ptr.h"
#include "itemid/id_lists.h"
#include "itemid/portable/item_layout.h"

namespace {

constexpr double kMinRepetitionSeconds = 0.008;
constexpr int kRepetitions = 21;
constexpr std::size_t kSortListCount = 100000;
constexpr int kSortRepetitions = 5;

// Lists from the shell's own functions go back to the shell.
using ShellIDList = vtls::UniqueShellIDList;

// Some shells (Wine's among them) export ILLoadFromStream by its ordinal only, so
// an import by name would bind to a stub; it is looked up at run time instead.
using LoadFromStreamFunction = HRESULT(WINAPI*)(IStream*, LPITEMIDLIST*);
constexpr WORD kLoadFromStreamOrdinal = 26;

LoadFromStreamFunction FindLoadFromStream() {
    const HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (shell == nullptr) {
        return nullptr;
    }
    FARPROC found = GetProcAddress(shell, "ILLoadFromStream");
    if (found == nullptr) {
        found = GetProcAddress(shell, MAKEINTRESOURCEA(kLoadFromStreamOrdinal));
    }
    return reinterpret_cast<LoadFromStreamFunction>(reinterpret_cast<void*>(found));
}

// ---- Timing -------------------------------------------------------------------

using vtls::bench::CounterSeconds;
using vtls::bench::Median;

struct Figure {
    double seconds = 0;       // per call, median
    std::uint64_t calls = 0;  // every call made, calibration included
    std::vector<double> rounds;  // per call, each repetition, in the order they ran
};

// The median of the ratios a / b of the repetitions that ran side by side.
double MedianRatio(const Figure& a, const Figure& b) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < a.rounds.size() && r < b.rounds.size(); ++r) {
        ratios.push_back(a.rounds[r] / b.rounds[r]);
    }
    return Median(ratios);
}

template <typename Body>
double TimeLoop(Body& body, std::size_t iterations, Figure& figure) {
    const double start = CounterSeconds();
    for (std::size_t i = 0; i < iterations; ++i) {
        body(i);
    }
    const double seconds = CounterSeconds() - start;
    figure.calls += iterations;
    return seconds;
}

// Grows the iteration count until one loop lasts the minimum repetition time.
template <typename Body>
std::size_t CalibrateIterations(Body& body, Figure& figure) {
    std::size_t iterations = 16;
    for (;;) {
        const double seconds = TimeLoop(body, iterations, figure);
        if (seconds >= kMinRepetitionSeconds) {
            return iterations;
        }
        const double scale = seconds > 0 ? 1.25 * kMinRepetitionSeconds / seconds : 16;
        iterations = static_cast<std::size_t>(static_cast<double>(iterations) * std::clamp(scale, 2.0, 16.0));
    }
}

template <typename... Bodies>
std::array<Figure, sizeof...(Bodies)> Measure(Bodies&&... bodies) {
    constexpr std::size_t kCount = sizeof...(Bodies);
    std::array<Figure, kCount> figures{};
    std::array<std::size_t, kCount> iterations{};
    std::array<std::vector<double>, kCount> times{};
    std::size_t k = 0;
    ((iterations[k] = CalibrateIterations(bodies, figures[k]), ++k), ...);
    for (int r = 0; r < kRepetitions; ++r) {
        k = 0;
        ((times[k].push_back(TimeLoop(bodies, iterations[k], figures[k]) / static_cast<double>(iterations[k])),
          ++k),
         ...);
    }
    for (k = 0; k < kCount; ++k) {
        figures[k].seconds = Median(times[k]);
        figures[k].rounds = times[k];
    }
    return figures;
}

// ---- Lists --------------------------------------------------------------------

// Joins lists item after item into one new list of ours.
vtls::UniqueIDList Concatenate(std::initializer_list<LPCITEMIDLIST> parts) {
    std::size_t total = vtls::itemid::kTerminatorSize;
    for (LPCITEMIDLIST part : parts) {
        total += vtls::GetIDListSize(part);
    }
    vtls::UniqueIDList list(static_cast<LPITEMIDLIST>(VtlsSHAlloc(static_cast<ULONG>(total))));
    if (!list) {
        return list;
    }
    auto* out = reinterpret_cast<std::uint8_t*>(list.get());
    for (LPCITEMIDLIST part : parts) {
        const UINT size = vtls::GetIDListSize(part);
        std::memcpy(out, part, size);
        out += size;
    }
    out[0] = 0;
    out[1] = 0;
    return list;
}

bool SameBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    const UINT size = vtls::GetIDListSize(a);
    return size == vtls::GetIDListSize(b) && std::memcmp(a, b, size + vtls::itemid::kTerminatorSize) == 0;
}

// ---- The data: an OPC browse tree of hosts, servers and items ----------------

// Item types as the namespace uses them: some ordered by GUID, the rest by name.
constexpr INT kTypeHost = 2;
constexpr INT kTypeHostGroup = 12;  // by GUID
constexpr INT kTypeServer = 9;      // by GUID (the server's CLSID)
constexpr INT kTypeServerByName = 4;
constexpr INT kTypeItem = 5;
constexpr INT kTypeBranch = 18;    // by GUID
constexpr INT kTypeProperty = 19;  // by GUID

// Canonical data type and access rights, as a browse stores them beside a leaf's name.
constexpr std::uint16_t kLeafExtra[2] = {static_cast<std::uint16_t>(VT_R8), 3};

struct Server {
    std::wstring progId;
    GUID clsid;
};

GUID RandomGuid(std::mt19937& random) {
    GUID guid{};
    guid.Data1 = static_cast<unsigned long>(random());
    guid.Data2 = static_cast<unsigned short>(random());
    guid.Data3 = static_cast<unsigned short>((random() & 0x0FFF) | 0x4000);
    for (unsigned char& byte : guid.Data4) {
        byte = static_cast<unsigned char>(random());
    }
    guid.Data4[0] = static_cast<unsigned char>((guid.Data4[0] & 0x3F) | 0x80);
    return guid;
}

std::vector<std::wstring> HostNames() {
    const wchar_t* const prefixes[] = {L"PLANT-SCADA", L"HMI-LINE", L"ENG-WS", L"HIST-SRV"};
    std::vector<std::wstring> names;
    for (const wchar_t* prefix : prefixes) {
        for (int n = 1; n <= 4; ++n) {
            names.push_back(prefix + std::wstring(L"0") + std::to_wstring(n));
        }
    }
    names.push_back(L"localhost");
    names.push_back(L"10.20.30.41");
    return names;
}

std::vector<Server> Servers(std::mt19937& random) {
    std::vector<Server> servers;
    for (const wchar_t* progId : vtls::samples::kAllServers) {
        servers.push_back({progId, RandomGuid(random)});
    }
    return servers;
}

std::wstring ItemName(std::mt19937& random) {
    const wchar_t* const areas[] = {L"Line1", L"Line2", L"Line3", L"Boiler", L"Packaging", L"Utilities"};
    const wchar_t* const signals[] = {L"Temperature", L"Pressure", L"FlowRate", L"Level",
                                      L"MotorSpeed",  L"Setpoint", L"AlarmState", L"RunHours"};
    std::wstring name = areas[random() % std::size(areas)];
    name += L".Device" + std::to_wstring(random() % 40 + 1);
    name += L".";
    name += signals[random() % std::size(signals)];
    name += std::to_wstring(random() % 100);
    return name;
}

// A three-level list (host / server / item) and, for the names-only comparator,
// the three names as they lie in it (empty for a placeholder).
struct TreeList {
    vtls::UniqueIDList list;
    const WCHAR* names[3];
    std::size_t bytes = 0;  // with the terminator
};

enum class Mix {
    kMixed,      // GUID-ordered and name-ordered types, placeholders
    kNamesOnly,  // name-ordered types only, no placeholders
};

class TreeBuilder {
public:
    TreeBuilder(std::uint32_t seed, Mix mix)
        : random_(seed), mix_(mix), hosts_(HostNames()), servers_(Servers(random_)) {
        for (std::size_t i = 0; i < hosts_.size(); ++i) {
            hostGuids_.push_back(RandomGuid(random_));
        }
    }

    // tree.list is null when an allocation failed.
    TreeList Next() {
        const bool mixed = mix_ == Mix::kMixed;
        TreeList tree{};
        const std::size_t host = random_() % hosts_.size();
        const INT hostType = mixed && host % 8 == 7 ? kTypeHostGroup : kTypeHost;
        const vtls::UniqueIDList first(
            VtlsCreateID(hosts_[host].c_str(), hostType, 0, &hostGuids_[host], 0, nullptr));

        const Server& server = servers_[random_() % servers_.size()];
        const INT serverType = mixed && random_() % 10 != 0 ? kTypeServer : kTypeServerByName;
        const vtls::UniqueIDList second(
            VtlsCreateID(server.progId.c_str(), serverType, 0, &server.clsid, 0, nullptr));

        // Leaves: mostly named items, some GUID-ordered branches and properties,
        // and the placeholders a browse shows while waiting or after a failure.
        vtls::UniqueIDList third;
        bool thirdIsReal = true;
        const std::uint32_t pick = mixed ? random_() % 100 : 99;
        if (pick < 4) {
            third.reset(VtlsCreateWaitID());
            thirdIsReal = false;
        } else if (pick < 7) {
            third.reset(VtlsCreateErrorID(0xC0040007u, pick == 6));  // OPC_E_UNKNOWNITEMID
            thirdIsReal = false;
        } else {
            const INT type = pick < 22 ? kTypeBranch : (pick < 27 ? kTypeProperty : kTypeItem);
            const GUID id = RandomGuid(random_);
            third.reset(VtlsCreateID(ItemName(random_).c_str(), type, random_(), &id, sizeof(kLeafExtra),
                                     kLeafExtra));
        }
        if (!first || !second || !third) {
            return tree;
        }
        tree.list = Concatenate({first.get(), second.get(), third.get()});
        if (tree.list) {
            const auto* item = reinterpret_cast<const std::uint8_t*>(tree.list.get());
            for (int level = 0; level < 3; ++level) {
                const bool real = level < 2 || thirdIsReal;
                tree.names[level] = real ? reinterpret_cast<const WCHAR*>(item + vtls::itemid::kNameOffset) : L"";
                item += reinterpret_cast<LPCITEMIDLIST>(item)->mkid.cb;
            }
        }
        return tree;
    }

private:
    std::mt19937 random_;
    Mix mix_;
    std::vector<std::wstring> hosts_;
    std::vector<Server> servers_;
    std::vector<GUID> hostGuids_;
};

bool BuildTrees(TreeBuilder& builder, std::size_t count, std::vector<TreeList>& trees) {
    trees.reserve(count);
    while (trees.size() < count) {
        TreeList tree = builder.Next();
        if (!tree.list) {
            std::printf("building lists failed\n");
            return false;
        }
        tree.bytes = vtls::GetIDListSize(tree.list.get()) + vtls::itemid::kTerminatorSize;
        trees.push_back(std::move(tree));
    }
    return true;
}

// ---- Output -------------------------------------------------------------------

void PrintRow(const char* operation, const char* unit, double ours, double peer) {
    std::printf("%-48s %-4s %11.1f %11.1f %9.2f\n", operation, unit, ours, peer, ours / peer);
}

std::uint64_t PerCall(std::uint64_t sum, const Figure& figure) {
    return figure.calls != 0 ? sum / figure.calls : 0;
}

// ---- 1. Stream records --------------------------------------------------------

struct RoundTripFigures {
    Figure ours;
    Figure peer;          // the shell on the same list
    Figure peerAccepted;  // the shell on a same-size item of a type it knows
    std::uint64_t oursBytes = 0;
    std::uint64_t peerBytes = 0;
    std::uint64_t peerAcceptedBytes = 0;
    std::uint64_t oursFailures = 0;
    std::uint64_t peerFailures = 0;
    bool oursIdentical = false;
    bool peerIdentical = false;
    bool peerAcceptedIdentical = false;
    UINT listBytes = 0;
};

bool RoundTrip(RoundTripFigures& figures) {
    const LoadFromStreamFunction loadFromStream = FindLoadFromStream();
    if (loadFromStream == nullptr) {
        std::printf("shell32 has no ILLoadFromStream\n");
        return false;
    }
    vtls::ComPtr<IStream> oursStream;
    vtls::ComPtr<IStream> peerStream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, oursStream.put())) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, peerStream.put()))) {
        std::printf("CreateStreamOnHGlobal failed\n");
        return false;
    }
    // A leaf as a browse persists it: item name, type, GUID, value and extra bytes.
    const GUID id = {0x3f2b9a10, 0x4c1e, 0x4d2a, {0x9b, 0x61, 0x2e, 0x7c, 0x04, 0x5a, 0x11, 0xd3}};
    const vtls::UniqueIDList list(
        VtlsCreateID(L"Line3.Boiler2.SteamPressure.PV", kTypeItem, 17, &id, sizeof(kLeafExtra), kLeafExtra));
    // The same bytes, but with the byte the shell reads as its item type set to
    // one it knows (0x1F, a GUID item): shows what its load costs when it keeps
    // the item rather than checking and discarding it.
    const vtls::UniqueIDList accepted(vtls::CloneIDList(list.get()));
    if (!list || !accepted) {
        std::printf("VtlsCreateID failed\n");
        return false;
    }
    reinterpret_cast<std::uint8_t*>(accepted.get())[2] = 0x1F;
    figures.listBytes = vtls::GetIDListSize(list.get()) + vtls::itemid::kTerminatorSize;

    const LARGE_INTEGER start{};
    const auto oursOnce = [&](std::uint64_t& bytes, bool* identical) {
        oursStream->Seek(start, STREAM_SEEK_SET, nullptr);
        if (ILStgWrite(oursStream.get(), list.get()) != S_OK) {
            ++figures.oursFailures;
        }
        oursStream->Seek(start, STREAM_SEEK_SET, nullptr);
        LPITEMIDLIST read = nullptr;
        if (ILStgRead(oursStream.get(), &read) != S_OK) {
            ++figures.oursFailures;
        }
        const vtls::UniqueIDList owner(read);
        bytes += owner ? owner.get()->mkid.cb : 0;
        if (identical != nullptr) {
            *identical = SameBytes(list.get(), owner.get());
        }
    };
    const auto peerOnce = [&](LPCITEMIDLIST source, std::uint64_t& bytes, bool* identical) {
        peerStream->Seek(start, STREAM_SEEK_SET, nullptr);
        if (ILSaveToStream(peerStream.get(), source) != S_OK) {
            ++figures.peerFailures;
        }
        peerStream->Seek(start, STREAM_SEEK_SET, nullptr);
        LPITEMIDLIST read = nullptr;
        if (loadFromStream(peerStream.get(), &read) != S_OK) {
            ++figures.peerFailures;
        }
        const ShellIDList owner(read);
        bytes += owner ? owner.get()->mkid.cb : 0;
        if (identical != nullptr) {
            *identical = SameBytes(source, owner.get());
        }
    };

    // Each must give back the item it was given before its speed means much.
    std::uint64_t checkBytes = 0;
    oursOnce(checkBytes, &figures.oursIdentical);
    peerOnce(list.get(), checkBytes, &figures.peerIdentical);
    peerOnce(accepted.get(), checkBytes, &figures.peerAcceptedIdentical);

    const auto measured = Measure([&](std::size_t) { oursOnce(figures.oursBytes, nullptr); },
                                  [&](std::size_t) { peerOnce(list.get(), figures.peerBytes, nullptr); },
                                  [&](std::size_t) { peerOnce(accepted.get(), figures.peerAcceptedBytes, nullptr); });
    figures.ours = measured[0];
    figures.peer = measured[1];
    figures.peerAccepted = measured[2];
    return figures.oursIdentical && figures.oursFailures == 0;
}

// ---- 3. Sorting ---------------------------------------------------------------

struct SortFigures {
    double oursSeconds = 0;
    double namesSeconds = 0;
    double bytesSeconds = 0;
    double oursOverBytes = 0;       // median of the per-round ratio ours / plain byte comparison
    double oursComparisons = 0;
    double namesComparisons = 0;
    double namesCalls = 0;          // lstrcmpiW calls per names-only sort
    std::size_t afterPairs = 0;     // adjacent pairs of our sorted order that compare "after"
    std::size_t refusedPairs = 0;   // adjacent pairs the comparison refused
    std::size_t equalPairs = 0;
    std::size_t namesAfterPairs = 0;
    std::uint64_t listBytes = 0;
};

bool Sort(const std::vector<TreeList>& trees, SortFigures& figures) {
    figures = {};
    std::vector<const TreeList*> shuffledTrees;
    for (const TreeList& tree : trees) {
        shuffledTrees.push_back(&tree);
        figures.listBytes += vtls::GetIDListSize(tree.list.get());
    }
    std::shuffle(shuffledTrees.begin(), shuffledTrees.end(), std::mt19937(20240611));
    std::vector<LPCITEMIDLIST> shuffledLists;
    for (const TreeList* tree : shuffledTrees) {
        shuffledLists.push_back(tree->list.get());
    }

    std::uint64_t oursComparisons = 0;
    std::uint64_t namesComparisons = 0;
    std::uint64_t namesCalls = 0;
    const auto oursBefore = [&oursComparisons](LPCITEMIDLIST a, LPCITEMIDLIST b) {
        ++oursComparisons;
        return HRESULT_CODE(VtlsComparePIDLs(a, b)) == 0xFFFF;
    };
    // Only the names, level by level: no validation, types, kinds or GUIDs.
    const auto namesBefore = [&namesComparisons, &namesCalls](const TreeList* a, const TreeList* b) {
        ++namesComparisons;
        for (int level = 0; level < 3; ++level) {
            ++namesCalls;
            const int order = lstrcmpiW(a->names[level], b->names[level]);
            if (order != 0) {
                return order < 0;
            }
        }
        return false;
    };

    // The floor: the lists' bytes compared as they are (memcmp, then length).
    const auto bytesBefore = [](const TreeList* a, const TreeList* b) {
        const int order = std::memcmp(a->list.get(), b->list.get(), std::min(a->bytes, b->bytes));
        return order != 0 ? order < 0 : a->bytes < b->bytes;
    };

    std::vector<double> oursTimes;
    std::vector<double> namesTimes;
    std::vector<double> bytesTimes;
    std::vector<double> ratios;
    std::vector<const TreeList*> byteTrees;
    std::vector<LPCITEMIDLIST> lists;
    std::vector<const TreeList*> namedTrees;
    for (int r = 0; r < kSortRepetitions; ++r) {
        lists = shuffledLists;
        double start = CounterSeconds();
        std::sort(lists.begin(), lists.end(), oursBefore);
        oursTimes.push_back(CounterSeconds() - start);

        namedTrees = shuffledTrees;
        start = CounterSeconds();
        std::sort(namedTrees.begin(), namedTrees.end(), namesBefore);
        namesTimes.push_back(CounterSeconds() - start);

        byteTrees = shuffledTrees;
        start = CounterSeconds();
        std::sort(byteTrees.begin(), byteTrees.end(), bytesBefore);
        bytesTimes.push_back(CounterSeconds() - start);
        ratios.push_back(oursTimes.back() / bytesTimes.back());
    }

    figures.oursSeconds = Median(oursTimes);
    figures.namesSeconds = Median(namesTimes);
    figures.bytesSeconds = Median(bytesTimes);
    figures.oursOverBytes = Median(ratios);
    figures.oursComparisons = static_cast<double>(oursComparisons) / kSortRepetitions;
    figures.namesComparisons = static_cast<double>(namesComparisons) / kSortRepetitions;
    figures.namesCalls = static_cast<double>(namesCalls) / kSortRepetitions;
    for (std::size_t i = 1; i < lists.size(); ++i) {
        const HRESULT hr = VtlsComparePIDLs(lists[i - 1], lists[i]);
        if (FAILED(hr)) {
            ++figures.refusedPairs;
        } else if (HRESULT_CODE(hr) == 1) {
            ++figures.afterPairs;
        } else if (HRESULT_CODE(hr) == 0) {
            ++figures.equalPairs;
        }
        if (namesBefore(namedTrees[i], namedTrees[i - 1])) {
            ++figures.namesAfterPairs;
        }
    }
    return figures.afterPairs == 0 && figures.refusedPairs == 0 && figures.namesAfterPairs == 0;
}

void PrintSortDetails(const char* title, const SortFigures& sort) {
    std::printf("  %s: ours %.0f lists/s (%.0f ns x %.0f comparisons), names-only %.0f lists/s "
                "(%.0f ns x %.0f comparisons, %.2f lstrcmpiW each)\n",
                title, kSortListCount / sort.oursSeconds, sort.oursSeconds * 1e9 / sort.oursComparisons,
                sort.oursComparisons, kSortListCount / sort.namesSeconds,
                sort.namesSeconds * 1e9 / sort.namesComparisons, sort.namesComparisons,
                sort.namesCalls / sort.namesComparisons);
}

void PrintSortSanity(const char* title, const SortFigures& sort) {
    std::printf("  %s: %zu lists, %llu bytes; adjacent pairs of our order comparing \"after\" %zu, refused %zu,\n"
                "    equal %zu; adjacent pairs out of names-only order %zu\n",
                title, kSortListCount, static_cast<unsigned long long>(sort.listBytes), sort.afterPairs,
                sort.refusedPairs, sort.equalPairs, sort.namesAfterPairs);
}

}  // namespace

int main() {
    std::printf("item identifier lists: ours against the shell (shell32 of this system)\n");
    std::printf("figures: median of %d repetitions, each a loop of >= %.0f ms; sorts: median of %d\n",
                kRepetitions, kMinRepetitionSeconds * 1000, kSortRepetitions);

    // 1. Stream records.
    RoundTripFigures roundTrip;
    const bool roundTripOk = RoundTrip(roundTrip);

    // 2. Copies and sizes of three-level lists, cycling through a few distinct ones.
    TreeBuilder sampleBuilder(7, Mix::kMixed);
    std::vector<TreeList> samples;
    if (!BuildTrees(sampleBuilder, 64, samples)) {
        return 1;
    }
    std::vector<LPCITEMIDLIST> sampleLists;
    std::uint64_t sampleBytes = 0;
    bool samplesAgree = true;
    for (const TreeList& tree : samples) {
        sampleLists.push_back(tree.list.get());
        sampleBytes += vtls::GetIDListSize(tree.list.get());
        // The shell counts the terminator, we do not.
        const vtls::UniqueIDList ours(vtls::CloneIDList(tree.list.get()));
        const ShellIDList peer(ILClone(tree.list.get()));
        samplesAgree = samplesAgree &&
                       ILGetSize(tree.list.get()) == vtls::GetIDListSize(tree.list.get()) + 2 &&
                       SameBytes(tree.list.get(), ours.get()) && SameBytes(tree.list.get(), peer.get());
    }
    const std::size_t sampleMask = sampleLists.size() - 1;

    std::uint64_t oursCloneBytes = 0;
    std::uint64_t peerCloneBytes = 0;
    std::uint64_t cloneFailures = 0;
    const auto clone = Measure(
        [&](std::size_t i) {
            const vtls::UniqueIDList copy(vtls::CloneIDList(sampleLists[i & sampleMask]));
            if (copy) {
                oursCloneBytes += vtls::GetIDListSize(copy.get());
            } else {
                ++cloneFailures;
            }
        },
        [&](std::size_t i) {
            const ShellIDList copy(ILClone(sampleLists[i & sampleMask]));
            if (copy) {
                peerCloneBytes += vtls::GetIDListSize(copy.get());
            } else {
                ++cloneFailures;
            }
        });

    std::uint64_t oursSizeSum = 0;
    std::uint64_t peerSizeSum = 0;
    const auto size = Measure([&](std::size_t i) { oursSizeSum += vtls::GetIDListSize(sampleLists[i & sampleMask]); },
                              [&](std::size_t i) { peerSizeSum += ILGetSize(sampleLists[i & sampleMask]); });

    // 3. Sorting: the mix a browse shows, and one where every level is ordered by
    // name, so both comparators do the same name comparisons.
    std::vector<TreeList> mixedTrees;
    std::vector<TreeList> namedTrees;
    TreeBuilder mixedBuilder(11, Mix::kMixed);
    TreeBuilder namedBuilder(13, Mix::kNamesOnly);
    if (!BuildTrees(mixedBuilder, kSortListCount, mixedTrees) || !BuildTrees(namedBuilder, kSortListCount, namedTrees)) {
        return 1;
    }
    SortFigures mixedSort;
    SortFigures namedSort;
    const bool mixedOk = Sort(mixedTrees, mixedSort);
    const bool namedOk = Sort(namedTrees, namedSort);

    std::printf("\n%-48s %-4s %11s %11s %9s\n", "operation (peer)", "unit", "ours", "peer", "ours/peer");
    PrintRow("stream round trip, 1-item list", "ns", roundTrip.ours.seconds * 1e9, roundTrip.peer.seconds * 1e9);
    PrintRow("  (peer on a same-size item of a shell type)", "ns", roundTrip.ours.seconds * 1e9,
             roundTrip.peerAccepted.seconds * 1e9);
    PrintRow("clone + free, 3-level list", "ns", clone[0].seconds * 1e9, clone[1].seconds * 1e9);
    PrintRow("size, 3-level list", "ns", size[0].seconds * 1e9, size[1].seconds * 1e9);
    PrintRow("sort 100,000 3-level lists, browse mix", "ms", mixedSort.oursSeconds * 1e3,
             mixedSort.namesSeconds * 1e3);
    PrintRow("sort 100,000 3-level lists, all name-ordered", "ms", namedSort.oursSeconds * 1e3,
             namedSort.namesSeconds * 1e3);

    std::printf("\nours / peers:\n"
                "  round trip: ILStgWrite + ILStgRead / ILSaveToStream + ILLoadFromStream, each on a stream\n"
                "    from CreateStreamOnHGlobal, position reset before each write and read; one-item lists,\n"
                "    because ILStgRead gives back only the first item by design\n"
                "  clone + free: vtls::CloneIDList + VtlsSHFree / ILClone + ILFree\n"
                "  size: vtls::GetIDListSize / ILGetSize\n"
                "  sort: std::sort with VtlsComparePIDLs / with a names-only comparator (lstrcmpiW on each\n"
                "    level's name): not an equivalent, it skips validation, types, kinds and GUIDs\n");
    std::printf("\nmedians of the per-round ratios (the rounds ran side by side):\n"
                "  stream round trip, ours / shell on the shell-typed item        %6.2f\n"
                "  sort, ours / plain byte comparison: browse mix %6.2fx, all name-ordered %6.2fx\n"
                "    (byte sort: %.1f and %.1f ms)\n",
                MedianRatio(roundTrip.ours, roundTrip.peerAccepted), mixedSort.oursOverBytes, namedSort.oursOverBytes,
                mixedSort.bytesSeconds * 1e3, namedSort.bytesSeconds * 1e3);
    std::printf("\nsorts:\n");
    PrintSortDetails("browse mix", mixedSort);
    PrintSortDetails("all name-ordered", namedSort);

    std::printf("\nsanity:\n");
    std::printf("  round trip of a %u-byte list: ours gives it back %s; the shell gives it back %s;\n"
                "    the shell-typed item comes back %s\n",
                roundTrip.listBytes, roundTrip.oursIdentical ? "identical" : "CHANGED",
                roundTrip.peerIdentical ? "identical" : "NOT (null list)",
                roundTrip.peerAcceptedIdentical ? "identical" : "NOT");
    std::printf("  item bytes read back per round trip: ours %llu, shell %llu, shell-typed %llu; "
                "failed calls: ours %llu, shell %llu\n",
                static_cast<unsigned long long>(PerCall(roundTrip.oursBytes, roundTrip.ours)),
                static_cast<unsigned long long>(PerCall(roundTrip.peerBytes, roundTrip.peer)),
                static_cast<unsigned long long>(PerCall(roundTrip.peerAcceptedBytes, roundTrip.peerAccepted)),
                static_cast<unsigned long long>(roundTrip.oursFailures),
                static_cast<unsigned long long>(roundTrip.peerFailures));
    std::printf("  64 sample lists, %llu bytes: copies identical and ILGetSize = GetIDListSize + 2: %s\n",
                static_cast<unsigned long long>(sampleBytes), samplesAgree ? "yes" : "NO");
    std::printf("  mean bytes per call (%llu bytes / 64 = %llu): copied ours %llu, shell %llu; "
                "sized ours %llu, shell %llu (it counts the terminator); failed copies %llu\n",
                static_cast<unsigned long long>(sampleBytes), static_cast<unsigned long long>(sampleBytes / 64),
                static_cast<unsigned long long>(PerCall(oursCloneBytes, clone[0])),
                static_cast<unsigned long long>(PerCall(peerCloneBytes, clone[1])),
                static_cast<unsigned long long>(PerCall(oursSizeSum, size[0])),
                static_cast<unsigned long long>(PerCall(peerSizeSum, size[1])),
                static_cast<unsigned long long>(cloneFailures));
    PrintSortSanity("browse mix", mixedSort);
    PrintSortSanity("all name-ordered", namedSort);

    const bool ok = roundTripOk && samplesAgree && cloneFailures == 0 && mixedOk && namedOk;
    std::printf("\n%s\n", ok ? "all checks passed" : "CHECKS FAILED");
    return ok ? 0 : 1;
}
