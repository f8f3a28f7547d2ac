// The registry reads of one run: a pass's lookups read each entry once, forget what the program deletes,
// read again after any other change it makes, and log and answer exactly what they would without it.

#include <gtest/gtest.h>

#include <optional>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/run_record.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "products/products.h"
#include "support/large_machine.h"
#include "support/recipe_test.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/root_cleanup.h"
#include "toolkit/run_registry_reads.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

unsigned RegistryCalls(const SimMachine& machine)
{
    unsigned calls = 0;
    for (const SimCall call : {SimCall::RegOpenKeyEx, SimCall::RegQueryValueEx, SimCall::RegQueryInfoKey,
                               SimCall::RegEnumKeyEx, SimCall::RegEnumValue, SimCall::RegCloseKey})
        calls += machine.callCount(call);
    return calls;
}

// What a whole "/silent /all" run on the large machine left: its transcript, its exit status,
// what is left of the registrations, and how many registry reads it took.
struct WholeRun {
    std::u16string transcript;
    DWORD exitStatus = 0;
    std::vector<std::u16string> uninstallEntries;
    std::size_t products = 0;
    std::size_t userData = 0;
    unsigned registryReads = 0;
};

// Smaller than the benchmark's machine, so that the run without the index stays quick under the
// sanitizers; large enough that every lookup walks hundreds of foreign entries.
const LargeMachineSize kSize{300, 300};

WholeRun RunAll(bool indexed)
{
    SimMachine machine;
    LayLargeMachine(machine, kSize);
    ScopedOsApi installed(machine);
    LogQueue queue;
    Remove::MessageLog log(&queue);
    const Products products = MakeProducts(&log);
    WholeRun run;
    {
        std::optional<RunRegistryReadsScope> index;
        if (indexed)
            index.emplace();
        run.exitStatus = SilentExitStatus(RunSilent(
            u"/silent /all", products.set, SilentRunContext{&log, u"QTVRemove", RemoveRootTraces, TakeRestartRequest}));
    }
    run.transcript = TakeLogText(queue).value_or(u"");
    run.uninstallEntries = machine.registry().subkeys(HKEY_LOCAL_MACHINE, kUninstallList);
    run.products = machine.registry().subkeys(HKEY_LOCAL_MACHINE, kInstallerProductsKey).size();
    run.userData = machine.registry().subkeys(HKEY_LOCAL_MACHINE, kInstallerUserDataKey,
                                              SimRegistry::View::Native64).size();
    run.registryReads = RegistryCalls(machine);
    return run;
}

TEST(RunRegistryReadsRunTest, AWholeRemovalOnALargeMachineIsTheSameWithAndWithoutTheIndex)
{
    const WholeRun plain = RunAll(false);
    const WholeRun indexed = RunAll(true);

    EXPECT_EQ(indexed.transcript, plain.transcript);
    EXPECT_EQ(indexed.exitStatus, plain.exitStatus);
    EXPECT_EQ(indexed.uninstallEntries, plain.uninstallEntries);
    EXPECT_EQ(indexed.products, plain.products);
    EXPECT_EQ(indexed.userData, plain.userData);

    // The run did remove the suite and nothing else: the entry named like it stays.
    EXPECT_EQ(plain.exitStatus, 0u);
    std::vector<std::u16string> suiteLeft;
    for (const std::u16string& key : plain.uninstallEntries)
        if (key.find(u"FOREIGN") == std::u16string::npos)
            suiteLeft.push_back(key);
    EXPECT_EQ(suiteLeft, std::vector<std::u16string>{u"{QTV-SENTINEL}"});
    EXPECT_EQ(plain.uninstallEntries.size() - suiteLeft.size(), 300u);
    EXPECT_EQ(plain.products, 300u);
    EXPECT_EQ(plain.userData, 300u);
    EXPECT_TRUE(HasLines(plain.transcript, u"Found product \"YLM Relay\".  Attempting to remove all traces of it from registry...\r\n"));
    EXPECT_NE(plain.transcript.find(u"Running uninstaller for \"\u00BBVelmora Zantrel Relay\u00AB\" with command \"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-RELAY} child"),
              std::u16string::npos);
    EXPECT_LT(indexed.registryReads * 5, plain.registryReads) << "the index serves the lookups";
}

