// Two lists from untrusted bytes: the validation walk must stay inside them, and
// the order must behave as an order (reflexive, antisymmetric), and answering
// names with the same code units without asking must change no result; nor may
// the learnt-weights fast path for names, against the order it was learnt from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/portable/byte_order.h"
#include "itemid/portable/compare_rules.h"
#include "itemid/portable/name_weights.h"
#include "mini_collation.h"

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

// A name as a zero-terminated string for the reference order.
std::vector<char16_t> Terminated(const NameView& n) {
    std::vector<char16_t> units(n.length + 1, 0);
    for (std::size_t i = 0; i < n.length; ++i) units[i] = static_cast<char16_t>(vtls::itemid::LoadU16(n.chars + 2 * i));
    return units;
}

const vtls::test::MiniCollation kReference;
const vtls::itemid::NameWeights kWeights = vtls::itemid::NameWeights::Learn(kReference);

int ReferenceCompare(const NameView& a, const NameView& b) noexcept {
    return kReference(Terminated(a).data(), Terminated(b).data());
}

int FastThenReference(const NameView& a, const NameView& b) noexcept {
    if (const auto fast = kWeights.Compare(a, b)) return *fast;
    return ReferenceCompare(a, b);
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
    using vtls::itemid::SameNames;
    if (CompareValidLists(a.bytes.data(), b.bytes.data(), TouchingCompare, SameNames::kAskAlways) != ab) std::abort();
    if (CompareValidLists(b.bytes.data(), a.bytes.data(), TouchingCompare, SameNames::kAskAlways) != ba) std::abort();
    if (CompareValidLists(a.bytes.data(), a.bytes.data(), TouchingCompare, SameNames::kAskAlways) != 0) std::abort();
    if (!kWeights.Usable()) std::abort();
    const auto reference = CompareValidLists(a.bytes.data(), b.bytes.data(), ReferenceCompare, SameNames::kAskAlways);
    if (CompareValidLists(a.bytes.data(), b.bytes.data(), FastThenReference) != reference) std::abort();
    return 0;
}
