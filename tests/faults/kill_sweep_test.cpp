// The kill sweep: a complete installation of the suite with sentinels beside it, removed by
// "/silent /all /backup" whose process ends at one seam call, once for each call a clean run
// makes: that call and every later one change nothing. A second "/silent /all /backup" into
// another folder must finish the removal, and the stopped run's backup, as it was when the run
// stopped, must import and give back every key and value the stopped run had deleted by then.
//
// The native test suite stops an evenly spaced sample of the calls; QTV_FAULT_SWEEP=full stops
// at every call, and QTV_FAULT_SWEEP=stop#1234 at that call alone, printing both runs' logs:
//     QTV_FAULT_SWEEP=full build/bench/tests/fault_tests --gtest_filter='KillSweep*'

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "support/sim_suite.h"
#include "support/sql_server_standin.h"

namespace {

const std::u16string kStoppedBackup = u"C:\\qtv-backup";
const std::u16string kNextBackup = u"C:\\qtv-backup-next";

TEST(KillSweep, ARunEndedAtAnyCallIsFinishedByTheNextAndItsBackupGivesBackWhatWent)
{
    SqlServerStandIn server;
    unsigned calls = 0;
    {
        SimMachine machine;
        ScopedOsApi installed(machine);
        LaySimSuite(machine, false, &server);
        const SimSuiteRun clean = RunSilentAll(kStoppedBackup);
        ASSERT_EQ(clean.exitStatus, 0u) << ToUtf8(clean.log);
        calls = machine.callCount();
    }
    const char* mode = std::getenv("QTV_FAULT_SWEEP");
    const std::string chosen = mode == nullptr ? "" : mode;
    std::vector<unsigned> stops;
    if (chosen == "full") {
        for (unsigned n = 1; n <= calls; ++n)
            stops.push_back(n);
    } else if (chosen.rfind("stop#", 0) == 0) {
        stops.push_back(static_cast<unsigned>(std::stoul(chosen.substr(5))));
    } else {
        // Every one of the first calls, where the log and the backup are made, then an even spread.
        constexpr unsigned kFirst = 50;
        constexpr unsigned kSpread = 50;
        for (unsigned n = 1; n <= kFirst; ++n)
            stops.push_back(n);
        for (unsigned i = 1; i <= kSpread; ++i)
            stops.push_back(kFirst + static_cast<unsigned>(std::uint64_t{i} * (calls - kFirst) / kSpread));
    }

    unsigned finished = 0;
    unsigned leftSomething = 0;
    unsigned notBackedUp = 0;
    unsigned notImported = 0;
    for (const unsigned stop : stops) {
        SimMachine machine;
        ScopedOsApi installed(machine);
        SimUninstallerTakes taken;
        LaySimSuite(machine, false, &server, &taken);
        const RegistryContents before = SimRegistryContents(machine.registry());
        machine.stopAtCall(stop);
        const SimSuiteRun stopped = RunSilentAll(kStoppedBackup);
        machine.endProcess();
        TakeGoneServices(machine, taken);
        const RegistryContents afterStop = SimRegistryContents(machine.registry());

        const SimSuiteRun next = RunSilentAll(kNextBackup);
        if (next.exitStatus == 3010)
            machine.restart();
        const std::string left = Describe(SimSuiteLeft(machine, &server));
        const std::string lost = Describe(SimSentinelsLost(machine, &server));
        const bool done = !next.escaped && (next.exitStatus == 0 || next.exitStatus == 3010) && left.empty() && lost.empty();

        // The stopped run's backup, as it stopped, on the machine the next run cleaned.
        const bool imports = ImportSimBackup(machine, kStoppedBackup);
        // What the stopped run deleted (there before it, gone after the stop, not taken by an
        // uninstaller) is back with its type and data.
        const auto went = [&](const std::string& key, const RegistryValue* value) {
            const auto kept = afterStop.find(key);
            const bool gone = kept == afterStop.end() || (value && std::none_of(kept->second.begin(), kept->second.end(),
                                                                                 [value](const RegistryValue& v) { return v.name == value->name; }));
            return gone && !WasTaken(taken, key, value ? value->name : u"");
        };
        const std::string gaps = NotGivenBack(before, SimRegistryContents(machine.registry()), went);

        finished += done;
        leftSomething += !left.empty();
        notBackedUp += !gaps.empty();
        notImported += !imports;
        EXPECT_TRUE(done && imports && gaps.empty())
            << "stopped at call " << stop << " of " << calls << "; the next run exits " << next.exitStatus
            << (next.escaped ? ", an exception left it" : "") << "\n  left by the next run:\n" << left
            << "  sentinels lost:\n" << lost << (imports ? "" : "  the stopped run's backup does not import\n")
            << "  deleted and not in the backup:\n" << gaps;
        if (stops.size() == 1)
            std::cout << "The stopped run's log:\n" << ToUtf8(stopped.log) << "\nThe next run's log:\n" << ToUtf8(next.log);
    }
    std::cout << "Kill sweep: " << calls << " calls; " << stops.size() << " runs stopped; finished by the next run: "
              << finished << "; left something the next run does not remove: " << leftSomething
              << "; deleted and not in the backup: " << notBackedUp << "; backups that do not import: " << notImported
              << ".\n";
}

} // namespace
