#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/only_copy.h"
#include "platform/os_api.h"
#include "support/machine_test.h"
#include "support/spawn_child.h"

#ifndef _WIN32
#include "platform/sim/sim_processes.h"
#endif

namespace {

struct Packet {
    DWORD message;
    ULONG_PTR key;
    ULONG_PTR overlapped;
};

// Takes the job's notifications the way the uninstaller runner does (wait on the port, then
// dequeue), up to JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO, but with a time-out so that a fault fails
// the test instead of hanging it.
std::vector<Packet> WaitForJob(HANDLE port, DWORD timeout)
{
    std::vector<Packet> packets;
    while (Os().waitForSingleObject(port, timeout) == WAIT_OBJECT_0) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        if (!Os().getQueuedCompletionStatus(port, &bytes, &key, &overlapped, 0))
            continue;
        packets.push_back({bytes, key, reinterpret_cast<ULONG_PTR>(overlapped)});
        if (bytes == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            break;
    }
    return packets;
}

std::size_t CountOf(const std::vector<Packet>& packets, DWORD message)
{
    return static_cast<std::size_t>(std::count_if(packets.begin(), packets.end(), [message](const Packet& p) {
        return p.message == message;
    }));
}

DWORD ExitCodeOf(HANDLE process)
{
    DWORD code = 0xDEADBEEF;
    EXPECT_TRUE(Os().getExitCodeProcess(process, &code));
    return code;
}

class ProcessTest : public MachineTest {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        BindSpawnChild(machine);
#endif
    }

    ProcessHandles createSuspended(std::u16string& commandLine)
    {
        STARTUPINFOW startupInfo{};
        startupInfo.cb = sizeof(startupInfo);
        return CreateProcessChecked(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                                    CREATE_SUSPENDED, nullptr, nullptr, startupInfo);
    }
};

TEST_F(ProcessTest, JobReportsNoActiveProcessOnlyAfterTheGrandchildEnded)
{
    std::u16string commandLine = SpawnChildCommand(u"parent 600");
    const ULONGLONG start = Os().getTickCount64();
    const JobProcess started = StartProcessInJob(nullptr, &commandLine[0]);
    const std::vector<Packet> packets = WaitForJob(started.port.get(), 10000);
    const ULONGLONG elapsed = Os().getTickCount64() - start;

    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back().message, JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO);
    // The child sleeps 600 ms after the parent started it; allow the tick's granularity.
    EXPECT_GE(elapsed, 600u - 20u);
    EXPECT_EQ(CountOf(packets, JOB_OBJECT_MSG_NEW_PROCESS), 2u);
    EXPECT_EQ(CountOf(packets, JOB_OBJECT_MSG_EXIT_PROCESS), 2u);
    EXPECT_EQ(CountOf(packets, JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO), 1u);
    for (const Packet& packet : packets)
        EXPECT_EQ(packet.key, kJobCompletionKey);
    EXPECT_EQ(packets.front().message, JOB_OBJECT_MSG_NEW_PROCESS);
    EXPECT_EQ(packets.front().overlapped, started.process.processId);
    EXPECT_EQ(ExitCodeOf(started.process.process.get()), 0u);
#ifndef _WIN32
    EXPECT_EQ(machine.processes().aliveCount(), 0u);
    EXPECT_EQ(machine.processes().commandLinesOf(SpawnChildPath()),
              (std::vector<std::u16string>{SpawnChildCommand(u"parent 600"),
                                           SpawnChildCommand(u"child 600")}));
#endif
}

TEST_F(ProcessTest, ProgramExitingWithAnErrorCodeStillEmptiesTheJob)
{
    std::u16string commandLine = SpawnChildCommand(u"exit 1603");
    const JobProcess started = StartProcessInJob(nullptr, &commandLine[0]);
    const std::vector<Packet> packets = WaitForJob(started.port.get(), 10000);

    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back().message, JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO);
    EXPECT_EQ(CountOf(packets, JOB_OBJECT_MSG_NEW_PROCESS), 1u);
    ASSERT_EQ(Os().waitForSingleObject(started.process.process.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(started.process.process.get()), 1603u);
}

