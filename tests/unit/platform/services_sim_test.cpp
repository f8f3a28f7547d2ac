// Service states over time, with the simulated clock: the simulated machine only (the real
// service manager is exercised with a fixture service by the service clean-up tests).

#include "platform/services.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/sim/sim_services.h"
#include "support/machine_test.h"

namespace {

class ServicesSimTest : public MachineTest {
protected:
    UniqueServiceHandle open(const std::u16string& name)
    {
        manager_ = OpenSCManagerChecked(nullptr, u"ServicesActive", SC_MANAGER_ALL_ACCESS);
        return OpenServiceChecked(manager_.get(), name, SERVICE_ALL_ACCESS);
    }

    static DWORD Code(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const Windows::Error& e) {
            return e.code();
        }
        return ERROR_SUCCESS;
    }

    UniqueServiceHandle manager_;
};

TEST_F(ServicesSimTest, StopTakesItsScriptedTime)
{
    machine.services().addService(u"ZantrelAgent", SERVICE_RUNNING, 2500);
    const UniqueServiceHandle service = open(u"ZantrelAgent");

    EXPECT_EQ(ControlServiceChecked(service.get(), SERVICE_CONTROL_STOP).dwCurrentState, SERVICE_STOP_PENDING);
    machine.sleep(2400);
    EXPECT_EQ(QueryServiceStatusChecked(service.get()).dwCurrentState, SERVICE_STOP_PENDING);
    machine.sleep(100);
    EXPECT_EQ(QueryServiceStatusChecked(service.get()).dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(Code([&] { ControlServiceChecked(service.get(), SERVICE_CONTROL_STOP); }), ERROR_SERVICE_NOT_ACTIVE);
}

TEST_F(ServicesSimTest, StoppingServiceRefusesAnotherStopAndAStuckOneNeverStops)
{
    machine.services().addService(u"Stuck", SERVICE_RUNNING, std::nullopt);
    machine.services().addService(u"Leaving", SERVICE_RUNNING);
    machine.services().setStopPending(u"Leaving", 1000);
    const UniqueServiceHandle stuck = open(u"Stuck");
    const UniqueServiceHandle leaving = open(u"Leaving");

    EXPECT_EQ(Code([&] { ControlServiceChecked(leaving.get(), SERVICE_CONTROL_STOP); }),
              ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    ControlServiceChecked(stuck.get(), SERVICE_CONTROL_STOP);
    machine.sleep(3600u * 1000u);
    EXPECT_EQ(QueryServiceStatusChecked(stuck.get()).dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_EQ(QueryServiceStatusChecked(leaving.get()).dwCurrentState, SERVICE_STOPPED);
}

TEST_F(ServicesSimTest, DeletionMarksAndTheServiceGoesWithItsLastHandle)
{
    machine.services().addService(u"ZantrelRelay", SERVICE_STOPPED);
    {
        const UniqueServiceHandle service = open(u"ZantrelRelay");
        DeleteServiceChecked(service.get());
        EXPECT_TRUE(machine.services().markedForDeletion(u"ZantrelRelay"));
        EXPECT_EQ(Code([&] { DeleteServiceChecked(service.get()); }), ERROR_SERVICE_MARKED_FOR_DELETE);
    }
    EXPECT_FALSE(machine.services().exists(u"ZantrelRelay"));
    manager_.reset();
    EXPECT_EQ(machine.services().openHandles(), 0u);
}

// Simulated only: the fixture service under Wine can neither be made to start slowly nor to
// refuse a stop.
TEST_F(ServicesSimTest, AStartingServiceOrOneThatTakesNoStopRefusesIt)
{
    machine.services().addService(u"Starting", SERVICE_START_PENDING);
    machine.services().addService(u"Stubborn", SERVICE_RUNNING);
    machine.services().refuseStop(u"Stubborn");
    const UniqueServiceHandle starting = open(u"Starting");
    const UniqueServiceHandle stubborn = open(u"Stubborn");

    EXPECT_EQ(Code([&] { ControlServiceChecked(starting.get(), SERVICE_CONTROL_STOP); }),
              ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(Code([&] { ControlServiceChecked(stubborn.get(), SERVICE_CONTROL_STOP); }),
              ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(QueryServiceStatusChecked(stubborn.get()).dwControlsAccepted, 0u);
    EXPECT_EQ(QueryServiceStatusChecked(stubborn.get()).dwCurrentState, SERVICE_RUNNING);
}

// Simulated only: under Wine the fixture service's program is shared by the tests, which must
// not risk deleting it. A service's program is a running process, whose hold on its file the
// held-program test checks under Wine.
TEST_F(ServicesSimTest, AServicesProgramHoldsItsFileUntilTheServiceHasStopped)
{
    const std::u16string program = u"C:\\Zantrel\\QTV Server\\GatherDB.exe";
    machine.services().addService(u"GatherDB", SERVICE_RUNNING, 1500);
    machine.services().setImagePath(u"GatherDB", program);
    const UniqueServiceHandle service = open(u"GatherDB");

    EXPECT_FALSE(machine.deleteFile(program.c_str()));
    EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ControlServiceChecked(service.get(), SERVICE_CONTROL_STOP);
    machine.sleep(1400);
    EXPECT_FALSE(machine.deleteFile(program.c_str())) << "still stopping";
    machine.sleep(100);
    EXPECT_TRUE(machine.deleteFile(program.c_str()));
}

TEST_F(ServicesSimTest, FailedCloseIsIgnored)
{
    machine.services().addService(u"ZantrelAgent", SERVICE_RUNNING);
    machine.failCall(SimCall::CloseServiceHandle, ERROR_INVALID_HANDLE);
    machine.setLastError(ERROR_ACCESS_DENIED);
    { const UniqueServiceHandle service = open(u"ZantrelAgent"); }
    EXPECT_EQ(machine.getLastError(), ERROR_ACCESS_DENIED);
}

} // namespace
