#include "toolkit/root_cleanup.h"

#include "core/log.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "toolkit/file_removal.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/well_known_folders.h"

bool RemoveRootTraces(Remove::Log* log)
{
    bool ok = true;
    const OptionalText appData = GetLocalAppDataFolder();
    ok = appData && DeleteDirectory(*appData + u"\\Zantrel", log) && ok;
    const OptionalText programFiles = GetProgramFilesFolder();
    ok = programFiles && DeleteDirectory(*programFiles + u"\\Zantrel Enterprise", log) && ok;
    ok = DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel", log) && ok;
    ok = DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel, Inc.", log) && ok;
    try {
        RegistryKeyEntry hive;
        for (DWORD index = 0; RegEnumKeyChecked(HKEY_USERS, index, hive); ++index)
            ok = DeleteRegistryKey(HKEY_USERS, hive.name + u"\\Software\\Zantrel", log) && ok;
    } catch (...) {
        log->write(u"error enumerating keys in HKEY_USERS: ");
        writeLine(log, DescribeCurrentExceptionW());
        ok = false;
    }
    return ok;
}
