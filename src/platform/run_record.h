#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/deletion_record.h"
#include "platform/thread_scope.h"
#include "platform/win_types.h"

// What a run noted as it went, in the scopes of the thread that made the notes: a component's
// removal and detection, the root clean-up, a whole job. Each fact is noted once, where it
// happens, and goes to every record in scope and to their listeners:
//
//   fact                              noted by                     kept as
//   an object deleted                 whoever deleted it           deleted()
//   a registry key or value deleted   the registry wrappers        deleted()
//   a path this run listed for the    ScheduleDeletionAtRestart    awaitingRestart(), and
//     restart                                                      deleted() as pendingRestart
//   a path found listed already       ScheduleDeletionAtRestart,   awaitingRestart()
//                                     the file check
//   a probe that could not look       the probes (probe_errors.h)  firstProbeError()
//   how an uninstaller run ended      RunUninstaller               uninstallerRun()

// Where a registry key or value went, for whoever keeps what was read of it: `path` below `root`
// (a predefined root or an open key) in `view`, and the value's name, or null when the key went
// with everything below it.
struct RegistryDeletion {
    HKEY root;
    const std::u16string& path;
    const std::u16string* value;
    REGSAM view;
};

// How a component's uninstaller ended: it and everything it started ended by themselves, they
// were ended at the time limit (/timeout) or because they waited for an answer nobody could give,
// or it never started.
enum class UninstallerEnd { Finished, TimeLimit, Unanswerable, NotStarted };

struct UninstallerRun {
    std::u16string command;
    UninstallerEnd ended = UninstallerEnd::NotStarted;
    std::optional<DWORD> exitCode; // the uninstaller's own process's, once it has ended
};

// Hears what is noted on the thread while a record it listens to is in scope, as it is noted.
class RunListener {
public:
    virtual ~RunListener() = default;
    // An object the run deleted, once; `registry` says where, for a registry key or value.
    virtual void deleted(const DeletedObject& object, const RegistryDeletion* registry) = 0;
    // Whether it keeps registry reads in memory. A registry deletion that no such listener of
    // the thread hears counts as a change instead (RegistryChangeCount), so that whoever keeps
    // reads elsewhere reads afresh.
    virtual bool keepsRegistryReads() const { return false; }
    // Whether the programs of its run change nothing (a plan's, which are only recorded), so that
    // one started or ended leaves what it keeps as it is.
    virtual bool programsChangeNothing() const { return false; }
};

class RunRecord {
public:
    RunRecord() = default;
    // A record whose listener (not owned; it outlives the record) hears each fact noted.
    explicit RunRecord(RunListener* listener)
        : listener_(listener)
    {
    }

    // In the order deleted: what the run deleted, and what it listed for the restart.
    const std::vector<DeletedObject>& deleted() const { return deleted_; }
    // What Windows deletes when it next starts, as ShownPath gives it, in the order noted, each
    // once: what this run listed and what it found listed already.
    const std::vector<std::u16string>& awaitingRestart() const { return awaitingRestart_; }
    // Why the first probe that could not look everywhere could not, as the place and why:
    // "\"HKLM\SOFTWARE\Zantrel\": Windows Error 0x5: Access is denied.".
    const std::optional<std::u16string>& firstProbeError() const { return firstProbeError_; }
    // The uninstaller run that tells most: the first that did not finish by itself, else the last.
    const std::optional<UninstallerRun>& uninstallerRun() const { return uninstallerRun_; }

    RunListener* listener() const { return listener_; }

private:
    friend class RunRecordNotes;
    RunListener* listener_ = nullptr;
    std::vector<DeletedObject> deleted_;
    std::vector<std::u16string> awaitingRestart_;
    std::optional<std::u16string> firstProbeError_;
    std::optional<UninstallerRun> uninstallerRun_;
};

// The records of the thread. Scopes nest: a fact noted in an inner one counts for the outer ones
// too, and the listener of each hears it.
using RunRecordScope = ThreadScope<RunRecord>;

// The innermost listener of the thread's records that is an L, or null.
template <class L>
L* ListenerInScope()
{
    for (const RunRecordScope* record = RunRecordScope::innermost(); record; record = record->outer())
        if (L* found = dynamic_cast<L*>(record->listener()))
            return found;
    return nullptr;
}

// Notes an object the run deleted. Registry keys and values are noted by the wrappers that
// delete them (NoteRegistryDeleted).
void NoteDeleted(DeletedKind kind, std::u16string name);

// Notes a registry key (`value` null: with everything below it) or value that went: recorded as
// a registryKey or registryValue named as the log shows root\path, " (64-bit view)" added for
// that view, a value's name after it as ":[<name>]"; and heard with where it was.
void NoteRegistryDeleted(HKEY root, const std::u16string& path, const std::u16string* value, REGSAM view);

// Whether a path Windows deletes at the next start was listed by this run or found listed.
enum class RestartListing { Found, ListedNow };
// Notes a file or folder that is gone once Windows restarts. One this run listed is also an
// object deleted (pendingRestart), in its place among the others.
void NoteDeletionAtRestart(const std::u16string& path, RestartListing listing);

// A program started or ended may have changed the registry (an uninstaller takes its
// registration away): counted as a registry change, unless the innermost keeper of registry
// reads on the thread is a plan's, whose programs run nothing.
void NoteProgramMayHaveChangedRegistry();

// Notes why a probe could not look everywhere, "<where>: <why>", in each record that has no
// such note yet. probe_errors.h says which errors count.
void NoteProbeFailure(const std::u16string& where, const std::u16string& why);

// Notes how an uninstaller run ended.
void NoteUninstallerRun(const UninstallerRun& run);
