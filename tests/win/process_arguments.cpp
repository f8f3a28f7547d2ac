// Runs the process tests against the real system with the spawn_child fixture.
//
//   process_tests PATH\spawn_child.exe

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/spawn_child.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: process_tests PATH\\spawn_child.exe\n");
        return 2;
    }
    const std::string path = argv[1];
    SetSpawnChildPath(std::u16string(path.begin(), path.end()));
    return RUN_ALL_TESTS();
}
