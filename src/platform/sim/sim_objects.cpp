// The simulated machine's named objects: mutexes, their names in the object namespace and the
// links a user may make there.

#include "platform/sim/sim_machine.h"

#include <string_view>

#include "platform/sim/sim_security.h"

namespace {

// Where a kernel object's name puts it in the object namespace: "Global\" among the objects of
// every session, anything else among those of the program's own session (the first).
std::u16string ObjectNameOf(std::u16string_view name)
{
    constexpr std::u16string_view global = u"Global\\";
    constexpr std::u16string_view local = u"Local\\";
    if (name.substr(0, global.size()) == global)
        return u"\\BaseNamedObjects\\" + std::u16string(name.substr(global.size()));
    if (name.substr(0, local.size()) == local)
        name.remove_prefix(local.size());
    return u"\\Sessions\\1\\BaseNamedObjects\\" + std::u16string(name);
}

} // namespace

HANDLE SimMachine::createMutex(SECURITY_ATTRIBUTES* attributes, BOOL, const char16_t* name)
{
    if (enter(SimCall::CreateMutex))
        return nullptr;
    return makeMutex(security().token(), attributes, name);
}

HANDLE SimMachine::createMutexAsStandardUser(SECURITY_ATTRIBUTES* attributes, const char16_t* name)
{
    return makeMutex(SimSecurity::standardUserToken(), attributes, name);
}

void SimMachine::linkObjectName(const std::u16string& link, const std::u16string& target)
{
    std::lock_guard<std::mutex> lock(mutex_);
    objectLinks_[link] = target;
}

NTSTATUS SimMachine::ntQueryObject(HANDLE handle, OBJECT_INFORMATION_CLASS informationClass, void* information,
                                   ULONG length, ULONG* returnLength)
{
    // A native call: an injected fault is its status, and the thread's last error stays as it was.
    const DWORD lastError = getLastError();
    if (const DWORD fault = enter(SimCall::NtQueryObject)) {
        setLastError(lastError);
        return static_cast<NTSTATUS>(fault);
    }
    // The program asks only for the names of mutexes; other objects are not modelled.
    const auto mutex = std::dynamic_pointer_cast<SimMutex>(kernelObject(handle));
    if (!mutex)
        return kernelObject(handle) ? kStatusNotImplemented : kStatusInvalidHandle;
    if (informationClass != ObjectNameInformation)
        return kStatusNotImplemented;
    const std::size_t textBytes = mutex->objectName.size() * sizeof(char16_t);
    const auto needed = static_cast<ULONG>(sizeof(UNICODE_STRING) + textBytes + sizeof(char16_t));
    if (returnLength != nullptr)
        *returnLength = needed;
    if (length < needed)
        return kStatusInfoLengthMismatch;
    auto* answer = static_cast<UNICODE_STRING*>(information);
    auto* text = reinterpret_cast<char16_t*>(answer + 1);
    std::copy(mutex->objectName.begin(), mutex->objectName.end(), text);
    text[mutex->objectName.size()] = u'\0';
    answer->Length = static_cast<USHORT>(textBytes);
    answer->MaximumLength = static_cast<USHORT>(textBytes + sizeof(char16_t));
    answer->Buffer = textBytes == 0 ? nullptr : text;
    return kStatusSuccess;
}

// Never waited on here: the program only asks whether one exists, and whose it is.
HANDLE SimMachine::makeMutex(const SimToken& token, SECURITY_ATTRIBUTES* attributes, const char16_t* name)
{
    SimObjectSecurity made;
    if (const DWORD error = SimReadDescriptor(attributes ? attributes->lpSecurityDescriptor : nullptr, token, made))
        return fail<HANDLE>(error, nullptr);
    if (name == nullptr || *name == u'\0')
        return addHandle(std::make_shared<SimMutex>(std::move(made), std::u16string()));
    std::u16string objectName = ObjectNameOf(name);
    std::shared_ptr<SimMutex> existing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const auto link = objectLinks_.find(objectName); link != objectLinks_.end())
            objectName = link->second;
        existing = std::dynamic_pointer_cast<SimMutex>(namedMutexes_[objectName].lock());
    }
    if (existing) {
        // What is there opens for all access, which its access list must grant; the descriptor
        // given is not applied.
        if (!SimGrants(existing->security, token, MUTEX_ALL_ACCESS, MUTEX_ALL_ACCESS))
            return fail<HANDLE>(ERROR_ACCESS_DENIED, nullptr);
        const HANDLE handle = addHandle(existing);
        setLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    auto created = std::make_shared<SimMutex>(std::move(made), objectName);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        namedMutexes_[objectName] = created;
    }
    const HANDLE handle = addHandle(std::move(created));
    setLastError(ERROR_SUCCESS);
    return handle;
}
