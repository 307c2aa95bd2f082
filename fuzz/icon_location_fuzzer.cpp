// The text of a "DefaultIcon" value from the registry, as UTF-16 code units of
// any length, with or without a terminator, and a caller's buffer of any
// capacity: the parse must stay inside both and terminate what it copies.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "icons/portable/icon_location_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t capacity = data[0] % 40;
    std::vector<char16_t> text((size - 1) / 2);  // exact size: reads beyond trip ASan
    if (!text.empty()) std::memcpy(text.data(), data + 1, text.size() * sizeof(char16_t));
    std::vector<char16_t> path(capacity, u'#');
    std::int32_t index = 0;
    const auto code = vtls::icons::ParseIconLocation(text.data(), text.size(), path.data(), capacity, &index);
    if (capacity != 0 && path[0] != u'#') {
        bool terminated = false;
        for (char16_t c : path) terminated = terminated || c == 0;
        if (!terminated) std::abort();
    }
    if (code != vtls::result::kOk && code != vtls::result::kFail) std::abort();
    return 0;
}
