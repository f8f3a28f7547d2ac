#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "core/log.h"
#include "platform/os_api.h"
#include "plan/planning_os_api.h"
#include "platform/registry.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/text.h"
#include "support/machine_snapshot.h"
#include "support/sim_suite.h"
#include "toolkit/registry_cleanup.h"

namespace {

// Each operation of the seam has its own row, found by its call, so that the simulated machine's
// counts, the planning layer's classes and the sweep's faults all name the same one. That every
// change is kept from the machine is what a plan of the whole suite shows below.
TEST(PlanningLayerTest, EveryOperationOfTheSeamIsClassified)
{
    std::set<std::string> names;
    for (std::size_t place = 0; place < SeamOperations().size(); ++place) {
        const SeamOperation& operation = SeamOperations()[place];
        EXPECT_EQ(static_cast<std::size_t>(operation.call), place) << operation.name;
        EXPECT_TRUE(names.insert(operation.name).second) << operation.name << " has two rows";
    }
    EXPECT_EQ(OperationOf(SimCall::RegDeleteKeyEx).kind, SeamClass::Change);
    EXPECT_EQ(OperationOf(SimCall::RegOpenKeyEx).kind, SeamClass::Read);
    EXPECT_TRUE(OperationOf(SimCall::NtDeleteKey).answersStatus);
    EXPECT_FALSE(OperationOf(SimCall::RtlNtStatusToDosError).answersStatus);
}

// HKEY_CURRENT_USER is the current user's hive under HKEY_USERS, named by the SID of the process's
// token: a key a plan deletes under either name is gone under both, from a listing too.
TEST(PlanningLayerTest, TheCurrentUsersKeysAreGoneUnderBothNames)
{
    SimMachine machine;
    const std::u16string hive = u"S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Zantrel";
    machine.registry().createKey(HKEY_USERS, hive + u"\\Enterprise Console");
    machine.registry().createKey(HKEY_USERS, hive + u"\\Other");
    PlannedChanges changes;
    PlanningOsApi plan(machine, changes);
    const auto opens = [&](HKEY root, const std::u16string& path) {
        HKEY key = nullptr;
        const LONG opened = plan.regOpenKeyEx(root, path.c_str(), 0, KEY_READ, &key);
        if (opened == ERROR_SUCCESS)
            plan.regCloseKey(key);
        return opened == ERROR_SUCCESS;
    };
    EXPECT_EQ(plan.regDeleteKey(HKEY_CURRENT_USER, u"software\\zantrel\\enterprise console"), ERROR_SUCCESS);
    EXPECT_FALSE(opens(HKEY_USERS, hive + u"\\Enterprise Console"));
    HKEY parent = nullptr;
    ASSERT_EQ(plan.regOpenKeyEx(HKEY_USERS, hive.c_str(), 0, KEY_READ, &parent), ERROR_SUCCESS);
    char16_t name[32];
    DWORD length = 32;
    EXPECT_EQ(plan.regEnumKeyEx(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"Other");
    length = 32;
    EXPECT_EQ(plan.regEnumKeyEx(parent, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    plan.regCloseKey(parent);
    EXPECT_EQ(plan.regDeleteKey(HKEY_USERS, (hive + u"\\Other").c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(opens(HKEY_CURRENT_USER, u"Software\\Zantrel\\Other"));
    EXPECT_TRUE(opens(HKEY_CURRENT_USER, u"Software\\Zantrel")) << "the machine's own key stays";
}

// A key that must be taken over before it goes, and a symbolic link below it, are planned as the
// run deletes them, through their handles: the plan's later reads find them gone, the machine
// keeps them.
TEST(PlanningLayerTest, KeysTakenOverAndLinksArePlannedThroughTheirHandles)
{
    SimMachine machine;
    ScopedOsApi installed(machine);
    const std::u16string console = u"Software\\Zantrel\\Console";
    machine.registry().createLink(HKEY_CURRENT_USER, console + u"\\Link", u"\\Registry\\Machine\\SYSTEM\\Select");
    machine.registry().denyCurrentUser(HKEY_CURRENT_USER, console, true, DELETE);
    LogQueue queue;
    Remove::MessageLog log(&queue);
    {
        PlannedChanges changes;
        PlanningOsApi plan(machine, changes);
        const ScopedOsApi planning(plan, ScopedOsApi::OverTheSameMachine{});
        EXPECT_TRUE(DeleteRegistryKey(HKEY_CURRENT_USER, u"Software\\Zantrel", &log));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, console, KEY_READ));
    }
    EXPECT_EQ(TakeLogText(queue).value_or(u""), u"Deleting registry key \"HKCU\\Software\\Zantrel\"...done\r\n");
    EXPECT_TRUE(machine.registry().keyExists(HKEY_CURRENT_USER, console + u"\\Link"));
    EXPECT_EQ(machine.callCount(SimCall::NtDeleteKey) + machine.callCount(SimCall::RegSetKeySecurity), 0u);
}

// A plan of "/silent /all" on the complete suite changes nothing on the machine: every key,
// value, file and service is as it was, but for the plan's own log.
TEST(PlanTest, APlanChangesNothing)
{
    SimMachine machine;
    ScopedOsApi installed(machine);
    LaySimSuite(machine);
    const std::vector<std::string> before = MachineSnapshot(machine);

    const SimSuiteRun plan = RunSilentAll({}, true);

    EXPECT_FALSE(plan.escaped);
    EXPECT_EQ(plan.exitStatus, 0u);
    EXPECT_EQ(SnapshotChanges(before, MachineSnapshot(machine, {u"C:\\qtv-logs"})), "") << "only the plan's own log is written";
}

// Where the uninstallers change nothing, the plan lists exactly what the real run then deletes,
// object for object and in order, and its log is the real run's with "[plan] " before each line
// of a change.
TEST(PlanTest, ThePlanIsWhatTheRunDeletes)
{
    SimMachine planned;
    SimSuiteRun plan;
    {
        ScopedOsApi installed(planned);
        LaySimSuite(planned, true);
        plan = RunSilentAll({}, true);
    }
    SimMachine real;
    ScopedOsApi installed(real);
    LaySimSuite(real, true);
    const SimSuiteRun run = RunSilentAll();

    // The uninstallers' answer files are named by the system when made: the plan's are its own.
    const std::regex answers(R"(-f1"C:\\Temp\\zan[0-9A-F]+\.tmp")");
    // Nor does a plan wait for a service to stop: its line has no waiting dots.
    const std::regex waiting(R"(\.\.\.+stopped)");
    const auto same = [&](const std::u16string& text) {
        return std::regex_replace(std::regex_replace(ToUtf8(text), answers, "-f1\"...\""), waiting, "...stopped");
    };
    EXPECT_EQ(same(plan.listing), same(run.listing));
    EXPECT_NE(plan.listing.find(u"folder\tC:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client\r\n"), std::u16string::npos);
    EXPECT_NE(same(plan.log).find("\r\n[plan] Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\\DLP\"...done\r\n"), std::string::npos);
    EXPECT_EQ(std::regex_replace(same(plan.log), std::regex(R"(\[plan\] )"), ""), same(run.log));
}

} // namespace
