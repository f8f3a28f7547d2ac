#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "support/wine_main.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        // Windows hands the program its arguments in the ANSI code page.
        const int length = MultiByteToWideChar(CP_ACP, 0, argv[i], -1, nullptr, 0);
        std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1u, L'\0');
        MultiByteToWideChar(CP_ACP, 0, argv[i], -1, wide.data(), length);
        wide.resize(wide.size() - 1);
        arguments.push_back(wide);
    }
    if (!TakeTestFiles(arguments)) {
        std::string name = argv[0];
        std::fprintf(stderr, "usage: %s %s\n", name.substr(name.find_last_of("\\/") + 1).c_str(), TestFileNames().c_str());
        return 2;
    }
    return RUN_ALL_TESTS();
}
