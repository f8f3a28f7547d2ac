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

TEST_F(TextOrderTest, WindowColoursAreTheStandardScheme)
{
    EXPECT_EQ(Os().getSysColor(COLOR_WINDOW), 0xFFFFFFu);
    EXPECT_EQ(Os().getSysColor(COLOR_WINDOWTEXT), 0x000000u);
}

} // namespace
