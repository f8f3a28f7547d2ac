#include "platform/files.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/os_api.h"

void WriteFileReplacing(const std::u16string& path, std::string_view bytes)
{
    const HANDLE opened = Os().createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        ThrowLastError();
    const UniqueKernelHandle file(opened);
    const auto size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ThrowLastErrorIfFalse(Os().writeFile(file.get(), bytes.data(), size, &written, nullptr));
    // A short write leaves a file its reader would misread.
    if (written != size)
        ThrowWindowsError(ERROR_DISK_FULL);
    ThrowLastErrorIfFalse(Os().flushFileBuffers(file.get()));
}
