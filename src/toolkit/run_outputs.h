#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_log.h"
#include "platform/handles.h"
#include "platform/win_types.h"
#include "toolkit/output_folder.h"
#include "toolkit/registry_backup.h"

struct RunOptions;

// The report of a silent run, written whole at its end to a new file beside its name, then
// renamed over the name: a reader finds the last report or this one, never part of one, and
// nothing the name led to before (a link, another file) is written through.
class ReportFile {
public:
    // Opens the report's folder (OutputFolder, made where missing) and makes the new file there,
    // "<name>.<number>.new". Throws Windows::Error.
    explicit ReportFile(const std::u16string& path);

    // Writes `bytes` to the new file, flushes and closes it, and renames it over the report's
    // name (MOVEFILE_REPLACE_EXISTING, MOVEFILE_WRITE_THROUGH). Throws Windows::Error; the new file
    // then stays beside the name.
    void commit(std::string_view bytes);

private:
    OutputFolder folder_;
    std::u16string name_;    // the report's name in its folder
    std::u16string written_; // the new file's
    UniqueKernelHandle file_;
};

// What a silent run keeps beside the removal: "/log", "/report" and "/backup".
struct RunOutputs {
    std::unique_ptr<Remove::FileLog> log;
    std::optional<ReportFile> report;
    std::unique_ptr<Backup> backup;
};

// Opens what `options` asks for, before anything is looked at: a run whose record cannot be kept
// does not start. The log opens for appending, as itself, in its OutputFolder. The backup is made
// only by the copy that holds the machine (`onlyCopy`), and only for a run that deletes. Answers
// ERROR_SUCCESS, or the Windows error of the first that cannot be opened, after its line went to
// the log where there is one and to whoever started the program: "Unable to write the log: ",
// "Unable to write the report: " or BackupRefusal, then the reason. A copy that found another at
// work goes on without what it cannot open: the files may be the other copy's, open there
// without sharing.
DWORD OpenRunOutputs(const RunOptions& options, bool onlyCopy, RunOutputs& outputs);
