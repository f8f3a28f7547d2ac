// Two copies of the program on one machine under Wine, as two real processes: while one is at
// work (its dialog open), a second does nothing and says why, whether started silently where
// nobody sees it or with its window; once the first has ended, however it ended, the next runs,
// whatever another program made of the claim's name.
//   two_copies_test QTVRemove.exe

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/win_machine.h"

namespace {

const std::wstring kLogs = L"C:\\qtv-e2e\\two-copies";

HWND WaitForDialog(DWORD process)
{
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindProcessWindow(process, L"#32770")) != nullptr; });
    return dialog;
}

TEST(TwoCopiesTest, ASecondCopyRefusesWhileTheFirstWorks)
{
    DeleteFolderTree(kLogs);
    MakeFolders(kLogs);
    PROCESS_INFORMATION first = StartProgram(ProgramCommand(L""));
    ASSERT_NE(first.hProcess, nullptr);
    ASSERT_NE(WaitForDialog(first.dwProcessId), nullptr) << "the first copy's dialog";

    // As a deployment engine starts it: no desktop anybody sees, a log and a report.
    EXPECT_EQ(RunProgram(L"/silent /all /log " + kLogs + L"\\second.log /report " + kLogs + L"\\second.json",
                  {HiddenDesktop()}),
              1618u);
    EXPECT_EQ(ReadFileBytes(kLogs + L"\\second.log"),
              "Another copy of QTVRemove is already running on this machine.\r\n"
              "Wait until it has finished, then start QTVRemove again.\r\n");
    const nlohmann::json report = nlohmann::json::parse(ReadFileBytes(kLogs + L"\\second.json"));
    EXPECT_EQ(report["ending"], "anotherCopy");
    EXPECT_EQ(report["exitStatus"], 1618);

    // As an administrator starts it: the box, and no dialog.
    PROCESS_INFORMATION window = StartProgram(ProgramCommand(L""));
    ASSERT_NE(window.hProcess, nullptr);
    SeenBox seen;
    EXPECT_TRUE(AnswerMessageBox(window.dwProcessId, 60, seen));
    EXPECT_EQ(seen.caption, L"QTVRemove");
    EXPECT_EQ(seen.text, L"Another copy of QTVRemove is already running on this machine.\n"
                         L"Wait until it has finished, then start QTVRemove again.");
    EXPECT_EQ(WaitForProgram(window), 1618u);

    // The first copy dies without closing anything: the machine is free again, also when a
    // program that is none of ours (this test) made an object of the claim's name first, open to
    // everybody, as any user may. Wine names its token's default owner (S-1-5-21-0-0-0-513, no
    // administrator) as that object's owner, and the Administrators group as the claim's.
    TerminateProcess(first.hProcess, 1);
    WaitForProgram(first);
    SECURITY_DESCRIPTOR everybody;
    InitializeSecurityDescriptor(&everybody, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&everybody, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &everybody, FALSE};
    const HANDLE squatted = CreateMutexW(&attributes, FALSE, L"Global\\Zantrel.QTVRemove.Running");
    ASSERT_NE(squatted, nullptr);
    EXPECT_EQ(GetLastError(), 0u) << "the claim was free";
    const DWORD detected = RunProgram(L"/silent /detect /log " + kLogs + L"\\third.log", {HiddenDesktop()});
    CloseHandle(squatted);
    EXPECT_TRUE(detected == 0 || detected == 1) << detected;
    EXPECT_EQ(ReadFileBytes(kLogs + L"\\third.log").find("Another copy"), std::string::npos);
    DeleteFolderTree(kLogs);
}

// The claim's name made, by a program that is none of ours, a symbolic link of the object
// namespace leading to a mutex of another program that the administrators own (as a service's
// own mutex is): the object the name opens is not the claim of a copy of ours, and no copy is at
// work, so the run goes on. The global namespace lets any user make objects there, links among
// them; what the link leads to was never made by a copy of the program.
TEST(TwoCopiesTest, AClaimNameLinkedToAnotherProgramsMutexHoldsNoRunBack)
{
    DeleteFolderTree(kLogs);
    MakeFolders(kLogs);
    PSECURITY_DESCRIPTOR serviceDescriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                                     &serviceDescriptor, nullptr));
    SECURITY_ATTRIBUTES serviceAttributes{sizeof(serviceAttributes), serviceDescriptor, FALSE};
    const HANDLE serviceMutex = CreateMutexW(&serviceAttributes, FALSE, L"Global\\QtvServiceOwnMutex");
    LocalFree(serviceDescriptor);
    ASSERT_NE(serviceMutex, nullptr);

    using CreateLink = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, UNICODE_STRING*);
    const auto createLink = reinterpret_cast<CreateLink>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSymbolicLinkObject")));
    ASSERT_NE(createLink, nullptr);
    std::wstring linkName = L"\\BaseNamedObjects\\Zantrel.QTVRemove.Running";
    std::wstring linkTarget = L"\\BaseNamedObjects\\QtvServiceOwnMutex";
    UNICODE_STRING name{static_cast<USHORT>(linkName.size() * 2), static_cast<USHORT>(linkName.size() * 2), linkName.data()};
    UNICODE_STRING target{static_cast<USHORT>(linkTarget.size() * 2), static_cast<USHORT>(linkTarget.size() * 2),
                          linkTarget.data()};
    OBJECT_ATTRIBUTES attributes{sizeof(attributes), nullptr, &name, 0x40 /* OBJ_CASE_INSENSITIVE */, nullptr, nullptr};
    HANDLE link = nullptr;
    ASSERT_EQ(createLink(&link, 0xF0001 /* SYMBOLIC_LINK_ALL_ACCESS */, &attributes, &target), 0);
    const HANDLE throughLink = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\Zantrel.QTVRemove.Running");
    EXPECT_NE(throughLink, nullptr) << "the claim's name opens the other program's mutex";
    if (throughLink)
        CloseHandle(throughLink);

    const DWORD detected = RunProgram(L"/silent /detect /log " + kLogs + L"\\linked.log", {HiddenDesktop()});
    CloseHandle(link);
    CloseHandle(serviceMutex);
    EXPECT_TRUE(detected == 0 || detected == 1) << detected;
    EXPECT_EQ(ReadFileBytes(kLogs + L"\\linked.log").find("Another copy"), std::string::npos);
    DeleteFolderTree(kLogs);
}

} // namespace
