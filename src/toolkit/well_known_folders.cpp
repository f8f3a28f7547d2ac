#include "toolkit/well_known_folders.h"

#include <algorithm>
#include <optional>

#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/win_types.h"

namespace {

// One folder, asked for on first use. Only one thread runs toolkit operations at a time, so no
// lock; the cache refills when a test installs another machine.
class CachedFolder {
public:
    explicit CachedFolder(int csidl) : csidl_(csidl) {}

    OptionalText get()
    {
        if (!filled_ || generation_ != OsGeneration()) {
            folder_ = GetSpecialFolder(csidl_);
            generation_ = OsGeneration();
            filled_ = true;
        }
        return folder_;
    }

private:
    int csidl_;
    bool filled_ = false;
    unsigned generation_ = 0;
    OptionalText folder_;
};

} // namespace

OptionalText GetSpecialFolder(int csidl)
{
    const UniqueLibrary shell(Os().loadLibrary(u"shell32.dll"));
    if (!shell)
        return std::nullopt;
    const auto getFolderPath =
        reinterpret_cast<ShGetFolderPathProc>(reinterpret_cast<void (*)()>(Os().getProcAddress(shell.get(), "SHGetFolderPathW")));
    if (!getFolderPath)
        return std::nullopt;
    char16_t buffer[MAX_PATH + 1] = {};
    if (getFolderPath(nullptr, csidl, nullptr, 0, reinterpret_cast<LPWSTR>(buffer)) < 0)
        return std::nullopt;
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
