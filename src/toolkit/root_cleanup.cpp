#include "toolkit/root_cleanup.h"

#include "core/log.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "toolkit/file_removal.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/well_known_folders.h"

void RemoveRootTraces(Remove::Log* log)
{
    if (const OptionalText appData = GetLocalAppDataFolder())
        DeleteDirectory(*appData + u"\\Zantrel", log);
    if (const OptionalText programFiles = GetProgramFilesFolder())
        DeleteDirectory(*programFiles + u"\\Zantrel Enterprise", log);
    DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel", log);
    DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel, Inc.", log);
    try {
        RegistryKeyEntry hive;
        for (DWORD index = 0; RegEnumKeyChecked(HKEY_USERS, index, hive); ++index)
            DeleteRegistryKey(HKEY_USERS, hive.name + u"\\Software\\Zantrel", log);
    } catch (...) {
        log->write(u"error enumerating keys in HKEY_USERS: ");
        writeLine(log, DescribeCurrentExceptionW());
    }
}
