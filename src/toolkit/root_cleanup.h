#pragma once

namespace Remove {
class Log;
}

// Deletes the suite's shared roots once no component is left: the local application data and
// Program Files folders, the two machine-wide keys, and the suite's key in every user hive loaded
// under HKEY_USERS. Writes only what the deletions write; never throws.
void RemoveRootTraces(Remove::Log* log);
