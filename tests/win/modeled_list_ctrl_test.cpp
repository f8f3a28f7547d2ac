// The modeled list control on a real list view under Wine: display order from the models,
// the selection kept through refills, and the requests the list view makes that it must survive.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "listview/modeled_list_ctrl.h"

namespace {

// Two columns of texts; each row's item is its first text.
class TextListModel : public DefaultListCtrlModel,
                      public ListCtrlMap<std::string>,
                      public DefaultListCtrlSelectionModel<std::string>,
                      public DefaultListCtrlColumnSettingsModel {
public:
    TextListModel() : DefaultListCtrlSelectionModel<std::string>(this, this) {}

    void setRows(std::vector<std::pair<std::string, std::string>> newRows)
    {
        rows = std::move(newRows);
        ListCtrlModel::changed();
    }

    int rowCount() const override { return static_cast<int>(rows.size()); }
    int columnCount() const override { return 2; }
    std::string cellText(int row, int column) const override
    {
        const auto& cells = rows.at(static_cast<std::size_t>(row));
        return column == 0 ? cells.first : cells.second;
    }
    bool lessThan(int column, int rowA, int rowB) const override
    {
        if (failComparisons)
            throw std::runtime_error("no comparison");
        return DefaultListCtrlModel::lessThan(column, rowA, rowB);
    }
    std::string itemAt(int row) const override { return rows.at(static_cast<std::size_t>(row)).first; }

    // New texts for the same items, without telling the control: as a model does before it
    // fires columnsChanged for the columns whose texts changed.
    void setRowsQuietly(std::vector<std::pair<std::string, std::string>> newRows) { rows = std::move(newRows); }

    bool failComparisons = false;

private:
    std::vector<std::pair<std::string, std::string>> rows;
};

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        auto* control = reinterpret_cast<CModeledListCtrl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        LRESULT result = 0;
        if (control && control->onNotify(*reinterpret_cast<const NMHDR*>(lParam), result))
            return result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class ModeledListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ModeledListCtrlTestParent";
        RegisterClassW(&windowClass);
        parent = CreateWindowExW(0, L"ModeledListCtrlTestParent", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent);
        SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0, 0, 400, 300,
                               parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(list);
        model.setSort(0, true);
        control.attach(list);
    }
    void TearDown() override { DestroyWindow(parent); }

    // The texts of the first column in the order shown.
    std::vector<std::string> shown() const
    {
        std::vector<std::string> texts;
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int item = 0; item < count; ++item) {
            wchar_t text[64] = {};
            LVITEMW request{};
            request.iSubItem = 0;
            request.pszText = text;
            request.cchTextMax = 64;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request));
            texts.emplace_back(text, text + wcslen(text));
        }
        return texts;
    }
    int selectedItem() const
    {
        return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }

    TextListModel model;
    CModeledListCtrl control{model, model, model};
    HWND parent = nullptr;
    HWND list = nullptr;
};

TEST_F(ModeledListCtrlTest, ShowsTheRowsSortedAndKeepsTheSelectionOnItsItemThroughRefills)
{
    model.setRows({{"beta", "2"}, {"Alpha", "1"}, {"gamma", "3"}});
    EXPECT_EQ(shown(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));

    model.setRowSelected(2, true); // gamma
    EXPECT_EQ(selectedItem(), 2);

    // Refilled: alpha is gone and delta new; gamma stays selected on its new row, and only it.
    model.setRows({{"gamma", "3"}, {"delta", "4"}, {"beta", "2"}});
    EXPECT_EQ(shown(), (std::vector<std::string>{"beta", "delta", "gamma"}));
    EXPECT_EQ(selectedItem(), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(model.selectedCount(), 1u);

    // A click on the second column's header: sorted by it, descending when clicked twice.
    model.sortBy(1);
    model.sortBy(1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"delta", "gamma", "beta"}));
    EXPECT_EQ(selectedItem(), 1);

    // The sort column's texts change: the rows move, the selection and focus with gamma.
    model.setFocus(0); // gamma
    model.setRowsQuietly({{"gamma", "9"}, {"delta", "4"}, {"beta", "2"}});
    model.columnsChanged({1});
    EXPECT_EQ(shown(), (std::vector<std::string>{"gamma", "delta", "beta"}));
    EXPECT_EQ(selectedItem(), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 0);
}

