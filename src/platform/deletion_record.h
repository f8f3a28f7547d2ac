#pragma once

#include <string>
#include <string_view>

// What a run deleted, object by object, as it happened: the audit trail of the report and the
// backup. Whoever deletes notes the object in the run record (run_record.h) once the deletion
// succeeded; nothing is read back from the log.

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
