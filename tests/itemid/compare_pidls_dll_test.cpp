// VtlsComparePIDLs on lists from callers: real lists, and hostile ones.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "VantrelSh.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::EncodePlaceholder;
using vtls::test::EncodeReal;
using vtls::test::List;

HRESULT Compare(const Bytes& a, const Bytes& b) {
    return VtlsComparePIDLs(reinterpret_cast<LPCITEMIDLIST>(a.data()), reinterpret_cast<LPCITEMIDLIST>(b.data()));
}

TEST(ComparePIDLs, AnswersInTheFormOfCompareIDs) {
    const Bytes alpha = List({EncodeReal(5, u"Alpha")});
    const Bytes beta = List({EncodeReal(5, u"beta")});
    EXPECT_EQ(Compare(alpha, beta), static_cast<HRESULT>(0x0000FFFF));
    EXPECT_EQ(Compare(beta, alpha), 1);
    EXPECT_EQ(Compare(alpha, List({EncodeReal(5, u"ALPHA")})), 0);
    EXPECT_EQ(Compare(List({EncodePlaceholder(0, 0)}), alpha), 1);
    // Depth before content.
    EXPECT_EQ(Compare(beta, List({EncodeReal(5, u"Alpha"), EncodeReal(5, u"Alpha")})),
              static_cast<HRESULT>(0x0000FFFF));
}

TEST(ComparePIDLs, NamesCompareAsLstrcmpiW) {
    // Whatever the platform's case-insensitive order says of names, the comparison says too.
    const std::u16string names[] = {u"a", u"B", u"\u00e4", u"z", u"Z", u"_x", u"10", u"9", u"\u00df"};
    for (const auto& left : names) {
        for (const auto& right : names) {
            const int expected = lstrcmpiW(reinterpret_cast<LPCWSTR>(left.c_str()), reinterpret_cast<LPCWSTR>(right.c_str()));
            const HRESULT got = Compare(List({EncodeReal(5, left)}), List({EncodeReal(5, right)}));
            EXPECT_EQ(got, expected < 0 ? 0xFFFF : (expected > 0 ? 1 : 0));
        }
    }
}

// Most names are decided by the order learnt from lstrcmpiW, the rest by
// lstrcmpiW itself: on random names of ASCII letters, digits and marks, some
// that the platform's word order ignores or joins (hyphen, apostrophe, a
// combining diaeresis, a-umlaut, sharp s), every answer is lstrcmpiW's, also
// one level down below equal names.
TEST(ComparePIDLs, RandomNamesCompareAsLstrcmpiW) {
    const std::u16string alphabet = u"aAbBcChHzZsSiIoO0123456789. _-'\u0308\u00e4\u00df";
    std::mt19937 random(2024);
    const auto randomName = [&](std::size_t maxLength) {
        std::u16string name;
        for (std::size_t i = random() % (maxLength + 1); i > 0; --i) {
            name += alphabet[random() % alphabet.size()];
        }
        return name;
    };
    int mismatches = 0;
    for (int n = 0; n < 4000 && mismatches < 10; ++n) {
        std::u16string left = randomName(3);
        std::u16string right = left;
        left += randomName(4);
        right += randomName(4);
        const int expected =
            lstrcmpiW(reinterpret_cast<LPCWSTR>(left.c_str()), reinterpret_cast<LPCWSTR>(right.c_str()));
        const HRESULT want = expected < 0 ? 0xFFFF : (expected > 0 ? 1 : 0);
        const Bytes parent = EncodeReal(5, u"Line3");
        const HRESULT flat = Compare(List({EncodeReal(5, left)}), List({EncodeReal(5, right)}));
        const HRESULT nested =
            Compare(List({parent, EncodeReal(5, left)}), List({parent, EncodeReal(5, right)}));
        if (flat != want || nested != want) {
            ++mismatches;
            ADD_FAILURE() << "names " << std::wstring(left.begin(), left.end()).c_str() << " / "
                          << std::wstring(right.begin(), right.end()).c_str() << ": " << flat << ", " << nested
                          << ", lstrcmpiW " << expected;
        }
    }
}

TEST(ComparePIDLs, RefusesNullEmptyAndOverlongLists) {
    const Bytes alpha = List({EncodeReal(5, u"Alpha")});
    EXPECT_EQ(VtlsComparePIDLs(nullptr, reinterpret_cast<LPCITEMIDLIST>(alpha.data())), E_INVALIDARG);
    EXPECT_EQ(Compare(List({}), alpha), E_INVALIDARG);
    EXPECT_EQ(Compare(alpha, List({})), E_INVALIDARG);
    // 32,767 bytes or more.
    Bytes huge = List({Bytes(32767, 0)});
    vtls::itemid::StoreU16(huge.data(), 32767);
    EXPECT_EQ(Compare(huge, alpha), E_INVALIDARG);
    Bytes under = List({Bytes(32766, 0)});
    vtls::itemid::StoreU16(under.data(), 32766);
    EXPECT_EQ(Compare(under, under), 0);
}

// A list that runs into a page that cannot be read.
TEST(ComparePIDLs, RefusesAListThatRunsIntoUnreadableMemory) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const SIZE_T page = info.dwPageSize;
    auto* base = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
    // The last item ends exactly at the page boundary: its terminator lies beyond.
    const Bytes item = EncodeReal(5, u"edge");
    std::uint8_t* list = base + page - item.size();
    std::memcpy(list, item.data(), item.size());
    const Bytes alpha = List({EncodeReal(5, u"Alpha")});
    EXPECT_EQ(VtlsComparePIDLs(reinterpret_cast<LPCITEMIDLIST>(list), reinterpret_cast<LPCITEMIDLIST>(alpha.data())),
              E_INVALIDARG);
    // Moved two bytes back, the terminator fits and the list is fine.
    std::memmove(list - 2, list, item.size());
    list[item.size() - 2] = 0;
    list[item.size() - 1] = 0;
    EXPECT_EQ(VtlsComparePIDLs(reinterpret_cast<LPCITEMIDLIST>(list - 2), reinterpret_cast<LPCITEMIDLIST>(alpha.data())),
              1);
    // A pointer into an unreadable page.
    EXPECT_EQ(VtlsComparePIDLs(reinterpret_cast<LPCITEMIDLIST>(base + page), reinterpret_cast<LPCITEMIDLIST>(alpha.data())),
              E_INVALIDARG);
    VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace
