#include "platform/probe_errors.h"

#include <new>

#include "platform/errors.h"
#include "platform/text.h"

namespace {

thread_local ProbeErrorScope* innermost = nullptr;

} // namespace

ProbeErrorScope::ProbeErrorScope()
    : outer_(innermost)
{
    innermost = this;
}

ProbeErrorScope::~ProbeErrorScope()
{
    innermost = outer_;
}

bool MeansNotFound(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_SERVICE_DOES_NOT_EXIST:
        return true;
    default:
        return false;
    }
}

void NoteProbeError(DWORD code, const std::u16string& where)
{
    if (!MeansNotFound(code))
        NoteProbeFailure(code, where);
}

void NoteProbeFailure(DWORD code, const std::u16string& where)
{
    // Only the first error of a scope is kept: the system's text is asked for no more than once.
    if (innermost != nullptr && !innermost->first())
        NoteProbeFailure(where, ToUtf16(Windows::Error(code).message()));
}

void NoteProbeFailure(const std::u16string& where, const std::u16string& why)
{
    for (ProbeErrorScope* scope = innermost; scope != nullptr; scope = scope->outer_)
        if (!scope->first_)
            scope->first_ = where + u": " + why;
}

void NoteCurrentProbeError(const std::u16string& where) noexcept
{
    DWORD code = ERROR_SUCCESS;
    try {
        throw;
    } catch (const Windows::Error& error) {
        code = error.code();
    } catch (const std::bad_alloc&) {
        code = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
    }
    try {
        NoteProbeError(code, where);
    } catch (...) {
        // Out of memory for the note itself: the probe's own answer still stands.
    }
}
