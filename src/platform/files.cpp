#include "platform/files.h"

#include <vector>

#include "platform/errors.h"
#include "platform/os_api.h"

namespace {

UniqueKernelHandle OpenFile(const std::u16string& path, DWORD access, DWORD disposition)
{
    const HANDLE opened = Os().createFile(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        ThrowLastError();
    return UniqueKernelHandle(opened);
}

// Asks a call that fills a buffer and answers the length written, or the size it needs when the
// buffer is too short.
template <class Call>
std::optional<std::u16string> AskForText(Call call)
{
    std::vector<char16_t> buffer(MAX_PATH + 1, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size())
            return std::u16string(buffer.data(), length);
        buffer.assign(length, u'\0');
    }
    return std::nullopt;
}

} // namespace

void WriteFileReplacing(const std::u16string& path, std::string_view bytes)
{
    const UniqueKernelHandle file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    // A short write leaves a file its reader would misread.
    WriteAll(file.get(), bytes);
    ThrowLastErrorIfFalse(Os().flushFileBuffers(file.get()));
}

UniqueKernelHandle OpenFileAppending(const std::u16string& path)
{
    return OpenFile(path, FILE_APPEND_DATA, OPEN_ALWAYS);
}

UniqueKernelHandle OpenFileReplacing(const std::u16string& path)
{
    return OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
}

void WriteAll(HANDLE file, std::string_view bytes)
{
    const auto size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ThrowLastErrorIfFalse(Os().writeFile(file, bytes.data(), size, &written, nullptr));
    if (written != size)
        ThrowWindowsError(ERROR_DISK_FULL);
}

std::optional<std::u16string> FullPathName(const std::u16string& path)
{
    return AskForText([&path](char16_t* buffer, DWORD size) {
        return Os().getFullPathName(path.c_str(), size, buffer, nullptr);
    });
}

std::optional<std::u16string> LongPathName(const std::u16string& path)
{
    return AskForText([&path](char16_t* buffer, DWORD size) {
        return Os().getLongPathName(path.c_str(), buffer, size);
    });
}

std::optional<FileIdentity> IdentityOf(const std::u16string& path)
{
    const HANDLE opened = Os().createFile(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const UniqueKernelHandle file(opened);
    BY_HANDLE_FILE_INFORMATION information{};
    if (!Os().getFileInformationByHandle(file.get(), &information))
        return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
}
