#pragma once

namespace Remove {
class Log;
}

// Deletes the suite's shared roots once no component is left: the local application data and
// Program Files folders, the two machine-wide keys, and the suite's key in every user hive loaded
// under HKEY_USERS. Writes only what the deletions write; never throws. True when all of it went
// (or waits for the restart); a folder the system could not name counts as left, since every
// system names them, and a later run tries again.
bool RemoveRootTraces(Remove::Log* log);
