#include "core/run_report.h"

#include <nlohmann/json.hpp>

#include "platform/text.h"

namespace {

const char* EndingName(SilentEnding ending)
{
    switch (ending) {
    case SilentEnding::Completed:
        return "completed";
    case SilentEnding::Refused:
        return "refused";
    case SilentEnding::NothingSelected:
        return "nothingSelected";
    case SilentEnding::Detected:
        return "detected";
    case SilentEnding::Planned:
        return "planned";
    case SilentEnding::AnotherCopy:
        return "anotherCopy";
    }
    return "completed";
}

nlohmann::json RemoveResult(const ComponentOutcome& outcome)
{
    if (!outcome.removeCalled)
        return nullptr;
    if (!outcome.removeResult)
        return "exception";
    return *outcome.removeResult ? "succeeded" : "failed";
}

nlohmann::ordered_json PendingRestart(const ComponentOutcome& outcome)
{
    nlohmann::ordered_json paths = nlohmann::ordered_json::array();
    for (const std::u16string& path : outcome.pendingRestart)
        paths.push_back(ToUtf8(path));
    return paths;
}

nlohmann::ordered_json Deleted(const std::vector<DeletedObject>& objects)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const DeletedObject& object : objects)
        list.push_back({{"kind", ToUtf8(DeletedKindName(object.kind))}, {"name", ToUtf8(EscapeControlCharacters(object.name))}});
    return list;
}

nlohmann::ordered_json UninstallerRunOf(const ComponentOutcome& outcome)
{
    if (!outcome.uninstallerRun)
        return nullptr;
    const UninstallerRun& run = *outcome.uninstallerRun;
    static const char* const kEnded[] = {"finished", "timeLimit", "unanswerable", "notStarted"};
    return {{"command", ToUtf8(EscapeControlCharacters(run.command))},
            {"ended", kEnded[static_cast<int>(run.ended)]},
            {"exitCode", run.exitCode ? nlohmann::ordered_json(*run.exitCode) : nullptr}};
}

} // namespace

std::string SilentRunReport(const SilentRunResult& result, std::u16string_view program,
                            std::u16string_view programVersion)
{
    nlohmann::ordered_json components = nlohmann::ordered_json::array();
    for (const ComponentOutcome& outcome : result.components) {
        components.push_back({
            {"switch", ToUtf8(Catalogue(outcome.id).silentSwitch)},
            {"name", ToUtf8(outcome.name)},
            {"version", outcome.version ? nlohmann::ordered_json(ToUtf8(*outcome.version)) : nullptr},
            {"installedBefore", outcome.installedBefore},
            {"selected", outcome.selected},
            {"removed", outcome.removeCalled},
            {"stillInstalled", outcome.installedAfter},
            {"removeResult", RemoveResult(outcome)},
            {"detection", outcome.detectionError ? "incomplete" : "complete"},
            {"detectionError", outcome.detectionError ? nlohmann::ordered_json(ToUtf8(*outcome.detectionError)) : nullptr},
            {"pendingRestart", PendingRestart(outcome)},
            {"deleted", Deleted(outcome.deleted)},
            {"uninstallerRun", UninstallerRunOf(outcome)},
        });
    }
    const nlohmann::ordered_json body = {
        {"program", ToUtf8(program)},
        {"version", ToUtf8(programVersion)},
        {"exitStatus", SilentExitStatus(result)},
        {"ending", EndingName(result.ending)},
        {"restartRequested", result.restartRequested},
        {"rootsRemoved", result.rootsRemoved ? nlohmann::ordered_json(*result.rootsRemoved) : nullptr},
        {"rootsDeleted", Deleted(result.rootsDeleted)},
        {"components", components},
    };
    // A plan says so first.
    nlohmann::ordered_json report = result.ending == SilentEnding::Planned ? nlohmann::ordered_json{{"plan", true}}
                                                                          : nlohmann::ordered_json::object();
    report.update(body);
    // Text that is not valid UTF-8 cannot come from ToUtf8; replacing rather than throwing keeps
    // a report from ever costing the run its result.
    return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