class RunRegistryReadsTest : public RecipeTest {
protected:
    void SetUp() override
    {
        addUninstallEntry(u"{A}", u"Other Tool");
        addUninstallEntry(u"{RELAY}", u"Velmora Zantrel Relay", {}, u"C:\\setup.exe /remove");
        machine.processes().addProgram(u"C:\\setup.exe", [](SimProgramContext& context) {
            context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kUninstallList + u"\\{RELAY}").c_str());
        });
    }

    // Registry reads made by `step`.
    template <class Step>
    unsigned readsOf(Step step)
    {
        const unsigned before = RegistryCalls(machine);
        step();
        return RegistryCalls(machine) - before;
    }

    bool relayListed() { return IsInUninstallList(u"Velmora Zantrel Relay", &log); }
};

TEST_F(RunRegistryReadsTest, ReadsOnceAndAfreshAfterEveryChangeTheProgramMakes)
{
    const RunRegistryReadsScope index;

    EXPECT_GT(readsOf([&] { EXPECT_TRUE(relayListed()); }), 0u);
    EXPECT_EQ(readsOf([&] { EXPECT_TRUE(relayListed()); }), 0u) << "the names and DisplayNames come from memory";
    EXPECT_EQ(readsOf([&] { EXPECT_EQ(FindUninstallString(u"Velmora Zantrel Relay", &log), u"C:\\setup.exe /remove"); }), 4u)
        << "one open, two queries, one close for the value not read with the names";
    EXPECT_EQ(readsOf([&] { EXPECT_TRUE(FindUninstallString(u"Velmora Zantrel Relay", &log)); }), 0u);

    // A change nobody in the program made is not seen while the index holds...
    registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{A}", u"DisplayName", u"Velmora Zantrel Relay");
    EXPECT_EQ(text().find(u"{A}"), std::u16string::npos);
    relayListed();
    EXPECT_EQ(text().find(u"...found key \"{A}\""), std::u16string::npos);
    // ...a key the program deletes goes from it alone, named in any case: nothing is read again...
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Scratch");
    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Scratch", &log));
    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{relay}", &log));
    EXPECT_EQ(readsOf([&] { EXPECT_FALSE(relayListed()); }), 0u);
    EXPECT_EQ(text().find(u"...found key \"{A}\""), std::u16string::npos);
    // ...and an uninstaller, which may change anything, drops all of it.
    EXPECT_TRUE(RunUninstaller(u"C:\\setup.exe /remove", u"Velmora Zantrel Relay", &log));
    EXPECT_TRUE(relayListed()) << "{A} is seen at last";
}

TEST_F(RunRegistryReadsTest, UpgradeCodesAreFoundByTheNamesOfTheirValuesListedOnceASecondNameIsAsked)
{
    const std::u16string codes = kInstallerUpgradeCodesKey;
    registry().setString(HKEY_LOCAL_MACHINE, codes + u"\\U1", u"CODEA", u"");
    registry().setString(HKEY_LOCAL_MACHINE, codes + u"\\U2", u"codea", u"");
    registry().setDword(HKEY_LOCAL_MACHINE, codes + u"\\U3", u"CODEA", 1);
    registry().setString(HKEY_LOCAL_MACHINE, codes + u"\\U4", u"CODEB", u"");
    registry().setString(HKEY_LOCAL_MACHINE, codes + u"\\U5", u"CODEA", u"");
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, codes + u"\\U5", false);
    const auto holding = [&](const char16_t* code) {
        const RunRecordScope errors;
        std::vector<std::u16string> found = FindSubkeysHoldingSz(HKEY_LOCAL_MACHINE, codes, code);
        EXPECT_TRUE(errors.firstProbeError()) << "the child that cannot be read is noted each time";
        return found;
    };
    const std::vector<std::u16string> both{u"U1", u"U2"};
    EXPECT_EQ(holding(u"CODEA"), both);

    const RunRegistryReadsScope index;
    EXPECT_EQ(holding(u"CODEA"), both);
    EXPECT_EQ(holding(u"CODEB"), std::vector<std::u16string>{u"U4"}) << "a second name lists the values";
    EXPECT_EQ(readsOf([&] { EXPECT_EQ(holding(u"CODEC"), std::vector<std::u16string>{}); }), 1u)
        << "U5 tried, nothing listed again";
    DeleteRegistryValue(HKEY_LOCAL_MACHINE, codes + u"\\U2", u"CodeA");
    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, codes + u"\\u1", &log));
    EXPECT_EQ(readsOf([&] { EXPECT_EQ(holding(u"CODEA"), std::vector<std::u16string>{}); }), 1u);
}

TEST_F(RunRegistryReadsTest, WithoutAScopeEveryLookupReadsTheRegistry)
{
    EXPECT_GT(readsOf([&] { relayListed(); }), 0u);
    EXPECT_GT(readsOf([&] { relayListed(); }), 0u);
}

} // namespace
