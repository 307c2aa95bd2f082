// What a process holds, for the tests that call an icon function many times:
// GDI objects, kernel handles and committed memory.
//
// GDI objects are counted with GetGuiResources where the system implements it.
// Wine (8.0 measured) answers 0 for every process: it is a stub there. Wine
// keeps one GDI handle table per process, published like Windows' shared one
// through the PEB (GdiSharedHandleTable, 65536 entries of 24 bytes, the object
// type at byte 14, the same for both widths), so there the live entries are
// counted instead.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "icons/under_wine.h"
#include "support/process_resources.h"

namespace vtls::test {

// The process's PEB, from ProcessBasicInformation (class 0): the second
// pointer-sized field of the answer.
inline const std::uint8_t* ProcessEnvironmentBlock() {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    ULONG_PTR basic[6] = {};
    if (query == nullptr || query(GetCurrentProcess(), 0, basic, sizeof(basic), nullptr) < 0) {
        return nullptr;
    }
    return reinterpret_cast<const std::uint8_t*>(basic[1]);
}

// Where the table is: the PEB's GdiSharedHandleTable (offset 0xF8 on x86_64,
// 0x94 on i686). Wine 10 in WoW64 mode leaves the 32-bit PEB's entry empty and
// publishes the table only in the process's 64-bit PEB, which a 32-bit process
// reaches through its 64-bit TEB (the 32-bit TEB's WowTebOffset, at 0xFDC, is
// its distance; the 64-bit TEB keeps the PEB's address at 0x60). Both lie below
// 4 GiB there (measured); anything else counts as not found.
inline const std::uint8_t* WineGdiTable() {
    const std::uint8_t* peb = ProcessEnvironmentBlock();
    if (peb == nullptr) {
        return nullptr;
    }
    const std::uint8_t* table = nullptr;
#ifdef _WIN64
    std::memcpy(&table, peb + 0xF8, sizeof(table));
#else
    std::memcpy(&table, peb + 0x94, sizeof(table));
    if (table == nullptr) {
        // The thread's TEB, from ThreadBasicInformation (class 0): its second field.
        using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
        const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
        ULONG_PTR basic[8] = {};
        if (query == nullptr || query(GetCurrentThread(), 0, basic, 7 * sizeof(ULONG_PTR), nullptr) < 0 ||
            basic[1] == 0) {
            return nullptr;
        }
        const auto* teb = reinterpret_cast<const std::uint8_t*>(basic[1]);
        LONG wowTebOffset = 0;
        std::memcpy(&wowTebOffset, teb + 0xFDC, sizeof(wowTebOffset));
        if (wowTebOffset == 0) {
            return nullptr;
        }
        std::uint64_t peb64 = 0;
        std::uint64_t table64 = 0;
        std::memcpy(&peb64, teb + wowTebOffset + 0x60, sizeof(peb64));
        if (peb64 == 0 || peb64 >= (std::uint64_t{1} << 32)) {
            return nullptr;
        }
        std::memcpy(&table64, reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(peb64)) + 0xF8,
                    sizeof(table64));
        if (table64 >= (std::uint64_t{1} << 32)) {
            return nullptr;
        }
        table = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(table64));
    }
#endif
    return table;
}

inline std::optional<std::size_t> CountWineGdiTable() {
    constexpr std::size_t kEntries = 0x10000;
    constexpr std::size_t kEntryBytes = 24;
    constexpr std::size_t kTypeOffset = 14;
    const std::uint8_t* table = WineGdiTable();
    if (table == nullptr) {
        return std::nullopt;
    }
    std::size_t live = 0;
    for (std::size_t i = 0; i < kEntries; ++i) {
        live += table[i * kEntryBytes + kTypeOffset] != 0 ? 1 : 0;
    }
    return live;
}

// Live GDI objects of this process; empty where they cannot be counted.
inline std::optional<std::size_t> CountGdiObjects() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) {
        return reported;
    }
    return RunningUnderWine() ? CountWineGdiTable() : std::nullopt;
}

// Regions of the address space that map a file, module images included: a
// module loaded as a data file and never freed stays one of them.
inline std::size_t CountMappedViews() {
    std::size_t views = 0;
    MEMORY_BASIC_INFORMATION region{};
    const auto* at = static_cast<const std::uint8_t*>(nullptr);
    while (VirtualQuery(at, &region, sizeof(region)) == sizeof(region)) {
        if ((region.Type == MEM_MAPPED || region.Type == MEM_IMAGE) && region.BaseAddress == region.AllocationBase) {
            ++views;
        }
        const auto* next = static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) {
            break;
        }
        at = next;
    }
    return views;
}

struct Census {
    std::optional<std::size_t> gdiObjects;
    std::size_t mappedViews;
    ProcessResources process;
};

inline Census TakeCensus() { return {CountGdiObjects(), CountMappedViews(), MeasureProcess()}; }

}  // namespace vtls::test
