// Tests against the real system that need the fixture service (the toolkit's, the databases'):
// "PROGRAM PATH\fixture_service.exe".

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/fixture_service.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PATH\\fixture_service.exe\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    SetFixtureServicePath(std::u16string(path.begin(), path.end()));
    return RUN_ALL_TESTS();
}
