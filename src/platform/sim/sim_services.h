#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

class SimMachine;

// The simulated service control manager. A service is running, starting, stopped or already
// stopping; asked to stop, it reaches SERVICE_STOPPED after a scripted delay on the machine's
// clock, or never. DeleteService marks it; it disappears once it is stopped and no handle to it
// is open. A service handle carries the access it was opened with: a stop needs SERVICE_STOP,
// a query SERVICE_QUERY_STATUS, a deletion DELETE, or ERROR_ACCESS_DENIED. A stop is refused
// with ERROR_DEPENDENT_SERVICES_RUNNING while a service that depends on this one is not
// stopped, and with ERROR_SERVICE_CANNOT_ACCEPT_CTRL while the service starts or stops or when
// it does not accept a stop. A service given an image holds that file while it is not stopped.
class SimServices {
public:
    explicit SimServices(SimMachine& machine);
    ~SimServices();

    // Set-up. `stopDelay` in milliseconds of the machine's clock; nullopt: never stops.
    void addService(std::u16string_view name, DWORD state,
                    std::optional<ULONGLONG> stopDelay = ULONGLONG{0});
    // The service is already stopping and reaches SERVICE_STOPPED `remaining` ms from now.
    void setStopPending(std::u16string_view name, std::optional<ULONGLONG> remaining);
    // The services this one depends on (they need not exist), as CreateService's dependencies.
    void setDependencies(std::u16string_view name, std::vector<std::u16string> dependencies);
    // The service's program file, put there unless a file is there already; while the service
    // is not stopped its program runs from it and holds it.
    void setImagePath(std::u16string_view name, const std::u16string& path);
    // The service answers a stop request as one that does not accept it.
    void refuseStop(std::u16string_view name);
    // What a program that removes its own service does: the service stops, is marked for
    // deletion and goes (with its registration) once no handle to it is open.
    void removeByItsOwnProgram(std::u16string_view name);

    // Inspection.
    bool exists(std::u16string_view name) const;
    // Every service's name, as it was made.
    std::vector<std::u16string> names() const;
    bool markedForDeletion(std::u16string_view name) const;
    DWORD state(std::u16string_view name) const;
    unsigned stopControlsReceived(std::u16string_view name) const;
    std::size_t openHandles() const;

    struct Service;
    struct Handle;

    SC_HANDLE openManager(const char16_t* machineName, const char16_t* databaseName, DWORD access);
    SC_HANDLE openService(SC_HANDLE manager, const char16_t* name, DWORD access);
    BOOL query(SC_HANDLE service, SERVICE_STATUS* status);
    BOOL control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
    BOOL remove(SC_HANDLE service);
    BOOL close(SC_HANDLE handle);
    // Every handle the program held, as the system closes them when its process ends.
    void closeAll();

private:
    std::shared_ptr<Service> find(std::u16string_view name) const;
    DWORD currentState(const Service& service) const;
    bool hasActiveDependents(const Service& service) const;
    void fill(const Service& service, SERVICE_STATUS* status) const;
    void forgetIfGone(const std::shared_ptr<Service>& service);

    SimMachine& machine_;
    mutable std::mutex mutex_;
    std::map<std::u16string, std::shared_ptr<Service>> services_; // keyed by upper-case name
    std::map<SC_HANDLE, std::shared_ptr<Handle>> handles_;
    std::uintptr_t nextHandle_ = 0x8000;
};
