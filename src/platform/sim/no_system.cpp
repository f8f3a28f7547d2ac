#include <cstdio>
#include <cstdlib>

#include "platform/os_api.h"

OsApi& DefaultOsApi()
{
    std::fputs("QTVRemove: no machine is installed behind the operating-system seam; "
               "a native test must install a SimMachine with ScopedOsApi.\n",
               stderr);
    std::abort();
}
