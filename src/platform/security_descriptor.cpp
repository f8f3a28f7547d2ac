#include "platform/security_descriptor.h"

#include <algorithm>

namespace {

constexpr WORD kSelfRelative = 0x8000;
constexpr WORD kDaclPresent = 0x0004;
constexpr BYTE kAccessAllowed = 0;
// The header of a self-relative descriptor: revision, padding, control, then the offsets of the
// owner, the group, the system list and the access list.
constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kOwnerOffsetAt = 4;
constexpr std::size_t kListOffsetAt = 16;

void Put(std::vector<BYTE>& bytes, std::size_t at, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}

} // namespace

const std::vector<BYTE> kSystemSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const std::vector<BYTE> kAdministratorsSid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};

bool IsSystemOrAdministrators(const BYTE* sid)
{
    const std::size_t size = 8 + 4 * static_cast<std::size_t>(sid[1]);
    return (size == kSystemSid.size() && std::equal(kSystemSid.begin(), kSystemSid.end(), sid)) ||
           (size == kAdministratorsSid.size() && std::equal(kAdministratorsSid.begin(), kAdministratorsSid.end(), sid));
}

std::vector<BYTE> AccessList(const std::vector<AllowedEntry>& entries)
{
    std::size_t size = 8;
    for (const AllowedEntry& entry : entries)
        size += 8 + entry.sid.size();
    // Sized first and filled in place: each entry's header, then its SID.
    std::vector<BYTE> list(size, 0);
    list[0] = 2;
    Put(list, 2, static_cast<DWORD>(size), 2);
    Put(list, 4, static_cast<DWORD>(entries.size()), 2);
    std::size_t at = 8;
    for (const AllowedEntry& entry : entries) {
        list[at] = kAccessAllowed;
        list[at + 1] = entry.flags;
        Put(list, at + 2, static_cast<DWORD>(8 + entry.sid.size()), 2);
        Put(list, at + 4, entry.rights, 4);
        std::copy(entry.sid.begin(), entry.sid.end(), list.begin() + static_cast<std::ptrdiff_t>(at + 8));
        at += 8 + entry.sid.size();
    }
    return list;
}

std::vector<BYTE> SelfRelativeDescriptor(const std::vector<BYTE>& owner, const std::vector<BYTE>* list, WORD control)
{
    const std::size_t listSize = list ? list->size() : 0;
    std::vector<BYTE> bytes(kHeaderSize + owner.size() + listSize, 0);
    bytes[0] = 1;
    Put(bytes, 2, kSelfRelative | kDaclPresent | control, 2);
    if (!owner.empty()) {
        Put(bytes, kOwnerOffsetAt, static_cast<DWORD>(kHeaderSize), 4);
        std::copy(owner.begin(), owner.end(), bytes.begin() + static_cast<std::ptrdiff_t>(kHeaderSize));
    }
    if (list != nullptr) {
        const std::size_t at = kHeaderSize + owner.size();
        Put(bytes, kListOffsetAt, static_cast<DWORD>(at), 4);
        std::copy(list->begin(), list->end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return bytes;
}

std::vector<BYTE> AdministratorsOnlyDescriptor(DWORD rights, bool passedOn, bool ownedByAdministrators)
{
    const BYTE flags = passedOn ? 0x3 : 0x0;
    const std::vector<BYTE> list = AccessList({{rights, kSystemSid, flags}, {rights, kAdministratorsSid, flags}});
    return SelfRelativeDescriptor(ownedByAdministrators ? kAdministratorsSid : std::vector<BYTE>{}, &list,
                                  kSeDaclProtected);
}
