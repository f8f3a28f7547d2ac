#include "window/qtvremove_dlg.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "window/resource.h"
#include "core/catalogue.h"
#include "core/product.h"
#include "listview/win_text.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "toolkit/root_cleanup.h"

namespace {

// What removing the client does to each dependent, in the order the dependency box names them.
struct Consequence {
    ProductId dependent;
    std::u16string_view text;
};
constexpr std::array<Consequence, 5> kConsequences = {{
    {ProductId::A2A, u"impair the A2A capabilities\r\n"},
    {ProductId::ClientDeployTool, u"impair the client deploy tool capabilities\r\n"},
    {ProductId::Relay, u"destroy the relay configuration\r\n"},
    {ProductId::Server, u"destroy the server configuration\r\n"},
    {ProductId::WebUI, u"destroy the webui configuration\r\n"},
}};

constexpr std::u16string_view kConfirmTitle = u"Confirm Removal";

} // namespace

CQTVRemoveDlg::CQTVRemoveDlg(std::unique_ptr<WindowRemoverHost> removerHost)
    : productList(model, model, model),
      messageLog(&logQueue),
      products(MakeProducts(&messageLog)),
      host(std::move(removerHost)),
      remover(host.get(), &messageLog)
{
    remover.cleanUpRootsWith([](Remove::Log* log) { RemoveRootTraces(log); });
    icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    for (const ProductId id : kWindowOrder)
        if (QTVProduct* product = products.set[id])
            allProducts.push_back(product);
}

CQTVRemoveDlg::~CQTVRemoveDlg()
{
    // A job still running uses the components and the sink: it ends before they go.
    remover.releaseWorker();
    if (logFont)
        DeleteObject(logFont);
}

INT_PTR CQTVRemoveDlg::DoModal()
{
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_QTVREMOVE_DIALOG), nullptr,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CQTVRemoveDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CQTVRemoveDlg*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->window = window;
        return dialog->onInitDialog();
    }
    auto* dialog = reinterpret_cast<CQTVRemoveDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    return dialog ? dialog->handle(message, wParam, lParam) : FALSE;
}

INT_PTR CQTVRemoveDlg::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        if (IsIconic(window)) {
            onPaint();
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon);
    case WM_TIMER:
        if (wParam == 1)
            flushLog();
        return TRUE;
    case kStartDetection:
        onStartDetection();
        return TRUE;
    case BackgroundRemover::kDetectionDone:
        onDetectionDone();
        return TRUE;
    case BackgroundRemover::kRemovalDone:
        onRemovalDone();
        return TRUE;
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR& notification = *reinterpret_cast<const NMHDR*>(lParam);
        LRESULT result = 0;
        if (notification.hwndFrom == productList.hwnd() && productList.onNotify(notification, result)) {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    case WM_SIZE:
        layout.onSize();
        return FALSE;
    case WM_QUERYENDSESSION:
        onQueryEndSession(lParam);
        return TRUE;
    case WM_GETMINMAXINFO:
        layout.onGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void CQTVRemoveDlg::onCommand(WORD id)
{
    switch (id) {
    case IDC_REMOVE:
        onRemove();
        break;
    case IDC_REMOVE_ALL:
        onRemoveAll();
        break;
    case IDCANCEL:
        // Escape and the close button wait until the job is over.
        if (!busy)
            EndDialog(window, IDCANCEL);
        break;
    default:
        // Enter (IDOK) never closes the dialog.
        break;
    }
}

void CQTVRemoveDlg::onPaint()
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(window, &paint);
}

BOOL CQTVRemoveDlg::onInitDialog()
{
    productList.attach(GetDlgItem(window, IDC_PRODUCT_LIST));
    removeButton = GetDlgItem(window, IDC_REMOVE);
    removeAllButton = GetDlgItem(window, IDC_REMOVE_ALL);
    logView.attach(GetDlgItem(window, IDC_LOG));

    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    layout.attach(window);
    layout.add(productList.hwnd(), ResizableLayout::kTopLeftToTopRight);
    layout.add(removeButton, ResizableLayout::kTopRight);
    layout.add(removeAllButton, ResizableLayout::kTopRight);
    layout.add(logView.hwnd(), ResizableLayout::kTopLeftToBottomRight);

    SendMessageW(logView.hwnd(), EM_LIMITTEXT, 0, 0);
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    logFont = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    if (logFont)
        SendMessageW(logView.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(logFont), TRUE);

    host->setWindow(window);
    PostMessageW(window, kStartDetection, 0, 0);
    selectionHook = model.selectionChanged.connect([this](const std::set<int>&) { updateButtons(); });
    updateButtons();
    return TRUE;
}

