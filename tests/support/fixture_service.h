#pragma once

#include <string>

// Where the fixture service program lies inside the prefix (set by the test program's main).
void SetFixtureServicePath(std::u16string path);
const std::u16string& FixtureServicePath();
