#include "platform/only_copy.h"

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/security_descriptor.h"

namespace {

// Whether the open object is another copy's claim: ours is always owned by the Administrators
// group, which only an administrator's program can name as owner. When the owner cannot be read,
// the check gives way, as for any failure of its own.
bool AnotherCopys(HANDLE mutex)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = Os().getSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                            nullptr, nullptr, &descriptor);
    const UniqueLocalMemory held(descriptor);
    return read == ERROR_SUCCESS && owner != nullptr && IsSystemOrAdministrators(static_cast<const BYTE*>(owner));
}

} // namespace

OnlyCopyClaim OnlyCopyClaim::Claim()
{
    const std::u16string name(kMutexName);
    std::vector<BYTE> descriptor = AdministratorsOnlyDescriptor(MUTEX_ALL_ACCESS, false, true);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.data(), FALSE};
    UniqueKernelHandle mutex(Os().createMutex(&attributes, FALSE, name.c_str()));
    const DWORD error = Os().getLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS)
        return OnlyCopyClaim(std::move(mutex), true);
    // A refused copy lets go at once: while it still shows its refusal, the copy that holds the
    // claim may end, and a third must then find the machine free. An object of that name that is
    // no copy's of ours (a standard user made it first, to keep every run out) stops nothing; one
    // that will not open for the administrators is not ours either, since ours let them in.
    if (mutex)
        return OnlyCopyClaim(UniqueKernelHandle(), !AnotherCopys(mutex.get()));
    return OnlyCopyClaim(UniqueKernelHandle(), true);
}
