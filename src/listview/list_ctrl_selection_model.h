#pragma once

#include <functional>
#include <optional>
#include <set>

#include <boost/signals2/connection.hpp>
#include <boost/signals2/signal.hpp>

#include "listview/list_ctrl_model.h"

// Which rows of a modeled list are selected and which one has the focus. Window thread only.
class ListCtrlSelectionModel {
public:
    virtual ~ListCtrlSelectionModel() = default;

    // The rows whose selection changed.
    boost::signals2::signal<void(const std::set<int>&)> selectionChanged;
    // The focused row, or none.
    boost::signals2::signal<void(std::optional<int>)> focusChanged;

    virtual bool isSelected(int row) const = 0;
    virtual void setSelected(const std::set<int>& rows, bool select) = 0;
    virtual void setRowSelected(int row, bool select) = 0;
    // True selects every row; false clears the selection.
    virtual void selectAll(bool select) = 0;
    virtual bool isFocused(int row) const = 0;
    virtual void setFocus(std::optional<int> row) = 0;
    virtual std::optional<int> focusedRow() const = 0;
    virtual std::size_t selectedCount() const = 0;
};

// The item shown in a row, for a selection kept as items rather than row numbers.
template <class Item>
class ListCtrlMap {
public:
    virtual ~ListCtrlMap() = default;
    virtual Item itemAt(int row) const = 0;
};

// A selection kept as items, so that it follows them when the rows are re-sorted or refilled:
// on every change of the list model, items no longer in any row leave the selection, and the
// focus moves to its item's new row (or goes, with the item).
template <class Item, class Less = std::less<Item>>
class DefaultListCtrlSelectionModel : public ListCtrlSelectionModel {
public:
    // Neither is owned; both must outlive the selection model.
    DefaultListCtrlSelectionModel(const ListCtrlMap<Item>* map, ListCtrlModel* listModel)
        : map_(map), listModel_(listModel),
          following_(listModel->changed.connect([this] { followItems(); }))
    {
    }

    bool isSelected(int row) const override { return selectedItems_.count(map_->itemAt(row)) != 0; }

    void setSelected(const std::set<int>& rows, bool select) override
    {
        for (const int row : rows) {
            if (select)
                selectedItems_.insert(map_->itemAt(row));
            else
                selectedItems_.erase(map_->itemAt(row));
        }
        selectionChanged(rows);
    }

    void setRowSelected(int row, bool select) override
    {
        if (isSelected(row) != select)
            setSelected({row}, select);
    }

    void selectAll(bool select) override
    {
        if (!select && selectedItems_.empty())
            return;
        std::set<int> rows;
        for (int row = 0; row < listModel_->rowCount(); ++row)
            rows.insert(row);
        if (select) {
            for (const int row : rows)
                selectedItems_.insert(map_->itemAt(row));
        } else {
            selectedItems_.clear();
        }
        selectionChanged(rows);
    }

    bool isFocused(int row) const override { return focusRow_ == row; }

    void setFocus(std::optional<int> row) override
    {
        if (row == focusRow_)
            return;
        focusRow_ = row;
        focusedItem_ = row ? std::optional<Item>(map_->itemAt(*row)) : std::nullopt;
        focusChanged(focusRow_);
    }

    std::optional<int> focusedRow() const override { return focusRow_; }
    std::size_t selectedCount() const override { return selectedItems_.size(); }

private:
    void followItems()
    {
        std::set<Item, Less> present;
        std::optional<int> newFocusRow;
        for (int row = 0; row < listModel_->rowCount(); ++row) {
            const Item item = map_->itemAt(row);
            if (selectedItems_.count(item))
                present.insert(item);
            if (focusedItem_ && !newFocusRow && !Less()(item, *focusedItem_) && !Less()(*focusedItem_, item))
                newFocusRow = row;
        }
        selectedItems_ = std::move(present);
        focusRow_ = newFocusRow;
        if (!focusRow_)
            focusedItem_.reset();
    }

    const ListCtrlMap<Item>* map_;
    ListCtrlModel* listModel_;
    std::set<Item, Less> selectedItems_;
    std::optional<Item> focusedItem_;
    std::optional<int> focusRow_;
    boost::signals2::scoped_connection following_;
};
