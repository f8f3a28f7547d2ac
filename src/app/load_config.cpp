#include <windows.h>

namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY32 LoadConfiguration()
{
    IMAGE_LOAD_CONFIG_DIRECTORY32 config{};
    config.Size = sizeof(config);
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32; // DependentLoadFlags
    return config;
}

} // namespace

// The image's load configuration. Its one setting: the DLLs the program imports are looked for
// in the system folder only (DependentLoadFlags, honoured from Windows 10 1607 on), a second lock
// beside the delay-loading and the start-up call of main.cpp. The linker finds the record by
// this name and points the image's load-configuration directory at it; the loader reads it
// before any code runs, so it is constant-initialised. Every other field keeps the default.
extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY32 _load_config_used;
__attribute__((used)) constexpr IMAGE_LOAD_CONFIG_DIRECTORY32 _load_config_used = LoadConfiguration();
}
