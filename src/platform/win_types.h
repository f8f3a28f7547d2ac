#pragma once

// The one place that decides between the mingw headers and the few Win32 types and constants the
// portable code needs on Linux. Portable headers include this file, never <windows.h>.

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <accctrl.h>
#include <shlobj.h>
#include <winternl.h>

#else

#include <cstdint>
#include <cstddef>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using ULONG_PTR = std::uintptr_t;
using ULONGLONG = std::uint64_t;
using ULONG = std::uint32_t;

using HANDLE = void*;
using HLOCAL = void*;
using HWND = struct HWND__*;
using HMODULE = struct HINSTANCE__*;
using HKEY = struct HKEY__*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_DEPENDENT_SERVICES_RUNNING = 1051;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_PROCESS_ABORTED = 1067;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_ABANDONED_WAIT_0 = 735;

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TOPMOST = 0x00040000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;


using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using REGSAM = DWORD;
using HRESULT = LONG;
using SC_HANDLE = struct SC_HANDLE__*;
using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;
using FARPROC = long long (*)();
using LPOVERLAPPED = struct _OVERLAPPED*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
};

struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
using PACL = ACL*;

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};

struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};

struct TOKEN_USER {
    SID_AND_ATTRIBUTES User;
};

enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };

enum SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1, SE_SERVICE = 2, SE_PRINTER = 3, SE_REGISTRY_KEY = 4,
                      SE_KERNEL_OBJECT = 6, SE_REGISTRY_WOW64_32KEY = 11 };
using SECURITY_INFORMATION = DWORD;

enum ACCESS_MODE { NOT_USED_ACCESS = 0, GRANT_ACCESS = 1, SET_ACCESS = 2, DENY_ACCESS = 3, REVOKE_ACCESS = 4 };
enum MULTIPLE_TRUSTEE_OPERATION { NO_MULTIPLE_TRUSTEE = 0 };
enum TRUSTEE_FORM { TRUSTEE_IS_SID = 0, TRUSTEE_IS_NAME = 1 };
enum TRUSTEE_TYPE { TRUSTEE_IS_UNKNOWN = 0, TRUSTEE_IS_USER = 1 };

struct TRUSTEE_W {
    TRUSTEE_W* pMultipleTrustee;
    MULTIPLE_TRUSTEE_OPERATION MultipleTrusteeOperation;
    TRUSTEE_FORM TrusteeForm;
    TRUSTEE_TYPE TrusteeType;
    LPWSTR ptstrName;
};

struct EXPLICIT_ACCESS_W {
    DWORD grfAccessPermissions;
    ACCESS_MODE grfAccessMode;
    DWORD grfInheritance;
    TRUSTEE_W Trustee;
};

// A security descriptor in its absolute form: the owner and lists pointed at, not carried.
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
};
constexpr BYTE SECURITY_DESCRIPTOR_REVISION = 1;
constexpr WORD SE_DACL_PRESENT = 0x0004;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

struct JOBOBJECT_ASSOCIATE_COMPLETION_PORT {
    void* CompletionKey;
    HANDLE CompletionPort;
};

enum JOBOBJECTINFOCLASS { JobObjectAssociateCompletionPortInformation = 7 };

