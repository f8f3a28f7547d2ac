#include "platform/os_api.h"

#include <atomic>

namespace {

std::atomic<OsApi*> installed{nullptr};

} // namespace

OsApi& Os()
{
    if (OsApi* api = installed.load(std::memory_order_acquire))
        return *api;
    return DefaultOsApi();
}

ScopedOsApi::ScopedOsApi(OsApi& api)
    : previous_(installed.exchange(&api, std::memory_order_acq_rel))
{
}

ScopedOsApi::~ScopedOsApi()
{
    installed.store(previous_, std::memory_order_release);
}
