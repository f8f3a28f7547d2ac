#include "platform/files.h"

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