constexpr DWORD MAX_PATH = 260;

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// Root keys: the predefined handles, sign-extended as on 64-bit Windows.
inline HKEY PredefinedKey(std::uint32_t value)
{
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
inline const HKEY HKEY_CLASSES_ROOT = PredefinedKey(0x80000000u);
inline const HKEY HKEY_CURRENT_USER = PredefinedKey(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = PredefinedKey(0x80000002u);
inline const HKEY HKEY_USERS = PredefinedKey(0x80000003u);
inline const HKEY HKEY_CURRENT_CONFIG = PredefinedKey(0x80000005u);

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD DELETE = 0x00010000;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD WRITE_OWNER = 0x00080000;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr DWORD KEY_NOTIFY = 0x0010;
constexpr DWORD KEY_WOW64_64KEY = 0x0100;
constexpr DWORD KEY_WOW64_32KEY = 0x0200;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_OPEN_LINK = 0x8;

constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;
constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;

constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD CREATE_BREAKAWAY_FROM_JOB = 0x01000000;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO = 4;
constexpr DWORD JOB_OBJECT_MSG_NEW_PROCESS = 6;
constexpr DWORD JOB_OBJECT_MSG_EXIT_PROCESS = 7;
constexpr DWORD JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS = 8;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD ERROR_TIMEOUT = 1460;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD FILE_SHARE_DELETE = 4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD ATTACH_PARENT_PROCESS = static_cast<DWORD>(-1);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 1;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 4;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 8;
constexpr DWORD FILE_ALL_ACCESS = 0x1F01FF;
constexpr DWORD MUTEX_ALL_ACCESS = 0x1F0001;
constexpr DWORD FILE_NAME_NORMALIZED = 0;
constexpr DWORD VOLUME_NAME_DOS = 0;
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr DWORD FILE_TYPE_UNKNOWN = 0;
constexpr DWORD FILE_TYPE_DISK = 1;
constexpr DWORD FILE_TYPE_CHAR = 2;
constexpr DWORD FILE_TYPE_PIPE = 3;

constexpr DWORD OWNER_SECURITY_INFORMATION = 1;
constexpr DWORD DACL_SECURITY_INFORMATION = 4;
constexpr DWORD SUB_CONTAINERS_AND_OBJECTS_INHERIT = 3;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD SE_PRIVILEGE_ENABLED = 2;
constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;

constexpr int CSIDL_PERSONAL = 0x05;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
constexpr int CSIDL_APPDATA = 0x1A;
constexpr int CSIDL_LOCAL_APPDATA = 0x1C;
constexpr int CSIDL_COMMON_APPDATA = 0x23;
constexpr int CSIDL_WINDOWS = 0x24;
constexpr int CSIDL_SYSTEM = 0x25;
constexpr int CSIDL_PROGRAM_FILES = 0x26;
constexpr int CSIDL_PROFILE = 0x28;
constexpr int CSIDL_PROGRAM_FILESX86 = 0x2A;
constexpr int CSIDL_PROGRAM_FILES_COMMON = 0x2B;
constexpr int CSIDL_PROGRAM_FILES_COMMONX86 = 0x2C;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

using UINT_PTR = std::uintptr_t;
constexpr UINT WM_APP = 0x8000;
using LCID = DWORD;
using COLORREF = DWORD;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr DWORD NORM_IGNORECASE = 0x00000001;
constexpr DWORD LINGUISTIC_IGNORECASE = 0x00000010;
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;

using HWINSTA = struct HWINSTA__*;
constexpr int UOI_FLAGS = 1;
constexpr DWORD WSF_VISIBLE = 0x0001;
struct USEROBJECTFLAGS {
    BOOL fInherit;
    BOOL fReserved;
    DWORD dwFlags;
};
// A callback the system calls, for each top-level window here (the calling convention is
// Windows' own on the mingw side).
#define CALLBACK
using LPARAM = std::intptr_t;
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

#include "platform/win_types_native.h"

#endif

// A registry key of the 64-bit view named for the security functions (SE_REGISTRY_WOW64_64KEY,
// which the mingw headers lack); within the range of SE_OBJECT_TYPE on both platforms.
constexpr SE_OBJECT_TYPE kSeRegistryWow64_64Key = static_cast<SE_OBJECT_TYPE>(12);

// The NTSTATUS codes the portable code and the simulated machine name (ntstatus.h clashes with
// <windows.h>); NT_SUCCESS is a status that is not negative.
constexpr NTSTATUS kStatusSuccess = 0;
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022);
constexpr NTSTATUS kStatusObjectNameInvalid = static_cast<NTSTATUS>(0xC0000033);
constexpr NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kStatusObjectPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kStatusSharingViolation = static_cast<NTSTATUS>(0xC0000043);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kStatusProcessIsTerminating = static_cast<NTSTATUS>(0xC000010A);
constexpr NTSTATUS kStatusCannotDelete = static_cast<NTSTATUS>(0xC0000121);
constexpr NTSTATUS kStatusKeyDeleted = static_cast<NTSTATUS>(0xC000017C);
