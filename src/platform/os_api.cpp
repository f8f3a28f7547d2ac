#include "platform/os_api.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<OsApi*> installed{nullptr};
std::atomic<unsigned> generation{0};

} // namespace

OsApi& Os()
{
    if (OsApi* api = installed.load(std::memory_order_acquire))
        return *api;
    return DefaultOsApi();
}

unsigned OsGeneration()
{
    return generation.load(std::memory_order_acquire);
}

ScopedOsApi::ScopedOsApi(OsApi& api)
    : previous_(installed.exchange(&api, std::memory_order_acq_rel))
{
    generation.fetch_add(1, std::memory_order_acq_rel);
}

ScopedOsApi::ScopedOsApi(OsApi& api, OverTheSameMachine)
    : previous_(installed.exchange(&api, std::memory_order_acq_rel))
{
}

ScopedOsApi::~ScopedOsApi()
{
    installed.store(previous_, std::memory_order_release);
    generation.fetch_add(1, std::memory_order_acq_rel);
}

const std::vector<SeamOperation>& SeamOperations()
{
    static const std::vector<SeamOperation> operations = {
#define QTV_SEAM_ROW(kind, call, name, result, method, parameters, arguments, fault) \
    {SeamCall::call, name, SeamClass::kind, static_cast<DWORD>(fault), std::strncmp(name, "Nt", 2) == 0},
        QTV_SEAM_OPERATIONS(QTV_SEAM_ROW)
#undef QTV_SEAM_ROW
    };
    return operations;
}

const SeamOperation& OperationOf(SeamCall call)
{
    return SeamOperations()[static_cast<unsigned>(call)];
}
