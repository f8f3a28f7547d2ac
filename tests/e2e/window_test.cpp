// The built program's window under Wine, driven from outside as a person would, on a laid-out
// agent and relay:
//   window_test PATH\QTVRemove.exe PATH\spawn_child.exe
// The relay's uninstaller is spawn_child holding the removal job until the test lets it go, so
// that the busy window can be looked at. Screenshots are asked
// of the script that runs the test (window_test.sh) through files in C:\qtv\screenshots.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/suite_layout.h"
#include "support/wine_main.h"

namespace {

const std::wstring kClientEntry = UninstallEntryKey(L"{QTV-E2E-CLIENT}");
const std::wstring kRelayEntry = UninstallEntryKey(L"{QTV-E2E-RELAY}");
const std::wstring kWebUIEntry = UninstallEntryKey(L"{QTV-E2E-WEBUI}");
constexpr wchar_t kClientKey[] = L"SOFTWARE\\Zantrel\\EnterpriseClient";
constexpr wchar_t kSuiteFolder[] = L"C:\\Program Files (x86)\\Zantrel Enterprise";
constexpr wchar_t kClientFolder[] = L"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";
constexpr wchar_t kBackupFolder[] = L"C:\\qtv-e2e\\dialog backup";
constexpr wchar_t kUninstaller[] = L"QTVWindowTestRelayUninstaller";
constexpr wchar_t kCaption[] = L"Velmora Zantrel Removal Utility";

void RemoveLeftovers()
{
    ClearSuite();
    for (const std::wstring& entry : {kClientEntry, kRelayEntry, kWebUIEntry})
        DeleteRegistryTree(entry);
}

// The program's visible dialog or message box with this caption, or null.
HWND FindProgramWindow(DWORD process, const std::wstring& caption)
{
    return FindProcessWindow(process, L"#32770", caption);
}

// A message box as a person sees it: its text, then the button pressed (OK unless told).
std::wstring ReadBoxAndPress(DWORD process, const std::wstring& caption, int button = IDOK)
{
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindProgramWindow(process, caption)) != nullptr; }))
        return L"(no box \"" + caption + L"\")";
    // Its controls are laid out once it shows.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::wstring text = ReadMessageBoxAndPress(box, button).text;
    WaitUntil([&] { return !IsWindow(box); });
    return text;
}

// The program's list view, read from this process: the list stores nothing, so each request
// travels into the program, which answers from its model into memory placed there for it.
class RemoteList {
public:
    RemoteList(HANDLE process, HWND list)
        : process_(process), list_(list),
          block_(VirtualAllocEx(process, nullptr, sizeof(Block), MEM_COMMIT, PAGE_READWRITE))
    {
    }
    ~RemoteList() { VirtualFreeEx(process_, block_, 0, MEM_RELEASE); }
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;

    int count() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

    std::wstring text(int item, int column) const
    {
        Block block{};
        block.item.mask = LVIF_TEXT;
        block.item.iItem = item;
        block.item.iSubItem = column;
        block.item.pszText = remoteText();
        block.item.cchTextMax = static_cast<int>(std::size(block.text));
        put(block);
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(block_));
        block = get();
        block.text[std::size(block.text) - 1] = L'\0';
        return block.text;
    }

    // Every row as "name | version", in the order shown.
    std::vector<std::wstring> rows() const
    {
        std::vector<std::wstring> shown;
        for (int item = 0; item < count(); ++item)
            shown.push_back(text(item, 0) + L" | " + text(item, 1));
        return shown;
    }

    // Selects the item alone, as a click on it would.
    void selectOnly(int item) const
    {
        setState(-1, 0, LVIS_SELECTED);
        setState(item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // Selects the rows with these names in the first column, and only them.
    void selectNamed(const std::vector<std::wstring>& names) const
    {
        setState(-1, 0, LVIS_SELECTED);
        for (int item = 0; item < count(); ++item)
            if (std::find(names.begin(), names.end(), text(item, 0)) != names.end())
                setState(item, LVIS_SELECTED, LVIS_SELECTED);
    }

private:
    struct Block {
        LVITEMW item;
        wchar_t text[260];
    };

    wchar_t* remoteText() const
    {
        return reinterpret_cast<wchar_t*>(static_cast<char*>(block_) + offsetof(Block, text));
    }
    void put(const Block& block) const { WriteProcessMemory(process_, block_, &block, sizeof(block), nullptr); }
    Block get() const
    {
        Block block{};
        ReadProcessMemory(process_, block_, &block, sizeof(block), nullptr);
        return block;
    }
    void setState(int item, UINT state, UINT mask) const
    {
        Block block{};
        block.item.state = state;
        block.item.stateMask = mask;
        put(block);
        SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(block_));
    }

    HANDLE process_;
    HWND list_;
    void* block_;
};

