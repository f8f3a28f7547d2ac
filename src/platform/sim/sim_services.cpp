#include "platform/sim/sim_services.h"

#include <algorithm>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"

namespace {

std::u16string Key(std::u16string_view name)
{
    return SimUpcased(name);
}

} // namespace

struct SimServices::Service {
    std::u16string name;
    DWORD state = SERVICE_STOPPED;
    std::optional<ULONGLONG> stopDelay;
    std::optional<ULONGLONG> stopsAt; // set while stopping; nullopt while stopping: never
    bool stopping = false;
    bool marked = false;
    unsigned stopControls = 0;
    unsigned openHandles = 0;
};

struct SimServices::Handle {
    std::shared_ptr<Service> service; // null for the manager
};

SimServices::SimServices(SimMachine& machine)
    : machine_(machine)
{
}

SimServices::~SimServices() = default;

SimServices& SimMachine::services()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!services_)
        services_ = std::make_shared<SimServices>(*this);
    return *services_;
}

void SimServices::addService(std::u16string_view name, DWORD state,
                             std::optional<ULONGLONG> stopDelay)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto service = std::make_shared<Service>();
    service->name = std::u16string(name);
    service->state = state;
    service->stopDelay = stopDelay;
    services_[Key(name)] = service;
}

void SimServices::setStopPending(std::u16string_view name, std::optional<ULONGLONG> remaining)
{
    const ULONGLONG now = machine_.now();
    std::lock_guard<std::mutex> lock(mutex_);
    const auto service = find(name);
    service->stopping = true;
    service->stopsAt = remaining ? std::optional<ULONGLONG>(now + *remaining) : std::nullopt;
}

std::shared_ptr<SimServices::Service> SimServices::find(std::u16string_view name) const
{
    const auto it = services_.find(Key(name));
    return it == services_.end() ? nullptr : it->second;
}

DWORD SimServices::currentState(const Service& service) const
{
    if (!service.stopping)
        return service.state;
    if (service.stopsAt && machine_.now() >= *service.stopsAt)
        return SERVICE_STOPPED;
    return SERVICE_STOP_PENDING;
}

void SimServices::fill(const Service& service, SERVICE_STATUS* status) const
{
    *status = SERVICE_STATUS{};
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = currentState(service);
    status->dwControlsAccepted = status->dwCurrentState == SERVICE_RUNNING ? 1u : 0u;
}

void SimServices::forgetIfGone(const std::shared_ptr<Service>& service)
{
    if (service->marked && service->openHandles == 0 && currentState(*service) == SERVICE_STOPPED)
        services_.erase(Key(service->name));
}

bool SimServices::exists(std::u16string_view name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return find(name) != nullptr;
}

bool SimServices::markedForDeletion(std::u16string_view name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto service = find(name);
    return service && service->marked;
}

DWORD SimServices::state(std::u16string_view name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto service = find(name);
    return service ? currentState(*service) : 0;
}

unsigned SimServices::stopControlsReceived(std::u16string_view name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto service = find(name);
    return service ? service->stopControls : 0;
}

std::size_t SimServices::openHandles() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

SC_HANDLE SimServices::openManager(const char16_t* machineName, const char16_t* databaseName,
                                   DWORD access)
{
    (void)access;
    if (machineName != nullptr ||
        (databaseName != nullptr && std::u16string_view(databaseName) != u"ServicesActive"))
        return machine_.fail<SC_HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    nextHandle_ += 4;
    const auto handle = reinterpret_cast<SC_HANDLE>(nextHandle_);
    handles_.emplace(handle, std::make_shared<Handle>());
    return handle;
}

SC_HANDLE SimServices::openService(SC_HANDLE manager, const char16_t* name, DWORD access)
{
    (void)access;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto it = handles_.find(manager);
    if (it == handles_.end() || it->second->service) {
        lock.unlock();
        return machine_.fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    }
    const auto service = name ? find(name) : nullptr;
    if (!service) {
        lock.unlock();
        return machine_.fail<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
    }
    nextHandle_ += 4;
    const auto handle = reinterpret_cast<SC_HANDLE>(nextHandle_);
    handles_.emplace(handle, std::make_shared<Handle>(Handle{service}));
    ++service->openHandles;
    return handle;
}

BOOL SimServices::query(SC_HANDLE handle, SERVICE_STATUS* status)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second->service || status == nullptr) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    fill(*it->second->service, status);
    return TRUE;
}

BOOL SimServices::control(SC_HANDLE handle, DWORD code, SERVICE_STATUS* status)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second->service || status == nullptr) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    if (code != SERVICE_CONTROL_STOP) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    }
    Service& service = *it->second->service;
    ++service.stopControls;
    const DWORD state = currentState(service);
    fill(service, status);
    if (state == SERVICE_STOPPED) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_SERVICE_NOT_ACTIVE, FALSE);
    }
    if (state == SERVICE_STOP_PENDING) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, FALSE);
    }
    service.stopping = true;
    service.stopsAt = service.stopDelay ? std::optional<ULONGLONG>(machine_.now() + *service.stopDelay)
                                        : std::nullopt;
    fill(service, status);
    return TRUE;
}

BOOL SimServices::remove(SC_HANDLE handle)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second->service) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    Service& service = *it->second->service;
    if (service.marked) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    }
    service.marked = true;
    return TRUE;
}

BOOL SimServices::close(SC_HANDLE handle)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    const std::shared_ptr<Service> service = it->second->service;
    handles_.erase(it);
    if (service) {
        --service->openHandles;
        forgetIfGone(service);
    }
    return TRUE;
}

SC_HANDLE SimMachine::openSCManager(const char16_t* machineName, const char16_t* databaseName,
                                    DWORD access)
{
    if (enter(SimCall::OpenSCManager))
        return nullptr;
    return services().openManager(machineName, databaseName, access);
}

SC_HANDLE SimMachine::openService(SC_HANDLE manager, const char16_t* serviceName, DWORD access)
{
    if (enter(SimCall::OpenService))
        return nullptr;
    return services().openService(manager, serviceName, access);
}

BOOL SimMachine::queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status)
{
    if (enter(SimCall::QueryServiceStatus))
        return FALSE;
    return services().query(service, status);
}

BOOL SimMachine::controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    if (enter(SimCall::ControlService))
        return FALSE;
    return services().control(service, control, status);
}

BOOL SimMachine::deleteService(SC_HANDLE service)
{
    if (enter(SimCall::DeleteService))
        return FALSE;
    return services().remove(service);
}

BOOL SimMachine::closeServiceHandle(SC_HANDLE handle)
{
    if (enter(SimCall::CloseServiceHandle))
        return FALSE;
    return services().close(handle);
}
