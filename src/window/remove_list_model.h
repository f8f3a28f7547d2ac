#pragma once

#include <string>
#include <vector>

#include <boost/signals2/trackable.hpp>

#include "listview/list_ctrl_column_settings_model.h"
#include "listview/list_ctrl_model.h"
#include "listview/list_ctrl_selection_model.h"

class QTVProduct;

// One cached row of the product list.
struct ProductRow {
    std::string nameText;
    // The version, "Unknown" for an installed component without one, or "Not Installed".
    std::string versionText;
};

// The main dialog's product list: each component with its name and version, the row coloured by
// its state; the selection kept as components; sorted by name to begin with. Its `changed`
// signals are two: ListCtrlModel::changed for the rows and ListCtrlColumnSettingsModel::changed
// for the columns. Window thread only.
class RemoveListModel : public DefaultListCtrlModel,
                        public ListCtrlMap<QTVProduct*>,
                        public DefaultListCtrlSelectionModel<QTVProduct*>,
                        public DefaultListCtrlColumnSettingsModel,
                        public boost::signals2::trackable {
public:
    RemoveListModel();

    // Replaces the rows by these components, reading their names, versions and states now, and
    // fires ListCtrlModel::changed. Call it only while no job runs.
    void setProducts(const std::vector<QTVProduct*>& products);

    int rowCount() const override;
    int columnCount() const override;
    std::string headerText(int column) const override;
    std::string cellText(int row, int column) const override;
    COLORREF textColor(int row, int column) const override;
    COLORREF backgroundColor(int row, int column) const override;
    std::string emptyText() const override;
    // Versions by their numbers (9.5.10 before 10.0), then "Unknown", then "Not Installed"; the
    // name by its text.
    bool lessThan(int column, int rowA, int rowB) const override;

    QTVProduct* itemAt(int row) const override;

protected:
    int defaultWidth(int column) const override;
    std::optional<int> defaultSortColumn() const override;

private:
    std::vector<QTVProduct*> rowProducts;
    std::vector<ProductRow> rowTexts;
};