TEST_F(ModeledListCtrlTest, AComparisonThatFailsOrdersByCodeUnitsInsteadOfThrowing)
{
    model.failComparisons = true;
    model.setRows({{"b", ""}, {"C", ""}, {"a", ""}});
    EXPECT_EQ(shown(), (std::vector<std::string>{"C", "a", "b"}));
    model.failComparisons = false;
    model.setRows({{"b", ""}, {"C", ""}, {"a", ""}});
    EXPECT_EQ(shown(), (std::vector<std::string>{"a", "b", "C"}));
}

TEST_F(ModeledListCtrlTest, RequestsForRowsOrColumnsThatDoNotExistAreIgnored)
{
    model.setRows({{"one", "1"}});
    for (const auto& [item, subItem] : std::vector<std::pair<int, int>>{{1, 0}, {-1, 0}, {0, 2}, {0, -1}}) {
        wchar_t text[8] = L"unset";
        NMLVDISPINFOW request{};
        request.hdr = NMHDR{list, 0, LVN_GETDISPINFOW};
        request.item.mask = LVIF_TEXT | LVIF_STATE;
        request.item.iItem = item;
        request.item.iSubItem = subItem;
        request.item.pszText = text;
        request.item.cchTextMax = 8;
        LRESULT result = 0;
        EXPECT_TRUE(control.onNotify(request.hdr, result));
        EXPECT_STREQ(text, L"unset") << item << "," << subItem;
    }
    for (const int item : {1, 99, -2}) {
        NMLISTVIEW change{};
        change.hdr = NMHDR{list, 0, LVN_ITEMCHANGED};
        change.iItem = item;
        change.uChanged = LVIF_STATE;
        change.uNewState = LVIS_SELECTED | LVIS_FOCUSED;
        LRESULT result = 0;
        EXPECT_TRUE(control.onNotify(change.hdr, result));
    }
    EXPECT_EQ(model.selectedCount(), 0u);
    EXPECT_FALSE(model.focusedRow());
}

TEST_F(ModeledListCtrlTest, CopiesTheSelectedRowsAsTabbedLinesAndFindsTypedTextWrapping)
{
    model.setRows({{"mango\tripe", "2"}, {"apple", "1"}, {"melon", "3"}, {"kiwi", "4"}});
    // Shown: apple, kiwi, mango<tab>ripe, melon.
    model.setRowSelected(0, true);
    model.setRowSelected(3, true);
    EXPECT_EQ(control.selectedRowsText(), u"kiwi\t4\t\r\nmango    ripe\t2\t\r\n");

    const auto find = [&](const wchar_t* typed, int start) {
        NMLVFINDITEMW request{};
        request.hdr = NMHDR{list, 0, LVN_ODFINDITEMW};
        request.iStart = start;
        request.lvfi.flags = LVFI_STRING | LVFI_PARTIAL;
        request.lvfi.psz = typed;
        LRESULT result = 0;
        control.onNotify(request.hdr, result);
        return result;
    };
    EXPECT_EQ(find(L"M", 0), 2);
    EXPECT_EQ(find(L"m", 3), 3);
    EXPECT_EQ(find(L"ap", 3), 0) << "the search wraps to the top";
    EXPECT_EQ(find(L"z", 0), -1);
}

TEST_F(ModeledListCtrlTest, TheColumnChooserHidesAndShowsColumnsButNeverTheLastOne)
{
    model.setRows({{"beta", "2"}, {"alpha", "1"}});
    const auto headers = [&] { return SendMessageW(ListView_GetHeader(list), HDM_GETITEMCOUNT, 0, 0); };
    ASSERT_EQ(headers(), 2);

    // Hiding the sorted first column leaves the second alone; with no sort left, the rows keep
    // their order.
    control.toggleColumn(0);
    EXPECT_EQ(headers(), 1);
    EXPECT_FALSE(model.isVisible(0));
    EXPECT_FALSE(model.sortColumn());
    EXPECT_EQ(shown(), (std::vector<std::string>{"1", "2"})) << "the first shown column is the second";

    control.toggleColumn(1);
    EXPECT_EQ(headers(), 1) << "the last shown column stays";
    EXPECT_TRUE(model.isVisible(1));

    control.toggleColumn(0);
    EXPECT_EQ(headers(), 2);
    EXPECT_EQ(shown(), (std::vector<std::string>{"alpha", "beta"}));
}

