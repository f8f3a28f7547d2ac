#include "window/remove_list_model.h"

#include "core/product.h"
#include "products/dotted_version.h"
#include "platform/text.h"

namespace {

constexpr char kNotInstalled[] = "Not Installed";
constexpr char kUnknown[] = "Unknown";
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kLightYellow = 0x66FFFF;
constexpr COLORREF kLightGreen = 0x66FF66;

} // namespace

RemoveListModel::RemoveListModel()
    : DefaultListCtrlSelectionModel<QTVProduct*>(this, this)
{
    setSort(0, true);
}

void RemoveListModel::setProducts(const std::vector<QTVProduct*>& products)
{
    rowProducts = products;
    rowTexts.clear();
    for (const QTVProduct* product : products) {
        ProductRow row;
        row.nameText = ToUtf8(product->name());
        if (product->isInstalled()) {
            const OptionalText version = product->version();
            row.versionText = version ? ToUtf8(*version) : kUnknown;
        } else {
            row.versionText = kNotInstalled;
        }
        rowTexts.push_back(std::move(row));
    }
    ListCtrlModel::changed();
}

int RemoveListModel::rowCount() const
{
    return static_cast<int>(rowProducts.size());
}

int RemoveListModel::columnCount() const
{
    return 2;
}

std::string RemoveListModel::headerText(int column) const
{
    switch (column) {
    case 0:
        return "Name";
    case 1:
        return "Version";
    default:
        return {};
    }
}

std::string RemoveListModel::cellText(int row, int column) const
{
    const ProductRow& texts = rowTexts.at(static_cast<std::size_t>(row));
    switch (column) {
    case 0:
        return texts.nameText;
    case 1:
        return texts.versionText;
    default:
        return {};
    }
}

COLORREF RemoveListModel::textColor(int, int) const
{
    return kBlack;
}

// Green for an installed component, yellow when its version is not known, white when it is not
// installed.
COLORREF RemoveListModel::backgroundColor(int row, int) const
{
    const std::string& version = rowTexts.at(static_cast<std::size_t>(row)).versionText;
    if (version == kNotInstalled)
        return kWhite;
    if (version == kUnknown)
        return kLightYellow;
    return kLightGreen;
}

std::string RemoveListModel::emptyText() const
{
    return "No installed products found.";
}

bool RemoveListModel::lessThan(int column, int rowA, int rowB) const
{
    if (column != 1)
        return DefaultListCtrlModel::lessThan(column, rowA, rowB);
    const std::string& a = rowTexts.at(static_cast<std::size_t>(rowA)).versionText;
    const std::string& b = rowTexts.at(static_cast<std::size_t>(rowB)).versionText;
    const auto rank = [](const std::string& text) { return text == kNotInstalled ? 2 : text == kUnknown ? 1 : 0; };
    if (rank(a) != rank(b))
        return rank(a) < rank(b);
    if (rank(a) == 0) {
        // Missing numbers count as 0: 9.5 and 9.5.0.0 are one version, and their texts decide.
        const DottedVersion first = ParseDottedVersion(ToUtf16(a));
        const DottedVersion second = ParseDottedVersion(ToUtf16(b));
        if (first.parts != second.parts)
            return first.parts < second.parts;
    }
    return DefaultListCtrlModel::lessThan(column, rowA, rowB);
}

QTVProduct* RemoveListModel::itemAt(int row) const
{
    return rowProducts.at(static_cast<std::size_t>(row));
}

int RemoveListModel::defaultWidth(int column) const
{
    return column == 0 ? 300 : 150;
}

std::optional<int> RemoveListModel::defaultSortColumn() const
{
    return 0;
}
