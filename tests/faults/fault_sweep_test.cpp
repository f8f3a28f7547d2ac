// The fault sweep: a complete installation of the suite with sentinels beside it, its databases
// on the SQL Server stand-in, removed by "/silent /all" once for every seam call the run makes,
// that call failing with the error it most often meets on a real machine. Every run must survive,
// say so in its log, leave every sentinel, exit 1603 when a detection could not look everywhere,
// leave nothing once Windows has restarted when it exited 3010, and be finished by a second run
// that exits 0 (or 3010, and leaves nothing after the restart).
//
// The native test suite sweeps an evenly spaced sample of each kind of call; QTV_FAULT_SWEEP=full
// sweeps every call, and QTV_FAULT_SWEEP=RegOpenKeyExW#12 fails that call alone and prints the
// run's log:
//     QTV_FAULT_SWEEP=full build/linux/tests/fault_tests --gtest_filter='FaultSweep*'

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/deletion_record.h"
#include "platform/os_api.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/text.h"
#include "support/sim_suite.h"
#include "support/sql_server_standin.h"

namespace {

// The calls a removal can meet failing, each with the error a real machine gives it most often,
// as the seam's table names it. Closing a handle, reading the clock, sleeping and the like are
// counted but never failed: they fail only on a handle the program never had.
using Fault = SeamOperation;

std::vector<const Fault*> Faults()
{
    std::vector<const Fault*> faults;
    for (const Fault& operation : SeamOperations())
        if (operation.fault != 0)
            faults.push_back(&operation);
    return faults;
}

// The Win32 code the log shows: an Nt call's NTSTATUS as the system turns it into one.
DWORD Shown(const Fault& fault)
{
    return fault.answersStatus ? Os().rtlNtStatusToDosError(static_cast<NTSTATUS>(fault.fault)) : fault.fault;
}

// One call of one kind, failed.
struct Injection {
    const Fault* fault;
    unsigned nth;
};

std::string Name(const Injection& injection)
{
    return std::string(injection.fault->name) + " #" + std::to_string(injection.nth) + " failing with " +
           std::to_string(injection.fault->fault);
}

// The error's own text, as the log quotes it.
std::u16string MessageOf(DWORD error)
{
    std::u16string text = SimSystemMessage(error);
    return text.substr(0, text.find(u"\r\n"));
}

// An evenly spaced sample of each kind's calls, in proportion to the kind's share of the run and
// at least its first, middle and last call, so that rare calls (a service deleted, a program
// started) are failed too.
std::vector<Injection> Sample(const std::vector<Injection>& calls, std::size_t share)
{
    const std::size_t kShare = share;
    std::map<const Fault*, unsigned> counts;
    for (const Injection& injection : calls)
        counts[injection.fault] = std::max(counts[injection.fault], injection.nth);
    std::vector<Injection> sample;
    for (const Fault* fault : Faults()) {
        const unsigned count = counts[fault];
        if (count == 0)
            continue;
        const std::size_t wanted =
            std::min<std::size_t>(count, std::max<std::size_t>(3, kShare * count / calls.size()));
        for (std::size_t i = 0; i < wanted; ++i) {
            const unsigned nth = wanted == 1 ? 1 : static_cast<unsigned>(1 + i * (count - 1) / (wanted - 1));
            if (sample.empty() || sample.back().fault != fault || sample.back().nth != nth)
                sample.push_back({fault, nth});
        }
    }
    return sample;
}

// Where nobody sees the desktop, as a deployment engine runs the program, the WebUI Service's
// uninstaller does its work, then waits in a box for 90 s: the run ends it after a minute. So the
// calls that look at an uninstaller's windows and end its job are swept too.
void LaySuiteWithABox(SimMachine& machine, SqlServerStandIn& server)
{
    LaySimSuite(machine, false, &server);
    machine.setWindowStationVisible(false);
    MakeSimUninstallerWait(machine, u"{QTV-WEBUI}", u"Velmora Zantrel WebUI Service - InstallShield Wizard", 90000);
}

// Imports the backups as regedit would, in the order the runs made them, each file into its view;
// describes what they did not put back.
std::string NotBackedUp(SimMachine& machine, const std::vector<std::u16string>& folders, const RegistryContents& before,
                        const std::vector<DeletedObject>& deleted)
{
    // A file regedit refuses whole imports nothing: what is missing then shows below.
    for (const std::u16string& folder : folders)
        ImportSimBackup(machine, folder);
    return RestoreGaps(SimSuiteItems(SimSuiteFolders(), true), before, SimRegistryContents(machine.registry()), deleted);
}

// Sweeps the calls of a "/silent /all" run, with "/backup" when `backup` names its folder.
void Sweep(const std::u16string& backup)
{
    SqlServerStandIn server;
    // The clean run: what a run calls, and what it writes.
    std::vector<Injection> calls;
    std::u16string cleanLog;
    unsigned seamCalls = 0;
    {
        SimMachine machine;
        ScopedOsApi installed(machine);
        LaySuiteWithABox(machine, server);
        const RegistryContents before = SimRegistryContents(machine.registry());
        const SimSuiteRun clean = RunSilentAll(backup);
        cleanLog = clean.log;
        ASSERT_FALSE(clean.escaped);
        ASSERT_EQ(clean.componentsThrew, 0u);
        ASSERT_EQ(clean.exitStatus, 0u);
        ASSERT_EQ(Describe(SimSuiteLeft(machine, &server)), "") << "a clean run removes the whole suite";
        ASSERT_EQ(Describe(SimSentinelsLost(machine, &server)), "");
        ASSERT_EQ(AuditGaps(SimSuiteItems(SimSuiteFolders(), true), clean.deleted), "");
        if (!backup.empty()) {
            ASSERT_EQ(NotBackedUp(machine, {backup}, before, clean.deleted), "");
        }
        seamCalls = machine.callCount();
        for (const Fault* fault : Faults())
            for (unsigned nth = 1; nth <= machine.callCount(fault->call); ++nth)
                calls.push_back({fault, nth});
    }

    const char* mode = std::getenv("QTV_FAULT_SWEEP");
    const bool full = mode != nullptr && std::string(mode) == "full";
    // With a backup, the sample keeps to the calls that read, save or delete the registry.
    if (!backup.empty())
        calls.erase(std::remove_if(calls.begin(), calls.end(), [](const Injection& injection) {
                        const std::string name = injection.fault->name;
                        return name.rfind("Reg", 0) != 0 && name != "NtDeleteKey" && name != "CreateFileW" &&
                               name != "WriteFile" && name != "FlushFileBuffers";
                    }), calls.end());
    // "RegOpenKeyExW#12": that one call alone, with the failed run's log.
    const bool one = mode != nullptr && !full && *mode != '\0';
    std::vector<Injection> swept;
    for (const Injection& injection : full || one ? calls : Sample(calls, backup.empty() ? 150 : 40))
        if (!one || std::string(injection.fault->name) + "#" + std::to_string(injection.nth) == mode)
            swept.push_back(injection);

    unsigned survived = 0;
    unsigned namedTheError = 0;
    unsigned leftSomething = 0;
    unsigned withoutEffect = 0; // the run wrote and left what a clean run does
    unsigned orphaned = 0;     // left something a second run did not find
    unsigned leftWithZero = 0; // left something, yet said the machine was clean
    unsigned restarted = 0;    // finished by the restart the run asked for
    for (const Injection& injection : swept) {
        SimMachine machine;
        ScopedOsApi installed(machine);
        LaySuiteWithABox(machine, server);
        const RegistryContents before = backup.empty() ? RegistryContents{} : SimRegistryContents(machine.registry());
        machine.failCall(injection.fault->call, injection.fault->fault, injection.nth);
        const SimSuiteRun failed = RunSilentAll(backup);
        if (one)
            std::cout << ToUtf8(failed.log);
        // A run that asked for a restart is judged once Windows has restarted: nothing of the
        // suite may be left then, nor anything the run said would go.
        std::string stillThere;
        if (failed.exitStatus == 3010) {
            machine.restart();
            ++restarted;
            for (const std::u16string& path : failed.awaitingRestart)
                if (machine.files().exists(path))
                    stillThere += "  still there after the restart: " + ToUtf8(path) + "\n";
        }
        const std::string lost = Describe(SimSentinelsLost(machine, &server));
        const std::vector<SuiteItem> leftItems = SimSuiteLeft(machine, &server);
        const std::string leftByFailed = Describe(leftItems);
        const bool logged = failed.log != cleanLog;
        if (failed.log.find(MessageOf(Shown(*injection.fault))) != std::u16string::npos)
            ++namedTheError;
        // A failure that changed nothing (a silent probe of an entry that is not the suite's, a
        // retried wait) may leave the log as it was; one that left something must say so.
        SimSuiteRun again;
        std::string left;
        std::vector<DeletedObject> deleted = failed.deleted;
        std::string lostAfter;
        if (!leftByFailed.empty()) {
            ++leftSomething;
            if (failed.exitStatus == 0)
                ++leftWithZero;
            again = RunSilentAll(backup.empty() ? backup : backup + u"-again");
            deleted.insert(deleted.end(), again.deleted.begin(), again.deleted.end());
            if (again.exitStatus == 3010)
                machine.restart();
            left = Describe(SimSuiteLeft(machine, &server));
            orphaned += !left.empty();
            lostAfter = Describe(SimSentinelsLost(machine, &server));
        } else if (!logged) {
            ++withoutEffect;
        }
        if (one)
            std::cout << "left after the second run:\n" << left;
        // Whatever failed, nothing of the registry went that the backups do not give back.
        const std::string notBackedUp =
            backup.empty() ? "" : NotBackedUp(machine, {backup, backup + u"-again"}, before, deleted);
        // The exceptions a removal lets out by design: the temporary file for an uninstaller's
        // answers cannot be made, or an uninstaller cannot be ended. The driver takes them, and
        // that component's removal ends there.
        const SimCall call = injection.fault->call;
        const bool mayThrow = call == SimCall::GetTempPath || call == SimCall::CreateDirectory ||
                              call == SimCall::GetTempFileName || call == SimCall::TerminateJobObject;
        // What may not happen, each with what the failure says of it.
        const std::pair<bool, std::string> wrongs[] = {
            {failed.escaped, "an exception left the driver"},
            {failed.componentsThrew != 0 && !mayThrow, "an exception left a component's removal"},
            {!logged && !leftByFailed.empty(), "the log is the clean run's"},
            {!leftItems.empty() && failed.exitStatus == 0, "exit status 0, though something is left"},
            {failed.exitStatus == 3010 && (!leftItems.empty() || !stillThere.empty()),
             "exit status 3010, though something is left after the restart:\n" + stillThere},
            {failed.detectionIncomplete && failed.exitStatus != 1603,
             "a detection was incomplete, yet exit status " + std::to_string(failed.exitStatus)},
            {again.escaped, "an exception left the second run"},
            {again.exitStatus != 0 && again.exitStatus != 3010, "the second run's exit status is " + std::to_string(again.exitStatus)},
            {!lost.empty() || !lostAfter.empty(), "sentinels lost:\n" + lost + lostAfter},
            {!left.empty(), "left after the second run:\n" + left},
            {!notBackedUp.empty(), notBackedUp},
        };
        std::string said;
        for (const auto& [wrong, text] : wrongs)
            if (wrong)
                said += "\n  " + text;
        EXPECT_EQ(said, "") << Name(injection) << "\n  left by the failed run:\n" << leftByFailed;
        survived += said.empty();
    }

    std::cout << "Fault sweep" << (backup.empty() ? "" : " with /backup") << ": " << seamCalls << " seam calls in a clean \"/silent /all\" run, " << calls.size()
              << " of kinds that can fail; " << (full ? "every one, " : "a sample of ") << swept.size()
              << " failed one at a time; " << survived << " runs survived; " << leftSomething
              << " left something, which a second run removed in " << (leftSomething - orphaned) << "; " << restarted
              << " asked for a restart, which finished them; " << withoutEffect
              << " changed nothing; " << namedTheError << " logs quote the error's text; left something with exit status 0: "
              << leftWithZero << "; left something no later run finds: " << orphaned << ".\n";
}

TEST(FaultSweep, EveryFailedCallIsSurvivedLoggedAndMadeGoodByASecondRun)
{
    Sweep({});
}

// With "/backup", a failing read or write of the backup stops the deletion it guards.
TEST(FaultSweep, WithABackupNothingGoesThatTheBackupDoesNotGiveBack)
{
    Sweep(u"C:\\qtv-backup");
}

} // namespace
