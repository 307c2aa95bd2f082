// Two lists from untrusted bytes: the validation walk must stay inside them, and
// the order must behave as an order (reflexive, antisymmetric).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/portable/byte_order.h"
#include "itemid/portable/compare_rules.h"

namespace {

using vtls::itemid::NameView;

// Reads every character it is given, so a name reaching past its item trips ASan.
int TouchingCompare(const NameView& a, const NameView& b) noexcept {
    const auto at = [](const NameView& n, std::size_t i) -> std::uint32_t {
        return i < n.length ? vtls::itemid::LoadU16(n.chars + 2 * i) : 0;
    };
    for (std::size_t i = 0;; ++i) {
        const std::uint32_t ca = at(a, i) | 0x20;
        const std::uint32_t cb = at(b, i) | 0x20;
        if (ca != cb) return ca < cb ? -1 : 1;
        if (i >= a.length && i >= b.length) return 0;
        if (i >= a.length || i >= b.length) return i >= a.length ? -1 : 1;
    }
}

struct Checked {
    std::vector<std::uint8_t> bytes;
    bool valid;
};

Checked Take(const std::uint8_t* data, std::size_t size) {
    Checked list{std::vector<std::uint8_t>(data, data + size), false};
    const auto readable = [&](std::size_t n) { return n <= list.bytes.size(); };
    const auto measured = vtls::itemid::ComparableListSize(list.bytes.data(), readable);
    list.valid = measured.has_value() && *measured > 0;
    // Exactly the bytes the walk accepted, so anything read beyond is an overread.
    if (list.valid) list.bytes.resize(*measured + 2);
    list.bytes.shrink_to_fit();
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t split = data[0] % size;
    const Checked a = Take(data + 1, split > 0 ? split - 1 : 0);
    const Checked b = Take(data + split, size - split);
    if (!a.valid || !b.valid) return 0;
    using vtls::itemid::CompareValidLists;
    const auto ab = CompareValidLists(a.bytes.data(), b.bytes.data(), TouchingCompare);
    const auto ba = CompareValidLists(b.bytes.data(), a.bytes.data(), TouchingCompare);
    const auto flip = [](vtls::result::Code c) { return c == 1 ? 0xFFFF : (c == 0xFFFF ? 1 : c); };
    if (ab != 0 && ab != 1 && ab != 0xFFFF) std::abort();
    if (ba != flip(ab)) std::abort();
    if (CompareValidLists(a.bytes.data(), a.bytes.data(), TouchingCompare) != 0) std::abort();
    return 0;
}
