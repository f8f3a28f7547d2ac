#include "platform/sim/sim_services.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_text.h"

namespace {

std::u16string Key(std::u16string_view name)
{
    return SimUpcased(name);
}

constexpr DWORD kServiceQueryConfig = 0x0001;
constexpr DWORD kServiceChangeConfig = 0x0002;
constexpr DWORD kServiceEnumerateDependents = 0x0008;
constexpr DWORD kServiceInterrogate = 0x0080;
constexpr DWORD kServiceStart = 0x0010;
constexpr DWORD kServicePauseContinue = 0x0040;
constexpr DWORD kServiceUserDefinedControl = 0x0100;

// The service manager's generic mapping.
DWORD SpecificRights(DWORD access)
{
    if (access & GENERIC_READ)
        access |= READ_CONTROL | kServiceQueryConfig | SERVICE_QUERY_STATUS | kServiceInterrogate |
                  kServiceEnumerateDependents;
    if (access & GENERIC_WRITE)
        access |= READ_CONTROL | kServiceChangeConfig;
    if (access & GENERIC_EXECUTE)
        access |= READ_CONTROL | kServiceStart | SERVICE_STOP | kServicePauseContinue |
                  kServiceUserDefinedControl;
    if (access & GENERIC_ALL)
        access |= SERVICE_ALL_ACCESS;
    return access;
}

} // namespace

struct SimServices::Service {
    std::u16string name;
    DWORD state = SERVICE_STOPPED;
    std::optional<ULONGLONG> stopDelay;
    std::optional<ULONGLONG> stopsAt; // set while stopping; nullopt while stopping: never
    bool stopping = false;
    bool marked = false;
    bool acceptsStop = true;
    std::vector<std::u16string> dependencies; // upper-case names
    unsigned stopControls = 0;
    unsigned openHandles = 0;
    // When the program lets go of its image on the clock; read by the file system without this
    // area's lock.
    std::shared_ptr<std::atomic<ULONGLONG>> imageReleasedAt =
        std::make_shared<std::atomic<ULONGLONG>>(0);

    // Keeps the image's release in step with a new state or stop time.
    void updateRelease()
    {
        if (!stopping)
            imageReleasedAt->store(state == SERVICE_STOPPED ? 0 : kNever);
        else
            imageReleasedAt->store(stopsAt ? *stopsAt : kNever);
    }

    static constexpr ULONGLONG kNever = std::numeric_limits<ULONGLONG>::max();
};

struct SimServices::Handle {
    std::shared_ptr<Service> service; // null for the manager
    DWORD access = 0;                 // specific rights, generic ones mapped
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
    service->updateRelease();
    services_[Key(name)] = service;
}

void SimServices::setStopPending(std::u16string_view name, std::optional<ULONGLONG> remaining)
{
    const ULONGLONG now = machine_.now();
    std::lock_guard<std::mutex> lock(mutex_);
    const auto service = find(name);
    service->stopping = true;
    service->stopsAt = remaining ? std::optional<ULONGLONG>(now + *remaining) : std::nullopt;    service->updateRelease();
}

void SimServices::setDependencies(std::u16string_view name,
                                  std::vector<std::u16string> dependencies)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto service = find(name);
    for (std::u16string& dependency : dependencies)
        dependency = Key(dependency);
    service->dependencies = std::move(dependencies);
}

void SimServices::setImagePath(std::u16string_view name, const std::u16string& path)
{
    std::shared_ptr<std::atomic<ULONGLONG>> releasedAt;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        releasedAt = find(name)->imageReleasedAt;
    }
    SimFileSystem& files = machine_.files();
    if (!files.fileExists(path))
        files.addFile(path, "MZ");
    SimMachine& machine = machine_;
    const std::weak_ptr<std::atomic<ULONGLONG>> release = releasedAt;
    files.holdImage(path, [&machine, release] {
        const auto at = release.lock();
        return at && machine.now() < at->load();
    });
}

void SimServices::refuseStop(std::u16string_view name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    find(name)->acceptsStop = false;
}

void SimServices::removeByItsOwnProgram(std::u16string_view name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Service> service = find(name);
    if (!service)
        return;
    service->state = SERVICE_STOPPED;
    service->stopping = false;
    service->updateRelease();
    service->marked = true;
    forgetIfGone(service);
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
    status->dwControlsAccepted =
        status->dwCurrentState == SERVICE_RUNNING && service.acceptsStop ? SERVICE_ACCEPT_STOP : 0u;
}

void SimServices::forgetIfGone(const std::shared_ptr<Service>& service)
{
    if (service->marked && service->openHandles == 0 && currentState(*service) == SERVICE_STOPPED) {
        services_.erase(Key(service->name));
        // The service's registration goes with it, as the service manager deletes it.
        machine_.registry().removeTree(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\" + service->name);
    }
}

std::vector<std::u16string> SimServices::names() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> all;
    for (const auto& entry : services_)
        all.push_back(entry.second->name);
    return all;
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
    // The manager's own rights guard only calls the seam does not carry.
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
    handles_.emplace(handle, std::make_shared<Handle>(Handle{service, SpecificRights(access)}));
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
    if (!(it->second->access & SERVICE_QUERY_STATUS)) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
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
    if (!(it->second->access & SERVICE_STOP)) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    }
    Service& service = *it->second->service;
    ++service.stopControls;
    const DWORD state = currentState(service);
    fill(service, status);
    DWORD refusal = ERROR_SUCCESS;
    if (state == SERVICE_STOPPED)
        refusal = ERROR_SERVICE_NOT_ACTIVE;
    else if (hasActiveDependents(service))
        refusal = ERROR_DEPENDENT_SERVICES_RUNNING;
    else if (state != SERVICE_RUNNING || !service.acceptsStop)
        refusal = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    if (refusal != ERROR_SUCCESS) {
        lock.unlock();
        return machine_.fail<BOOL>(refusal, FALSE);
    }
    service.stopping = true;
    service.stopsAt = service.stopDelay ? std::optional<ULONGLONG>(machine_.now() + *service.stopDelay)
                                        : std::nullopt;
    service.updateRelease();
    fill(service, status);
    return TRUE;
}

bool SimServices::hasActiveDependents(const Service& service) const
{
    const std::u16string key = Key(service.name);
    return std::any_of(services_.begin(), services_.end(), [&](const auto& entry) {
        const Service& other = *entry.second;
        return currentState(other) != SERVICE_STOPPED &&
               std::find(other.dependencies.begin(), other.dependencies.end(), key) !=
                   other.dependencies.end();
    });
}

BOOL SimServices::remove(SC_HANDLE handle)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second->service) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!(it->second->access & DELETE)) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    }
    Service& service = *it->second->service;
    if (service.marked) {
        lock.unlock();
        return machine_.fail<BOOL>(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    }
    service.marked = true;
    return TRUE;
}

void SimServices::closeAll()
{
    std::vector<SC_HANDLE> held;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [handle, open] : handles_)
            held.push_back(handle);
    }
    for (const SC_HANDLE handle : held)
        close(handle);
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