// The text of the tooltip that shows when the mouse rests at x in the item's row, or empty.
std::wstring TooltipAt(DWORD process, HWND list, int x, int item)
{
    const int rowHeight = HIWORD(SendMessageW(list, LVM_APPROXIMATEVIEWRECT, 1, MAKELPARAM(-1, -1))) -
                          HIWORD(SendMessageW(list, LVM_APPROXIMATEVIEWRECT, 0, MAKELPARAM(-1, -1)));
    RECT header{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
    POINT at{x, header.bottom - header.top + item * rowHeight + rowHeight / 2};
    ClientToScreen(list, &at);
    SetCursorPos(at.x - 3, at.y);
    SetCursorPos(at.x, at.y);
    HWND tooltip = nullptr;
    WaitUntil([&] { return (tooltip = FindProcessWindow(process, TOOLTIPS_CLASSW)) != nullptr; }, 3000);
    const std::wstring text = tooltip ? ControlText(tooltip) : L"";
    SetCursorPos(0, 0);
    WaitUntil([&] { return !IsWindowVisible(tooltip); }, 3000);
    return text;
}

// Header points inside the Name column (300 pixels wide) and the Version column.
constexpr int kNameHeaderX = 40;
constexpr int kVersionHeaderX = 330;

// A click on the list's header at x, as the mouse would make it.
void ClickHeader(HWND list, int x)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const LPARAM at = MAKELPARAM(x, 5);
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(header, WM_LBUTTONUP, 0, at);
}

