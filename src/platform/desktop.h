#pragma once

// Whether this process runs on a window station somebody sees. A service, or a program a
// deployment engine starts in session 0, does not: a message box there waits for an answer
// nobody can give. When the system cannot say, the station counts as visible, as it is for
// every program an administrator starts.
bool DesktopVisible();
