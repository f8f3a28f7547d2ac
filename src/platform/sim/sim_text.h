#pragma once

#include <string>
#include <string_view>

// Case as the simulated machine folds it for file, key, service and variable names and for
// CompareStringW: Windows' upper-case table over the Basic Multilingual Plane. A letter maps to
// its simple upper-case partner only where that partner maps back to it, so the dotless i, the
// long s, the final sigma and the title-case digraphs keep their own case, and the Kelvin, Ohm
// and Angstrom signs match no letter.
char16_t SimUpcase(char16_t c);
char16_t SimDowncase(char16_t c);
std::u16string SimUpcased(std::u16string_view text);
// The same name but for case.
bool SimSameName(std::u16string_view a, std::u16string_view b);
