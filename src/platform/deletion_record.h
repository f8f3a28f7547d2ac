#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a run deleted, object by object, as it happened: the audit trail of the report and the
// backup. Whoever deletes notes the object once the deletion succeeded; nothing is read back
// from the log.

enum class DeletedKind {
    RegistryKey,
    RegistryValue,
    File,
    Directory,
    Service,
    DataSource,
    Database,
    AgentJob,
    PendingRestart, // listed for deletion when Windows next starts
    Uninstaller,    // a component's own uninstaller, by its command line
};

// "registryKey", "registryValue", "file", "folder", "service", "dataSource", "database",
// "agentJob", "pendingRestart", "uninstaller".
std::u16string_view DeletedKindName(DeletedKind kind);

struct DeletedObject {
    DeletedKind kind;
    // A key as the log shows it ("HKLM\SOFTWARE\..."; one of the 64-bit view ends in
    // " (64-bit view)"), a value as "<key>:[<name>]", a path as the administrator knows it, a
    // service's, data source's, database's or job's name.
    std::u16string name;
};

// Collects the objects deleted on this thread while it lives. Scopes nest; an object noted in
// an inner one counts for the outer ones too.
class DeletionRecordScope {
public:
    DeletionRecordScope();
    ~DeletionRecordScope();
    DeletionRecordScope(const DeletionRecordScope&) = delete;
    DeletionRecordScope& operator=(const DeletionRecordScope&) = delete;

    // In the order deleted.
    const std::vector<DeletedObject>& objects() const { return objects_; }

private:
    friend void NoteDeleted(DeletedKind kind, std::u16string name);
    std::vector<DeletedObject> objects_;
    DeletionRecordScope* outer_;
};

// Hears every deletion of the process, whatever thread makes it (the backup's list).
class DeletionListener {
public:
    virtual ~DeletionListener() = default;
    virtual void deleted(const DeletedObject& object) = 0;
};

// Installs a listener for the lifetime of the guard.
class ScopedDeletionListener {
public:
    explicit ScopedDeletionListener(DeletionListener& listener);
    ~ScopedDeletionListener();
    ScopedDeletionListener(const ScopedDeletionListener&) = delete;
    ScopedDeletionListener& operator=(const ScopedDeletionListener&) = delete;

private:
    DeletionListener* previous_;
};

// Notes an object the run deleted, in every scope of the thread and to the listener.
void NoteDeleted(DeletedKind kind, std::u16string name);
