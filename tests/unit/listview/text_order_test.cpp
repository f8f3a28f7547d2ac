// The order of list texts, the same on the simulated machine and under Wine: the list sorts by it.

#include "listview/list_ctrl_model.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os_api.h"
#include "support/machine_test.h"

namespace {

class TextOrderTest : public MachineTest {
};

TEST_F(TextOrderTest, CaseDecidesOnlyBetweenOtherwiseEqualTexts)
{
    struct Case {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"abc", "ABC", true},
        {"ABC", "abc", false},
        {"abc", "abd", true},
        {"ABD", "abc", false},
        {"abc", "abc", false},
        {"A2A", "Agent", true},
        {"Velmora Zantrel Server", "Velmora Zantrel Relay", false},
        {"Not Installed", "9.5.10.79", false},
        {"", "Unknown", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextLessThan(c.a, c.b), c.less) << c.a << " < " << c.b;
}

TEST_F(TextOrderTest, CompareStringAnswersWithAndWithoutCase)
{
    struct Case {
        const char16_t* a;
        const char16_t* b;
        DWORD flags;
        int result;
    };
    const Case cases[] = {
        {u"abc", u"ABC", LINGUISTIC_IGNORECASE, CSTR_EQUAL},
        {u"abc", u"ABC", NORM_IGNORECASE, CSTR_EQUAL},
        {u"abc", u"ABC", 0, CSTR_LESS_THAN},
        {u"ABC", u"abc", 0, CSTR_GREATER_THAN},
        {u"abd", u"ABC", LINGUISTIC_IGNORECASE, CSTR_GREATER_THAN},
        {u"ab", u"abc", 0, CSTR_LESS_THAN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Os().compareString(LOCALE_USER_DEFAULT, c.flags, c.a, -1, c.b, -1), c.result);
}

// Letters beyond Latin-1 meet their other case as Wine's CompareStringW has them. Where the
// linguistic order goes further than case (the Kelvin sign equals "k", Cherokee and Georgian
// capitals do not equal their small letters), the simulated machine does not follow it.
TEST_F(TextOrderTest, CaseIsIgnoredAcrossTheBasicMultilingualPlane)
{
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int result;
    };
    const Case cases[] = {
        {u"\u03C9mega", u"\u03A9MEGA", CSTR_EQUAL},       // Greek omega
        {u"\u03C3", u"\u03A3", CSTR_EQUAL},               // sigma
        {u"\u0436\u0443\u043A", u"\u0416\u0423\u041A", CSTR_EQUAL}, // Cyrillic
        {u"\u00FF", u"\u0178", CSTR_EQUAL},               // y with diaeresis, beyond Latin-1's capitals
        {u"\u01C6", u"\u01C4", CSTR_EQUAL},               // the dz digraph
        {u"\u0561", u"\u0531", CSTR_EQUAL},               // Armenian
        {u"\u2C30", u"\u2C00", CSTR_EQUAL},               // Glagolitic
        {u"\uFF41", u"\uFF21", CSTR_EQUAL},               // full-width a
        {u"\u24D0", u"\u24B6", CSTR_EQUAL},               // circled a
        {u"\u2170", u"\u2160", CSTR_EQUAL},               // small roman numeral one
        {u"\u0131", u"I", CSTR_GREATER_THAN},              // the dotless i is no i
        {u"\u017F", u"S", CSTR_GREATER_THAN},              // nor the long s an s
    };
    for (const Case& c : cases)
        EXPECT_EQ(Os().compareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE, c.a, -1, c.b, -1), c.result)
            << std::hex << static_cast<unsigned>(c.a[0]);
}

TEST_F(TextOrderTest, WindowColoursAreTheStandardScheme)
{
    EXPECT_EQ(Os().getSysColor(COLOR_WINDOW), 0xFFFFFFu);
    EXPECT_EQ(Os().getSysColor(COLOR_WINDOWTEXT), 0x000000u);
}

} // namespace
