#include "platform/only_copy.h"

#include <string>

#include "platform/os_api.h"

OnlyCopyClaim OnlyCopyClaim::Claim()
{
    const std::u16string name(kMutexName);
    UniqueKernelHandle mutex(Os().createMutex(nullptr, FALSE, name.c_str()));
    const DWORD error = Os().getLastError();
    // A refused copy lets go at once: while it still shows its refusal, the copy that holds the
    // claim may end, and a third must then find the machine free.
    if (mutex)
        return error == ERROR_ALREADY_EXISTS ? OnlyCopyClaim(UniqueKernelHandle(), false)
                                             : OnlyCopyClaim(std::move(mutex), true);
    // The object exists but this process may not open it: a copy running as another account made
    // it.
    return OnlyCopyClaim(UniqueKernelHandle(), error != ERROR_ACCESS_DENIED);
}
