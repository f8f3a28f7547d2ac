// The processes area of the simulated machine where it goes beyond what the real system can be
// made to do on demand: failures injected into each step of a start, endless waits, resolution
// of command lines to programs, and the calls it does not model.

#include "platform/process.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/only_copy.h"
#include "platform/security_descriptor.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_processes.h"
#include "support/machine_test.h"
#include "toolkit/uninstaller.h"

namespace {

constexpr DWORD kNoSystemResources = 1450;
const std::u16string kUninstaller = u"C:\\Program Files\\Vendor App\\setup.exe";

class ProcessSimTest : public MachineTest {
protected:
    void SetUp() override
    {
        machine.processes().addProgram(kUninstaller, [this](SimProgramContext&) { ++behaviourRuns; });
        machine.processes().addProgram(kMsiExec, [](SimProgramContext& context) { context.liveUntilTerminated(); });
    }

    int behaviourRuns = 0;
};

class StartStepFailureTest : public ProcessSimTest, public ::testing::WithParamInterface<SimCall> {
};

TEST_P(StartStepFailureTest, LeavesNoProcessRunningAndNoHandleOpen)
{
    machine.failCall(GetParam(), kNoSystemResources);
    std::u16string commandLine = u"\"" + kUninstaller + u"\" /s";
    try {
        StartProcessInJob(nullptr, &commandLine[0]);
        FAIL() << "no exception";
    } catch (const Windows::Error& error) {
        EXPECT_EQ(error.code(), kNoSystemResources);
    }
    EXPECT_EQ(behaviourRuns, 0);
    EXPECT_EQ(machine.processes().aliveCount(), 0u);
    EXPECT_EQ(machine.openHandles(), 0u);
    const bool created = GetParam() != SimCall::CreateJobObject && GetParam() != SimCall::CreateProcess;
    EXPECT_EQ(machine.processes().runs().size(), created ? 1u : 0u);
    EXPECT_EQ(machine.callCount(SimCall::TerminateProcess), created ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(EachStep, StartStepFailureTest,
                         ::testing::Values(SimCall::CreateJobObject, SimCall::CreateProcess,
                                           SimCall::CreateIoCompletionPort,
                                           SimCall::SetInformationJobObject,
                                           SimCall::AssignProcessToJobObject,
                                           SimCall::ResumeThread));

TEST_F(ProcessSimTest, ThrowingCreationCallbackTerminatesTheSuspendedProcess)
{
    std::u16string commandLine = u"\"" + kUninstaller + u"\"";
    EXPECT_THROW(StartProcessInJob(nullptr, &commandLine[0], [] { throw Windows::Error(ERROR_ACCESS_DENIED); }),
                 Windows::Error);
    EXPECT_EQ(behaviourRuns, 0);
    EXPECT_EQ(machine.processes().aliveCount(), 0u);
    EXPECT_EQ(machine.openHandles(), 0u);
}

TEST_F(ProcessSimTest, EndlessWaitThatCanNeverEndStopsTheTestInsteadOfAnswering)
{
    std::u16string commandLine = u"msiexec /x {0000} /qn";
    const JobProcess started = StartProcessInJob(nullptr, &commandLine[0]);
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    ASSERT_EQ(machine.waitForSingleObject(started.port.get(), INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(machine.getQueuedCompletionStatus(started.port.get(), &bytes, &key, &overlapped, INFINITE));
    EXPECT_EQ(bytes, JOB_OBJECT_MSG_NEW_PROCESS);

    // On Windows these waits never return while the program lives.
    EXPECT_DEATH(machine.waitForSingleObject(started.port.get(), INFINITE),
                 "endless wait on a completion port that no pending process end can signal");
    EXPECT_DEATH(machine.waitForSingleObject(started.process.process.get(), INFINITE),
                 "endless wait on a process");

    // A bounded wait is answered on the simulated clock.
    const ULONGLONG before = machine.now();
    EXPECT_EQ(machine.waitForSingleObject(started.process.process.get(), 5000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(machine.now(), before + 5000);

    ASSERT_TRUE(machine.terminateProcess(started.process.process.get(), 1));
    ASSERT_TRUE(machine.getQueuedCompletionStatus(started.port.get(), &bytes, &key, &overlapped, INFINITE));
    EXPECT_EQ(bytes, JOB_OBJECT_MSG_EXIT_PROCESS);
    ASSERT_TRUE(machine.getQueuedCompletionStatus(started.port.get(), &bytes, &key, &overlapped, INFINITE));
    EXPECT_EQ(bytes, JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO);
    EXPECT_FALSE(machine.terminateProcess(started.process.process.get(), 1));
    EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Simulated only: a test cannot put its own process into a job from outside; the Wine scenarios
// start the whole program inside one. Measured under Wine with the program started inside a job
// without JOB_OBJECT_LIMIT_BREAKAWAY_OK: asking to break away is refused with ERROR_ACCESS_DENIED,
// and a process started without asking can still be given a job of its own inside it.
TEST_F(ProcessSimTest, InsideAJobThatForbidsBreakawayTheUninstallerRunsInANestedJob)
{
    const std::u16string helper = u"C:\\Program Files\\Vendor App\\cleanup.exe";
    machine.processes().addProgram(helper, [](SimProgramContext& context) { context.liveFor(2000); });
    machine.processes().addProgram(kUninstaller, [&](SimProgramContext& context) {
        ++behaviourRuns;
        context.startProcess(u"\"" + helper + u"\"");
        context.exitWith(3010);
    });
    machine.processes().runProgramInJob();
    LogQueue queue;
    Remove::MessageLog log(&queue);
    const std::u16string command = u"\"" + kUninstaller + u"\" /s";
    const ULONGLONG before = machine.now();

    EXPECT_TRUE(RunUninstaller(command, u"Agent", &log));

    EXPECT_EQ(TakeLogText(queue).value_or(u""),
              u"Running uninstaller for \"Agent\" with command " + command + u"\r\n"
              u"...waiting for the uninstaller to finish...finished\r\n");
    EXPECT_EQ(behaviourRuns, 1);
    EXPECT_EQ(machine.now(), before + 2000) << "the helper it started was waited for";
    EXPECT_TRUE(TakeRestartRequest());
    EXPECT_FALSE(TakeRestartRequest());
    EXPECT_EQ(machine.callCount(SimCall::CreateProcess), 2u) << "refused, then started without breaking away";
    EXPECT_EQ(machine.openHandles(), 0u);
}

struct Resolution {
    const char16_t* commandLine;
    const char16_t* program; // null: not found
};

class CommandLineResolutionTest : public ProcessSimTest, public ::testing::WithParamInterface<Resolution> {
};

TEST_P(CommandLineResolutionTest, FindsTheProgramAsCreateProcessDoes)
{
    std::u16string commandLine = GetParam().commandLine;
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION information{};
    const BOOL created = machine.createProcess(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                                               CREATE_SUSPENDED, nullptr, nullptr, &startupInfo, &information);
    if (GetParam().program == nullptr) {
        EXPECT_FALSE(created);
        EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_TRUE(machine.processes().runs().empty());
        return;
    }
    ASSERT_TRUE(created);
    UniqueKernelHandle process(information.hProcess);
    UniqueKernelHandle thread(information.hThread);
    ASSERT_EQ(machine.processes().runs().size(), 1u);
    EXPECT_EQ(machine.processes().runs()[0].program, GetParam().program);
    EXPECT_EQ(machine.processes().runs()[0].commandLine, GetParam().commandLine);
    EXPECT_EQ(machine.processes().suspendedCount(), 1u);
    machine.terminateProcess(process.get(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineResolutionTest,
    ::testing::Values(
        Resolution{u"\"C:\\Program Files\\Vendor App\\setup.exe\" -s -f1\"C:\\t.iss\"", u"C:\\Program Files\\Vendor App\\setup.exe"},
        Resolution{u"\"c:\\program files\\vendor app\\SETUP\"", u"C:\\Program Files\\Vendor App\\setup.exe"},
        Resolution{u"C:\\Program Files\\Vendor App\\setup -s", u"C:\\Program Files\\Vendor App\\setup.exe"},
        Resolution{u"MsiExec.exe /X{12345678-1234-1234-1234-123456789012} /qn", u"C:\\Windows\\System32\\MsiExec.exe"},
        Resolution{u"msiexec /x {0000}", u"C:\\Windows\\System32\\MsiExec.exe"},
        Resolution{u"C:\\WINDOWS\\system32\\msiexec.exe /x", u"C:\\Windows\\System32\\MsiExec.exe"},
        Resolution{u"\"C:\\Program Files\\Vendor App\\setup.exe", u"C:\\Program Files\\Vendor App\\setup.exe"},
        Resolution{u"\"C:\\Program Files\\Other\\setup.exe\" -s", nullptr},
        Resolution{u"setup.exe -s", nullptr},
        Resolution{u"", nullptr}));

TEST_F(ProcessSimTest, ChildrenJoinTheJobAndMayNotBreakAway)
{
    DWORD breakaway = 0;
    DWORD plain = 0;
    machine.processes().addProgram(u"C:\\qtv\\outer.exe", [&](SimProgramContext& context) {
        breakaway = context.startProcess(u"\"" + kUninstaller + u"\"", CREATE_BREAKAWAY_FROM_JOB);
        plain = context.startProcess(u"\"" + kUninstaller + u"\" /child");
    });
    std::u16string commandLine = u"C:\\qtv\\outer";
    const JobProcess started = StartProcessInJob(nullptr, &commandLine[0]);
    EXPECT_EQ(breakaway, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(plain, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(behaviourRuns, 1);

    std::vector<DWORD> messages;
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    while (machine.getQueuedCompletionStatus(started.port.get(), &bytes, &key, &overlapped, 0))
        messages.push_back(bytes);
    EXPECT_EQ(messages, (std::vector<DWORD>{6, 6, 7, 7, 4}));
    EXPECT_EQ(machine.processes().commandLinesOf(kUninstaller),
              std::vector<std::u16string>{u"\"" + kUninstaller + u"\" /child"});
}

TEST_F(ProcessSimTest, UnmodelledUsesAnswerCallNotImplemented)
{
    std::u16string commandLine = u"\"" + kUninstaller + u"\"";
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION information{};
    char16_t environment[] = u"A=B\0";
    EXPECT_FALSE(machine.createProcess(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                       environment, nullptr, &startupInfo, &information));
    EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(machine.createProcess(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                                       0x08000000 /* CREATE_NO_WINDOW */, nullptr, nullptr,
                                       &startupInfo, &information));
    EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(machine.createJobObject(nullptr, u"Global\\Named"), nullptr);
    EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));

    const UniqueKernelHandle job = CreateJobObjectChecked();
    EXPECT_EQ(machine.waitForSingleObject(job.get(), 0), WAIT_FAILED);
    EXPECT_EQ(machine.getLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_TRUE(machine.processes().runs().empty());
}

} // namespace

namespace {

// Only a claim that exists refuses a copy; any other failure to make the object lets the
// administrator work.
TEST(OnlyCopyClaimSimTest, FailingToMakeTheClaimRefusesOnlyWhenAnotherCopyOwnsIt)
{
    const struct {
        DWORD error;
        bool held;
    } cases[] = {
        {ERROR_ACCESS_DENIED, true},   // not opened for the administrators: no copy of ours made it
        {ERROR_INVALID_HANDLE, true},  // the name belongs to an object of another kind
        {kNoSystemResources, true},
    };
    for (const auto& c : cases) {
        SimMachine machine;
        ScopedOsApi installed(machine);
        machine.failCall(SimCall::CreateMutex, c.error);
        EXPECT_EQ(OnlyCopyClaim::Claim().held(), c.held) << c.error;
        EXPECT_EQ(machine.openHandles(), 0u);
    }
}

// The claim's name made first: by a standard user's program, whatever its access list, it holds
// nothing back; by another copy, as an administrator or as SYSTEM, it refuses.
TEST(OnlyCopyClaimSimTest, OnlyAnotherCopysClaimRefuses)
{
    const std::vector<BYTE> nullList = SelfRelativeDescriptor({}, nullptr);
    const std::vector<BYTE> usersOnlyList = AccessList({{MUTEX_ALL_ACCESS, kUsersSid}});
    const std::vector<BYTE> usersOnly = SelfRelativeDescriptor({}, &usersOnlyList);
    enum class First { StandardUser, LinkToAServicesMutex, Copy, CopyAsSystem };
    const struct {
        const char* what;
        First first;
        const std::vector<BYTE>* descriptor;
        bool held;
    } cases[] = {
        {"a standard user's, open to everybody", First::StandardUser, &nullList, true},
        {"a standard user's, open to the Users group alone", First::StandardUser, &usersOnly, true},
        {"a standard user's, as its token makes it", First::StandardUser, nullptr, true},
        {"a standard user's link to the administrators' mutex of a service", First::LinkToAServicesMutex, nullptr, true},
        {"another copy's", First::Copy, nullptr, false},
        {"another copy's, run as SYSTEM", First::CopyAsSystem, nullptr, false},
    };
    const std::u16string name(OnlyCopyClaim::kMutexName);
    for (const auto& c : cases) {
        SimMachine machine;
        ScopedOsApi installed(machine);
        const std::vector<BYTE> administrator = machine.security().userSid();
        std::optional<OnlyCopyClaim> first;
        UniqueKernelHandle squatted;
        if (c.first == First::StandardUser) {
            std::vector<BYTE> descriptor = c.descriptor ? *c.descriptor : std::vector<BYTE>{};
            SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.data(), FALSE};
            squatted.reset(machine.createMutexAsStandardUser(c.descriptor ? &attributes : nullptr, name.c_str()));
            ASSERT_TRUE(squatted) << c.what;
        } else if (c.first == First::LinkToAServicesMutex) {
            squatted.reset(machine.createMutex(nullptr, FALSE, u"Global\\ServiceOwnMutex"));
            machine.linkObjectName(u"\\BaseNamedObjects\\Zantrel.QTVRemove.Running", u"\\BaseNamedObjects\\ServiceOwnMutex");
        } else {
            if (c.first == First::CopyAsSystem)
                machine.security().setUserSid(kSystemSid);
            first.emplace(OnlyCopyClaim::Claim());
            ASSERT_TRUE(first->held()) << c.what;
            machine.security().setUserSid(administrator);
        }
        EXPECT_EQ(OnlyCopyClaim::Claim().held(), c.held) << c.what;
    }

    // Whose the object is, or its name, cannot be read: the check gives way.
    for (const SimCall unreadable : {SimCall::GetSecurityInfo, SimCall::NtQueryObject}) {
        SimMachine machine;
        ScopedOsApi installed(machine);
        const OnlyCopyClaim first = OnlyCopyClaim::Claim();
        machine.failCall(unreadable, ERROR_ACCESS_DENIED);
        EXPECT_TRUE(OnlyCopyClaim::Claim().held());
    }
}

} // namespace
