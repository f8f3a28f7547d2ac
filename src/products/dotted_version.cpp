#include "products/dotted_version.h"

#include <algorithm>

DottedVersion ParseDottedVersion(std::u16string_view text)
{
    const DottedVersion invalid;
    if (text.empty())
        return invalid;
    DottedVersion version;
    version.count = 0;
    unsigned current = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const char16_t c = end ? u'.' : text[i];
        if (c >= u'0' && c <= u'9') {
            current = current * 10 + static_cast<unsigned>(c - u'0');
            if (current > 65535)
                return invalid;
        } else if (c == u'.' || c == u',') {
            if (version.count == 4)
                return invalid;
            version.parts[version.count++] = current;
            current = 0;
        } else {
            return invalid;
        }
    }
    return version;
}

int CompareDottedVersions(const DottedVersion& a, const DottedVersion& b)
{
    const unsigned common = std::min(a.count, b.count);
    for (unsigned i = 0; i < common; ++i)
        if (a.parts[i] != b.parts[i])
            return a.parts[i] < b.parts[i] ? -1 : 1;
    return 0;
}
