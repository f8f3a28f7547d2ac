// Runs the file and shell tests against the real system with the versioned fixture.
//
//   files_tests PATH\versioned.exe

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/versioned_file.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: files_tests PATH\\versioned.exe\n");
        return 2;
    }
    const std::string path = argv[1];
    VersionedFilePath() = std::u16string(path.begin(), path.end());
    return RUN_ALL_TESTS();
}
