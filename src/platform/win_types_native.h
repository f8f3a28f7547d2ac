#pragma once

// Part of win_types.h on Linux, where it includes this file: the types of the native calls. Include
// win_types.h, never this file.

// The native calls a folder is walked with: a name opened inside an open folder (NtCreateFile), a
// folder listed and an object changed through its own handle.
using NTSTATUS = LONG;
using ACCESS_MASK = DWORD;
using USHORT = std::uint16_t;
using BOOLEAN = BYTE;
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    std::int64_t QuadPart;
};
struct UNICODE_STRING {
    USHORT Length;        // bytes, without a terminator
    USHORT MaximumLength; // bytes
    char16_t* Buffer;
};
struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    UNICODE_STRING* ObjectName;
    ULONG Attributes;
    void* SecurityDescriptor;
    void* SecurityQualityOfService;
};
enum OBJECT_INFORMATION_CLASS { ObjectBasicInformation = 0, ObjectNameInformation = 1 };
struct IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        void* Pointer;
    };
    ULONG_PTR Information;
};
enum FILE_INFO_BY_HANDLE_CLASS {
    FileBasicInfo = 0,
    FileStandardInfo = 1,
    FileDispositionInfo = 4,
    FileIdBothDirectoryInfo = 10,
    FileIdBothDirectoryRestartInfo = 11,
};
struct FILE_BASIC_INFO {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    DWORD FileAttributes;
};
struct FILE_DISPOSITION_INFO {
    BOOLEAN DeleteFile;
};
struct FILE_ID_BOTH_DIR_INFO {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength; // bytes
    DWORD EaSize;
    std::int8_t ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};
constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
constexpr ULONG FILE_OPEN = 1;
constexpr ULONG FILE_DIRECTORY_FILE = 0x00000001;
constexpr ULONG FILE_SYNCHRONOUS_IO_NONALERT = 0x00000020;
constexpr ULONG FILE_NON_DIRECTORY_FILE = 0x00000040;
constexpr ULONG FILE_OPEN_FOR_BACKUP_INTENT = 0x00004000;
constexpr ULONG FILE_OPEN_REPARSE_POINT = 0x00200000;
constexpr DWORD FILE_LIST_DIRECTORY = 0x0001;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x0100;
