#include "toolkit/protected_places.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "toolkit/protected_locations.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/well_known_folders.h"

namespace {

constexpr char16_t kProfileList[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kUserShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::u16string_view kUserProfileReference = u"%USERPROFILE%";

bool StartsWith(const std::u16string& text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin());
}

std::optional<std::u16string> Expanded(const std::u16string& reference)
{
    try {
        std::u16string text = ExpandEnvironmentText(reference);
        if (text != reference)
            return text;
    } catch (...) {
    }
    return std::nullopt;
}

std::optional<std::u16string> TempFolder()
{
    char16_t buffer[MAX_PATH + 2] = {};
    const DWORD length = Os().getTempPath(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH + 1)
        return std::nullopt;
    return std::u16string(buffer, length);
}

std::optional<std::u16string> Parent(const std::optional<std::u16string>& folder)
{
    if (!folder)
        return std::nullopt;
    const std::size_t slash = folder->find_last_of(u'\\');
    if (slash == std::u16string::npos)
        return std::nullopt;
    return folder->substr(0, slash);
}

// Adds each place as its normal location and, where it exists and is no share, its final one.
class PlaceList {
public:
    explicit PlaceList(std::vector<std::u16string>& places) : places_(places) {}

    // The normal location of the name it was given; nothing when it is no absolute name.
    std::optional<std::u16string> add(const std::optional<std::u16string>& folder)
    {
        if (!folder)
            return std::nullopt;
        std::optional<std::u16string> location = NormalizeLocation(*folder);
        if (!location)
            return std::nullopt;
        places_.push_back(*location);
        if (!IsRemoteName(*location))
            if (std::optional<std::u16string> final = FinalLocation(*location); final && *final != *location)
                places_.push_back(std::move(*final));
        return location;
    }

private:
    std::vector<std::u16string>& places_;
};

// A failed read leaves the gathering incomplete unless it found nothing there.
void NoteReadFailure(bool& complete)
{
    try {
        throw;
    } catch (const Windows::Error& error) {
        if (!MeansNotFound(error.code()))
            complete = false;
    } catch (const Windows::RegistryValueIsEmpty&) {
    } catch (...) {
        complete = false;
    }
}

// Opens root\path (in `view`) for reading and hands the key to `read`.
template <class Read>
void ReadKey(HKEY root, const std::u16string& path, REGSAM view, bool& complete, Read read)
{
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ | view);
        read(key.get());
    } catch (...) {
        NoteReadFailure(complete);
    }
}

std::vector<std::u16string> SubkeyNames(HKEY key, bool& complete)
{
    std::vector<std::u16string> names;
    try {
        RegistryKeyEntry entry;
        for (DWORD index = 0; RegEnumKeyChecked(key, index, entry); ++index)
            names.push_back(entry.name);
    } catch (...) {
        NoteReadFailure(complete);
    }
    return names;
}

// A value naming a folder: REG_SZ as it is, REG_EXPAND_SZ expanded (a user's %USERPROFILE% as
// `userProfile`, when given); nothing for another type, an empty value or none.
std::optional<std::u16string> FolderValue(HKEY key, const std::u16string& name, bool& complete,
                                          const std::optional<std::u16string>& userProfile = std::nullopt)
{
    try {
        RegistryText value = RegQueryTextChecked(key, name);
        if (value.type == REG_SZ)
            return value.text;
        if (value.type != REG_EXPAND_SZ)
            return std::nullopt;
        if (StartsWith(value.text, kUserProfileReference)) {
            if (!userProfile)
                return std::nullopt;
            value.text.replace(0, kUserProfileReference.size(), *userProfile);
        }
        return ExpandEnvironmentText(value.text);
    } catch (...) {
        NoteReadFailure(complete);
        return std::nullopt;
    }
}

std::vector<std::u16string> ValueNames(HKEY key, bool& complete)
{
    try {
        return RegValueNamesChecked(key);
    } catch (...) {
        NoteReadFailure(complete);
        return {};
    }
}

// Every folder a Shell Folders or User Shell Folders key names.
void AddKnownFolders(PlaceList& list, HKEY root, const std::u16string& below, bool& complete,
                     const std::optional<std::u16string>& userProfile = std::nullopt)
{
    for (const char16_t* key : {kShellFolders, kUserShellFolders})
        ReadKey(root, below + key, 0, complete, [&](HKEY opened) {
            for (const std::u16string& name : ValueNames(opened, complete))
                list.add(FolderValue(opened, name, complete, userProfile));
        });
}

// ProfileList: every profile's folder by its SID, and the folders it names for all of them.
struct Profiles {
    std::map<std::u16string, std::u16string> bySid;
    std::vector<std::u16string> shared;
};

Profiles ReadProfiles(bool& complete)
{
    Profiles profiles;
    ReadKey(HKEY_LOCAL_MACHINE, kProfileList, KEY_WOW64_64KEY, complete, [&](HKEY list) {
        for (const char16_t* name : {u"ProfilesDirectory", u"Public", u"Default", u"ProgramData"})
            if (std::optional<std::u16string> folder = FolderValue(list, name, complete))
                profiles.shared.push_back(std::move(*folder));
        for (const std::u16string& sid : SubkeyNames(list, complete))
            ReadKey(list, sid, 0, complete, [&](HKEY profile) {
                if (std::optional<std::u16string> folder = FolderValue(profile, u"ProfileImagePath", complete))
                    profiles.bySid.emplace(sid, std::move(*folder));
            });
    });
    return profiles;
}

