#include "icons/portable/icon_location_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vtls::icons {
namespace {

using Text = std::u16string;

struct Parsed {
    result::Code code;
    Text path;
    std::int32_t index;
    Text textAfter;  // the input as the parse left it, up to its first terminator
};

constexpr std::int32_t kUntouched = 0x5A5A5A5A;
// The platform's values written out: the library's own names for them are part
// of what is checked here.
constexpr result::Code kOk = 0;
constexpr result::Code kFail = static_cast<result::Code>(0x80004005u);  // E_FAIL

std::string Narrow(const Text& text) { return std::string(text.begin(), text.end()); }

// Parses text held in a buffer of exactly its length (no terminator), so that
// a read past its end trips AddressSanitizer.
Parsed Parse(const Text& text, std::size_t capacity = 64) {
    std::vector<char16_t> input(text.begin(), text.end());
    std::vector<char16_t> path(capacity + 1, u'#');
    Parsed parsed{};
    parsed.index = kUntouched;
    parsed.code = ParseIconLocation(input.data(), input.size(), path.data(), capacity, &parsed.index);
    const auto pathEnd = std::find(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(capacity), u'\0');
    parsed.path = capacity == 0 || path[0] == u'#' ? Text(u"<untouched>") : Text(path.begin(), pathEnd);
    parsed.textAfter.assign(input.begin(), std::find(input.begin(), input.end(), u'\0'));
    return parsed;
}

TEST(ParseIconLocation, PathAndIndexAroundTheFirstComma) {
    const Parsed parsed = Parse(u"C:\\x\\app.dll,3");
    EXPECT_EQ(parsed.code, kOk);
    EXPECT_EQ(parsed.path, u"C:\\x\\app.dll");
    EXPECT_EQ(parsed.index, 3);
    // The comma became the path's terminator in the caller's text.
    EXPECT_EQ(parsed.textAfter, u"C:\\x\\app.dll");

    const Parsed second = Parse(u"a,b.dll,7");
    EXPECT_EQ(second.code, kFail) << "the text after the first comma must be a number";
    EXPECT_EQ(second.path, u"a");
    // The path is cut to the capacity less one; with no room at all nothing is
    // written, the index still is.
    EXPECT_EQ(Parse(u"C:\\long\\path.dll,2", 8).path, u"C:\\long");
    EXPECT_EQ(Parse(u"abc,1", 4).path, u"abc");
    const Parsed none = Parse(u"abc,1", 0);
    EXPECT_EQ(none.code, kOk);
    EXPECT_EQ(none.index, 1);
}

// The digits stop at the terminator too.
TEST(ParseIconLocation, NumberAsPercentLuReadsIt) {
    const struct {
        Text text;
        std::int32_t index;
    } cases[] = {
        {u"m,-7", -7},         {u"m,  12", 12},              {u"m,\t+5", 5},          {u"m,42 and more", 42},
        {u"m,0x10", 0},        {u"m,2147483648", INT32_MIN}, {u"m,-4294967295", 1}, {u"m,99999999999", -1},
        {Text(u"m,12\0" u"34", 7), 12},
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(c.text);
        EXPECT_EQ(parsed.code, kOk) << Narrow(c.text);
        EXPECT_EQ(parsed.index, c.index) << Narrow(c.text);
    }
}

// Without a number after the comma the path is copied all the same; without a
// comma before any line feed or terminator nothing is touched.
TEST(ParseIconLocation, FailuresLeaveTheIndexAlone) {
    const std::pair<Text, Text> cases[] = {
        {u"lib.dll,", u"lib.dll"},          {u"lib.dll,x", u"lib.dll"},       {u"lib.dll, -", u"lib.dll"},
        {u"lib.dll,+", u"lib.dll"},         {u"lib.dll,\n", u"lib.dll"},      {u"lib.dll", u"<untouched>"},
        {u"", u"<untouched>"},             {u"lib\n.dll,3", u"<untouched>"}, {u"\n,3", u"<untouched>"},
        {Text(u"lib.dll\0,3", 10), u"<untouched>"}};
    for (const auto& [text, path] : cases) {
        const Parsed parsed = Parse(text);
        EXPECT_EQ(parsed.code, kFail) << Narrow(text);
        EXPECT_EQ(parsed.path, path) << Narrow(text);
        EXPECT_EQ(parsed.index, kUntouched) << Narrow(text);
        if (path == u"<untouched>") {
            EXPECT_EQ(parsed.textAfter, Text(text.c_str())) << Narrow(text);
        }
    }
}

}  // namespace
}  // namespace vtls::icons
