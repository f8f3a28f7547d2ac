#include "platform/app_name.h"

#include "platform/errors.h"
#include "platform/os_api.h"

namespace {

// Module paths may be long-path names, well past MAX_PATH.
constexpr DWORD kLongestPath = 32768;

} // namespace

std::u16string ApplicationName()
{
    std::u16string path(260, u'\0');
    for (;;) {
        const auto size = static_cast<DWORD>(path.size());
        const DWORD length = Os().getModuleFileName(nullptr, path.data(), size);
        if (length == 0)
            ThrowLastError();
        if (length < size) {
            path.resize(length);
            return BaseNameWithoutExtension(path);
        }
        if (size >= kLongestPath)
            ThrowWindowsError(ERROR_INSUFFICIENT_BUFFER);
        path.resize(path.size() * 2);
    }
}

std::u16string BaseNameWithoutExtension(const std::u16string& path)
{
    const std::size_t slash = path.find_last_of(u"\\/:");
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && dot != 0)
        name.resize(dot);
    return name;
}
