#pragma once

#include <string_view>

#include "platform/handles.h"

// Only one copy of the program works on a machine at a time: two would run the same uninstallers
// and delete the same folders at once, each reporting the other's work as its own failures. The
// claim is a named mutex in the global namespace, so that a copy a deployment engine starts in
// session 0 and one an administrator starts at the desktop see each other. The system drops it
// when the process that holds it ends, however it ends: a copy that crashed blocks nobody.
// Anybody may make an object of that name, so the claim's mutex is owned by the Administrators
// group and opens for SYSTEM and the administrators alone: every copy, as SYSTEM or as an
// elevated administrator, opens another's, and a standard user can make none that looks like it.
class OnlyCopyClaim {
public:
    static constexpr std::u16string_view kMutexName = u"Global\\Zantrel.QTVRemove.Running";

    // Claims the machine for this process until the object is destroyed. An object of the name
    // that another copy did not make (its owner is neither SYSTEM nor the administrators, it does
    // not open for them, or the name is a symbolic link that led to an object of another name)
    // holds nothing back, and the claim is then not made at all. When the
    // system cannot make the object, or say whose it is, for any other reason, the claim counts as
    // held too: the check guards against a second copy, and a failure of its own must not keep the
    // administrator from the tool.
    static OnlyCopyClaim Claim();

    // False: another copy of the program holds the claim.
    bool held() const { return held_; }

private:
    OnlyCopyClaim(UniqueKernelHandle mutex, bool held) : mutex_(std::move(mutex)), held_(held) {}

    UniqueKernelHandle mutex_;
    bool held_;
};
