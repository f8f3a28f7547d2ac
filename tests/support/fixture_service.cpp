#include "support/fixture_service.h"

#include <windows.h>

#include "support/win_machine.h"

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

::testing::AssertionResult StartFixtureService(const std::wstring& name, unsigned stopDelayMs, DWORD startType,
                                               const std::vector<std::wstring>& dependencies)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr)
        return ::testing::AssertionFailure() << "OpenSCManagerW: " << GetLastError();
    const std::u16string& program = FixtureServicePath();
    const std::wstring command = L"\"" + std::wstring(program.begin(), program.end()) + L"\" " + name + L" " +
                                 std::to_wstring(stopDelayMs);
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
