#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/deletion_record.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/run_record.h"
#include "platform/win_types.h"
#include "toolkit/output_folder.h"

// The backup of what a run deletes, in a folder the administrator names: the registry in
// regedit's own format, so that the system's regedit puts it back, and the list of every object
// deleted.
//
//   registry.reg     keys of the program's own registry view (on 64-bit Windows the 32-bit
//                    one: import with C:\Windows\SysWOW64\regedit.exe)
//   registry-64.reg  keys of the 64-bit view, made when the first is saved (C:\Windows\regedit.exe)
//   deleted.txt      "kind<TAB>name", one object a line, in the order deleted, each control
//                    character of a name escaped (EscapeControlCharacters)
//   README.txt       which file goes with which regedit
//
// The process may end at any moment (a deployment engine's time limit, a power loss): each .reg
// file has its header on disk before anything it saves is deleted, each save is on disk before
// the key it guards goes, and each line of deleted.txt is written as its object is noted, so
// that what was written by then gives back what was deleted by then.

// The key's line of a .reg file: "[HKEY_LOCAL_MACHINE\path]". Throws ExceptionPL "Unknown HKEY
// rootKey type" for a root without such a name, and "The key's name holds a control character,
// which a .reg file cannot hold" for a path with one (below 0x20: a line break, a tab, NUL):
// such a key cannot be saved faithfully.
std::u16string RegFileKeyLine(HKEY root, const std::u16string& path);

// The value's line as regedit exports it: REG_SZ quoted ("\\" and "\"" escaped) when its bytes
// are exactly a text and its terminator, REG_DWORD of four bytes as dword:, anything else as
// hex: (REG_BINARY) or hex(type): bytes, wrapped after 80 columns with "\" and two blanks. Ends in
// "\r\n". Throws ExceptionPL "The name of value \"<name, escaped>\" holds a control character,
// which a .reg file cannot hold" for a name with one, and "The text of value \"<name, escaped>\"
// does not end in its terminator, which a .reg file cannot give back" for a REG_SZ,
// REG_EXPAND_SZ or REG_MULTI_SZ that is not empty and does not end in a whole terminator: the
// import would add one.
std::u16string RegFileValueLines(const RegistryValue& value);

// A key's section: its line and its values' lines. Reads every value of the open key; throws
// Windows::Error when one cannot be read, and ExceptionPL when a name cannot be written as itself.
std::u16string RegFileSection(HKEY key, HKEY root, const std::u16string& path);

class Backup : public RunListener {
public:
    // Opens the folder as an OutputFolder (made with the folders on the way where missing, a link
    // others may change refused) and holds it for the backup's lifetime. Refuses a folder that
    // somebody but SYSTEM, the administrators, TrustedInstaller and the running account may
    // change (ERROR_ACCESS_DENIED) and one that already holds a backup (ERROR_FILE_EXISTS); writes
    // README.txt and starts registry.reg (its header flushed to disk) and deleted.txt, each a new
    // file. Throws Windows::Error, after taking back the files it made.
    explicit Backup(std::u16string folder);
    ~Backup() override;
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;

    const std::u16string& folder() const { return folder_; }
    // The log's line: "Backing up what is deleted to \"<folder>\"".
    std::u16string announcement() const { return u"Backing up what is deleted to \"" + folder_ + u"\""; }

    // Appends sections to the view's file and flushes it to disk, after the lines of deleted.txt
    // not written yet. registry-64.reg is made at its first save, and taken back when it cannot
    // get its header, so that a later save makes it again. Throws Windows::Error; what it guards
    // must then not be deleted.
    void save(REGSAM view, const std::u16string& sections);

    // Writes the object's line to deleted.txt. A line that cannot be written is kept, and written
    // before the next line, the next save or at flush().
    void deleted(const DeletedObject& object);
    // Each object the run record notes, as it is noted.
    void deleted(const DeletedObject& object, const RegistryDeletion*) override { deleted(object); }

    // Writes what deleted.txt still lacks. Throws Windows::Error.
    void flush();

private:
    void writeListLocked();
    // Makes the file `name` new with the start of a .reg file, flushed; throws after deleting
    // it again where it cannot be written.
    UniqueKernelHandle startRegFile(const char16_t* name);

    std::u16string folder_;
    OutputFolder place_;
    std::mutex mutex_;
    UniqueKernelHandle registry_;
    UniqueKernelHandle registry64_;
    UniqueKernelHandle deletedList_;
    std::string pendingList_; // lines of deleted.txt not written yet
};

// How a backup that cannot be made is told: "Unable to back up to \"<folder>\": ", the reason to
// follow.
std::u16string BackupRefusal(const std::u16string& folder);

// The backup the deletions of this thread save to, or null: the one listening to its run record
// (ListenerInScope). The registry deletions save what they take there before it goes.
Backup* ActiveBackup();

// A run record that the backup listens to, for the guard's lifetime: it hears every deletion
// noted on the thread, and ActiveBackup() answers it.
class ScopedBackup {
public:
    explicit ScopedBackup(Backup& backup)
        : record_(&backup)
    {
    }

private:
    RunRecordScope record_;
};
