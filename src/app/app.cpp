#include "app/app.h"
#include "app/version.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <optional>
#include <utility>

#include "core/log.h"
#include "core/run_options.h"
#include "core/run_report.h"
#include "core/silent_driver.h"
#include "listview/win_text.h"
#include "platform/app_name.h"
#include "platform/errors.h"
#include "platform/only_copy.h"
#include "platform/starter_output.h"
#include "platform/text.h"
#include "products/products.h"
#include "database/odbc.h"
#include "toolkit/detection_index.h"
#include "toolkit/registry_backup.h"
#include "toolkit/root_cleanup.h"
#include "toolkit/run_outputs.h"
#include "toolkit/uninstaller.h"
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
        dialog.DoModal();
        return false;
    }
    exitCode_ = runSilently(options, claim.held());
    return false;
}

DWORD CQTVRemoveApp::runSilently(const RunOptions& options, bool onlyCopy)
{
    if (options.pathMissing)
        return ERROR_INVALID_PARAMETER;

    // The files open, and the backup starts, before anything is looked at. A copy that finds
    // another at work records why where it can; it deletes nothing, so it keeps no backup.
    RunOutputs outputs;
    if (const DWORD refused = OpenRunOutputs(options, onlyCopy, outputs))
        return refused;
    std::unique_ptr<Remove::Log> log = std::move(outputs.log);
    std::optional<ReportFile>& report = outputs.report;
    const std::unique_ptr<Backup>& backup = outputs.backup;
    std::optional<ScopedBackup> savingTo;
    if (backup) {
        savingTo.emplace(*backup);
        writeLine(log.get(), backup->announcement());
    }
    if (!log)
        log = std::make_unique<Remove::Log>();

    // A plan's lines of a change say so; its databases change nothing.
    std::optional<Remove::PlanLog> planLog;
    PlannedDatabaseChanges plannedDatabase;
    std::optional<ScopedDatabaseChanges> planningDatabase;
    if (options.plan) {
        planLog.emplace(log.get());
        planningDatabase.emplace(plannedDatabase);
    }
    Remove::Log* const sink = planLog ? &*planLog : log.get();
    const std::u16string caption = Caption();
    const Products products = MakeProducts(sink);
    SilentRunContext context{sink, caption, RemoveRootTraces, TakeRestartRequest};
    context.plan = options.plan;
    SilentRunResult result;
    if (!onlyCopy) {
        result = RefuseAnotherCopy(context);
    } else {
        // The run's detection and removal passes share what the lookups read of the registry.
        const DetectionIndexScope index;
        result = options.detectOnly ? DetectSilently(products.set, context)
                                    : RunSilent(options.switches, products.set, context);
    }
    if (options.detectOnly && onlyCopy)
        WriteToStarter(DetectionListing(result));
    else if (options.plan && onlyCopy && !report && result.ending == SilentEnding::Planned)
        WriteToStarter(PlanListing(result));

    if (backup) {
        try {
            backup->flush();
        } catch (...) {
            writeLine(log.get(), u"Unable to write the list of deleted objects to the backup: " + DescribeCurrentExceptionW());
        }
    }
    if (report) {
        try {
            report->commit(SilentRunReport(result, caption, ToUtf16(QTV_VERSION_TEXT)));
        } catch (...) {
            writeLine(log.get(), u"Unable to write the report: " + DescribeCurrentExceptionW());
        }
    }
    return SilentExitStatus(result);
}
