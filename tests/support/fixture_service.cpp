#include "support/fixture_service.h"

#include <windows.h>

namespace {

std::u16string& Stored()
{
    static std::u16string path;
    return path;
}

} // namespace

void SetFixtureServicePath(std::u16string path)
{
    Stored() = std::move(path);
}

const std::u16string& FixtureServicePath()
{
    return Stored();
}

::testing::AssertionResult StartFixtureService(const std::wstring& name, unsigned stopDelayMs)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return ::testing::AssertionFailure() << "OpenSCManagerW: " << GetLastError();
    const std::u16string& program = FixtureServicePath();
    const std::wstring command = L"\"" + std::wstring(program.begin(), program.end()) + L"\" " + name + L" " +
                                 std::to_wstring(stopDelayMs);
    SC_HANDLE service = CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    CloseServiceHandle(manager);
    if (service == nullptr)
        return ::testing::AssertionFailure() << "CreateServiceW: " << GetLastError();
    if (!StartServiceW(service, 0, nullptr)) {
        const DWORD error = GetLastError();
        CloseServiceHandle(service);
        return ::testing::AssertionFailure() << "StartServiceW: " << error;
    }
    SERVICE_STATUS status{};
    for (int i = 0; i < 200 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
        Sleep(50);
    CloseServiceHandle(service);
    if (status.dwCurrentState != SERVICE_RUNNING)
        return ::testing::AssertionFailure() << "the service did not start: state " << status.dwCurrentState;
    return ::testing::AssertionSuccess();
}

void RemoveFixtureService(const std::wstring& name)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return;
    if (SC_HANDLE old = OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status{};
        ControlService(old, SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && QueryServiceStatus(old, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
            Sleep(50);
        DeleteService(old);
        CloseServiceHandle(old);
    }
    CloseServiceHandle(manager);
}
