// What only the simulated machine can show: Wine stores file access lists and owners but does not
// enforce them, and it treats links and long unprefixed paths its own way, so access recovery,
// ownership, junctions and file links are tested here against Windows' rules.

#include <gtest/gtest.h>

#include <memory>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_shell.h"
#include "support/file_tree.h"
#include "support/machine_test.h"

namespace {

constexpr char16_t kDenied[] = u"C:\\Suite\\denied.txt";

class FilesSimTest : public MachineTest {
protected:
    HANDLE openForDelete(const char16_t* path)
    {
        return machine.createFile(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }

    // The full-access DACL for "CURRENT_USER", applied to `path`; the ACL is given back.
    DWORD grantFullAccess(const char16_t* path)
    {
        EXPLICIT_ACCESS_W entry{};
        entry.grfAccessPermissions = GENERIC_ALL;
        entry.grfAccessMode = SET_ACCESS;
        entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
        entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        char16_t name[] = u"CURRENT_USER";
        entry.Trustee.ptstrName = name;
        PACL acl = nullptr;
        EXPECT_EQ(machine.setEntriesInAcl(1, &entry, nullptr, &acl), ERROR_SUCCESS);
        std::u16string object(path);
        const DWORD result = machine.setNamedSecurityInfo(
            object.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr);
        EXPECT_EQ(machine.localFree(acl), nullptr);
        return result;
    }

    // Enables SeTakeOwnershipPrivilege through the token and makes the current user the owner.
    DWORD takeOwnership(const char16_t* path, DWORD* adjustError = nullptr)
    {
        HANDLE token = nullptr;
        EXPECT_TRUE(machine.openProcessToken(machine.getCurrentProcess(),
                                             TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
        DWORD size = 0;
        EXPECT_FALSE(machine.getTokenInformation(token, TokenUser, nullptr, 0, &size));
        EXPECT_EQ(machine.getLastError(), ERROR_INSUFFICIENT_BUFFER);
        const auto buffer = std::make_unique<BYTE[]>(size);
        EXPECT_TRUE(machine.getTokenInformation(token, TokenUser, buffer.get(), size, &size));
        const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid;

        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        EXPECT_TRUE(machine.lookupPrivilegeValue(nullptr, u"SeTakeOwnershipPrivilege",
                                                 &privileges.Privileges[0].Luid));
        EXPECT_TRUE(machine.adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
        if (adjustError)
            *adjustError = machine.getLastError();
        std::u16string object(path);
        const DWORD result = machine.setNamedSecurityInfo(object.data(), SE_FILE_OBJECT,
                                                          OWNER_SECURITY_INFORMATION, sid, nullptr,
                                                          nullptr, nullptr);
        EXPECT_TRUE(machine.closeHandle(token));
        return result;
    }

    HANDLE openFolder(const char16_t* path)
    {
        return machine.createFile(path, FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }

    NTSTATUS openChild(HANDLE folder, std::u16string name, DWORD access, ULONG options, HANDLE& file)
    {
        UNICODE_STRING text{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2), name.data()};
        OBJECT_ATTRIBUTES attributes{sizeof(OBJECT_ATTRIBUTES), folder, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
        IO_STATUS_BLOCK status{};
        return machine.ntCreateFile(&file, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    FILE_OPEN, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    }

    // The names one listing call through the handle gives; none when it fails.
    std::vector<std::u16string> listCall(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS kind, DWORD size)
    {
        alignas(8) unsigned char buffer[512];
        std::vector<std::u16string> names;
        if (!machine.getFileInformationByHandleEx(folder, kind, buffer, size))
            return names;
        for (const unsigned char* at = buffer;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            names.emplace_back(entry->FileName, entry->FileNameLength / 2);
            if (entry->NextEntryOffset == 0)
                return names;
            at += entry->NextEntryOffset;
        }
    }
};

using Names = std::vector<std::u16string>;

// A folder opened once is listed and walked through its handle even after its name was given to a
// junction: the walk never reaches what the junction points at.
TEST_F(FilesSimTest, HandleWalkFollowsTheFolderItOpened)
{
    machine.files().addFile(u"C:\\Suite\\data\\a.txt", "a");
    machine.files().addFile(u"C:\\Suite\\data\\b.txt");
    machine.files().addFolder(u"C:\\Suite\\data\\sub");
    machine.files().addFile(u"C:\\Elsewhere\\keep.txt");
    const HANDLE suite = openFolder(u"C:\\Suite");
    HANDLE data = nullptr, file = nullptr;
    ASSERT_EQ(openChild(suite, u"DATA", FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, data), kStatusSuccess);
    machine.files().beforeOpening(u"c:\\suite\\data\\A.TXT", [this] {
        machine.files().replaceWithJunction(u"C:\\Suite\\data", u"C:\\Elsewhere");
    });
    ASSERT_EQ(openChild(data, u"a.txt", DELETE, FILE_NON_DIRECTORY_FILE, file), kStatusSuccess);
    char16_t path[MAX_PATH];
    const DWORD length = machine.getFinalPathNameByHandle(file, path, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    EXPECT_EQ(std::u16string(path, length), u"\\\\?\\C:\\Suite\\data.old\\a.txt") << "the folder moved aside";

    EXPECT_EQ(listCall(data, FileIdBothDirectoryRestartInfo, 100), Names{});
    EXPECT_EQ(machine.getLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(listCall(data, FileIdBothDirectoryInfo, 240), (Names{u".", u".."}));
    EXPECT_EQ(listCall(data, FileIdBothDirectoryInfo, 240), (Names{u"a.txt", u"b.txt"}));
    EXPECT_EQ(listCall(data, FileIdBothDirectoryInfo, 240), (Names{u"sub"}));
    EXPECT_EQ(listCall(data, FileIdBothDirectoryInfo, 240), Names{});
    EXPECT_EQ(machine.getLastError(), ERROR_NO_MORE_FILES);
    for (const HANDLE handle : {file, data, suite})
        EXPECT_TRUE(machine.closeHandle(handle));
}

TEST_F(FilesSimTest, DeletionThroughAHandleWaitsForItsLastClose)
{
    machine.files().addFile(u"C:\\Suite\\a.txt", "", FILE_ATTRIBUTE_READONLY);
    machine.files().addFile(u"C:\\Suite\\sub\\x.txt");
    const HANDLE suite = openFolder(u"C:\\Suite");
    HANDLE file = nullptr, again = nullptr;
    ASSERT_EQ(openChild(suite, u"a.txt", DELETE | FILE_WRITE_ATTRIBUTES, 0, file), kStatusSuccess);
    FILE_DISPOSITION_INFO deletion{TRUE};
    EXPECT_FALSE(machine.setFileInformationByHandle(file, FileDispositionInfo, &deletion, sizeof deletion));
    EXPECT_EQ(machine.getLastError(), ERROR_ACCESS_DENIED) << "read-only";
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    EXPECT_TRUE(machine.setFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic));
    EXPECT_TRUE(machine.setFileInformationByHandle(file, FileDispositionInfo, &deletion, sizeof deletion));
    EXPECT_EQ(openChild(suite, u"a.txt", FILE_READ_ATTRIBUTES, 0, again), kStatusDeletePending);
    EXPECT_EQ(machine.getFileAttributes(u"C:\\Suite\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(machine.getLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(listCall(suite, FileIdBothDirectoryRestartInfo, 512), (Names{u".", u"..", u"a.txt", u"sub"}));
    EXPECT_TRUE(machine.closeHandle(file));
    EXPECT_EQ(machine.files().entries(u"C:\\Suite"), Names{u"sub"});
    ASSERT_EQ(openChild(suite, u"sub", DELETE, FILE_DIRECTORY_FILE, file), kStatusSuccess);
    EXPECT_FALSE(machine.setFileInformationByHandle(file, FileDispositionInfo, &deletion, sizeof deletion));
    EXPECT_EQ(machine.getLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(openChild(suite, u"sub", 0, FILE_NON_DIRECTORY_FILE, again), kStatusFileIsADirectory);
    EXPECT_EQ(openChild(suite, u"sub\\x.txt", 0, 0, again), kStatusObjectNameInvalid);
    for (const auto& [status, error] : {std::pair{kStatusSuccess, 0u}, {kStatusDeletePending, 5u}, {kStatusObjectNameNotFound, 2u},
                                        {kStatusNotADirectory, 267u}, {static_cast<NTSTATUS>(0xC0000101), 145u},
                                        {static_cast<NTSTATUS>(0xC0000001), 317u}})
        EXPECT_EQ(machine.rtlNtStatusToDosError(status), error) << status;
    for (const HANDLE handle : {file, suite})
        EXPECT_TRUE(machine.closeHandle(handle));
}

TEST_F(FilesSimTest, DenyingAccessListGivesWayToAFullAccessDacl)
{
    machine.files().addFile(kDenied, "data");
    machine.files().setAccess(kDenied, SimAccess::DeniesCurrentUser);

    EXPECT_EQ(openForDelete(kDenied), INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.getLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(machine.deleteFile(kDenied));
    EXPECT_EQ(machine.getLastError(), ERROR_ACCESS_DENIED);

    EXPECT_EQ(grantFullAccess(kDenied), ERROR_SUCCESS);
    const HANDLE file = openForDelete(kDenied);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(machine.closeHandle(file));
    EXPECT_TRUE(machine.deleteFile(kDenied));
    EXPECT_EQ(machine.liveAllocations(), 0u) << "every ACL went back through LocalFree";
    EXPECT_EQ(machine.openHandles(), 0u);
}

TEST_F(FilesSimTest, LockedDaclChangesOnlyAfterOwnershipWasTakenWithThePrivilege)
{
    machine.files().addFile(kDenied, "data");
    machine.files().setAccess(kDenied, SimAccess::DeniesUntilOwned);

    EXPECT_EQ(grantFullAccess(kDenied), ERROR_ACCESS_DENIED);

    std::u16string object(kDenied);
    const PSID self = const_cast<BYTE*>(machine.security().userSid().data());
    EXPECT_EQ(machine.setNamedSecurityInfo(object.data(), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION, self, nullptr,
                                           nullptr, nullptr),
              ERROR_ACCESS_DENIED)
        << "no owner change while the privilege is disabled";

    DWORD adjustError = 1;
    EXPECT_EQ(takeOwnership(kDenied, &adjustError), ERROR_SUCCESS);
    EXPECT_EQ(adjustError, ERROR_SUCCESS);
    EXPECT_TRUE(machine.security().privilegeEnabled(u"SeTakeOwnershipPrivilege"));
    EXPECT_TRUE(machine.files().ownedByCurrentUser(kDenied));
    EXPECT_EQ(grantFullAccess(kDenied), ERROR_SUCCESS);
    EXPECT_EQ(machine.files().access(kDenied), SimAccess::Open);
    EXPECT_TRUE(machine.deleteFile(kDenied));
}

TEST_F(FilesSimTest, PrivilegeTheTokenLacksIsReportedOnlyThroughTheLastError)
{
    machine.files().addFile(kDenied);
    machine.files().setAccess(kDenied, SimAccess::DeniesUntilOwned);
    machine.security().holdPrivilege(u"SeTakeOwnershipPrivilege", false);

    DWORD adjustError = 0;
    EXPECT_EQ(takeOwnership(kDenied, &adjustError), ERROR_ACCESS_DENIED);
    EXPECT_EQ(adjustError, ERROR_NOT_ALL_ASSIGNED);
    EXPECT_FALSE(machine.files().ownedByCurrentUser(kDenied));
}

TEST_F(FilesSimTest, AclsNamingOtherTrusteesOrMergingAreNotSilentlyAccepted)
{
    EXPLICIT_ACCESS_W entry{};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = SET_ACCESS;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    char16_t name[] = u"SomeoneElse";
    entry.Trustee.ptstrName = name;
    PACL acl = nullptr;
    EXPECT_EQ(machine.setEntriesInAcl(1, &entry, nullptr, &acl), 1332u); // ERROR_NONE_MAPPED
    ACL old{};
    EXPECT_EQ(machine.setEntriesInAcl(1, &entry, &old, &acl), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(acl, nullptr);
}

TEST_F(FilesSimTest, JunctionIsListedAsALinkAndRemovedWithoutItsTarget)
{
    machine.files().addFile(u"C:\\Data\\precious.txt", "keep");
    machine.files().addJunction(u"C:\\Suite\\link", u"C:\\Data");

    DWORD endError = 0;
    const std::vector<Listed> suite = List(u"C:\\Suite\\*.*", endError);
    ASSERT_EQ(suite.size(), 3u);
    EXPECT_EQ(suite[2].name, u"link");
    EXPECT_EQ(suite[2].attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    const std::vector<Listed> through = List(u"C:\\Suite\\link\\*", endError);
    ASSERT_EQ(through.size(), 3u) << "a listing through the junction shows the target";
    EXPECT_EQ(through[2].name, u"precious.txt");

    EXPECT_TRUE(machine.removeDirectory(u"C:\\Suite\\link")) << machine.getLastError();
    EXPECT_FALSE(machine.files().exists(u"C:\\Suite\\link"));
    EXPECT_EQ(machine.files().content(u"C:\\Data\\precious.txt"), "keep");
}

TEST_F(FilesSimTest, FileLinkIsAReparsePointFileThatKeepsItsFolderNonEmpty)
{
    machine.files().addFile(u"C:\\Data\\target.txt", "keep");
    machine.files().addFileLink(u"C:\\Suite\\link.txt", u"C:\\Data\\target.txt");

    const DWORD attributes = machine.getFileAttributes(u"C:\\Suite\\link.txt");
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(machine.removeDirectory(u"C:\\Suite"));
    EXPECT_EQ(machine.getLastError(), ERROR_DIR_NOT_EMPTY);

    EXPECT_TRUE(machine.deleteFile(u"C:\\Suite\\link.txt"));
    EXPECT_TRUE(machine.files().exists(u"C:\\Data\\target.txt"));
}

TEST_F(FilesSimTest, UnprefixedPathBeyondMaxPathFailsAsOnWindows)
{
    // Wine lifts this limit; Windows without long-path opt-in does not, and the folder deletion
    // relies on that to count a too-long top-level path as absent.
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'x');
    machine.files().addFile(u"\\\\?\\" + longPath);
    EXPECT_EQ(machine.getFileAttributes(longPath.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(machine.getLastError(), 206u); // ERROR_FILENAME_EXCED_RANGE
    EXPECT_NE(machine.getFileAttributes((u"\\\\?\\" + longPath).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesSimTest, FileOpenWithoutDeleteSharingCannotBeDeleted)
{
    machine.files().addFile(u"C:\\Suite\\busy.log");
    const HANDLE file = machine.createFile(u"C:\\Suite\\busy.log", GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(machine.deleteFile(u"C:\\Suite\\busy.log"));
    EXPECT_EQ(machine.getLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(machine.closeHandle(file));
    EXPECT_TRUE(machine.deleteFile(u"C:\\Suite\\busy.log"));
}

TEST_F(FilesSimTest, FindHandlesAreNotKernelHandles)
{
    machine.files().addFolder(u"C:\\Suite");
    WIN32_FIND_DATAW data{};
    const HANDLE find = machine.findFirstFile(u"C:\\Suite\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(machine.closeHandle(find));
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(machine.findClose(find));
    EXPECT_FALSE(machine.findClose(find));
}

TEST_F(FilesSimTest, UnmodelledRequestsAnswerCallNotImplemented)
{
    machine.files().addFile(u"C:\\app.exe");
    machine.files().setFileVersion(u"C:\\app.exe", 1, 2, 3, 4);
    BYTE block[256] = {};
    ASSERT_TRUE(machine.getFileVersionInfo(u"C:\\app.exe", 0, sizeof block, block));
    void* value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(machine.verQueryValue(block, u"\\StringFileInfo\\040904b0\\FileVersion", &value,
                                       &length));
    EXPECT_EQ(machine.getLastError(), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(machine.getFileAttributes(u"relative\\path.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(machine.getLastError(), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(machine.loadLibrary(u"advapi32.dll"), nullptr);
    EXPECT_EQ(machine.getLastError(), ERROR_CALL_NOT_IMPLEMENTED);
}

TEST_F(FilesSimTest, ShellFolderAbsentOrExportMissing)
{
    machine.shell().setFolder(CSIDL_PERSONAL, std::nullopt);
    const HMODULE shell32 = machine.loadLibrary(u"SHELL32");
    ASSERT_NE(shell32, nullptr);
    const auto getFolderPath = reinterpret_cast<ShGetFolderPathProc>(
        reinterpret_cast<void (*)()>(machine.getProcAddress(shell32, "SHGetFolderPathW")));
    ASSERT_NE(getFolderPath, nullptr);
    char16_t buffer[MAX_PATH] = {};
    EXPECT_EQ(getFolderPath(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buffer), E_FAIL);

    machine.shell().setShGetFolderPathExported(false);
    EXPECT_EQ(machine.getProcAddress(shell32, "SHGetFolderPathW"), nullptr);
    EXPECT_EQ(machine.getLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(machine.freeLibrary(shell32));
    EXPECT_EQ(machine.shell().shell32References(), 0u);
}

// Windows' aliases of the two Program Files folders, made in the order Windows setup makes the
// folders. Wine names them from a hash ("PROG~5P2"), so this is Windows' answer, held here only.
TEST_F(FilesSimTest, ProgramFilesAliasesAreWindowsOwn)
{
    machine.files().addFolder(u"C:\\Program Files\\Common Files");
    machine.files().addFolder(u"C:\\Program Files (x86)\\Common Files");
    machine.files().addFolder(u"C:\\ProgramData");
    char16_t buffer[MAX_PATH] = {};

    for (const auto& [alias, name] : {std::pair{u"C:\\PROGRA~1", u"C:\\Program Files"},
                                      std::pair{u"C:\\progra~2\\COMMON~1", u"C:\\Program Files (x86)\\Common Files"},
                                      std::pair{u"C:\\PROGRA~3", u"C:\\ProgramData"}}) {
        const DWORD length = machine.getLongPathName(alias, buffer, MAX_PATH);
        EXPECT_EQ(std::u16string(buffer, length), name);
    }
    EXPECT_EQ(machine.getFileAttributes(u"C:\\PROGRA~4"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(machine.getLastError(), ERROR_FILE_NOT_FOUND);
}

// Wine cannot make junctions: that a junction opens its target, identity and all, is held here.
TEST_F(FilesSimTest, JunctionOpensAsItsTarget)
{
    machine.files().addFolder(u"C:\\Users\\user\\Documents");
    machine.files().addJunction(u"C:\\Suite\\Documents", u"C:\\Users\\user\\Documents");
    machine.files().addDrive(u'D');
    machine.files().addJunction(u"C:\\Suite\\Data volume", u"D:\\");
    const auto identity = [this](const char16_t* path) {
        const HANDLE file = machine.createFile(path, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION information{};
        EXPECT_TRUE(machine.getFileInformationByHandle(file, &information)) << machine.getLastError();
        EXPECT_TRUE(machine.closeHandle(file));
        return std::pair{information.dwVolumeSerialNumber,
                         std::pair{information.nFileIndexHigh, information.nFileIndexLow}};
    };

    EXPECT_EQ(identity(u"C:\\Suite\\Documents"), identity(u"C:\\Users\\user\\Documents"));
    EXPECT_NE(identity(u"C:\\Suite\\Documents"), identity(u"C:\\Suite"));
    EXPECT_EQ(identity(u"C:\\Suite\\Data volume"), identity(u"D:\\"));
    EXPECT_NE(identity(u"D:\\").first, identity(u"C:\\").first) << "a volume serial number per drive";
    EXPECT_EQ(machine.getFileAttributes(u"C:\\Suite\\Documents"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace
