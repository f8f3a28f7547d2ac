#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os_api.h"

// A folder of one test below C:\qtv-files-test, made and removed through the seam so that both
// machines are laid out the same way.
class TestFolder {
public:
    // Creates C:\qtv-files-test\<test name>, removing what an earlier run left there.
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::u16string& path() const { return path_; }
    std::u16string operator/(const std::u16string& name) const { return path_ + u"\\" + name; }

private:
    std::u16string path_;
};

// Creates a new file holding `content`.
::testing::AssertionResult MakeFile(const std::u16string& path, const std::string& content = {});

// One listing entry.
struct Listed {
    std::u16string name;
    DWORD attributes;
    DWORD size;
    std::u16string alias; // the 8.3 alias; empty for a name that fits 8.3
};

// Lists "pattern" to the end; `endError` receives the last error after the final FindNextFileW
// (or after a failed FindFirstFileW, with an empty result).
std::vector<Listed> List(const std::u16string& pattern, DWORD& endError);

// Removes a tree through the seam, clearing read-only bits; false when something stayed.
bool RemoveTree(const std::u16string& path);
