#include "core/product.h"

#include "core/log.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/os_api.h"

QTVProduct::QTVProduct(Remove::Log* sink)
    : log(sink)
{
}

QTVProduct::~QTVProduct() = default;

std::u16string NameOrDefault(const OptionalText& displayName, std::u16string_view defaultName)
{
    return displayName ? *displayName : std::u16string(defaultName);
}

bool QTVProduct::createResponseFile(const std::u16string& path) const
{
    static constexpr char kResponse[] = "[InstallShield Silent]\r\n"
                                        "Version=v7.00\r\n"
                                        "File=Response File\r\n"
                                        "[File Transfer]\r\n"
                                        "OverwrittenReadOnly=NoToAll\r\n";
    constexpr DWORD kSize = sizeof(kResponse) - 1;
    log->write(u"Creating install shield response file...");
    try {
        const HANDLE opened = Os().createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            ThrowLastError();
        const UniqueKernelHandle file(opened);
        DWORD written = 0;
        ThrowLastErrorIfFalse(Os().writeFile(file.get(), kResponse, kSize, &written, nullptr));
        // A short write leaves a file the setup program would misread.
        if (written != kSize)
            ThrowWindowsError(ERROR_DISK_FULL);
        ThrowLastErrorIfFalse(Os().flushFileBuffers(file.get()));
    } catch (...) {
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
    writeLine(log, u"done");
    return true;
}
