#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

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

} // namespace
