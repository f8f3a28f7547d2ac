#include "core/silent_driver.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/log.h"
#include "core/product.h"
#include "platform/desktop.h"
#include "platform/os_api.h"
#include "plan/planning_os_api.h"
#include "platform/registry.h"
#include "platform/restart_deletions.h"
#include "platform/run_record.h"
#include "platform/text.h"

namespace {

// A silent run has nobody to tell: a component that throws is passed by, and the run goes on.
template <class Step>
void Survive(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

bool IsInstalled(const QTVProduct* product)
{
    return product != nullptr && product->isInstalled();
}

// The refusal and the help: in the log, with the log's line ends, then in a message box where
// somebody can see one. Elsewhere the run goes on as if OK had been pressed.
void Tell(const SilentRunContext& context, const std::u16string& text, UINT type)
{
    std::u16string logged;
    for (const char16_t c : text) {
        if (c == u'\n')
            logged += EOL;
        else
            logged += c;
    }
    writeLine(context.log, logged);
    if (DesktopVisible())
        Os().messageBox(nullptr, text.c_str(), context.caption.c_str(), type);
}

// Detects every component in the silent detection order and records what each is.
SilentRunResult DetectAll(const ProductSet& products, const std::function<bool(ProductId)>& selects)
{
    SilentRunResult result;
    for (const ProductId id : kSilentDetectionOrder) {
        QTVProduct* product = products[id];
        ComponentOutcome outcome;
        outcome.id = id;
        outcome.name = Catalogue(id).defaultName;
        outcome.selected = selects(id);
        if (product) {
            Survive([product] { product->runDetection(); });
            outcome.name = product->name();
            outcome.version = product->version();
            outcome.installedBefore = outcome.installedAfter = product->isInstalled();
            outcome.detectionError = product->detectionError();
        }
        result.components.push_back(std::move(outcome));
    }
    return result;
}

ComponentOutcome& OutcomeOf(SilentRunResult& result, ProductId id)
{
    return *std::find_if(result.components.begin(), result.components.end(),
                         [id](const ComponentOutcome& outcome) { return outcome.id == id; });
}

} // namespace

bool HasSwitch(std::u16string_view commandLine, std::u16string_view switchText)
{
    return commandLine.find(switchText) != std::u16string_view::npos;
}

std::u16string ClientRefusalMessage(const ProductSet& products)
{
    std::u16string message =
        u"The client should not be removed without also removing the components that depend "
        u"on it. To also remove the dependent components, use the option '/client' with the "
        u"options: ";
    for (const ProductId dependent : kClientDependents) {
        if (IsInstalled(products[dependent])) {
            message += u" '";
            message += Catalogue(dependent).silentSwitch;
            message += u"'";
        }
    }
    message += u". To forcefully remove only the client, add the option '/force'.";
    return message;
}

std::u16string SilentHelpText()
{
    std::vector<const CatalogueEntry*> entries;
    for (const ProductId id : kRemovalOrder)
        entries.push_back(&Catalogue(id));
    std::sort(entries.begin(), entries.end(), [](const CatalogueEntry* a, const CatalogueEntry* b) {
        return a->silentSwitch < b->silentSwitch;
    });
    std::u16string text =
        u"To silently remove all components, use /silent /all.\n"
        u"To silently remove a set of components, use /silent and a combination of the "
        u"following options:";
    for (const CatalogueEntry* entry : entries) {
        text += u"\n    ";
        text += entry->silentSwitch;
        text += u" - ";
        text += entry->helpLabel;
    }
    return text;
}

SilentRunResult RunSilent(std::u16string_view commandLine, const ProductSet& products,
                          const SilentRunContext& context)
{
    const bool allSwitch = HasSwitch(commandLine, u"/all");
    const bool forceSwitch = HasSwitch(commandLine, u"/force");
    SilentRunResult result = DetectAll(products, [&](ProductId id) {
        return allSwitch || HasSwitch(commandLine, Catalogue(id).silentSwitch);
    });
    const bool anySelected = std::any_of(result.components.begin(), result.components.end(),
                                         [](const ComponentOutcome& outcome) { return outcome.selected; });
    const auto selected = [&](ProductId id) { return products[id] && OutcomeOf(result, id).selected; };

    if (!forceSwitch && selected(ProductId::Client)) {
        const bool stranded = std::any_of(kClientDependents.begin(), kClientDependents.end(), [&](ProductId id) {
            return IsInstalled(products[id]) && !selected(id);
        });
        if (stranded) {
            Tell(context, ClientRefusalMessage(products), MB_ICONERROR | MB_OK);
            result.ending = SilentEnding::Refused;
            return result;
        }
    }

    for (const Companion& pair : kCompanions) {
        if (selected(pair.chosen) && products[pair.companion])
            OutcomeOf(result, pair.companion).selected = true;
    }

    // A plan's removals and detections see the machine as the removal would leave it.
    std::optional<PlanningOsApi> planning;
    std::optional<ScopedOsApi> planned;
    if (context.plan) {
        planning.emplace(Os(), *context.plan);
        planned.emplace(*planning, ScopedOsApi::OverTheSameMachine{});
        result.ending = SilentEnding::Planned;
    }

    bool anyLeft = false;
    for (const ProductId id : kRemovalOrder) {
        QTVProduct* product = products[id];
        if (!product)
            continue;
        ComponentOutcome& outcome = OutcomeOf(result, id);
        const RunRecordScope record;
        if (product->isInstalled() && outcome.selected) {
            outcome.removeCalled = true;
            Survive([&] { outcome.removeResult = product->remove(); });
        }
        // What judges a removal reads the machine afresh, never what the removal itself read: a
        // read that failed there would answer for the component here.
        NoteRegistryChange();
        Survive([product] { product->runDetection(); });
        outcome.pendingRestart = record.awaitingRestart();
        outcome.deleted = record.deleted();
        outcome.uninstallerRun = record.uninstallerRun();
        outcome.name = product->name();
        outcome.installedAfter = product->isInstalled();
        outcome.detectionError = product->detectionError();
        // A component that could not be looked at everywhere may still be there.
        if (product->isInstalled() || outcome.detectionError)
            anyLeft = true;
    }
    if (context.takeRestartRequest)
        result.restartRequested = context.takeRestartRequest();

    if (!anyLeft && context.removeRootTraces) {
        const RunRecordScope record;
        result.rootsRemoved = context.removeRootTraces(context.log);
        result.rootsDeleted = record.deleted();
        const std::vector<std::u16string>& listed = record.awaitingRestart();
        result.restartRequested |= std::any_of(listed.begin(), listed.end(), StillAwaitsRestart);
    }
    // What was listed for the restart but has gone since (a later deletion took it once it was
    // free) needs no restart.
    for (ComponentOutcome& outcome : result.components)
        outcome.pendingRestart.erase(std::remove_if(outcome.pendingRestart.begin(), outcome.pendingRestart.end(),
                                                    [](const std::u16string& path) { return !StillAwaitsRestart(path); }),
                                     outcome.pendingRestart.end());

    if (!anySelected) {
        Tell(context, SilentHelpText(), MB_OK);
        result.ending = SilentEnding::NothingSelected;
    }
    return result;
}

SilentRunResult DetectSilently(const ProductSet& products, const SilentRunContext& context)
{
    SilentRunResult result = DetectAll(products, [](ProductId) { return false; });
    result.ending = SilentEnding::Detected;
    context.log->write(DetectionListing(result));
    return result;
}

SilentRunResult RefuseAnotherCopy(const SilentRunContext& context)
{
    Tell(context, AnotherCopyMessage(context.caption), MB_ICONERROR | MB_OK);
    SilentRunResult result;
    result.ending = SilentEnding::AnotherCopy;
    return result;
}

std::u16string AnotherCopyMessage(std::u16string_view program)
{
    std::u16string text = u"Another copy of ";
    text += program;
    text += u" is already running on this machine.\nWait until it has finished, then start ";
    text += program;
    text += u" again.";
    return text;
}

std::u16string PlanListing(const SilentRunResult& result)
{
    std::u16string listing;
    const auto list = [&listing](const std::vector<DeletedObject>& objects) {
        for (const DeletedObject& object : objects) {
            listing += DeletedKindName(object.kind);
            listing += u'\t';
            listing += EscapeControlCharacters(object.name);
            listing += EOL;
        }
    };
    // In the order the removal goes.
    for (const ProductId id : kRemovalOrder)
        for (const ComponentOutcome& outcome : result.components)
            if (outcome.id == id)
                list(outcome.deleted);
    list(result.rootsDeleted);
    return listing;
}

std::u16string DetectionListing(const SilentRunResult& result)
{
    std::u16string listing;
    for (const ComponentOutcome& outcome : result.components) {
        if (!outcome.installedBefore)
            continue;
        listing += outcome.name;
        listing += u'\t';
        listing += outcome.version.value_or(u"Unknown");
        listing += EOL;
    }
    return listing;
}

DWORD SilentExitStatus(const SilentRunResult& result)
{
    const auto any = [&result](auto predicate) {
        return std::any_of(result.components.begin(), result.components.end(), predicate);
    };
    switch (result.ending) {
    case SilentEnding::NothingSelected:
        return 87;
    case SilentEnding::Refused:
        return 1;
    case SilentEnding::AnotherCopy:
        return 1618;
    case SilentEnding::Detected:
        if (any([](const ComponentOutcome& outcome) { return outcome.detectionError.has_value(); }))
            return 1603;
        return any([](const ComponentOutcome& outcome) { return outcome.installedBefore; }) ? 1 : 0;
    case SilentEnding::Planned:
        return any([](const ComponentOutcome& outcome) { return outcome.detectionError.has_value(); }) ? 1603 : 0;
    case SilentEnding::Completed:
        break;
    }
    const bool failed = any([](const ComponentOutcome& outcome) {
        return outcome.detectionError ||
               (outcome.selected &&
                (outcome.installedAfter || (outcome.removeCalled && outcome.removeResult != true)));
    });
    if (failed || result.rootsRemoved == false)
        return 1603;
    const bool pending = any([](const ComponentOutcome& outcome) { return !outcome.pendingRestart.empty(); });
    return result.restartRequested || pending ? 3010 : 0;
}
