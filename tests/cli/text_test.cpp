// Strict UTF-8 decoding of arguments and passwords, and the display encoding.
#include <gtest/gtest.h>

#include <string>

#include "cli/text.h"

namespace corvane::cli {
namespace {

TEST(CliText, ValidUtf8Decodes) {
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"\xC3\xA9", u"\u00E9"},                 // two bytes
        {"\xE2\x82\xAC", u"\u20AC"},             // three bytes
        {"\xEF\xBF\xBF", u"\uFFFF"},             // highest three-byte value
        {"\xF0\x9F\x94\x91", u"\U0001F511"},     // four bytes: a surrogate pair
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},     // highest code point
        {"\xC2\x80\xDF\xBF", u"\u0080\u07FF"},   // two-byte edges
    };
    for (const auto& c : cases) {
        std::u16string out;
        ASSERT_TRUE(utf8_to_utf16(c.in, out)) << c.in;
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(to_display_utf8(out), c.in);
    }
}

TEST(CliText, MalformedUtf8IsRefused) {
    const std::string cases[] = {
        std::string("\xC0\xAF"),          // overlong "/"
        std::string("\xE0\x80\xAF"),      // overlong, three bytes
        std::string("\xF0\x80\x80\xAF"),  // overlong, four bytes
        std::string("\xED\xA0\x80"),      // an encoded surrogate
        std::string("\xF4\x90\x80\x80"),  // above U+10FFFF
        std::string("\xF8\x88\x80\x80\x80"),
        std::string("\xFF"),
        std::string("\x80"),              // a lone continuation byte
        std::string("\xC3"),              // cut at the end
        std::string("\xE2\x82"),
        std::string("\xC3(", 2),          // continuation missing in the middle
        std::string("a\0b", 3),           // NUL cannot live in a NUL-terminated text
    };
    for (const auto& c : cases) {
        std::u16string out = u"untouched";
        EXPECT_FALSE(utf8_to_utf16(c, out)) << ::testing::PrintToString(c);
        EXPECT_EQ(out, u"untouched");
    }
}

TEST(CliText, FixedBufferReportsOverflowAndStaysTerminated) {
    char16_t buffer[4];
    std::size_t length = 99;
    EXPECT_EQ(utf8_to_utf16("abc", buffer, 4, &length), Utf8Result::ok);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(std::u16string(buffer), u"abc");

    EXPECT_EQ(utf8_to_utf16("abcd", buffer, 4, &length), Utf8Result::too_long);
    EXPECT_EQ(buffer[3], u'\0');
    // A pair needs both units; it must not be split at the end of the room.
    EXPECT_EQ(utf8_to_utf16("ab\xF0\x9F\x94\x91", buffer, 4, &length), Utf8Result::too_long);
    EXPECT_EQ(std::u16string(buffer), u"ab");
}

TEST(CliText, LoneSurrogatesDisplayAsReplacement) {
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(to_display_utf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace corvane::cli
