#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalogue.h"
#include "core/product.h"
#include "plan/planned_changes.h"
#include "platform/deletion_record.h"
#include "platform/run_record.h"
#include "platform/win_types.h"

namespace Remove {
class Log;
}

// What a silent run needs besides the command line and the components.
struct SilentRunContext {
    // The sink the components were built on; a silent run writes nowhere, so a plain Log.
    Remove::Log* log;
    // Caption of the message boxes: the application's name.
    std::u16string caption;
    // Deletes the suite's root folders and keys; run when nothing is installed any more. True
    // when all of it went.
    std::function<bool(Remove::Log*)> removeRootTraces;
    // Whether an uninstaller run since the last call asked for a restart (exit code 3010 or
    // 1641); clears the request. Null: nobody records them.
    std::function<bool()> takeRestartRequest;
    // "/plan": after the first detection, everything runs against a planning layer over the
    // machine, which counts here each change it keeps from it: nothing is changed, and what would
    // be deleted is recorded. Null for a real run; not owned.
    PlannedChanges* plan = nullptr;
};

// What one component went through in a silent run.
struct ComponentOutcome {
    ProductId id = ProductId::WebUI;
    std::u16string name;     // as the last detection left it
    OptionalText version;    // found by the first detection
    bool installedBefore = false;
    bool selected = false;   // by a switch, "/all" or as a companion
    bool removeCalled = false;
    std::optional<bool> removeResult; // what remove() answered; absent when it threw or was not called
    bool installedAfter = false;
    // What kept the last detection from looking everywhere; absent when it was complete.
    OptionalText detectionError;
    // What of it Windows deletes when it next starts: held by a running program, listed by the
    // removal or by an earlier run.
    std::vector<std::u16string> pendingRestart;
    // What its removal deleted or listed for the restart, in order.
    std::vector<DeletedObject> deleted;
    // How its uninstaller ended (RunRecord::uninstallerRun); absent when none was run.
    std::optional<UninstallerRun> uninstallerRun;
};

// How a silent run ended.
enum class SilentEnding {
    Completed,       // the selected components were removed (or nothing was installed)
    Refused,         // the client would have stranded its dependents
    NothingSelected, // the help was shown
    Detected,        // "/detect": nothing was removed
    Planned,         // "/plan": what the removal would delete was recorded; nothing was changed
    AnotherCopy,     // another copy of the program was running: nothing was looked at
};

struct SilentRunResult {
    SilentEnding ending = SilentEnding::Completed;
    std::vector<ComponentOutcome> components; // one per component, in the silent detection order
    bool restartRequested = false;
    // Whether the root clean-up ran, and whether all of it went; absent when it did not run.
    std::optional<bool> rootsRemoved;
    // What the root clean-up deleted, in order.
    std::vector<DeletedObject> rootsDeleted;
};

// The exit status a deployment engine judges the run by:
//   0     every component's last detection was complete, no selected component is installed any
//         more and every removal reported success (also when nothing selected was installed)
//   3010  as 0, except that what is left goes when Windows restarts, or an uninstaller asked
//         for a restart (3010 or 1641)
//   1603  a selected component is still installed, a removal failed or threw, a detection
//         could not look everywhere, or the root clean-up left something
//   1     the client's removal was refused
//   87    nothing was selected (the help)
//   1618  another copy of the program was running (Windows Installer's "another installation is
//         in progress", which deployment engines already know to retry later)
// After "/detect": 1603 when a detection could not look everywhere, else 1 when any component
// is installed, 0 when none is. After "/plan": 1603 when a detection could not look everywhere,
// else 0.
DWORD SilentExitStatus(const SilentRunResult& result);

// One complete removal without a window, as "/silent" asks: select from the switches while
// detecting every component, refuse a client removal that would strand its dependents (unless
// "/force"), add the client's companions, remove in the removal order detecting each again, and
// clean up the roots when nothing is left (and every detection looked everywhere). Shows the help text when nothing was selected. An
// exception escaping one component's detect() or remove() is dropped and the run goes on.
// The refusal and the help go to the log as well; their message boxes appear only where somebody
// can see them (a run without a visible desktop goes on as if OK had been pressed).
SilentRunResult RunSilent(std::u16string_view commandLine, const ProductSet& products,
                          const SilentRunContext& context);

// "/silent /detect": detects every component, removes nothing, cleans nothing up, and logs one
// line per installed component (DetectionListing).
SilentRunResult DetectSilently(const ProductSet& products, const SilentRunContext& context);

// A run that found another copy of the program at work: tells why it does nothing, as the
// refusal is told (the log, then a message box where somebody can see one), and looks at nothing.
SilentRunResult RefuseAnotherCopy(const SilentRunContext& context);

// Why a second copy does nothing; `program` is the application's name.
std::u16string AnotherCopyMessage(std::u16string_view program);

// One line per installed component: its name, a tab, its version or "Unknown", the log's line end.
std::u16string DetectionListing(const SilentRunResult& result);

// One line per object a plan would delete, in the order of the removal, the root clean-up's
// last: its kind, a tab, its name (control characters escaped, EscapeControlCharacters), the
// log's line end.
std::u16string PlanListing(const SilentRunResult& result);

// A switch is present when its exact text occurs anywhere in the command line (case-sensitive).
bool HasSwitch(std::u16string_view commandLine, std::u16string_view switchText);

// The refusal of a client removal, naming every installed dependent.
std::u16string ClientRefusalMessage(const ProductSet& products);

// The help text shown when a silent run selected nothing.
std::u16string SilentHelpText();
