#include "support/system_texts.h"

namespace {

struct Texts {
    DWORD code;
    const char* wine;
    const char* windows;
};

// Only the codes the tests expect a text for.
constexpr Texts kTexts[] = {
    {2, "File not found.", "The system cannot find the file specified."},
    {5, "Access denied.", "Access is denied."},
    {145, "Directory is not empty.", "The directory is not empty."},
    {1051, "Dependent services are running.",
     "A stop control has been sent to a service that other running services are dependent on."},
    {1060, "Service does not exist.", "The specified service does not exist as an installed service."},
};

} // namespace

::testing::AssertionResult WithSystemText(std::string_view actual, const std::string& before, DWORD code,
                                          const std::string& after)
{
    for (const Texts& texts : kTexts) {
        if (texts.code != code)
            continue;
        if (actual == before + texts.wine + after || actual == before + texts.windows + after)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << actual << "\" is neither \"" << before << texts.wine
                                             << after << "\" nor \"" << before << texts.windows << after << "\"";
    }
    return ::testing::AssertionFailure() << "no texts known for code " << code;
}
