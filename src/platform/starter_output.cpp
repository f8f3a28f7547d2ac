#include "platform/starter_output.h"

#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/text.h"

void WriteToStarter(const std::u16string& text)
{
    OsApi& os = Os();
    HANDLE out = os.getStdHandle(STD_OUTPUT_HANDLE);
    UniqueKernelHandle console;
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && os.attachConsole(ATTACH_PARENT_PROCESS)) {
        out = os.createFile(u"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
        if (out != INVALID_HANDLE_VALUE)
            console.reset(out);
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    DWORD done = 0;
    if (os.getFileType(out) == FILE_TYPE_CHAR) {
        os.writeConsole(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    } else {
        const std::string bytes = ToUtf8(text);
        os.writeFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    }
}
