#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

// A probe that answers "absent" also for an error (access denied, a sharing violation, an
// enumeration cut short) notes the error here, so that whoever asked knows the answer did not
// look everywhere. Without a scope on the thread the note goes nowhere.

// Collects the errors noted on this thread while it lives. Scopes nest; an error noted in an
// inner one counts for the outer ones too.
class ProbeErrorScope {
public:
    ProbeErrorScope();
    ~ProbeErrorScope();
    ProbeErrorScope(const ProbeErrorScope&) = delete;
    ProbeErrorScope& operator=(const ProbeErrorScope&) = delete;

    // The first error noted, as the place and why: "\"HKLM\SOFTWARE\Zantrel\": Windows Error
    // 0x5: Access is denied.".
    const std::optional<std::u16string>& first() const { return first_; }

private:
    friend void NoteProbeFailure(const std::u16string& where, const std::u16string& why);
    std::optional<std::u16string> first_;
    ProbeErrorScope* outer_;
};

// Whether a failed probe means the thing is not there: no such file, folder, key, value or
// service, or a name that cannot exist.
bool MeansNotFound(DWORD code);

// Notes `code` in every scope of the thread, unless it means "not found".
void NoteProbeError(DWORD code, const std::u16string& where);
// Notes a failure whatever it was: a probe that cannot fail by not finding (a folder every
// system has), or one whose error is not the system's (a database query).
void NoteProbeFailure(DWORD code, const std::u16string& where);
void NoteProbeFailure(const std::u16string& where, const std::u16string& why);
// Inside a catch handler: notes the exception being handled when it is a failed system call (or
// memory running out). A value of the wrong type or empty is an answer, not an error.
void NoteCurrentProbeError(const std::u16string& where) noexcept;
