#include "itemid/portable/compare_rules.h"

#include <cstring>

#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"

namespace vtls::itemid {
namespace {

// Types whose items are told apart by their GUID alone, and the type whose items
// are all equal at their level.
bool IsOrderedByGuid(std::int32_t type) noexcept {
    return type == 9 || type == 12 || type == 18 || type == 19;
}
constexpr std::int32_t kTypeAlwaysEqual = 17;

// One item of a validated list. Fields that would lie past the item's end read as
// zeros, so a short item never makes the comparison read outside its list.
class ItemView {
public:
    explicit ItemView(const std::uint8_t* item) noexcept : m_item(item), m_size(LoadU16(item)) {}

    [[nodiscard]] bool HasNext() const noexcept { return LoadU16(m_item + m_size) != 0; }
    [[nodiscard]] ItemView Next() const noexcept { return ItemView(m_item + m_size); }

    [[nodiscard]] std::int32_t Int32At(std::size_t offset) const noexcept {
        // Read in place when the field lies inside the item (the usual case):
        // a sort asks for two fields per level of every comparison.
        if (offset <= m_size && m_size - offset >= 4) {
            return LoadI32(m_item + offset);
        }
        std::uint8_t bytes[4] = {};
        CopyOut(offset, bytes, sizeof(bytes));
        return LoadI32(bytes);
    }

    void CopyOut(std::size_t offset, std::uint8_t* out, std::size_t count) const noexcept {
        if (offset < m_size) {
            const std::size_t available = m_size - offset;
            std::memcpy(out, m_item + offset, available < count ? available : count);
        }
    }

    [[nodiscard]] NameView Name() const noexcept {
        NameView name{m_item + kNameOffset, 0, false};
        if (m_size <= kNameOffset) {
            name.chars = m_item + m_size;  // empty, nothing to read
            return name;
        }
        const std::size_t maxChars = (m_size - kNameOffset) / 2;
        while (name.length < maxChars) {
            if (LoadU16(name.chars + 2 * name.length) == 0) {
                name.terminated = true;
                break;
            }
            ++name.length;
        }
        return name;
    }

private:
    const std::uint8_t* m_item;
    std::size_t m_size;
};

result::Code FromOrder(int order) noexcept {
    return order < 0 ? kSortsBefore : (order > 0 ? kSortsAfter : kSortsEqual);
}

bool SameUnits(const NameView& a, const NameView& b) noexcept {
    return a.length == b.length && std::memcmp(a.chars, b.chars, 2 * a.length) == 0;
}

// Orders the first items of two lists: negative, zero or positive.
int CompareItems(const ItemView& a, const ItemView& b, NameCompare compareNames, SameNames sameNames) noexcept {
    const std::int32_t typeA = a.Int32At(kTypeOffset);
    const std::int32_t typeB = b.Int32At(kTypeOffset);
    if (typeA != typeB) {
        return typeA < typeB ? -1 : 1;
    }
    if (typeA == kTypeAlwaysEqual) {
        return 0;
    }
    if (IsOrderedByGuid(typeA)) {
        std::uint8_t guidA[kGuidSize] = {};
        std::uint8_t guidB[kGuidSize] = {};
        a.CopyOut(kGuidOffset, guidA, kGuidSize);
        b.CopyOut(kGuidOffset, guidB, kGuidSize);
        return std::memcmp(guidA, guidB, kGuidSize);
    }
    const NameView nameA = a.Name();
    const NameView nameB = b.Name();
    // Items below one parent share its name at that level, so most comparisons
    // of a sort meet equal names on the way down; the platform's linguistic
    // order costs far more than this look (and says zero for them anyway).
    if (sameNames == SameNames::kEqualWithoutAsking && SameUnits(nameA, nameB)) {
        return 0;
    }
    return compareNames(nameA, nameB);
}

}  // namespace

result::Code CompareValidLists(const std::uint8_t* a, const std::uint8_t* b, NameCompare compareNames,
                               SameNames sameNames) noexcept {
    ItemView itemA(a);
    ItemView itemB(b);
    for (;;) {
        // Depth first: a list that ends here sorts before one that goes on.
        const bool restA = itemA.HasNext();
        const bool restB = itemB.HasNext();
        if (restA != restB) {
            return restA ? kSortsAfter : kSortsBefore;
        }
        // Kinds descend: real items first, then error and wait placeholders.
        const std::int32_t kindA = itemA.Int32At(kKindOffset);
        const std::int32_t kindB = itemB.Int32At(kKindOffset);
        if (kindA != kindB) {
            return kindA > kindB ? kSortsBefore : kSortsAfter;
        }
        if (kindA != static_cast<std::int32_t>(Kind::kReal)) {
            return kSortsEqual;  // placeholders of one kind are equal, rests unseen
        }
        const int order = CompareItems(itemA, itemB, compareNames, sameNames);
        if (order != 0) {
            return FromOrder(order);
        }
        if (!restA) {
            return kSortsEqual;
        }
        itemA = itemA.Next();
        itemB = itemB.Next();
    }
}

}  // namespace vtls::itemid
