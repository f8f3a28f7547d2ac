#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

class SimMachine;

// The simulated service control manager. A service is running, stopped or already stopping;
// asked to stop, it reaches SERVICE_STOPPED after a scripted delay on the machine's clock, or
// never. DeleteService marks it; it disappears once it is stopped and no handle to it is open.
class SimServices {
public:
    explicit SimServices(SimMachine& machine);
    ~SimServices();

    // Set-up. `stopDelay` in milliseconds of the machine's clock; nullopt: never stops.
    void addService(std::u16string_view name, DWORD state,
                    std::optional<ULONGLONG> stopDelay = ULONGLONG{0});
    // The service is already stopping and reaches SERVICE_STOPPED `remaining` ms from now.
    void setStopPending(std::u16string_view name, std::optional<ULONGLONG> remaining);

    // Inspection.
    bool exists(std::u16string_view name) const;
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

private:
    std::shared_ptr<Service> find(std::u16string_view name) const;
    DWORD currentState(const Service& service) const;
    void fill(const Service& service, SERVICE_STATUS* status) const;
    void forgetIfGone(const std::shared_ptr<Service>& service);

    SimMachine& machine_;
    mutable std::mutex mutex_;
    std::map<std::u16string, std::shared_ptr<Service>> services_; // keyed by upper-case name
    std::map<SC_HANDLE, std::shared_ptr<Handle>> handles_;
    std::uintptr_t nextHandle_ = 0x8000;
};
