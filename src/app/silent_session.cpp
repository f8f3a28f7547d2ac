#include "app/silent_session.h"

#include <memory>
#include <optional>
#include <utility>

#include "core/log.h"
#include "core/run_options.h"
#include "core/run_report.h"
#include "database/odbc.h"
#include "platform/errors.h"
#include "platform/starter_output.h"
#include "platform/text.h"
#include "products/products.h"
#include "toolkit/registry_backup.h"
#include "toolkit/root_cleanup.h"
#include "toolkit/run_outputs.h"
#include "toolkit/run_registry_reads.h"
#include "toolkit/uninstaller.h"

SilentSession RunSilentSession(const RunOptions& options, bool onlyCopy, const std::u16string& caption,
                               const std::u16string& version)
{
    SilentSession session;
    if (options.pathMissing || options.timeoutInvalid) {
        session.exitStatus = ERROR_INVALID_PARAMETER;
        return session;
    }

    // The files open, and the backup starts, before anything is looked at. A copy that finds
    // another at work records why where it can; it deletes nothing, so it keeps no backup.
    RunOutputs outputs;
    if (const DWORD refused = OpenRunOutputs(options, onlyCopy, outputs)) {
        session.exitStatus = refused;
        return session;
    }
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
    PlannedChanges planned;
    std::optional<Remove::PlanLog> planLog;
    PlannedDatabaseChanges plannedDatabase(planned);
    std::optional<ScopedDatabaseChanges> planningDatabase;
    if (options.plan) {
        planLog.emplace(log.get(), planned);
        planningDatabase.emplace(plannedDatabase);
    }
    Remove::Log* const sink = planLog ? &*planLog : log.get();
    const Products products = MakeProducts(sink);
    SilentRunContext context{sink, caption, RemoveRootTraces, TakeRestartRequest};
    context.plan = options.plan ? &planned : nullptr;
    SilentRunResult& result = session.result;
    if (!onlyCopy) {
        result = RefuseAnotherCopy(context);
    } else {
        // The run's detection and removal passes share what the lookups read of the registry.
        const RunRegistryReadsScope reads(context.plan != nullptr);
        const UninstallerTimeLimitScope limit(options.timeoutMinutes);
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
            report->commit(SilentRunReport(result, caption, version));
        } catch (...) {
            writeLine(log.get(), u"Unable to write the report: " + DescribeCurrentExceptionW());
        }
    }
    session.exitStatus = SilentExitStatus(result);
    return session;
}