void CQTVRemoveDlg::setBusy(bool nowBusy)
{
    busy = nowBusy;
    EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | (nowBusy ? MF_GRAYED : MF_ENABLED));
}

void CQTVRemoveDlg::holdShutdown(bool hold)
{
    if (hold == removing)
        return;
    removing = hold;
    if (hold)
        ShutdownBlockReasonCreate(window, L"QTVRemove is removing components.");
    else
        ShutdownBlockReasonDestroy(window);
}

void CQTVRemoveDlg::onQueryEndSession(LPARAM reason)
{
    if (!removing) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return;
    }
    // A removal cut off half way leaves the suite neither installed nor removed. The notice goes
    // on a line of its own, even in the middle of a step's line.
    flushLog();
    if (!logView.atLineStart())
        messageLog.write(EOL);
    writeLine(&messageLog, (reason & ENDSESSION_LOGOFF) ? u"A log-off was held back until the removal ends."
                                                        : u"A shutdown was held back until the removal ends.");
    flushLog();
    SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
}

void CQTVRemoveDlg::killLogTimerAndJoin()
{
    if (remover.timer() != 0)
        KillTimer(window, remover.timer());
    // The last worker has posted its completion; this only waits for it to return and closes it.
    remover.releaseWorker();
}

std::vector<QTVProduct*> CQTVRemoveDlg::selectedProducts() const
{
    std::set<QTVProduct*> chosen;
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.isSelected(row))
            chosen.insert(model.itemAt(row));
    return std::vector<QTVProduct*>(chosen.begin(), chosen.end());
}

void CQTVRemoveDlg::updateButtons()
{
    if (busy) {
        EnableWindow(removeButton, FALSE);
        EnableWindow(removeAllButton, FALSE);
        return;
    }
    killLogTimerAndJoin();
    if (remover.products().empty()) {
        EnableWindow(removeButton, FALSE);
        EnableWindow(removeAllButton, FALSE);
        return;
    }
    EnableWindow(removeAllButton, TRUE);
    const std::vector<QTVProduct*> selected = selectedProducts();
    const bool allInstalled = std::all_of(selected.begin(), selected.end(),
                                          [](const QTVProduct* product) { return product->isInstalled(); });
    EnableWindow(removeButton, !selected.empty() && allInstalled);
}

void CQTVRemoveDlg::flushLog()
{
    logView.drain(logQueue);
}

template <class Start>
void CQTVRemoveDlg::startJob(Start start)
{
    setBusy(true);
    updateButtons();
    try {
        start();
    } catch (...) {
        // No worker, so no completion message will come: the window must not stay busy.
        if (remover.timer() != 0)
            KillTimer(window, remover.timer());
        setBusy(false);
        messageLog.write(u"Unable to start the worker thread: ");
        writeLine(&messageLog, DescribeCurrentExceptionW());
        flushLog();
        updateButtons();
    }
}

void CQTVRemoveDlg::onStartDetection()
{
    if (busy)
        return;
    startJob([this] { remover.startDetection(allProducts); });
}

void CQTVRemoveDlg::onDetectionDone()
{
    flushLog();
    model.setProducts(allProducts);
    updateButtons();
    setBusy(false);
    updateButtons();
}

int CQTVRemoveDlg::ask(const std::u16string& question)
{
    return MessageBoxW(window, Wide(question), Wide(std::u16string(kConfirmTitle)),
                       MB_OKCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION);
}

void CQTVRemoveDlg::onRemove()
{
    const std::vector<QTVProduct*> selected = selectedProducts();
    if (selected.empty())
        return;
    std::u16string question;
    if (selected.size() == 1)
        question = u"Are you sure you want to remove \"" + selected.front()->name() + u"\"?";
    else
        question = u"Are you sure you want to remove the " + ToUtf16(std::to_string(selected.size())) +
                   u" selected components?";
    if (ask(question) == IDOK)
        requestRemoval(selected);
    else
        model.selectAll(false);
}

