#include "toolkit/output_folder.h"

#include <algorithm>
#include <optional>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/security_descriptor.h"
#include "toolkit/access.h"
#include "toolkit/protected_locations.h"

namespace {

bool StartsWith(const std::u16string& text, std::u16string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::u16string Join(const std::u16string& folder, const std::u16string& name)
{
    return folder.empty() || folder.back() == u'\\' ? folder + name : folder + u"\\" + name;
}

// A full name cut at its root ("C:\", "\\server\share\") and at each folder below it.
struct SplitName {
    std::u16string root;
    std::vector<std::u16string> folders;
};

SplitName Split(const std::u16string& path)
{
    const std::optional<std::u16string> full = FullPathName(path);
    if (!full)
        ThrowWindowsError(ERROR_INVALID_NAME);
    std::u16string text = *full;
    if (StartsWith(text, u"\\\\?\\UNC\\"))
        text = u"\\\\" + text.substr(8);
    else if (StartsWith(text, u"\\\\?\\"))
        text = text.substr(4);
    std::size_t rest = 3;
    if (StartsWith(text, u"\\\\")) {
        const std::size_t server = text.find(u'\\', 2);
        const std::size_t share = server == std::u16string::npos ? server : text.find(u'\\', server + 1);
        if (server == std::u16string::npos)
            ThrowWindowsError(ERROR_INVALID_NAME);
        rest = share == std::u16string::npos ? text.size() : share + 1;
    } else if (text.size() < 3 || text[1] != u':' || text[2] != u'\\') {
        ThrowWindowsError(ERROR_INVALID_NAME);
    }
    SplitName split{text.substr(0, rest), {}};
    for (std::size_t at = rest; at < text.size();) {
        const std::size_t end = std::min(text.find(u'\\', at), text.size());
        if (end > at)
            split.folders.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return split;
}

// Opens a folder on the way for its judgement (attributes and security), without delete sharing,
// so that nobody renames or deletes it while it is held; as itself, a link is not followed.
bool OpenHeld(const std::u16string& name, bool asItself, UniqueKernelHandle& opened)
{
    const HANDLE handle = Os().createFile(OpenableName(name).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | (asItself ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    opened.reset(handle);
    return true;
}

DWORD AttributesOf(HANDLE object)
{
    BY_HANDLE_FILE_INFORMATION information{};
    ThrowLastErrorIfFalse(Os().getFileInformationByHandle(object, &information));
    return information.dwFileAttributes;
}

// Whether the open object really lies directly inside the folder whose normal location is
// `folder`: a link that shows as none (Wine's host links open as what they lead to, even as
// themselves) lies elsewhere.
bool LiesIn(HANDLE object, const std::optional<std::u16string>& folder)
{
    const std::optional<std::u16string> location = FinalLocationOf(object);
    if (!folder || !location)
        return false;
    const std::size_t slash = location->rfind(u'\\');
    return slash != std::u16string::npos && location->compare(0, slash, *folder) == 0 && slash == folder->size();
}

} // namespace

OutputFolder::OutputFolder(const std::u16string& path)
{
    const SplitName name = Split(path);
    std::vector<BYTE> descriptor = AdministratorsOnlyDescriptor(FILE_ALL_ACCESS, true, false);
    SECURITY_ATTRIBUTES made{sizeof(made), descriptor.data(), FALSE};
    UniqueKernelHandle at;
    if (!OpenHeld(name.root, false, at))
        ThrowLastError();
    for (const std::u16string& folderName : name.folders) {
        const std::optional<std::u16string> where = FinalPathOf(at.get());
        if (!where)
            ThrowWindowsError(ERROR_ACCESS_DENIED);
        const std::u16string next = Join(*where, folderName);
        UniqueKernelHandle itself;
        if (!OpenHeld(next, true, itself)) {
            const DWORD error = Os().getLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                ThrowWindowsError(error);
            if (!Os().createDirectory(OpenableName(next).c_str(), &made) && Os().getLastError() != ERROR_ALREADY_EXISTS)
                ThrowLastError();
            // Whatever stands there now, made by this run or by somebody in the meantime, is judged.
            if (!OpenHeld(next, true, itself))
                ThrowLastError();
        }
        UniqueKernelHandle folder;
        if (AttributesOf(itself.get()) & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (OthersMayChange(itself.get()))
                ThrowWindowsError(ERROR_ACCESS_DENIED);
            // Held as itself, the link cannot be replaced before it is followed.
            if (!OpenHeld(next, false, folder))
                ThrowLastError();
            held_.push_back(std::move(itself));
        } else if (!LiesIn(itself.get(), NormalizeLocation(*where))) {
            ThrowWindowsError(ERROR_ACCESS_DENIED);
        } else {
            folder = std::move(itself);
        }
        if (!(AttributesOf(folder.get()) & FILE_ATTRIBUTE_DIRECTORY))
            ThrowWindowsError(ERROR_DIRECTORY);
        held_.push_back(std::move(at));
        at = std::move(folder);
    }
    const std::optional<std::u16string> where = FinalPathOf(at.get());
    if (!where)
        ThrowWindowsError(ERROR_ACCESS_DENIED);
    path_ = *where;
    held_.push_back(std::move(at));
}

std::u16string OutputFolder::nameOf(const std::u16string& name) const
{
    return OpenableName(Join(path_, name));
}

UniqueKernelHandle OutputFolder::open(const std::u16string& name, DWORD access, DWORD disposition) const
{
    const HANDLE opened = Os().createFile(nameOf(name).c_str(), access | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        ThrowLastError();
    UniqueKernelHandle file(opened);
    // What is written to a link or to a file with other names lands in another file, wherever
    // that is.
    try {
        CheckSoleObject(file.get());
    } catch (const Windows::Error&) {
        throw;
    } catch (...) {
        ThrowWindowsError(ERROR_ACCESS_DENIED);
    }
    if (!LiesIn(file.get(), NormalizeLocation(path_)))
        ThrowWindowsError(ERROR_ACCESS_DENIED);
    return file;
}
