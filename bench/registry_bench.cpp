// Registry trees and streams: our copy and delete next to advapi32's
// RegCopyTreeW/RegDeleteTreeW and shlwapi's SHCopyKeyW/SHDeleteKeyW on the same
// tree, and our registry streams next to SHOpenRegStream2W.
//
// Figures are medians; the candidates alternate round by round so that drift
// from other load on the machine falls on all of them alike.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "bench_clock.h"

namespace {

using vtls::bench::CounterSeconds;
using vtls::bench::Median;

constexpr wchar_t kBase[] = L"Software\\VtlsRegistryBench";
constexpr int kFanOut = 10;  // 1 + 10 + 100 + 1,000 keys
constexpr int kLevels = 3;
constexpr int kValuesPerKey = 5;
constexpr int kTreeRounds = 21;
constexpr int kStreamRounds = 21;
constexpr int kStreamCallsPerRound = 200;
constexpr ULONG kStreamBytes = 16 * 1024;

int g_keys = 0;

void FillKey(HKEY key, int level) {
    ++g_keys;
    for (int v = 0; v < kValuesPerKey; ++v) {
        const std::wstring name = L"Value" + std::to_wstring(v);
        if (v % 2 == 0) {
            const std::wstring text = L"text of value " + std::to_wstring(v) + L" at level " + std::to_wstring(level);
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else {
            const DWORD number = static_cast<DWORD>(v * 1000 + level);
            RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        }
    }
    if (level == kLevels) {
        return;
    }
    for (int k = 0; k < kFanOut; ++k) {
        HKEY child = nullptr;
        const std::wstring name = L"Key" + std::to_wstring(k);
        if (RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) ==
            ERROR_SUCCESS) {
            FillKey(child, level + 1);
            RegCloseKey(child);
        }
    }
}

struct Candidate {
    const char* name;
    std::function<bool(HKEY base)> copy;    // Source -> Copy under base
    std::function<bool(HKEY base)> remove;  // deletes base\Copy
    std::vector<double> copySeconds;
    std::vector<double> deleteSeconds;
};

std::vector<Candidate> TreeCandidates() {
    std::vector<Candidate> candidates;
    candidates.push_back({"VtlsRegCopyKey / VtlsRegDeleteKey",
                          [](HKEY base) {
                              HKEY copy = nullptr;
                              const bool ok = SUCCEEDED(VtlsRegCopyKey(base, L"Source", L"Copy", &copy));
                              VtlsRegCloseKey(copy);
                              return ok;
                          },
                          [](HKEY base) { return SUCCEEDED(VtlsRegDeleteKey(base, L"Copy")); },
                          {},
                          {}});
    candidates.push_back({"RegCopyTreeW / RegDeleteTreeW (advapi32)",
                          [](HKEY base) {
                              HKEY source = nullptr;
                              HKEY copy = nullptr;
                              bool ok = RegOpenKeyExW(base, L"Source", 0, KEY_READ, &source) == ERROR_SUCCESS &&
                                        RegCreateKeyExW(base, L"Copy", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &copy,
                                                        nullptr) == ERROR_SUCCESS;
                              ok = ok && RegCopyTreeW(source, nullptr, copy) == ERROR_SUCCESS;
                              RegCloseKey(source);
                              RegCloseKey(copy);
                              return ok;
                          },
                          [](HKEY base) { return RegDeleteTreeW(base, L"Copy") == ERROR_SUCCESS; },
                          {},
                          {}});
    candidates.push_back({"SHCopyKeyW / SHDeleteKeyW (shlwapi)",
                          [](HKEY base) {
                              HKEY copy = nullptr;
                              bool ok = RegCreateKeyExW(base, L"Copy", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &copy,
                                                        nullptr) == ERROR_SUCCESS;
                              ok = ok && SHCopyKeyW(base, L"Source", copy, 0) == ERROR_SUCCESS;
                              RegCloseKey(copy);
                              return ok;
                          },
                          [](HKEY base) { return SHDeleteKeyW(base, L"Copy") == ERROR_SUCCESS; },
                          {},
                          {}});
    return candidates;
}

bool MeasureTrees(HKEY base) {
    std::vector<Candidate> candidates = TreeCandidates();
    for (int round = 0; round < kTreeRounds; ++round) {
        // Each round starts with another candidate, so none always runs first.
        for (std::size_t turn = 0; turn < candidates.size(); ++turn) {
            Candidate& candidate = candidates[(turn + static_cast<std::size_t>(round)) % candidates.size()];
            double start = CounterSeconds();
            if (!candidate.copy(base)) {
                std::fprintf(stderr, "%s: copy failed\n", candidate.name);
                return false;
            }
            candidate.copySeconds.push_back(CounterSeconds() - start);
            start = CounterSeconds();
            if (!candidate.remove(base)) {
                std::fprintf(stderr, "%s: delete failed\n", candidate.name);
                return false;
            }
            candidate.deleteSeconds.push_back(CounterSeconds() - start);
        }
    }
    std::printf("Tree of %d keys x %d values, median of %d rounds\n(ratio: its time over ours; above 1, ours is faster)\n",
                g_keys, kValuesPerKey, kTreeRounds);
    std::printf("  %-42s %10s %7s %10s %7s\n", "", "copy ms", "ratio", "delete ms", "ratio");
    const double ourCopy = Median(candidates[0].copySeconds);
    const double ourDelete = Median(candidates[0].deleteSeconds);
    for (const Candidate& candidate : candidates) {
        const double copy = Median(candidate.copySeconds);
        const double remove = Median(candidate.deleteSeconds);
        std::printf("  %-42s %10.1f %7.2f %10.1f %7.2f\n", candidate.name, copy * 1e3, copy / ourCopy,
                    remove * 1e3, remove / ourDelete);
    }
    // Ours over the same round of the faster peer (by its median), then the
    // median of those: the smaller of two noisy peers in each round would be
    // biased low.
    const std::size_t fastest =
        Median(candidates[1].copySeconds) <= Median(candidates[2].copySeconds) ? 1 : 2;
    std::vector<double> copyRatios;
    std::vector<double> deleteRatios;
    for (int round = 0; round < kTreeRounds; ++round) {
        copyRatios.push_back(candidates[0].copySeconds[round] / candidates[fastest].copySeconds[round]);
        deleteRatios.push_back(candidates[0].deleteSeconds[round] / candidates[1].deleteSeconds[round]);
    }
    std::printf("  medians of the per-round ratios, ours / peer: copy / the faster of RegCopyTreeW and SHCopyKeyW\n"
                "    (%s) %.3f; delete / RegDeleteTreeW %.3f\n",
                fastest == 1 ? "RegCopyTreeW" : "SHCopyKeyW", Median(copyRatios), Median(deleteRatios));
    return true;
}

IStream* PatternStream() {
    std::vector<BYTE> bytes(kStreamBytes);
    for (ULONG i = 0; i < kStreamBytes; ++i) {
        bytes[i] = static_cast<BYTE>(i * 13);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
        return nullptr;
    }
    ULONG written = 0;
    stream->Write(bytes.data(), kStreamBytes, &written);
    return stream;
}

bool ReadAll(IStream* stream) {
    BYTE buffer[kStreamBytes];
    ULONG read = 0;
    return SUCCEEDED(stream->Read(buffer, kStreamBytes, &read)) && read == kStreamBytes;
}

template <typename Body>
double PerCall(Body&& body, bool& ok) {
    const double start = CounterSeconds();
    for (int i = 0; i < kStreamCallsPerRound && ok; ++i) {
        ok = body();
    }
    return (CounterSeconds() - start) / kStreamCallsPerRound;
}

bool MeasureStreams(HKEY base) {
    IStream* source = PatternStream();
    if (source == nullptr) {
        return false;
    }
    bool ok = true;
    std::vector<double> ourSave, ourOpen, shellSave, shellOpen;
    for (int round = 0; round < kStreamRounds && ok; ++round) {
        ourSave.push_back(PerCall([&] { return SUCCEEDED(VtlsRegSaveStream(base, L"Ours", source)); }, ok));
        ourOpen.push_back(PerCall(
            [&] {
                IStream* opened = nullptr;
                const bool done = SUCCEEDED(VtlsRegOpenStream(base, L"Ours", &opened)) && ReadAll(opened);
                if (opened != nullptr) {
                    opened->Release();
                }
                return done;
            },
            ok));
        shellSave.push_back(PerCall(
            [&] {
                // The shell's stream writes its value when it is released.
                IStream* stream = SHOpenRegStream2W(base, nullptr, L"Shell", STGM_WRITE);
                if (stream == nullptr) {
                    return false;
                }
                LARGE_INTEGER start = {};
                source->Seek(start, STREAM_SEEK_SET, nullptr);
                BYTE buffer[kStreamBytes];
                ULONG read = 0;
                source->Read(buffer, kStreamBytes, &read);
                ULONG written = 0;
                const bool done = SUCCEEDED(stream->Write(buffer, read, &written)) && written == kStreamBytes;
                stream->Release();
                return done;
            },
            ok));
        shellOpen.push_back(PerCall(
            [&] {
                IStream* stream = SHOpenRegStream2W(base, nullptr, L"Shell", STGM_READ);
                const bool done = stream != nullptr && ReadAll(stream);
                if (stream != nullptr) {
                    stream->Release();
                }
                return done;
            },
            ok));
    }
    source->Release();
    if (!ok) {
        std::fprintf(stderr, "a stream round failed\n");
        return false;
    }
    std::printf("\n%lu-byte stream in a registry value, median of %d rounds of %d calls (ratio as above)\n",
                static_cast<unsigned long>(kStreamBytes), kStreamRounds, kStreamCallsPerRound);
    std::printf("  %-42s %10s %7s %10s %7s\n", "", "save us", "ratio", "open us", "ratio");
    std::printf("  %-42s %10.1f %7.2f %10.1f %7.2f\n", "VtlsRegSaveStream / VtlsRegOpenStream",
                Median(ourSave) * 1e6, 1.0, Median(ourOpen) * 1e6, 1.0);
    std::printf("  %-42s %10.1f %7.2f %10.1f %7.2f\n", "SHOpenRegStream2W write / read (shlwapi)",
                Median(shellSave) * 1e6, Median(shellSave) / Median(ourSave), Median(shellOpen) * 1e6,
                Median(shellOpen) / Median(ourOpen));
    return true;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
    HKEY base = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kBase, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base, nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create HKCU\\%ls\n", kBase);
        return 1;
    }
    HKEY source = nullptr;
    RegCreateKeyExW(base, L"Source", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &source, nullptr);
    const double fillStart = CounterSeconds();
    FillKey(source, 0);
    RegCloseKey(source);
    std::printf("Registry (built the source tree in %.0f ms)\n\n", (CounterSeconds() - fillStart) * 1e3);

    const bool ok = MeasureTrees(base) && MeasureStreams(base);
    RegCloseKey(base);
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
    CoUninitialize();
    return ok ? 0 : 1;
}
