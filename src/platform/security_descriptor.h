#pragma once

#include <vector>

#include "platform/win_types.h"

// Security descriptors as bytes, built in memory without the system: the same layout on every
// platform, so that what the program hands Windows is what the simulated machine reads back.

// SYSTEM (S-1-5-18) and the Administrators group (S-1-5-32-544).
extern const std::vector<BYTE> kSystemSid;
extern const std::vector<BYTE> kAdministratorsSid;

// Whether the SID (8 + 4 * sid[1] bytes, vouched for by the caller) is SYSTEM or the
// Administrators group: the accounts every copy of the program runs as or with.
bool IsSystemOrAdministrators(const BYTE* sid);

// One entry of an access list that allows `rights` to `sid`; `flags` are the entry's inheritance
// flags (OBJECT_INHERIT_ACE 1, CONTAINER_INHERIT_ACE 2).
struct AllowedEntry {
    DWORD rights;
    std::vector<BYTE> sid;
    BYTE flags = 0;
};

// An access list (revision 2) of entries that allow, in order.
std::vector<BYTE> AccessList(const std::vector<AllowedEntry>& entries);

// A self-relative security descriptor: `owner` (none when empty) and the access list `list`, or a
// null list (everybody may do anything) when `list` is null. `control` adds flags to
// SE_SELF_RELATIVE and SE_DACL_PRESENT (SE_DACL_PROTECTED: nothing inherited from above).
std::vector<BYTE> SelfRelativeDescriptor(const std::vector<BYTE>& owner, const std::vector<BYTE>* list, WORD control = 0);

// What the program makes for itself: SYSTEM and the Administrators group have `rights` and nobody
// else anything, nothing inherited from above. `passedOn`: a folder passes both entries on to what
// is made inside it. `ownedByAdministrators`: the Administrators group is named owner, whichever
// of its members makes the object (SYSTEM is one).
std::vector<BYTE> AdministratorsOnlyDescriptor(DWORD rights, bool passedOn, bool ownedByAdministrators);

constexpr WORD kSeDaclProtected = 0x1000;
