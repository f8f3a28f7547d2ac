#pragma once

#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <boost/signals2/connection.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/signals2/trackable.hpp>

#include "listview/list_ctrl_column_settings_model.h"
#include "listview/list_ctrl_model.h"
#include "listview/list_ctrl_selection_model.h"
#include "listview/sort_header_ctrl.h"

// An owner-data report list that shows a list model with its selection and column settings. It
// stores no rows: every text, colour and state comes from the models, and user actions go back
// to them. Display rows map to model rows through the sort order, display columns to the visible
// model columns in their order. Window thread only; the models must outlive the control.
class CModeledListCtrl : public boost::signals2::trackable {
public:
    CModeledListCtrl(ListCtrlModel& model, ListCtrlSelectionModel& selection,
                     ListCtrlColumnSettingsModel& columns);
    ~CModeledListCtrl();
    CModeledListCtrl(const CModeledListCtrl&) = delete;
    CModeledListCtrl& operator=(const CModeledListCtrl&) = delete;

    // Takes over a list view made elsewhere (a dialog's control) and fills it from the models.
    void attach(HWND list);
    HWND hwnd() const { return window; }

    // The list view's notifications to its parent, handed on by the parent. True when handled;
    // `result` is then the answer to give.
    bool onNotify(const NMHDR& header, LRESULT& result);

    // Hooks for an embedding window.
    boost::signals2::signal<void(POINT)> contextMenuRequested;
    boost::signals2::signal<void()> doubleClicked;
    boost::signals2::signal<void()> focusGained;
    boost::signals2::signal<void()> focusLost;

    bool sortOnHeaderClick = true;

    // The column chooser's action: shows a hidden column or hides a shown one, except the last
    // one shown.
    void toggleColumn(int column);

    // The selected rows as Unicode text: per row in display order, each visible column's text and
    // a tab, then "\r\n"; tabs inside a text become four blanks.
    std::u16string selectedRowsText() const;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The header from the keyboard: Tab from the list enters it; Left and Right move between its
    // items, Space or Enter sorts by the focused one, Shift+F10 or the menu key opens the column
    // chooser, Tab goes on to the dialog's next control and Shift+Tab back to the list.
    static LRESULT CALLBACK HeaderSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR id, DWORD_PTR self);
    LRESULT handleHeader(UINT message, WPARAM wParam, LPARAM lParam);
    bool onHeaderKey(WPARAM key);
    void focusHeader();
    void drawHeaderFocus();
    bool onHeaderNotify(const NMHDR& header, LRESULT& result);

    // Model signals.
    void onModelChanged();
    void onColumnsChanged(const std::vector<int>& columns);
    void onSelectionChanged(const std::set<int>& rows);
    void onFocusChanged(std::optional<int> row);
    void onColumnSettingsChanged();

    void rebuildRowOrder();
    void rebuildColumnOrder();
    void sortRows(std::vector<int>& order, int column, bool ascending) const;
    void refreshRows();
    void rebuildColumns();
    void copySelectedStates();
    void setItemState(int item, UINT state, UINT mask);
    // Widths in the column settings are pixels at 96 DPI; the list's are at the system's DPI.
    static constexpr int kDesignDpi = 96;
    int dpi() const;
    int toPixels(int designWidth) const;
    int fromPixels(int pixels) const;
    void storeColumnWidths();
    void storeColumnOrder();
    void showColumnMenu(POINT screen);
    void copyToClipboard();
    void drawEmptyText();
    void updateTooltip(POINT client);
    void setupTooltips();
    // One tool per header item whose model gives it a tooltip.
    void updateHeaderTips();
    template <class Hook>
    void runHook(Hook hook);

    // Model indexes of a display row or column; none when out of range.
    std::optional<int> modelRow(int displayRow) const;
    std::optional<int> modelColumn(int displayColumn) const;
    std::optional<int> displayRow(int row) const;
    std::optional<int> displayColumn(int column) const;
    std::u16string cellTextOf(int row, int column) const;

    ListCtrlModel& userModel;
    ListCtrlSelectionModel& userSelection;
    ListCtrlColumnSettingsModel& userColumns;
    HWND window = nullptr;
    CSortHeaderCtrl header;
    HWND tooltip = nullptr;
    std::optional<UINT_PTR> tooltipCell;
    std::u16string tooltipTextNow;
    std::vector<std::u16string> headerTips;
    std::size_t headerTipCount = 0;
    int headerFocus = 0; // display column

    std::vector<int> rowOrder;
    std::vector<int> rowPlace;     // model row -> display row
    std::vector<int> columnOrder;
    bool settingStates = false;
    std::map<int, HFONT> weightFonts;
    std::exception_ptr hookFailure;
    std::vector<boost::signals2::scoped_connection> connections;
};