TEST_F(ProcessTest, StartCallsBackOnceTheProcessExists)
{
    std::u16string commandLine = SpawnChildCommand(u"exit 0");
    int calls = 0;
    const JobProcess started = StartProcessInJob(nullptr, &commandLine[0], [&calls] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(WaitForJob(started.port.get(), 10000).empty());
}

TEST_F(ProcessTest, TerminateGuardEndsASuspendedProcessBeforeItRuns)
{
    std::u16string commandLine = SpawnChildCommand(u"exit 7");
    const ProcessHandles handles = createSuspended(commandLine);
    EXPECT_EQ(ExitCodeOf(handles.process.get()), STILL_ACTIVE);
    {
        TerminateGuard guard(handles.process.get());
    }
    ASSERT_EQ(Os().waitForSingleObject(handles.process.get(), 5000), WAIT_OBJECT_0);
    // 0 and not 7: the program never ran.
    EXPECT_EQ(ExitCodeOf(handles.process.get()), 0u);
#ifndef _WIN32
    ASSERT_EQ(machine.processes().runs().size(), 1u);
    EXPECT_FALSE(machine.processes().runs()[0].ran);
#endif
}

TEST_F(ProcessTest, DismissedTerminateGuardLeavesTheProcessAlone)
{
    std::u16string commandLine = SpawnChildCommand(u"exit 7");
    const ProcessHandles handles = createSuspended(commandLine);
    {
        TerminateGuard guard(handles.process.get());
        guard.dismiss();
    }
    EXPECT_EQ(ExitCodeOf(handles.process.get()), STILL_ACTIVE);
    EXPECT_EQ(ResumeThreadChecked(handles.thread.get()), 1u);
    ASSERT_EQ(Os().waitForSingleObject(handles.process.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(handles.process.get()), 7u);
}

TEST_F(ProcessTest, MissingProgramThrowsFileNotFound)
{
    std::u16string commandLine = u"\"C:\\qtv\\no_such_uninstaller.exe\" /remove";
    try {
        createSuspended(commandLine);
        FAIL() << "no exception";
    } catch (const Windows::Error& error) {
        EXPECT_EQ(error.code(), ERROR_FILE_NOT_FOUND);
    }

    bool created = false;
    try {
        StartProcessInJob(nullptr, &commandLine[0], [&created] { created = true; });
        FAIL() << "no exception";
    } catch (const Windows::Error& error) {
        EXPECT_EQ(error.code(), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_FALSE(created);
}

TEST_F(ProcessTest, CheckedCallsThrowTheCallsError)
{
    try {
        ResumeThreadChecked(nullptr);
        FAIL() << "no exception";
    } catch (const Windows::Error& error) {
        EXPECT_EQ(error.code(), ERROR_INVALID_HANDLE);
    }
    try {
        AssignProcessToJobObjectChecked(nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const Windows::Error& error) {
        EXPECT_EQ(error.code(), ERROR_INVALID_HANDLE);
    }
}

TEST_F(ProcessTest, TimedWaitsTimeOutWhileTheProcessLives)
{
    std::u16string commandLine = SpawnChildCommand(u"child 400");
    const ProcessHandles handles = createSuspended(commandLine);
    const UniqueKernelHandle port = CreateIoCompletionPortChecked(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    const ULONGLONG start = Os().getTickCount64();
    ResumeThreadChecked(handles.thread.get());

    EXPECT_EQ(Os().waitForSingleObject(handles.process.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ExitCodeOf(handles.process.get()), STILL_ACTIVE);

    DWORD bytes = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = reinterpret_cast<LPOVERLAPPED>(1);
    EXPECT_FALSE(Os().getQueuedCompletionStatus(port.get(), &bytes, &key, &overlapped, 10));
    EXPECT_EQ(Os().getLastError(), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(overlapped, nullptr);
    EXPECT_EQ(Os().waitForSingleObject(port.get(), 10), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_EQ(Os().waitForSingleObject(handles.process.get(), 10000), WAIT_OBJECT_0);
    EXPECT_GE(Os().getTickCount64() - start, 400u - 20u);
    EXPECT_EQ(ExitCodeOf(handles.process.get()), 0u);
}


// A program started from its own folder, for the tests that try to take its file away.
class HeldProgramTest : public ProcessTest {
protected:
    const std::u16string folder = u"C:\\qtv\\held";
    const std::u16string program = folder + u"\\held_child.exe";

    void TearDown() override
    {
        if (running.process)
            Os().terminateProcess(running.process.get(), 1);
        Os().deleteFile(program.c_str());
        Os().removeDirectory(folder.c_str());
    }

    BOOL start(const std::u16string& arguments, PROCESS_INFORMATION& information)
    {
        std::u16string commandLine = u"\"" + program + u"\" " + arguments;
        STARTUPINFOW startupInfo{};
        startupInfo.cb = sizeof(startupInfo);
        return Os().createProcess(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startupInfo, &information);
    }

    ProcessHandles running;
};

TEST_F(HeldProgramTest, ARunningProgramsFileCannotBeDeletedNorItsFolderRemoved)
{
    ASSERT_TRUE(PlaceSpawnChild(program));
    PROCESS_INFORMATION information{};
    ASSERT_TRUE(start(u"child 60000", information)) << Os().getLastError();
    running.process.reset(information.hProcess);
    running.thread.reset(information.hThread);

    // Windows and Wine alike refuse to delete a mapped image with ERROR_ACCESS_DENIED; the
    // folder then still holds it.
    EXPECT_FALSE(Os().deleteFile(program.c_str()));
    EXPECT_EQ(Os().getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Os().removeDirectory(folder.c_str()));
    EXPECT_EQ(Os().getLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));

    ASSERT_TRUE(Os().terminateProcess(running.process.get(), 1));
    ASSERT_EQ(Os().waitForSingleObject(running.process.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(Os().deleteFile(program.c_str())) << Os().getLastError();

    // With its file gone the program no longer starts, whatever the machine knew of it.
    PROCESS_INFORMATION again{};
    EXPECT_FALSE(start(u"exit 0", again));
    EXPECT_EQ(Os().getLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Os().removeDirectory(folder.c_str())) << Os().getLastError();
}

TEST_F(HeldProgramTest, AFileThatIsNoProgramDoesNotStart)
{
    ASSERT_TRUE(Os().createDirectory(folder.c_str(), nullptr) || Os().getLastError() == ERROR_ALREADY_EXISTS);
    const HANDLE file = Os().createFile(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char text[] = "not a program";
    DWORD written = 0;
    EXPECT_TRUE(Os().writeFile(file, text, sizeof(text) - 1, &written, nullptr));
    Os().closeHandle(file);
    PROCESS_INFORMATION information{};
    EXPECT_FALSE(start(u"exit 0", information));
    EXPECT_EQ(Os().getLastError(), 193u) << "ERROR_BAD_EXE_FORMAT";
}

} // namespace

namespace {

// Copies of the program, as the claim sees them: each claim stands for one copy's start.
TEST_F(MachineTest, OnlyOneCopyHoldsTheMachineUntilItEnds)
{
    std::optional<OnlyCopyClaim> first(OnlyCopyClaim::Claim());
    EXPECT_TRUE(first->held());
    {
        const OnlyCopyClaim second = OnlyCopyClaim::Claim();
        EXPECT_FALSE(second.held());
    }
    // The refused copy let go at once: the first still holds the machine alone.
    EXPECT_FALSE(OnlyCopyClaim::Claim().held());
    first.reset();
    EXPECT_TRUE(OnlyCopyClaim::Claim().held()) << "the claim ends with the copy that held it";
}

} // namespace

namespace {

// Windows takes a command line of at most 32,766 characters and its terminator and refuses a
// longer one with ERROR_FILENAME_EXCED_RANGE; the simulated machine answers as Windows does.
// Wine starts longer ones too (measured with 32,767 and 40,000), so under Wine only the longest
// line Windows takes is checked.
TEST_F(ProcessTest, ACommandLineLongerThanWindowsTakesDoesNotStart)
{
    const auto start = [](std::size_t length, PROCESS_INFORMATION& information) {
        std::u16string commandLine = SpawnChildCommand(u"exit 0 ");
        commandLine.resize(length, u'x');
        STARTUPINFOW startupInfo{};
        startupInfo.cb = sizeof(startupInfo);
        return Os().createProcess(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                  nullptr, &startupInfo, &information);
    };
    PROCESS_INFORMATION information{};
    ASSERT_TRUE(start(32766, information)) << Os().getLastError();
    Os().terminateProcess(information.hProcess, 0);
    Os().closeHandle(information.hProcess);
    Os().closeHandle(information.hThread);
#ifndef _WIN32
    EXPECT_FALSE(start(32767, information));
    EXPECT_EQ(Os().getLastError(), 206u) << "ERROR_FILENAME_EXCED_RANGE";
    EXPECT_EQ(machine.processes().runs().size(), 1u);
#endif
}

} // namespace
