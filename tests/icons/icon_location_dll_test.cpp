// Icon locations from class registrations under HKEY_CLASSES_ROOT\CLSID.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "icons/class_registration.h"
#include "icons/under_wine.h"

namespace {

using vtls::test::ClassRegistration;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80030002);  // STG_E_FILENOTFOUND
constexpr INT kUntouchedIndex = 0x5A5A;
const std::wstring kUntouchedPath = L"(untouched)";

struct Value {
    const wchar_t* subkey;
    DWORD type;
    std::wstring text;
};

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
    const struct {
        const char* what;
        std::vector<Value> values;
        Location expected;
    } cases[] = {
        {"default icon wins",
         {{L"DefaultIcon", REG_SZ, kModule + L",3"}, {L"LocalServer32", REG_SZ, kServer},
          {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kModule, 3}},
        {"negative index", {{L"DefaultIcon", REG_SZ, kModule + L",-2"}}, {S_OK, kModule, -2}},
        {"default icon without comma: local server, whole, index 0",
         {{L"DefaultIcon", REG_SZ, kModule}, {L"LocalServer32", REG_SZ, kServer}, {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kServer, 0}},
        {"expandable default icon counts as missing",
         {{L"DefaultIcon", REG_EXPAND_SZ, L"%SystemRoot%\\a.dll,1"}, {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kInproc, 0}},
        {"default icon key without a value", {{L"DefaultIcon", REG_NONE, L""}, {L"LocalServer32", REG_SZ, kServer}},
         {S_OK, kServer, 0}},
        {"line feed before the comma", {{L"DefaultIcon", REG_SZ, L"C:\\x\n,1"}, {L"LocalServer32", REG_SZ, kServer}},
         {S_OK, kServer, 0}},
        {"expandable local server counts as missing",
         {{L"LocalServer32", REG_EXPAND_SZ, kServer}, {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kInproc, 0}},
        {"only an in-process server", {{L"InprocServer32", REG_SZ, kInproc}}, {S_OK, kInproc, 0}},
        // The servers are still asked; the last of them decides the result.
        {"index that does not convert, nothing else: its path is already copied",
         {{L"DefaultIcon", REG_SZ, kModule + L",x"}},
         {kNotFound, kModule, kUntouchedIndex}},
        {"index that does not convert, then a server",
         {{L"DefaultIcon", REG_SZ, kModule + L",x"}, {L"InprocServer32", REG_SZ, kInproc}},
         {S_OK, kInproc, 0}},
        {"nothing registered", {}, {kNotFound, kUntouchedPath, kUntouchedIndex}},
        {"default icon too long to read ends the search",
         {{L"DefaultIcon", REG_SZ, std::wstring(1100, L'p') + L",1"}, {L"LocalServer32", REG_SZ, kServer}},
         {S_FALSE, kUntouchedPath, kUntouchedIndex}},
        {"default icon filling the buffer exactly",
         {{L"DefaultIcon", REG_SZ, std::wstring(1021, L'p') + L",5"}},
         {S_OK, std::wstring(1021, L'p'), 5}},
    };
    for (const auto& c : cases) {
        const ClassRegistration registration;
        ASSERT_TRUE(registration.created());
        for (const Value& value : c.values) {
            const LONG error = value.type == REG_NONE ? registration.AddEmpty(value.subkey)
                                                      : registration.SetDefault(value.subkey, value.type, value.text);
            ASSERT_EQ(error, ERROR_SUCCESS) << c.what;
        }
        const Location found = Locate(registration.id());
        EXPECT_EQ(found.result, c.expected.result) << c.what;
        EXPECT_EQ(found.path, c.expected.path) << c.what;
        EXPECT_EQ(found.index, c.expected.index) << c.what;
    }
}

// 1024 characters stored without a terminator fill the 2048 bytes exactly.
// Windows hands them over as they are, and the text must end at the buffer's
// end; Wine reports such a value as too long for the buffer.
TEST(IconLocationFromClass, ValueStoredWithoutTerminatorEndsAtTheBuffer) {
    const ClassRegistration registration;
    const std::wstring text = std::wstring(1021, L'q') + L",77";
    ASSERT_EQ(registration.SetDefaultBytes(L"DefaultIcon", REG_SZ, text.data(), text.size() * sizeof(wchar_t)),
              ERROR_SUCCESS);
    const Location found = Locate(registration.id());
    if (vtls::test::RunningUnderWine()) {
        EXPECT_EQ(found.result, S_FALSE);
        EXPECT_EQ(found.path, kUntouchedPath);
        return;
    }
    EXPECT_EQ(found.result, S_OK);
    EXPECT_EQ(found.index, 77);
    EXPECT_EQ(found.path, std::wstring(1021, L'q'));
}

TEST(IconLocationFromClass, PathIsCutToTheCallersCapacity) {
    const ClassRegistration registration;
    registration.SetDefault(L"DefaultIcon", REG_SZ, kModule + L",4");
    const Location cut = Locate(registration.id(), 8);
    EXPECT_EQ(cut.result, S_OK);
    EXPECT_EQ(cut.path, kModule.substr(0, 7));
    EXPECT_EQ(cut.index, 4);

    const ClassRegistration server;
    server.SetDefault(L"InprocServer32", REG_SZ, kInproc);
    EXPECT_EQ(Locate(server.id(), 5).path, kInproc.substr(0, 4));
    EXPECT_EQ(Locate(server.id(), 1).path, L"");
}

TEST(IconLocationFromClass, ClassNotRegisteredAtAll) {
    CLSID unknown{};
    CoCreateGuid(&unknown);
    const Location found = Locate(unknown);
    EXPECT_EQ(found.result, kNotFound);
    EXPECT_EQ(found.path, kUntouchedPath);
}

TEST(IconLocationFromClass, IndexIsRequiredAndPathOnlyWithACapacity) {
    const ClassRegistration registration;
    registration.SetDefault(L"DefaultIcon", REG_SZ, kModule + L",9");
    wchar_t path[16];
    EXPECT_EQ(SHGetIconLocationFromClass(registration.id(), path, 16, nullptr), E_INVALIDARG);
    INT index = 0;
    EXPECT_EQ(SHGetIconLocationFromClass(registration.id(), nullptr, 16, &index), E_INVALIDARG);
    EXPECT_EQ(SHGetIconLocationFromClass(registration.id(), nullptr, 0, &index), S_OK);
    EXPECT_EQ(index, 9);
}

}  // namespace
