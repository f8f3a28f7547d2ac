#include "platform/probe_errors.h"

#include <new>

#include "platform/errors.h"
#include "platform/text.h"

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
    // Only the first error of a record is kept: the system's text is asked for no more than once.
    const RunRecordScope* innermost = RunRecordScope::innermost();
    if (innermost != nullptr && !innermost->firstProbeError())
        NoteProbeFailure(where, ToUtf16(Windows::Error(code).message()));
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