ProtectedPlaces GatherProtectedPlaces()
{
    ProtectedPlaces places;
    const auto named = [&places](std::optional<std::u16string> folder) {
        places.complete = places.complete && folder.has_value();
        return folder;
    };
    PlaceList windows(places.windows);
    PlaceList folders(places.folders);
    windows.add(named(GetSpecialFolder(CSIDL_WINDOWS)));
    windows.add(Expanded(u"%SystemRoot%"));
    for (const int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                            CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_PERSONAL,
                            CSIDL_DESKTOPDIRECTORY, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA})
        folders.add(named(GetSpecialFolder(csidl)));
    const std::optional<std::u16string> profile = folders.add(named(GetSpecialFolder(CSIDL_PROFILE)));
    folders.add(Parent(profile)); // the Users folder
    folders.add(Expanded(u"%ProgramW6432%"));
    folders.add(Expanded(u"%CommonProgramW6432%"));
    folders.add(named(TempFolder()));
    AddKnownFolders(folders, HKEY_LOCAL_MACHINE, u"", places.complete); // the machine's common folders
    const Profiles profiles = ReadProfiles(places.complete);
    for (const std::u16string& shared : profiles.shared)
        folders.add(shared);
    for (const auto& sidAndFolder : profiles.bySid)
        folders.add(sidAndFolder.second);

    // SYSTEM's profile lies inside the Windows folder; what the suite keeps in its known folders
    // there is the suite's all the same. The running account's profile is the one the shell names,
    // or the one ProfileList lists for the token's user.
    std::vector<std::u16string> accountProfiles;
    if (profile)
        accountProfiles.push_back(*profile);
    const auto listed = profiles.bySid.find(CurrentUserSidText(Os()));
    if (listed != profiles.bySid.end())
        if (std::optional<std::u16string> location = NormalizeLocation(listed->second))
            accountProfiles.push_back(std::move(*location));
    PlaceList account(places.accountFolders);
    for (const std::u16string& accountProfile : accountProfiles) {
        if (std::none_of(places.windows.begin(), places.windows.end(), [&accountProfile](const std::u16string& windowsFolder) {
                return IsStrictlyInside(windowsFolder, accountProfile);
            }))
            continue;
        for (const int csidl : {CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA}) {
            const std::optional<std::u16string> folder = GetSpecialFolder(csidl);
            const std::optional<std::u16string> location = folder ? NormalizeLocation(*folder) : std::nullopt;
            if (location && IsStrictlyInside(accountProfile, *location))
                account.add(folder);
        }
    }
    return places;
}

SettingPlaces GatherSettingPlaces(const std::vector<std::u16string>& suite)
{
    SettingPlaces places;
    PlaceList folders(places.folders);
    const Profiles profiles = ReadProfiles(places.complete);
    ReadKey(HKEY_USERS, u"", 0, places.complete, [&](HKEY users) {
        for (const std::u16string& hive : SubkeyNames(users, places.complete)) {
            const auto profile = profiles.bySid.find(hive);
            AddKnownFolders(folders, users, hive + u"\\", places.complete,
                            profile == profiles.bySid.end() ? std::nullopt : std::optional<std::u16string>(profile->second));
        }
    });
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        ReadKey(HKEY_LOCAL_MACHINE, kUninstallKey, view, places.complete, [&](HKEY list) {
            for (const std::u16string& entry : SubkeyNames(list, places.complete))
                ReadKey(list, entry, 0, places.complete, [&](HKEY product) {
                    const std::optional<std::u16string> name = FolderValue(product, u"DisplayName", places.complete);
                    if (!name || std::find(suite.begin(), suite.end(), *name) == suite.end())
                        folders.add(FolderValue(product, u"InstallLocation", places.complete));
                });
        });
    return places;
}

// Keeps what `gather` found while the seam stays the same, it is complete and `key` is the one
// it was gathered for.
template <class Places, class Gather>
std::shared_ptr<const Places> Kept(const void* key, Gather gather)
{
    static std::mutex mutex;
    static std::shared_ptr<const Places> kept;
    static unsigned keptGeneration = 0;
    static const void* keptKey = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (kept && keptGeneration == OsGeneration() && keptKey == key)
        return kept;
    auto places = std::make_shared<const Places>(gather());
    if (places->complete) {
        kept = places;
        keptGeneration = OsGeneration();
        keptKey = key;
    } else {
        kept.reset();
    }
    return places;
}

} // namespace

std::shared_ptr<const ProtectedPlaces> CurrentProtectedPlaces()
{
    return Kept<ProtectedPlaces>(nullptr, &GatherProtectedPlaces);
}

std::shared_ptr<const SettingPlaces> CurrentSettingPlaces(const std::vector<std::u16string>& suite)
{
    return Kept<SettingPlaces>(&suite, [&suite] { return GatherSettingPlaces(suite); });
}

bool IsRemoteName(const std::u16string& location)
{
    if (StartsWith(location, u"\\\\"))
        return true;
    const char16_t root[] = {location.empty() ? u'\0' : location[0], u':', u'\\', u'\0'};
    return location.size() >= 2 && location[1] == u':' && Os().getDriveType(root) == DRIVE_REMOTE;
}
