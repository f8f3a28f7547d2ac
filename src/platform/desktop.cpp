#include "platform/desktop.h"

#include "platform/os_api.h"

bool DesktopVisible()
{
    const HWINSTA station = Os().getProcessWindowStation();
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (station == nullptr || !Os().getUserObjectInformation(station, UOI_FLAGS, &flags, sizeof(flags), &needed))
        return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}
