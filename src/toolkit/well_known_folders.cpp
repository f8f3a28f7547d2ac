#include "toolkit/well_known_folders.h"

#include <algorithm>
#include <optional>

#include "platform/handles.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/text.h"
#include "platform/win_types.h"

namespace {

// One folder, asked for on first use. Only one thread runs toolkit operations at a time, so no
// lock; the cache refills when a test installs another machine.
class CachedFolder {
public:
    explicit CachedFolder(int csidl) : csidl_(csidl) {}

    OptionalText get()
    {
        // A folder the system could not name this time is asked for again next time.
        if (!folder_ || generation_ != OsGeneration()) {
            folder_ = GetSpecialFolder(csidl_);
            generation_ = OsGeneration();
        }
        return folder_;
    }

private:
    int csidl_;
    unsigned generation_ = 0;
    OptionalText folder_;
};

} // namespace

OptionalText GetSpecialFolder(int csidl)
{
    // Every system has these folders: failing to name one is an error, never an absence.
    const std::u16string where = u"well-known folder 0x" + ToUtf16(HexCode(static_cast<DWORD>(csidl)));
    const UniqueLibrary shell(Os().loadLibrary(u"shell32.dll"));
    if (!shell) {
        NoteProbeFailure(Os().getLastError(), where);
        return std::nullopt;
    }
    const auto getFolderPath =
        reinterpret_cast<ShGetFolderPathProc>(reinterpret_cast<void (*)()>(Os().getProcAddress(shell.get(), "SHGetFolderPathW")));
    if (!getFolderPath) {
        NoteProbeFailure(Os().getLastError(), where);
        return std::nullopt;
    }
    char16_t buffer[MAX_PATH + 1] = {};
    const HRESULT result = getFolderPath(nullptr, csidl, nullptr, 0, reinterpret_cast<LPWSTR>(buffer));
    if (result < 0) {
        NoteProbeFailure(static_cast<DWORD>(result), where);
        return std::nullopt;
    }
    return std::u16string(buffer, std::find(buffer, buffer + MAX_PATH, u'\0'));
}

OptionalText GetProgramFilesFolder()
{
    static CachedFolder folder(CSIDL_PROGRAM_FILES);
    return folder.get();
}

OptionalText GetLocalAppDataFolder()
{
    static CachedFolder folder(CSIDL_LOCAL_APPDATA);
    return folder.get();
}

OptionalText GetDocumentsFolder()
{
    static CachedFolder folder(CSIDL_PERSONAL);
    return folder.get();
}
