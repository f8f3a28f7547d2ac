#include "platform/run_record.h"

#include <algorithm>

#include "platform/registry.h"
#include "platform/restart_deletions.h"

class RunRecordNotes {
public:
    // Adds the object to every record of the thread and tells their listeners; false when no
    // listener that keeps registry reads heard of it.
    static bool deleted(const DeletedObject& object, const RegistryDeletion* registry)
    {
        bool readsKept = false;
        for (RunRecordScope* record = RunRecordScope::innermost(); record != nullptr; record = record->outer()) {
            record->deleted_.push_back(object);
            if (RunListener* listener = record->listener_) {
                listener->deleted(object, registry);
                readsKept = readsKept || listener->keepsRegistryReads();
            }
        }
        return readsKept;
    }

    static void awaitingRestart(const std::u16string& shown)
    {
        for (RunRecordScope* record = RunRecordScope::innermost(); record != nullptr; record = record->outer()) {
            std::vector<std::u16string>& paths = record->awaitingRestart_;
            if (std::find(paths.begin(), paths.end(), shown) == paths.end())
                paths.push_back(shown);
        }
    }

    static void uninstallerRun(const UninstallerRun& run)
    {
        for (RunRecordScope* record = RunRecordScope::innermost(); record != nullptr; record = record->outer()) {
            std::optional<UninstallerRun>& kept = record->uninstallerRun_;
            if (!kept || kept->ended == UninstallerEnd::Finished)
                kept = run;
        }
    }

    static void probeFailure(const std::u16string& where, const std::u16string& why)
    {
        // A record holds a note only when the ones around it do: the innermost tells for all.
        RunRecordScope* innermost = RunRecordScope::innermost();
        if (innermost == nullptr || innermost->firstProbeError_)
            return;
        const std::u16string text = where + u": " + why;
        for (RunRecordScope* record = innermost; record != nullptr; record = record->outer())
            if (!record->firstProbeError_)
                record->firstProbeError_ = text;
    }
};

void NoteDeleted(DeletedKind kind, std::u16string name)
{
    RunRecordNotes::deleted(DeletedObject{kind, std::move(name)}, nullptr);
}

void NoteRegistryDeleted(HKEY root, const std::u16string& path, const std::u16string* value, REGSAM view)
{
    std::u16string name = DisplayPath(root, path) + ((view & KEY_WOW64_64KEY) ? u" (64-bit view)" : u"");
    if (value != nullptr)
        name += u":[" + *value + u"]";
    const RegistryDeletion where{root, path, value, view};
    const DeletedKind kind = value ? DeletedKind::RegistryValue : DeletedKind::RegistryKey;
    if (!RunRecordNotes::deleted(DeletedObject{kind, std::move(name)}, &where))
        NoteRegistryChange();
}

void NoteDeletionAtRestart(const std::u16string& path, RestartListing listing)
{
    const std::u16string shown = ShownPath(path);
    if (listing == RestartListing::ListedNow)
        RunRecordNotes::deleted(DeletedObject{DeletedKind::PendingRestart, shown}, nullptr);
    RunRecordNotes::awaitingRestart(shown);
}

void NoteProgramMayHaveChangedRegistry()
{
    for (const RunRecordScope* record = RunRecordScope::innermost(); record; record = record->outer()) {
        const RunListener* listener = record->listener();
        if (listener && listener->keepsRegistryReads()) {
            if (listener->programsChangeNothing())
                return;
            break;
        }
    }
    NoteRegistryChange();
}

void NoteProbeFailure(const std::u16string& where, const std::u16string& why)
{
    RunRecordNotes::probeFailure(where, why);
}

void NoteUninstallerRun(const UninstallerRun& run)
{
    RunRecordNotes::uninstallerRun(run);
}