// Asks the script that runs the test for a screenshot of the dialog, and waits until it is taken.
void Screenshot(HWND dialog, const std::wstring& name)
{
    RECT place{};
    GetWindowRect(dialog, &place);
    const std::wstring folder = L"C:\\qtv\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::string geometry = std::to_string(place.right - place.left) + "x" +
                                 std::to_string(place.bottom - place.top) + "+" + std::to_string(place.left) +
                                 "+" + std::to_string(place.top);
    const std::wstring done = folder + L"\\" + name + L".done";
    DeleteFileW(done.c_str());
    const HANDLE request = CreateFileW((folder + L"\\" + name + L".request").c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(request, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(request, geometry.data(), static_cast<DWORD>(geometry.size()), &written, nullptr);
    CloseHandle(request);
    EXPECT_TRUE(WaitUntil([&] { return PathPresent(done); }, 30000)) << "no screenshot " << name.size();
    DeleteFileW(done.c_str());
}

std::wstring Joined(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (const std::wstring& line : lines)
        text += line + L"\n";
    return text;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveLeftovers();
        started = CreateEventW(nullptr, TRUE, FALSE, (kUninstaller + std::wstring(L"-started")).c_str());
        release = CreateEventW(nullptr, TRUE, FALSE, (kUninstaller + std::wstring(L"-release")).c_str());
    }
    void TearDown() override
    {
        SetEvent(release);
        if (running.hProcess) {
            if (WaitForSingleObject(running.hProcess, 30000) != WAIT_OBJECT_0)
                TerminateProcess(running.hProcess, 1);
            CloseHandle(running.hThread);
            CloseHandle(running.hProcess);
        }
        CloseHandle(started);
        CloseHandle(release);
        RemoveLeftovers();
    }

    void LayInstallation()
    {
        ASSERT_TRUE(SetRegistryText(kClientEntry, L"DisplayName", L"Velmora Zantrel Client"));
        ASSERT_TRUE(SetRegistryText(kClientEntry, L"DisplayVersion", L"9.2.1"));
        ASSERT_TRUE(SetRegistryText(kClientEntry, L"InstallLocation", kClientFolder));
        ASSERT_TRUE(SetRegistryText(kClientEntry, L"UninstallString", L"\"" + TestFile(L"spawn_child.exe") + L"\" exit 0"));
        ASSERT_TRUE(SetRegistryText(kClientKey, L"InstallDir", kClientFolder));
        MakeFolders(kClientFolder);
        ASSERT_TRUE(CopyFileW(TestFile(L"spawn_child.exe").c_str(), (std::wstring(kClientFolder) + L"\\QTVClient.exe").c_str(), FALSE));

        ASSERT_TRUE(SetRegistryText(kRelayEntry, L"DisplayName", L"Velmora Zantrel Relay"));
        ASSERT_TRUE(SetRegistryText(kRelayEntry, L"DisplayVersion", L"9.2.3"));
        ASSERT_TRUE(SetRegistryText(kRelayEntry, L"UninstallString", L"\"" + TestFile(L"spawn_child.exe") + L"\" hold " + kUninstaller));

        ASSERT_TRUE(SetRegistryText(kWebUIEntry, L"DisplayName", L"Velmora Zantrel WebUI Service"));
        ASSERT_TRUE(SetRegistryText(kWebUIEntry, L"DisplayVersion", L"9.2.4"));
        // A sites folder set to the system's own: the WebUI's removal refuses it and fails.
        ASSERT_TRUE(SetRegistryText(std::wstring(kClientKey) + L"\\Settings\\Client\\_WebUIAppEnv_WORK_DIR", L"value",
                                    L"C:\\windows"));
        // The client's companion, installed; the DLP, the logging service's own, is not.
        ASSERT_TRUE(SetRegistryText(L"SOFTWARE\\Zantrel\\LoggingService", L"Marker", L"window test"));
    }

    void Start(const std::wstring& options)
    {
        running = StartProgram(ProgramCommand(options));
        ASSERT_NE(running.hProcess, nullptr);
    }

    HANDLE started = nullptr;
    HANDLE release = nullptr;
    PROCESS_INFORMATION running{};
};

TEST_F(WindowTest, DetectsRefusesTheClientAloneRemovesAllAndCleansUp)
{
    LayInstallation();
    // Enough in the suite's own folder that its clean-up takes a while.
    const std::wstring bulk = std::wstring(kSuiteFolder) + L"\\Shared\\bulk";
    MakeFolders(bulk);
    for (int file = 0; file < 3000; ++file)
        CloseHandle(CreateFileW((bulk + L"\\" + std::to_wstring(file) + L".dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, 0, nullptr));
    Start(L"/backup \"" + std::wstring(kBackupFolder) + L"\"");
    const DWORD process = running.dwProcessId;
    HWND dialog = nullptr;
    HWND list = nullptr;
    // Up once its controls exist and the list has been filled from its model for the first time.
    ASSERT_TRUE(WaitUntil([&] {
        return (dialog = FindProgramWindow(process, kCaption)) != nullptr && GetDlgItem(dialog, 1031) &&
               (list = GetDlgItem(dialog, 1025)) != nullptr &&
               (!WindowText(list).empty() || SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0);
    }, 30000));
    HWND removeButton = GetDlgItem(dialog, 1026);
    HWND removeAllButton = GetDlgItem(dialog, 1007);
    HWND logPane = GetDlgItem(dialog, 1031);
    RemoteList rows(running.hProcess, list);

    // Detection runs at once: the list is empty, says so, and nothing can be pressed.
    EXPECT_EQ(rows.count(), 0);
    EXPECT_EQ(WindowText(list), L"No installed products found.");
    EXPECT_FALSE(IsWindowEnabled(removeButton));
    EXPECT_FALSE(IsWindowEnabled(removeAllButton));

    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(removeAllButton) != FALSE; }));
    EXPECT_EQ(WindowText(list), L"");
    EXPECT_FALSE(IsWindowEnabled(removeButton)) << "nothing is selected";
    // Sorted by name, ignoring case; the two laid-out components with the versions found.
    const std::wstring afterDetection = Joined({
                  L"A2A | Not Installed",
                  L"Client Logging Service | Unknown",
                  L"DLP | Not Installed",
                  L"Microsoft SQL Server Desktop Engine | Not Installed",
                  L"Software Asset Management | Not Installed",
                  L"Supporting Databases | Not Installed",
                  L"Velmora Zantrel Client | 9.2.1",
                  L"Velmora Zantrel Client Deploy Tool | Not Installed",
                  L"Velmora Zantrel Console | Not Installed",
                  L"Velmora Zantrel Installation Generator | Not Installed",
                  L"Velmora Zantrel Relay | 9.2.3",
                  L"Velmora Zantrel Server | Not Installed",
                  L"Velmora Zantrel Server API | Not Installed",
                  L"Velmora Zantrel WebUI Service | 9.2.4",
              });
    EXPECT_EQ(Joined(rows.rows()), afterDetection);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 300);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 150);
    Screenshot(dialog, L"window-after-detection");

    // A name cut off by a narrow column shows in full in a tooltip when the mouse rests on it;
    // one that fits shows none.
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, 60);
    EXPECT_EQ(TooltipAt(process, list, 20, 6), L"Velmora Zantrel Client");
    EXPECT_EQ(TooltipAt(process, list, 20, 2), L"") << "\"DLP\" fits";
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, 300);

    int clientRow = -1;
    for (int item = 0; item < rows.count(); ++item)
        if (rows.text(item, 0) == L"Velmora Zantrel Client")
            clientRow = item;
    ASSERT_GE(clientRow, 0);
    rows.selectOnly(clientRow);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(removeButton) != FALSE; }, 5000));

    // Header clicks: Name again reverses; Version then sorts by version, the names (still
    // descending) breaking the ties. The selection stays on the client wherever its row goes.
    std::vector<std::wstring> reversed = rows.rows();
    std::reverse(reversed.begin(), reversed.end());
    ClickHeader(list, kNameHeaderX);
    EXPECT_TRUE(WaitUntil([&] { return rows.rows() == reversed; }, 5000)) << Joined(rows.rows());
    ClickHeader(list, kVersionHeaderX);
    const std::wstring byVersion = Joined({
        L"Velmora Zantrel Client | 9.2.1",
        L"Velmora Zantrel Relay | 9.2.3",
        L"Velmora Zantrel WebUI Service | 9.2.4",
        L"Client Logging Service | Unknown",
        L"Velmora Zantrel Server API | Not Installed",
        L"Velmora Zantrel Server | Not Installed",
        L"Velmora Zantrel Installation Generator | Not Installed",
        L"Velmora Zantrel Console | Not Installed",
        L"Velmora Zantrel Client Deploy Tool | Not Installed",
        L"Supporting Databases | Not Installed",
        L"Software Asset Management | Not Installed",
        L"Microsoft SQL Server Desktop Engine | Not Installed",
        L"DLP | Not Installed",
        L"A2A | Not Installed",
    });
    EXPECT_TRUE(WaitUntil([&] { return Joined(rows.rows()) == byVersion; }, 5000)) << Joined(rows.rows());
    const auto selectedRow = [&] { return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)); };
    EXPECT_EQ(selectedRow(), 0);
    ClickHeader(list, kNameHeaderX);
    EXPECT_TRUE(WaitUntil([&] { return Joined(rows.rows()) == afterDetection; }, 5000)) << Joined(rows.rows());
    EXPECT_EQ(selectedRow(), clientRow);
    EXPECT_TRUE(IsWindowEnabled(removeButton));

    // The same from the keyboard: Tab from the list enters its header on the sort column; Right
    // and Space sort by Version (the names, ascending now, breaking the ties), Left and Enter by
    // Name again; the menu key opens the column chooser; Tab goes on to the next control.
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const DWORD windowThread = GetWindowThreadProcessId(dialog, nullptr);
    const auto focused = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(windowThread, &info);
        return info.hwndFocus;
    };
    const auto press = [](HWND target, WPARAM key) {
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    };
    std::vector<std::wstring> byVersionUp = {L"Velmora Zantrel Client | 9.2.1", L"Velmora Zantrel Relay | 9.2.3",
                                             L"Velmora Zantrel WebUI Service | 9.2.4", L"Client Logging Service | Unknown"};
    for (const std::wstring& row : rows.rows())
        if (row.find(L"Not Installed") != std::wstring::npos)
            byVersionUp.push_back(row);
    press(list, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focused() == header; }, 5000));
    press(header, VK_RIGHT);
    press(header, VK_SPACE);
    EXPECT_TRUE(WaitUntil([&] { return rows.rows() == byVersionUp; }, 5000)) << Joined(rows.rows());
    press(header, VK_LEFT);
    press(header, VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return Joined(rows.rows()) == afterDetection; }, 5000)) << Joined(rows.rows());
    EXPECT_TRUE(IsWindow(dialog)) << "Enter in the header is not the dialog's";
    press(header, VK_APPS);
    HWND chooser = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (chooser = FindProcessWindow(process, L"#32768")) != nullptr; }, 5000));
    if (chooser) {
        press(chooser, VK_ESCAPE);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(chooser); }, 5000));
    }
    // Shift+Tab back to the list, typed so that Shift is down as the header reads it; Tab again.
    EXPECT_TRUE(WaitUntil([&] { return focused() == header; }, 5000)) << "the chooser gives the focus back";
    SetForegroundWindow(dialog);
    INPUT shiftTab[4] = {};
    for (int at = 0; at < 4; ++at) {
        shiftTab[at].type = INPUT_KEYBOARD;
        shiftTab[at].ki.wVk = at == 0 || at == 3 ? VK_SHIFT : VK_TAB;
        shiftTab[at].ki.dwFlags = at >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    EXPECT_EQ(SendInput(4, shiftTab, sizeof(INPUT)), 4u);
    EXPECT_TRUE(WaitUntil([&] { return focused() == list; }, 5000));
    press(list, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focused() == header; }, 5000));
    const HWND afterList = GetNextDlgTabItem(dialog, list, FALSE);
    press(header, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return focused() == afterList; }, 5000));

    // The client alone is refused, naming both components that depend on it; two components and
    // then everything are asked about and cancelled: none of it removes anything.
    PostMessageW(removeButton, BM_CLICK, 0, 0);
    EXPECT_EQ(ReadBoxAndPress(process, L"Confirm Removal"),
              L"Are you sure you want to remove \"Velmora Zantrel Client\"?");
    EXPECT_EQ(ReadBoxAndPress(process, L"Some installed components depend on the client"),
              L"Removing the client will:\r\n"
              L"destroy the relay configuration\r\n"
              L"destroy the webui configuration\r\n"
              L"\r\n"
              L"In order to remove the client, you must also remove the following components:\r\n"
              L"Velmora Zantrel Relay\r\nVelmora Zantrel WebUI Service\r\n");
    rows.selectNamed({L"Velmora Zantrel Relay", L"Velmora Zantrel WebUI Service"});
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(removeButton) != FALSE; }, 5000));
    PostMessageW(removeButton, BM_CLICK, 0, 0);
    EXPECT_EQ(ReadBoxAndPress(process, L"Confirm Removal", IDCANCEL),
              L"Are you sure you want to remove the 2 selected components?");
    PostMessageW(removeAllButton, BM_CLICK, 0, 0);
    EXPECT_EQ(ReadBoxAndPress(process, L"Confirm Removal", IDCANCEL),
              L"Are you sure you want to remove all 4 installed components?");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ControlText(logPane).find(L"x Removing"), std::wstring::npos);

    // The WebUI alone fails at its sites folder: the box says so, and the rest of it goes.
    rows.selectNamed({L"Velmora Zantrel WebUI Service"});
    PostMessageW(removeButton, BM_CLICK, 0, 0);
    EXPECT_EQ(ReadBoxAndPress(process, L"Confirm Removal"),
              L"Are you sure you want to remove \"Velmora Zantrel WebUI Service\"?");
    EXPECT_EQ(ReadBoxAndPress(process, L"Errors Encountered"), L"Some errors were encountered.  See the log for details.");
    EXPECT_NE(ControlText(logPane).find(L"Deleting directory \"C:\\windows\"...refused: protected location\r\n"),
              std::wstring::npos) << ControlText(logPane);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(removeAllButton) && rows.count() > 0 &&
                                       rows.text(rows.count() - 1, 1) == L"Not Installed"; }, 10000));

    // The client and the relay: the client's companion goes with them, installed; the DLP,
    // not installed, does not.
    rows.selectNamed({L"Velmora Zantrel Client", L"Velmora Zantrel Relay"});
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(removeButton) != FALSE; }, 5000));
    PostMessageW(removeButton, BM_CLICK, 0, 0);
    EXPECT_EQ(ReadBoxAndPress(process, L"Confirm Removal"), L"Are you sure you want to remove the 2 selected components?");

    // The relay's uninstaller holds the job: the window is busy and Escape does nothing.
    ASSERT_EQ(WaitForSingleObject(started, 60000), WAIT_OBJECT_0);
    EXPECT_FALSE(IsWindowEnabled(removeButton));
    EXPECT_FALSE(IsWindowEnabled(removeAllButton));
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(IsWindow(dialog)) << "Escape or Close closed the dialog during a job";
    EXPECT_NE(ControlText(logPane).find(L"x Removing Velmora Zantrel Relay"), std::wstring::npos)
        << "the log pane follows the job while it runs";
    // Windows asks whether it may log off: not now, and the log says so.
    const auto mayEndSession = [&] {
        DWORD_PTR answer = 2;
        SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer);
        return answer;
    };
    EXPECT_EQ(mayEndSession(), static_cast<DWORD_PTR>(FALSE));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(logPane).find(L"\r\nA log-off was held back until the removal ends.\r\n") != std::wstring::npos; }, 5000));
    SetEvent(release);

    // The roots go on the worker: while the suite's folder is being deleted the log pane follows
    // and the window answers at once.
    const std::wstring rootFolder = L"Deleting directory \"" + std::wstring(kSuiteFolder) + L"\"...";
    const auto cleanUpUnderWay = [&] {
        const std::wstring shown = ControlText(logPane);
        const std::size_t at = shown.find(rootFolder);
        return at != std::wstring::npos && shown.compare(at + rootFolder.size(), 4, L"done") != 0;
    };
    EXPECT_TRUE(WaitUntil(cleanUpUnderWay, 30000)) << "the clean-up did not show while it ran";
    DWORD_PTR answered = 0;
    EXPECT_NE(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answered), 0);
    EXPECT_TRUE(cleanUpUnderWay()) << "the clean-up ended before the window was asked";

    EXPECT_EQ(ReadBoxAndPress(process, L"Success"), L"Successfully removed 3 products.");
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(removeAllButton) == FALSE && rows.count() > 0 &&
                                       rows.text(0, 1) == L"Not Installed"; }, 10000));
    const std::wstring log = ControlText(logPane);
    // In the removal order: the relay before the client it depends on.
    const std::size_t relayRemoval = log.find(L"x Removing Velmora Zantrel Relay");
    const std::size_t clientRemoval = log.find(L"x Removing Velmora Zantrel Client");
    ASSERT_NE(clientRemoval, std::wstring::npos);
    EXPECT_LT(relayRemoval, clientRemoval);
    EXPECT_NE(log.find(L"x Removing Client Logging Service"), std::wstring::npos);
    EXPECT_EQ(log.find(L"x Removing DLP"), std::wstring::npos);
    // The root clean-up runs once everything installed is gone, and ends the log.
    const std::wstring cut(50, L'x');
    const std::size_t cleanUp = log.rfind(L"\r\nNo more products installed.");
    ASSERT_NE(cleanUp, std::wstring::npos);
    EXPECT_EQ(log.substr(cleanUp),
              L"\r\nNo more products installed. Removing root folders and reg keys...\r\n"
              L"\r\n" + cut + L"\r\n"
              L"x Removing Folders and Registry keys\r\n" +
                  cut + L"\r\n"
              L"Deleting directory \"C:\\Program Files (x86)\\Zantrel Enterprise\"...done\r\n"
              L"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n");
    std::wstring afterRemoval = afterDetection;
    for (const wchar_t* version : {L"9.2.1", L"9.2.3", L"9.2.4", L"Unknown"})
        afterRemoval.replace(afterRemoval.find(version), wcslen(version), L"Not Installed");
    EXPECT_EQ(Joined(rows.rows()), afterRemoval) << "every row stays, white and not installed";
    // "/backup" on the dialog's command line: said once, when the first removal started (not
    // when the client alone was refused), and what the removals deleted is saved.
    const std::wstring backupLine = L"Backing up what is deleted to \"" + std::wstring(kBackupFolder) + L"\"\r\n";
    const std::size_t said = log.find(backupLine);
    EXPECT_LT(said, relayRemoval);
    EXPECT_EQ(log.find(backupLine, said + 1), std::wstring::npos);
    const std::string deleted = ReadFileBytes(std::wstring(kBackupFolder) + L"\\deleted.txt");
    EXPECT_NE(deleted.find("registryKey\tHKLM\\" + Narrow(kRelayEntry) + "\r\n"), std::string::npos) << deleted;
    EXPECT_NE(deleted.find("registryKey\tHKLM\\SOFTWARE\\Zantrel\r\n"), std::string::npos) << "the roots too:\n" << deleted;
    const std::string saved = ReadFileBytes(std::wstring(kBackupFolder) + L"\\registry.reg");
    const std::wstring relaySection = L"[HKEY_LOCAL_MACHINE\\" + std::wstring(kRelayEntry) + L"]\r\n";
    EXPECT_NE(saved.find(std::string(reinterpret_cast<const char*>(relaySection.data()), relaySection.size() * 2)),
              std::string::npos);
    Screenshot(dialog, L"window-after-removal");
    EXPECT_FALSE(RegistryKeyPresent(kRelayEntry));
    EXPECT_FALSE(RegistryKeyPresent(L"SOFTWARE\\Zantrel"));

    EXPECT_EQ(mayEndSession(), static_cast<DWORD_PTR>(TRUE)) << "nothing runs: it may";

    // Idle again: Escape closes the dialog and the program ends.
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_EQ(WaitForSingleObject(running.hProcess, 20000), WAIT_OBJECT_0);
}

