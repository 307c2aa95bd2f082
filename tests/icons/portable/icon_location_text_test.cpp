#include "icons/portable/icon_location_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
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

std::string Narrow(const Text& text) { return std::string(text.begin(), text.end()); }

// Parses text held in a buffer of exactly its length (no terminator), so that
// a read past its end trips AddressSanitizer.
Parsed Parse(const Text& text, std::size_t capacity = 64) {
    std::vector<char16_t> input(text.begin(), text.end());
    std::vector<char16_t> path(capacity + 1, u'#');
    Parsed parsed{};
    parsed.index = kUntouched;
    parsed.code = ParseIconLocation(input.data(), input.size(), path.data(), capacity, &parsed.index);
    std::size_t length = 0;
    while (length < capacity && path[length] != 0) {
        ++length;
    }
    parsed.path = capacity == 0 || path[0] == u'#' ? Text(u"<untouched>") : Text(path.data(), length);
    std::size_t inputLength = 0;
    while (inputLength < input.size() && input[inputLength] != 0) {
        ++inputLength;
    }
    parsed.textAfter.assign(input.data(), inputLength);
    return parsed;
}

TEST(ParseIconLocation, PathAndIndexAroundTheFirstComma) {
    const Parsed parsed = Parse(u"C:\\x\\app.dll,3");
    EXPECT_EQ(parsed.code, result::kOk);
    EXPECT_EQ(parsed.path, u"C:\\x\\app.dll");
    EXPECT_EQ(parsed.index, 3);
    // The comma became the path's terminator in the caller's text.
    EXPECT_EQ(parsed.textAfter, u"C:\\x\\app.dll");

    const Parsed second = Parse(u"a,b.dll,7");
    EXPECT_EQ(second.code, result::kFail) << "the text after the first comma must be a number";
    EXPECT_EQ(second.path, u"a");
}

TEST(ParseIconLocation, NumberAsPercentLuReadsIt) {
    const struct {
        const char16_t* text;
        std::int32_t index;
    } cases[] = {
        {u"m,-7", -7},           {u"m,  12", 12},        {u"m,\t+5", 5},           {u"m,42 and more", 42},
        {u"m,0x10", 0},          {u"m,007", 7},          {u"m,\n9", 9},            {u"m,4294967295", -1},
        {u"m,2147483648", INT32_MIN}, {u"m,-4294967295", 1}, {u"m,99999999999", -1}, {u"m,-99999999999", -1},
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(c.text);
        EXPECT_EQ(parsed.code, result::kOk) << Narrow(c.text);
        EXPECT_EQ(parsed.index, c.index) << Narrow(c.text);
    }
}

TEST(ParseIconLocation, NoNumberFailsAfterCopyingThePath) {
    for (const char16_t* text : {u"lib.dll,", u"lib.dll,x", u"lib.dll, -", u"lib.dll,+", u"lib.dll,\n"}) {
        const Parsed parsed = Parse(text);
        EXPECT_EQ(parsed.code, result::kFail);
        EXPECT_EQ(parsed.path, u"lib.dll");
        EXPECT_EQ(parsed.index, kUntouched);
    }
}

TEST(ParseIconLocation, NoCommaOrLineFeedFirstFailsWithoutTouchingAnything) {
    for (const char16_t* text : {u"lib.dll", u"", u"lib\n.dll,3", u"\n,3"}) {
        const Parsed parsed = Parse(text);
        EXPECT_EQ(parsed.code, result::kFail);
        EXPECT_EQ(parsed.path, u"<untouched>");
        EXPECT_EQ(parsed.index, kUntouched);
        EXPECT_EQ(parsed.textAfter, Text(text));
    }
}

TEST(ParseIconLocation, TextEndsAtItsTerminatorOrItsLength) {
    // A comma after the terminator does not count.
    const Text withTerminator(u"lib.dll\0,3", 10);
    EXPECT_EQ(Parse(withTerminator).code, result::kFail);
    // The digits stop at the terminator too.
    const Text digitsCut(u"lib.dll,12\0" u"34", 13);
    EXPECT_EQ(Parse(digitsCut).index, 12);
}

TEST(ParseIconLocation, PathIsCutToCapacityLessOne) {
    const Parsed cut = Parse(u"C:\\long\\path.dll,2", 8);
    EXPECT_EQ(cut.code, result::kOk);
    EXPECT_EQ(cut.path, u"C:\\long");
    EXPECT_EQ(cut.index, 2);
    EXPECT_EQ(Parse(u"abc,1", 1).path, u"");
    EXPECT_EQ(Parse(u"abc,1", 4).path, u"abc");
    // No room at all: nothing is written, the index still is.
    const Parsed none = Parse(u"abc,1", 0);
    EXPECT_EQ(none.code, result::kOk);
    EXPECT_EQ(none.index, 1);
}

TEST(CopyTruncated, CopiesAsLstrcpynDoes) {
    char16_t out[6];
    const Text source = u"abcdefgh";
    std::fill(std::begin(out), std::end(out), u'#');
    CopyTruncated(out, 6, source.data(), source.size());
    EXPECT_EQ(Text(out), u"abcde");
    std::fill(std::begin(out), std::end(out), u'#');
    CopyTruncated(out, 6, source.data(), 2);
    EXPECT_EQ(Text(out), u"ab");
    std::fill(std::begin(out), std::end(out), u'#');
    CopyTruncated(out, 0, source.data(), source.size());
    EXPECT_EQ(out[0], u'#');
    CopyTruncated<char16_t>(nullptr, 6, source.data(), source.size());
}

}  // namespace
}  // namespace vtls::icons
