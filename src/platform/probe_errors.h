#pragma once

#include <string>

#include "platform/run_record.h"
#include "platform/win_types.h"

// A probe that answers "absent" also for an error (access denied, a sharing violation, an
// enumeration cut short) notes the error in the run record (firstProbeError), so that whoever
// asked knows the answer did not look everywhere. Without a record on the thread the note goes
// nowhere.

// Whether a failed probe means the thing is not there: no such file, folder, key, value or
// service, or a name that cannot exist.
bool MeansNotFound(DWORD code);

// Notes `code` in every record of the thread, unless it means "not found".
void NoteProbeError(DWORD code, const std::u16string& where);
// Notes a failure whatever it was: a probe that cannot fail by not finding (a folder every
// system has), or one whose error is not the system's (a database query). A failure of the
// system's, `where` and why, is noted as NoteProbeFailure(where, why) (run_record.h).
void NoteProbeFailure(DWORD code, const std::u16string& where);
// Inside a catch handler: notes the exception being handled when it is a failed system call (or
// memory running out). A value of the wrong type or empty is an answer, not an error.
void NoteCurrentProbeError(const std::u16string& where) noexcept;