// Presses the key with Control held, as the keyboard would, and lets the list handle it.
void PressWithControl(WORD key)
{
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_CONTROL, key, key, VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(4, keys, sizeof(INPUT));
    const auto end = GetTickCount() + 500;
    MSG message;
    while (GetTickCount() < end) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

std::u16string ClipboardText()
{
    std::u16string text;
    if (!OpenClipboard(nullptr))
        return u"(no clipboard)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* characters = static_cast<const char16_t*>(GlobalLock(data))) {
            text = characters;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

TEST_F(ModeledListCtrlTest, ControlASelectsEveryRowAndControlCCopiesThemAsUnicodeText)
{
    model.setRows({{"pear", "2"}, {"fig", "1"}});
    ShowWindow(parent, SW_SHOW);
    SetForegroundWindow(parent);
    SetFocus(list);

    PressWithControl('A');
    EXPECT_EQ(model.selectedCount(), 2u);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 2);

    PressWithControl('C');
    EXPECT_EQ(ClipboardText(), u"fig\t1\t\r\npear\t2\t\r\n");
}

// Draws header item 0 into a bitmap as the header asks its owner to, and answers, per row of
// pixels from the top, how many have the colour.
std::vector<int> DrawnRows(const CSortHeaderCtrl& header, COLORREF colour)
{
    constexpr int kWidth = 120, kHeight = 20;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT place{0, 0, kWidth, kHeight};
    FillRect(dc, &place, GetSysColorBrush(COLOR_BTNFACE));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_HEADER;
    item.itemID = 0;
    item.hwndItem = header.hwnd();
    item.hDC = dc;
    item.rcItem = place;
    EXPECT_TRUE(header.drawItem(item));
    std::vector<int> rows(kHeight, 0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = kWidth / 2; x < kWidth; ++x)
            if (GetPixel(dc, x, y) == colour)
                ++rows[static_cast<std::size_t>(y)];
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return rows;
}

int LowestRow(const std::vector<int>& rows)
{
    for (int y = static_cast<int>(rows.size()) - 1; y >= 0; --y)
        if (rows[static_cast<std::size_t>(y)] > 0)
            return y;
    return -1;
}

int HighestRow(const std::vector<int>& rows)
{
    for (int y = 0; y < static_cast<int>(rows.size()); ++y)
        if (rows[static_cast<std::size_t>(y)] > 0)
            return y;
    return -1;
}

TEST_F(ModeledListCtrlTest, WithoutVisualStylesTheSortColumnCarriesAnEmbossedTriangle)
{
    CSortHeaderCtrl header;
    header.attach(ListView_GetHeader(list));
    const COLORREF light = GetSysColor(COLOR_3DHILIGHT);
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);

    // Pointing up: the base is the lowest edge, lit; the left flank in shadow.
    header.setSortArrow(0, true);
    std::vector<int> lit = DrawnRows(header, light);
    std::vector<int> dark = DrawnRows(header, shadow);
    ASSERT_GE(LowestRow(lit), 0);
    EXPECT_GE(lit[static_cast<std::size_t>(LowestRow(lit))], 8) << "the base";
    EXPECT_LT(HighestRow(dark), LowestRow(lit));

    // Pointing down: the base is the highest edge, in shadow.
    header.setSortArrow(0, false);
    dark = DrawnRows(header, shadow);
    lit = DrawnRows(header, light);
    ASSERT_GE(HighestRow(dark), 0);
    EXPECT_GE(dark[static_cast<std::size_t>(HighestRow(dark))], 8) << "the base";
    EXPECT_GT(LowestRow(lit), HighestRow(dark));

    // Another column sorted: no triangle here.
    header.setSortArrow(1, true);
    EXPECT_EQ(LowestRow(DrawnRows(header, shadow)), -1);
    EXPECT_EQ(LowestRow(DrawnRows(header, light)), -1);
}

} // namespace
