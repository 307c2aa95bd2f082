// VtlsComparePIDLs on lists from callers. The order's rules are the portable
// tests'; here what only the real platform shows: lstrcmpiW's answers, names
// handed to it, and memory that cannot be read.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "VantrelSh.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::EncodeReal;
using vtls::test::EncodeUnterminated;
using vtls::test::List;

LPCITEMIDLIST Pidl(const void* bytes) { return static_cast<LPCITEMIDLIST>(bytes); }
HRESULT Compare(const Bytes& a, const Bytes& b) { return VtlsComparePIDLs(Pidl(a.data()), Pidl(b.data())); }

// lstrcmpiW's order in the form of IShellFolder::CompareIDs.
HRESULT PlatformOrder(const std::u16string& a, const std::u16string& b) {
    const int order = lstrcmpiW(reinterpret_cast<LPCWSTR>(a.c_str()), reinterpret_cast<LPCWSTR>(b.c_str()));
    return order < 0 ? 0xFFFF : (order > 0 ? 1 : 0);
}

TEST(ComparePIDLs, RefusesWhatIsNoList) {
    const Bytes alpha = List({EncodeReal(5, u"Alpha")});
    EXPECT_EQ(VtlsComparePIDLs(nullptr, Pidl(alpha.data())), E_INVALIDARG);
    EXPECT_EQ(Compare(alpha, List({})), E_INVALIDARG);
    Bytes huge = List({Bytes(32767, 0)});  // 32,767 bytes or more
    vtls::itemid::StoreU16(huge.data(), 32767);
    EXPECT_EQ(Compare(huge, alpha), E_INVALIDARG);
}

// Most names are decided by the order learnt from lstrcmpiW, the rest by
// lstrcmpiW itself: on random names of ASCII letters, digits and marks, some
// that the platform's word order ignores or joins (hyphen, apostrophe, a
// combining diaeresis, a-umlaut, sharp s), every answer is lstrcmpiW's in the
// form of CompareIDs, also one level down below equal names.
TEST(ComparePIDLs, RandomNamesCompareAsLstrcmpiW) {
    const std::u16string alphabet = u"aAbBcChHzZsSiIoO0123456789. _-'\u0308\u00e4\u00df";
    std::mt19937 random(2024);
    const auto randomName = [&](std::size_t maxLength) {
        std::u16string name;
        for (std::size_t i = random() % (maxLength + 1); i > 0; --i) name += alphabet[random() % alphabet.size()];
        return name;
    };
    const Bytes parent = EncodeReal(5, u"Line3");
    int mismatches = 0;
    for (int n = 0; n < 4000 && mismatches < 10; ++n) {
        const std::u16string common = randomName(3);
        const std::u16string left = common + randomName(4), right = common + randomName(4);
        const HRESULT flat = Compare(List({EncodeReal(5, left)}), List({EncodeReal(5, right)}));
        const HRESULT nested = Compare(List({parent, EncodeReal(5, left)}), List({parent, EncodeReal(5, right)}));
        if (flat != PlatformOrder(left, right) || nested != flat) {
            ++mismatches;
            ADD_FAILURE() << "names " << std::wstring(left.begin(), left.end()).c_str() << " / "
                          << std::wstring(right.begin(), right.end()).c_str() << ": " << flat << ", " << nested;
        }
    }
}

// A name that runs to its item's end has no zero for lstrcmpiW to stop at.
TEST(ComparePIDLs, NamesWithoutTerminatorAreComparedAsTheirCharactersOnly) {
    // Two different ones (a character the learnt order leaves to the platform first).
    EXPECT_EQ(Compare(List({EncodeUnterminated(5, u"\u00e4b")}), List({EncodeUnterminated(5, u"\u00e4c")})),
              PlatformOrder(u"\u00e4b", u"\u00e4c"));
    // The same name in either case, each followed by an item whose size reads as a
    // letter, 'z' (122 bytes) and 'b' (98): only the next items' types (4, 6) decide.
    EXPECT_EQ(Compare(List({EncodeUnterminated(5, u"ab"), EncodeReal(4, u"", 0, 0, Bytes(80))}),
                      List({EncodeUnterminated(5, u"AB"), EncodeReal(6, u"", 0, 0, Bytes(56))})),
              0xFFFF);
}

TEST(ComparePIDLs, RefusesAListThatRunsIntoUnreadableMemory) {
    constexpr SIZE_T page = 4096;  // the x86 page, which the library's probe steps by too
    auto* base = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
    // The last item ends exactly at the page boundary: its terminator lies beyond.
    const Bytes item = EncodeReal(5, u"edge");
    std::uint8_t* list = base + page - item.size();
    std::memcpy(list, item.data(), item.size());
    const Bytes alpha = List({EncodeReal(5, u"Alpha")});
    EXPECT_EQ(VtlsComparePIDLs(Pidl(list), Pidl(alpha.data())), E_INVALIDARG);
    // Moved two bytes back, the terminator fits and the list is fine.
    std::memmove(list - 2, list, item.size());
    list[item.size() - 2] = list[item.size() - 1] = 0;
    EXPECT_EQ(VtlsComparePIDLs(Pidl(list - 2), Pidl(alpha.data())), 1);
    EXPECT_EQ(VtlsComparePIDLs(Pidl(base + page), Pidl(alpha.data())), E_INVALIDARG);
    VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace
