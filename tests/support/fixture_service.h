#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Installs the fixture service (the test program's fixture_service.exe) under `name` (asked to stop, it stays stop-pending for
// `stopDelayMs`), depending on the services `dependencies`, starts it and waits until it runs.
::testing::AssertionResult StartFixtureService(const std::wstring& name, unsigned stopDelayMs,
                                               DWORD startType = SERVICE_DEMAND_START,
                                               const std::vector<std::wstring>& dependencies = {});

// Stops and deletes the service `name` if it exists.
void RemoveFixtureService(const std::wstring& name);
