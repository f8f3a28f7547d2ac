#include "platform/services.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/machine_test.h"

#ifndef _WIN32
#include "platform/sim/sim_services.h"
#endif

namespace {

// A service every machine runs: Wine starts its plug-and-play service with the first program.
constexpr char16_t kRunningService[] = u"PlugPlay";

class ServicesTest : public MachineTest {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        machine.services().addService(kRunningService, SERVICE_RUNNING);
#endif
    }
};

TEST_F(ServicesTest, MissingServiceIs1060)
{
    const UniqueServiceHandle manager = OpenSCManagerChecked(nullptr, u"ServicesActive", SC_MANAGER_ALL_ACCESS);
    try {
        OpenServiceChecked(manager.get(), u"QTVRemoveNoSuchService", SERVICE_ALL_ACCESS);
        FAIL() << "no exception";
    } catch (const Windows::Error& e) {
        EXPECT_EQ(e.code(), ERROR_SERVICE_DOES_NOT_EXIST);
    }
}

TEST_F(ServicesTest, RunningServiceReportsItsState)
{
    const UniqueServiceHandle manager = OpenSCManagerChecked(nullptr, u"ServicesActive", SC_MANAGER_ALL_ACCESS);
    const UniqueServiceHandle service = OpenServiceChecked(manager.get(), u"plugplay", SERVICE_ALL_ACCESS);
    EXPECT_EQ(QueryServiceStatusChecked(service.get()).dwCurrentState, SERVICE_RUNNING);
}

} // namespace
