#include "support/fixture_service.h"

#include <windows.h>

#include "support/win_machine.h"
#include "support/wine_main.h"

::testing::AssertionResult StartFixtureService(const std::wstring& name, unsigned stopDelayMs, DWORD startType,
                                               const std::vector<std::wstring>& dependencies)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return ::testing::AssertionFailure() << "OpenSCManagerW: " << GetLastError();
    const std::wstring command =
        L"\"" + TestFile(L"fixture_service.exe") + L"\" " + name + L" " + std::to_wstring(stopDelayMs);
    ::testing::AssertionResult started = StartService(manager, name.c_str(), command, startType, dependencies);
    CloseServiceHandle(manager);
    return started;
}

void RemoveFixtureService(const std::wstring& name)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return;
    RemoveService(manager, name.c_str());
    CloseServiceHandle(manager);
}