// The column widths are given at 96 DPI and shown at the system's: 1.5 and 2 times as wide at
// 144 and 192 DPI, with a screenshot of each.
TEST_F(WindowTest, TheColumnsFollowTheSystemDpi)
{
    // Its own windows' places unscaled, as the screenshots need them.
    SetProcessDPIAware();
    struct Scale {
        DWORD dpi;
        LRESULT name;
        LRESULT version;
        const wchar_t* screenshot;
    };
    for (const Scale& scale : {Scale{144, 450, 225, L"window-144dpi"}, Scale{192, 600, 300, L"window-192dpi"}}) {
        HKEY desktop = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &desktop, nullptr), ERROR_SUCCESS);
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&scale.dpi), sizeof(DWORD));
        Start(L"");
        HWND dialog = nullptr;
        HWND list = nullptr;
        const bool up = WaitUntil([&] {
            return (dialog = FindProgramWindow(running.dwProcessId, kCaption)) != nullptr &&
                   (list = GetDlgItem(dialog, 1025)) != nullptr && IsWindowEnabled(GetDlgItem(dialog, 1007)) == FALSE &&
                   SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0;
        }, 30000);
        RegDeleteValueW(desktop, L"LogPixels");
        RegCloseKey(desktop);
        ASSERT_TRUE(up) << scale.dpi;
        EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), scale.name) << scale.dpi;
        EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), scale.version) << scale.dpi;
        Screenshot(dialog, scale.screenshot);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(running.hProcess, 20000), WAIT_OBJECT_0);
        CloseHandle(running.hThread);
        CloseHandle(running.hProcess);
        running = {};
    }
}

} // namespace
