// What the current process holds, for load and leak checks. Under Wine
// GetProcessHandleCount reports 0, so handles are counted in the system's table.
#pragma once

#include <cstddef>

namespace vtls::test {

struct ProcessResources {
    std::size_t handles;        // entries of this process in the system handle table
    std::size_t pagefileBytes;      // committed private memory (PagefileUsage)
    std::size_t peakPagefileBytes;  // its highest so far (PeakPagefileUsage)
    std::size_t threads;
    std::size_t topLevelWindows;
};

[[nodiscard]] ProcessResources MeasureProcess();

}  // namespace vtls::test