void CQTVRemoveDlg::onRemoveAll()
{
    killLogTimerAndJoin();
    const std::u16string question = u"Are you sure you want to remove all " +
                                    ToUtf16(std::to_string(remover.products().size())) + u" installed components?";
    if (ask(question) == IDOK) {
        killLogTimerAndJoin();
        requestRemoval(remover.products());
    } else {
        model.selectAll(false);
    }
}

std::u16string CQTVRemoveDlg::dependencyMessage() const
{
    std::u16string text = u"Removing the client will:\r\n";
    for (const Consequence& consequence : kConsequences) {
        const QTVProduct* dependent = products.set[consequence.dependent];
        if (dependent && dependent->isInstalled())
            text += consequence.text;
    }
    text += u"\r\nIn order to remove the client, you must also remove the following components:\r\n";
    for (const Consequence& consequence : kConsequences) {
        const QTVProduct* dependent = products.set[consequence.dependent];
        if (dependent && dependent->isInstalled())
            text += dependent->name() + u"\r\n";
    }
    return text;
}

void CQTVRemoveDlg::requestRemoval(const std::vector<QTVProduct*>& components)
{
    if (busy)
        return;
    SelectionSet chosen(components.begin(), components.end());
    const auto installed = [this](ProductId id) {
        const QTVProduct* product = products.set[id];
        return product != nullptr && product->isInstalled();
    };
    QTVProduct* client = products.set[ProductId::Client];
    if (client && chosen.count(client)) {
        const bool stranded = std::any_of(kClientDependents.begin(), kClientDependents.end(), [&](ProductId id) {
            return installed(id) && !chosen.count(products.set[id]);
        });
        if (stranded) {
            MessageBoxW(window, Wide(dependencyMessage()), L"Some installed components depend on the client",
                        MB_ICONERROR | MB_OK);
            return;
        }
    }
    for (const Companion& pair : kCompanions) {
        QTVProduct* chosenOne = products.set[pair.chosen];
        if (chosenOne && chosen.count(chosenOne) && installed(pair.companion))
            chosen.insert(products.set[pair.companion]);
    }
    std::vector<QTVProduct*> removals;
    for (const ProductId id : kRemovalOrder)
        if (QTVProduct* product = products.set[id]; product && chosen.count(product))
            removals.push_back(product);
    if (!startBackup())
        return;
    holdShutdown(true);
    startJob([this, &removals] { remover.startRemoval(removals); });
    if (!busy)
        holdShutdown(false);
}

bool CQTVRemoveDlg::startBackup()
{
    if (!backupFolder || backup)
        return true;
    try {
        backup = std::make_unique<Backup>(*backupFolder);
    } catch (...) {
        // Nothing is deleted without the backup that was asked for.
        const std::u16string text = BackupRefusal(*backupFolder) + DescribeCurrentExceptionW();
        writeLine(&messageLog, text);
        flushLog();
        MessageBoxW(window, Wide(text), L"Errors Encountered", MB_ICONERROR | MB_OK);
        return false;
    }
    remover.saveTo(backup.get());
    writeLine(&messageLog, backup->announcement());
    return true;
}

void CQTVRemoveDlg::onRemovalDone()
{
    flushLog();
    killLogTimerAndJoin();
    const std::size_t removedCount = remover.removals().size();
    // What a running program held goes when Windows restarts: the box says so below its text.
    const std::u16string restart =
        remover.restartPending() ? u"\nWindows must restart to finish the removal." : u"";
    if (remover.succeeded()) {
        const std::u16string text =
            u"Successfully removed " + ToUtf16(std::to_string(removedCount)) + u" products." + restart;
        MessageBoxW(window, Wide(text), L"Success", MB_OK);
    } else {
        const std::u16string text = u"Some errors were encountered.  See the log for details." + restart;
        MessageBoxW(window, Wide(text), L"Errors Encountered", MB_ICONERROR | MB_OK);
    }
    if (backup) {
        try {
            backup->flush();
        } catch (...) {
            writeLine(&messageLog, u"Unable to write the list of deleted objects to the backup: " + DescribeCurrentExceptionW());
            flushLog();
        }
    }
    remover.dropUninstalled();
    holdShutdown(false);
    updateButtons();
    setBusy(false);
    updateButtons();
    model.setProducts(allProducts);
    model.selectAll(false);
}
