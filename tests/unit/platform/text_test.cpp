#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TextTest, RoundTripsEveryPlane)
{
    const std::u16string wide = u"Zantrel \u00e9\u20ac \U0001F600 end";
    const std::string utf8 = "Zantrel \xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80 end";
    EXPECT_EQ(ToUtf8(wide), utf8);
    EXPECT_EQ(ToUtf16(utf8), wide);
    EXPECT_EQ(ToUtf8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextTest, LoneSurrogatesBecomeReplacementCharacters)
{
    EXPECT_EQ(ToUtf8(std::u16string{u'a', char16_t(0xD800)}), "a\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(std::u16string{char16_t(0xDC00), u'b'}), "\xEF\xBF\xBD" "b");
}

TEST(TextTest, MalformedUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(ToUtf16("\xC3"), u"\uFFFD") << "truncated sequence";
    EXPECT_EQ(ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong form";
    EXPECT_EQ(ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
    EXPECT_EQ(ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD") << "past U+10FFFF";
    EXPECT_EQ(ToUtf16("a\xFF" "b"), u"a\uFFFDb");
}

// What the log, deleted.txt and the listings show of a name read from the machine: no character
// of it can end a line, and nothing but the control characters changes.
TEST(TextTest, ControlCharactersShowEscaped)
{
    struct Case {
        std::u16string text;
        std::u16string shown;
    };
    const std::vector<Case> cases = {
        // A backslash stays: "\n" here is two characters, as in a value named so.
        {u"C:\\nothing \\x41 \"quoted\"", u"C:\\nothing \\x41 \"quoted\""},
        {u"a\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]", u"a\\r\\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]"},
        {u"a\tb", u"a\\tb"},
        {std::u16string(u"a\0b", 3), u"a\\x00b"},
        {u"\x01\x1b\x1f \x7f\u0085\u2028\U0001F600", u"\\x01\\x1b\\x1f \x7f\u0085\u2028\U0001F600"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToUtf8(EscapeControlCharacters(c.text)), ToUtf8(c.shown));
        EXPECT_EQ(HasControlCharacter(c.text), c.text != c.shown) << ToUtf8(c.shown);
    }
}

} // namespace
