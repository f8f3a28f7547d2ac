#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/signals2/connection.hpp>

#include "core/log.h"
#include "listview/modeled_list_ctrl.h"
#include "products/products.h"
#include "toolkit/registry_backup.h"
#include "window/background_remover.h"
#include "window/log_edit.h"
#include "window/remove_list_model.h"
#include "window/resizable_layout.h"
#include "window/window_remover_host.h"

// The interactive program: the list of the fourteen components, "Remove" and "Remove All", and
// the log pane that follows every detection and removal step while a worker runs the job.
class CQTVRemoveDlg {
public:
    // The dialog's own message: start the first detection once the window is up.
    static constexpr UINT kStartDetection = WM_APP;

    // `host` starts the remover's timer and threads on this dialog's window.
    explicit CQTVRemoveDlg(std::unique_ptr<WindowRemoverHost> host = std::make_unique<WindowRemoverHost>());
    ~CQTVRemoveDlg();
    CQTVRemoveDlg(const CQTVRemoveDlg&) = delete;
    CQTVRemoveDlg& operator=(const CQTVRemoveDlg&) = delete;

    // Runs the dialog until it closes.
    INT_PTR DoModal();

    // Saves what the removals delete to this folder ("/backup DIR" on the command line), begun
    // at the first removal.
    void backUpTo(std::u16string folder) { backupFolder = std::move(folder); }
    // Ends each uninstaller, with what it started, after this many minutes ("/timeout MINUTES").
    void limitUninstallersTo(unsigned minutes) { remover.limitUninstallersTo(minutes); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL onInitDialog();
    void onPaint();
    void onCommand(WORD id);
    void updateButtons();
    void onStartDetection();
    void onDetectionDone();
    void onRemove();
    void onRemoveAll();
    void requestRemoval(const std::vector<QTVProduct*>& components);
    void onRemovalDone();
    void flushLog();

    // Starts a job with the window busy; when no worker starts, the window is made idle again
    // and the reason goes to the log pane.
    template <class Start>
    void startJob(Start start);
    void setBusy(bool nowBusy);
    // While components are being removed, Windows is asked not to shut down or log off.
    void holdShutdown(bool hold);
    void onQueryEndSession(LPARAM reason);
    void killLogTimerAndJoin();
    std::vector<QTVProduct*> selectedProducts() const;
    std::u16string dependencyMessage() const;
    int ask(const std::u16string& question);
    // Begins the backup asked for, once; false (said in the log and a box) when it cannot be kept.
    bool startBackup();

    HWND window = nullptr;
    RemoveListModel model;
    CModeledListCtrl productList;
    HWND removeButton = nullptr;
    HWND removeAllButton = nullptr;
    HFONT logFont = nullptr;
    CMyEdit logView;
    LogQueue logQueue;
    Remove::MessageLog messageLog;
    // The backup, the components, then the remover: the remover goes first, waiting for a job
    // that may still be using them.
    std::optional<std::u16string> backupFolder;
    std::unique_ptr<Backup> backup;
    Products products;
    std::unique_ptr<WindowRemoverHost> host;
    BackgroundRemover remover;
    bool busy = false;
    bool removing = false;
    HICON icon = nullptr;
    std::vector<QTVProduct*> allProducts;
    ResizableLayout layout;
    boost::signals2::scoped_connection selectionHook;
};
