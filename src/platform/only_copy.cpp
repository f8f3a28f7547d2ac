#include "platform/only_copy.h"

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/security_descriptor.h"

namespace {

// Whether the object the claim's name opened is the one of that name, not one a symbolic link of
// the object namespace led to: any user may make such a link among the global objects, to a
// mutex the administrators own (a service's, say), and that is no copy's claim.
bool NamedAsTheClaim(HANDLE mutex)
{
    constexpr std::u16string_view global = u"Global\\";
    const std::u16string expected =
        u"\\BaseNamedObjects\\" + std::u16string(OnlyCopyClaim::kMutexName.substr(global.size()));
    alignas(UNICODE_STRING) BYTE answer[sizeof(UNICODE_STRING) + 256 * sizeof(char16_t)];
    ULONG length = 0;
    if (Os().ntQueryObject(mutex, ObjectNameInformation, answer, sizeof(answer), &length) != kStatusSuccess)
        return false;
    const auto& name = *reinterpret_cast<const UNICODE_STRING*>(answer);
    return name.Buffer != nullptr &&
           std::u16string_view(reinterpret_cast<const char16_t*>(name.Buffer), name.Length / sizeof(char16_t)) == expected;
}

// Whether the open object is another copy's claim: ours is always owned by the Administrators
// group, which only an administrator's program can name as owner, and has the claim's own name.
// When either cannot be read, the check gives way, as for any failure of its own.
bool AnotherCopys(HANDLE mutex)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = Os().getSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                            nullptr, nullptr, &descriptor);
    const UniqueLocalMemory held(descriptor);
    return read == ERROR_SUCCESS && owner != nullptr && IsSystemOrAdministrators(static_cast<const BYTE*>(owner)) &&
           NamedAsTheClaim(mutex);
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
