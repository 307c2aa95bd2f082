// Icon locations from class registrations under HKEY_CLASSES_ROOT\CLSID. The
// text rules in detail are in portable/icon_location_text_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "support/registry_scratch.h"

namespace {

using vtls::test::ClassKey;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80030002);  // STG_E_FILENOTFOUND
constexpr INT kUntouchedIndex = 0x5A5A;
const std::wstring kUntouchedPath = L"(untouched)";

struct Location {
    HRESULT result;
    std::wstring path;
    INT index;
};

Location Locate(const CLSID& id, UINT capacity = 2048) {
    std::vector<wchar_t> path(capacity + 1, L'\0');
    kUntouchedPath.copy(path.data(), std::min<size_t>(kUntouchedPath.size(), capacity));
    INT index = kUntouchedIndex;
    const HRESULT result = SHGetIconLocationFromClass(id, path.data(), capacity, &index);
    return {result, std::wstring(path.data()), index};
}

const std::wstring kModule = L"C:\\x\\app.dll";
const std::wstring kServer = L"\"C:\\Program Files\\Vendor\\server.exe\" -Embedding";
const std::wstring kInproc = L"C:\\x\\inproc.dll";

TEST(IconLocationFromClass, SourcesAreAskedInOrder) {
    struct Value {
        const wchar_t* subkey;
        DWORD type;  // REG_NONE: the key without a value
        std::wstring text;
    };
    const struct {
        const char* what;
        std::vector<Value> values;
        Location expected;
    } cases[] = {
        {"default icon wins",
         {{L"DefaultIcon", REG_SZ, kModule + L",3"}, {L"LocalServer32", REG_SZ, kServer}, {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kModule, 3}},
        {"expandable default icon counts as missing",
         {{L"DefaultIcon", REG_EXPAND_SZ, L"%SystemRoot%\\a.dll,1"}, {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kInproc, 0}},
        {"key without a value", {{L"DefaultIcon", REG_NONE, L""}, {L"LocalServer32", REG_SZ, kServer}}, {S_OK, kServer, 0}},
        // The servers are still asked, the local one first, with the path
        // taken whole; the last of them decides the result.
        {"index that does not convert, then a server",
         {{L"DefaultIcon", REG_SZ, kModule + L",x"}, {L"LocalServer32", REG_SZ, kServer},
          {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kServer, 0}},
        {"nothing registered", {}, {kNotFound, kUntouchedPath, kUntouchedIndex}},
        {"default icon too long to read ends the search",
         {{L"DefaultIcon", REG_SZ, std::wstring(1100, L'p') + L",1"}, {L"LocalServer32", REG_SZ, kServer}},
         {S_FALSE, kUntouchedPath, kUntouchedIndex}},
        {"default icon filling the buffer exactly", {{L"DefaultIcon", REG_SZ, std::wstring(1021, L'p') + L",5"}},
         {S_OK, std::wstring(1021, L'p'), 5}},
    };
    for (const auto& c : cases) {
        const ClassKey registration;
        for (const Value& value : c.values) {
            ASSERT_EQ(value.type == REG_NONE ? registration.Set(value.subkey, L"Unrelated", REG_SZ, L"", 2)
                                             : registration.SetText(value.subkey, nullptr, value.text, value.type),
                      ERROR_SUCCESS);
        }
        const Location found = Locate(registration.id());
        EXPECT_EQ(found.result, c.expected.result) << c.what;
        EXPECT_EQ(found.path, c.expected.path) << c.what;
        EXPECT_EQ(found.index, c.expected.index) << c.what;
    }
}

TEST(IconLocationFromClass, ServerPathIsCutToTheCallersCapacityAndTheIndexIsRequired) {
    const ClassKey registration, server;
    registration.SetText(L"DefaultIcon", nullptr, kModule + L",4");
    server.SetText(L"InprocServer32", nullptr, kInproc);
    EXPECT_EQ(Locate(server.id(), 5).path, kInproc.substr(0, 4));
    wchar_t path[16];
    INT index = 0;
    EXPECT_EQ(SHGetIconLocationFromClass(registration.id(), path, 16, nullptr), E_INVALIDARG);
    EXPECT_EQ(SHGetIconLocationFromClass(registration.id(), nullptr, 16, &index), E_INVALIDARG);
    EXPECT_EQ(SHGetIconLocationFromClass(registration.id(), nullptr, 0, &index), S_OK);
    EXPECT_EQ(index, 4);
}

}  // namespace
