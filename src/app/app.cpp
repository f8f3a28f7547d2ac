#include "app/app.h"
#include "app/silent_session.h"
#include "app/version.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <optional>
#include <utility>

#include "core/run_options.h"
#include "listview/win_text.h"
#include "platform/app_name.h"
#include "platform/errors.h"
#include "platform/only_copy.h"
#include "platform/text.h"
#include "window/qtvremove_dlg.h"

namespace {

std::u16string Caption()
{
    try {
        return ApplicationName();
    } catch (...) {
        return u"QTVRemove";
    }
}

} // namespace

CQTVRemoveApp::CQTVRemoveApp(std::u16string commandLine)
    : commandLine_(std::move(commandLine))
{
}

bool CQTVRemoveApp::InitInstance()
{
    RunOptions options = ParseRunOptions(commandLine_);
    EnterSystemFolder(options);
    // Held until the process ends, by the dialog and the silent run alike.
    const OnlyCopyClaim claim = OnlyCopyClaim::Claim();
    if (!HasSwitch(options.switches, u"/silent")) {
        if (!claim.held()) {
            const std::u16string caption = Caption();
            MessageBoxW(nullptr, Wide(AnotherCopyMessage(caption)), Wide(caption), MB_ICONERROR | MB_OK);
            exitCode_ = 1618;
            return false;
        }
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        CQTVRemoveDlg dialog;
        if (options.backupPath)
            dialog.backUpTo(*options.backupPath);
        if (options.timeoutMinutes)
            dialog.limitUninstallersTo(*options.timeoutMinutes);
        dialog.DoModal();
        return false;
    }
    exitCode_ = runSilently(options, claim.held());
    return false;
}

DWORD CQTVRemoveApp::runSilently(const RunOptions& options, bool onlyCopy)
{
    return RunSilentSession(options, onlyCopy, Caption(), ToUtf16(QTV_VERSION_TEXT)).exitStatus;
}
