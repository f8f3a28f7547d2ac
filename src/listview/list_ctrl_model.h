#pragma once

#include <string>
#include <vector>

#include <boost/signals2/signal.hpp>

#include "platform/win_types.h"

// The rows, columns, texts and colours a modeled list control shows. Rows and columns are the
// model's zero-based indexes; texts are UTF-8; colours are COLORREF values (0x00BBGGRR). Window
// thread only.
class ListCtrlModel {
public:
    virtual ~ListCtrlModel();

    // Anything may have changed: row count, texts, colours.
    boost::signals2::signal<void()> changed;
    // The cells of these columns changed.
    boost::signals2::signal<void(const std::vector<int>&)> columnsChanged;

    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    virtual std::string headerText(int column) const = 0;
    virtual std::string cellText(int row, int column) const = 0;
    virtual int fontWeight(int row, int column) const = 0;
    virtual COLORREF textColor(int row, int column) const = 0;
    virtual COLORREF backgroundColor(int row, int column) const = 0;
    virtual int imageIndex(int row) const = 0;
    virtual int firstColumnExtraWidth(int row) const = 0;
    virtual bool hasTooltip(int row, int column) const = 0;
    virtual std::string tooltipText(int row, int column) const = 0;
    virtual std::string headerTooltip(int column) const = 0;
    virtual std::string emptyText() const = 0;
    // Whether row A sorts before row B in the column. Throws Windows::Error when the system
    // cannot compare the texts.
    virtual bool lessThan(int column, int rowA, int rowB) const = 0;
    // Whether the cell contains `text`, ignoring case; an empty text is in every cell.
    virtual bool containsText(int row, int column, const std::string& text) const = 0;
};

// Empty texts in the system's window colours, normal weight, no image and no tooltips of its
// own, rows sorted by their cell texts. Derived models give the row and column counts.
class DefaultListCtrlModel : public ListCtrlModel {
public:
    std::string headerText(int column) const override;
    std::string cellText(int row, int column) const override;
    int fontWeight(int row, int column) const override;
    COLORREF textColor(int row, int column) const override;
    COLORREF backgroundColor(int row, int column) const override;
    int imageIndex(int row) const override;
    int firstColumnExtraWidth(int row) const override;
    bool hasTooltip(int row, int column) const override;
    std::string tooltipText(int row, int column) const override;
    std::string headerTooltip(int column) const override;
    std::string emptyText() const override;
    bool lessThan(int column, int rowA, int rowB) const override;
    bool containsText(int row, int column, const std::string& text) const override;
};

// The order of two texts for the user: compared without regard to case, and when that finds
// them equal, with it, so that texts differing only in case still have a fixed order. Throws
// Windows::Error when the system cannot compare them.
bool TextLessThan(const std::string& a, const std::string& b);
