#include "listview/list_ctrl_model.h"

#include <cwctype>

#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/text.h"

namespace {

// The linguistic flag exists from Windows Vista on, which this program requires.
constexpr DWORD kIgnoreCase = LINGUISTIC_IGNORECASE;

int Compare(const std::u16string& a, const std::u16string& b, DWORD flags)
{
    const int result = Os().compareString(LOCALE_USER_DEFAULT, flags, a.c_str(), static_cast<int>(a.size()),
                                          b.c_str(), static_cast<int>(b.size()));
    if (result == 0)
        ThrowLastError();
    return result;
}

std::u16string Folded(std::u16string text)
{
    for (char16_t& c : text)
        c = static_cast<char16_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}

} // namespace

ListCtrlModel::~ListCtrlModel() = default;

bool TextLessThan(const std::string& a, const std::string& b)
{
    const std::u16string wideA = ToUtf16(a);
    const std::u16string wideB = ToUtf16(b);
    const int withoutCase = Compare(wideA, wideB, kIgnoreCase);
    if (withoutCase != CSTR_EQUAL)
        return withoutCase == CSTR_LESS_THAN;
    return Compare(wideA, wideB, 0) == CSTR_LESS_THAN;
}

std::string DefaultListCtrlModel::headerText(int) const
{
    return {};
}

std::string DefaultListCtrlModel::cellText(int, int) const
{
    return {};
}

int DefaultListCtrlModel::fontWeight(int, int) const
{
    return 400;
}

COLORREF DefaultListCtrlModel::textColor(int, int) const
{
    return Os().getSysColor(COLOR_WINDOWTEXT);
}

COLORREF DefaultListCtrlModel::backgroundColor(int, int) const
{
    return Os().getSysColor(COLOR_WINDOW);
}

int DefaultListCtrlModel::imageIndex(int) const
{
    return 0;
}

int DefaultListCtrlModel::firstColumnExtraWidth(int) const
{
    return 0;
}

bool DefaultListCtrlModel::hasTooltip(int, int) const
{
    return false;
}

std::string DefaultListCtrlModel::tooltipText(int row, int column) const
{
    return cellText(row, column);
}

std::string DefaultListCtrlModel::headerTooltip(int) const
{
    return {};
}

std::string DefaultListCtrlModel::emptyText() const
{
    return {};
}

bool DefaultListCtrlModel::lessThan(int column, int rowA, int rowB) const
{
    return TextLessThan(cellText(rowA, column), cellText(rowB, column));
}

bool DefaultListCtrlModel::containsText(int row, int column, const std::string& text) const
{
    if (text.empty())
        return true;
    return Folded(ToUtf16(cellText(row, column))).find(Folded(ToUtf16(text))) != std::u16string::npos;
}
