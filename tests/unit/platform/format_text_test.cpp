#include "platform/format_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

namespace {

const char kResponseFile[] =
    "[{guid}-DlgOrder]\r\nDlg0={guid}-MessageBox-0\r\nCount=2\r\nDlg1={guid}-SdFinish-0\r\n"
    "[{guid}-MessageBox-0]\r\nResult=6\r\n[{guid}-SdFinish-0]\r\nResult=1\r\nbOpt1=0\r\n"
    "bOpt2=0\r\n";

TEST(FormatTextTest, FillsPlaceholdersInPlace)
{
    EXPECT_EQ(FormatText("Windows Error 0x{err}: {msg}", "5", "Access denied."),
              "Windows Error 0x5: Access denied.");
    EXPECT_EQ(FormatText("no placeholders"), "no placeholders");
    EXPECT_EQ(FormatText(""), "");
}

TEST(FormatTextTest, ResponseFileTakesOneArgumentPerOccurrence)
{
    const std::string guid = "{6D1F2B5C-0000-4A2B-9C3D-112233445566}";
    const std::string text = FormatText(kResponseFile, guid, guid, guid, guid, guid);
    EXPECT_EQ(text.rfind("[" + guid + "-DlgOrder]\r\nDlg0=" + guid + "-MessageBox-0\r\n", 0), 0u);
    EXPECT_NE(text.find("[" + guid + "-SdFinish-0]\r\nResult=1\r\nbOpt1=0\r\nbOpt2=0\r\n"),
              std::string::npos);

    EXPECT_THROW(FormatText(kResponseFile, guid, guid, guid, guid), TooManyFormatArguments);
    EXPECT_THROW(FormatText(kResponseFile, guid, guid, guid, guid, guid, guid),
                 TooFewFormatArguments);
}

TEST(FormatTextTest, RepeatedNameShowsTheValueOfItsFirstOccurrence)
{
    EXPECT_EQ(FormatText("{a}{b}{a}", "x", "y", "z"), "xyx");
    EXPECT_EQ(FormatText("{b}{a}{b}", "1", "2", "3"), "121");
}

TEST(FormatTextTest, ValuesAreInsertedAsTheyAre)
{
    EXPECT_EQ(FormatText("[{v}]", "{_lf}{x}"), "[{_lf}{x}]");
}

TEST(FormatTextTest, PredefinedEscapes)
{
    EXPECT_EQ(FormatText("{_obrace}x{_cbrace}{_crlf}"), "{x}\r\n");
    EXPECT_EQ(FormatText("{_tab}{_lf}{_cr}"), "\t\n\r");
    EXPECT_EQ(FormatText("a}b"), "a}b") << "a lone closing brace is an ordinary character";
}

TEST(FormatTextTest, FirstCharacterOfANameIsNotChecked)
{
    EXPECT_EQ(FormatText("{9lives}", "x"), "x");
    EXPECT_EQ(FormatText("{-a}", "x"), "x");
}

struct BadTemplate {
    const char* name;
    const char* pattern;
    std::function<void(const char*)> expectThrow;
};

void PrintTo(const BadTemplate& bad, std::ostream* out)
{
    *out << '"' << bad.pattern << '"';
}

class FormatTextErrorTest : public ::testing::TestWithParam<BadTemplate> {
};

TEST_P(FormatTextErrorTest, Throws)
{
    GetParam().expectThrow(GetParam().pattern);
}

template <class E>
std::function<void(const char*)> Expect()
{
    return [](const char* pattern) { EXPECT_THROW(FormatText(pattern, "arg"), E) << pattern; };
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FormatTextErrorTest,
    ::testing::Values(BadTemplate{"UnclosedBrace", "open {never closed", Expect<BadFormatStringError>()},
                      BadTemplate{"UnclosedAtEnd", "{a}{", Expect<BadFormatStringError>()},
                      BadTemplate{"EmptyName", "empty {}", Expect<ImproperFormatVariableName>()},
                      BadTemplate{"Hyphen", "{a-b}", Expect<ImproperFormatVariableName>()},
                      BadTemplate{"BraceInName", "{a{b}", Expect<ImproperFormatVariableName>()},
                      BadTemplate{"BlankInName", "{a b}", Expect<ImproperFormatVariableName>()},
                      BadTemplate{"UnknownPredefined", "{_nope}", Expect<UndefinedFormatVariable>()},
                      BadTemplate{"LoneUnderscore", "{_}", Expect<UndefinedFormatVariable>()},
                      BadTemplate{"TooFewArguments", "{a}{b}", Expect<TooManyFormatArguments>()},
                      BadTemplate{"ArgumentLeftOver", "no placeholder", Expect<TooFewFormatArguments>()}),
    [](const ::testing::TestParamInfo<BadTemplate>& param) { return std::string(param.param.name); });

TEST(FormatTextTest, ErrorsComeBeforeAnyOutput)
{
    // The bad name sits after a good placeholder: nothing is rendered at all.
    EXPECT_THROW(FormatText("{a} then {_bad}", "x"), UndefinedFormatVariable);
}

TEST(EscapeFormatTextTest, RendersBackToTheSameText)
{
    const std::string text = "tab\there, lone\rcr, crlf\r\n, lf\n, {braces} and }{ \xC3\xA9";
    EXPECT_EQ(FormatText(EscapeFormatText(text)), text);
    EXPECT_EQ(EscapeFormatText("a\r\nb\r"), "a{_crlf}b{_cr}");
    EXPECT_EQ(EscapeFormatText("{}"), "{_obrace}{_cbrace}");
}

} // namespace
