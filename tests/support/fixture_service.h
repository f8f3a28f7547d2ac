#pragma once

#include <gtest/gtest.h>

#include <string>

// Where the fixture service program lies inside the prefix (set by the test program's main).
void SetFixtureServicePath(std::u16string path);
const std::u16string& FixtureServicePath();

// Installs the fixture service under `name` (on demand; asked to stop, it stays stop-pending for
// `stopDelayMs`), starts it and waits until it runs.
::testing::AssertionResult StartFixtureService(const std::wstring& name, unsigned stopDelayMs);

// Stops and deletes the service `name` if it exists.
void RemoveFixtureService(const std::wstring& name);
