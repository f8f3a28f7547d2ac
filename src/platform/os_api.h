#pragma once

#include <cstdarg>

#include "platform/win_types.h"

// SHGetFolderPathW, as GetProcAddress hands it out.
#ifdef _WIN32
using ShGetFolderPathProc = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
#else
using ShGetFolderPathProc = HRESULT (*)(HWND, int, HANDLE, DWORD, char16_t*);
#endif

// The seam to the operating system. Every call the logic makes goes through the active OsApi;
// each operation mirrors one Win32 call: the same arguments (text as char16_t, UTF-16 as on
// Windows), the same result, and on failure the same code in the seam's own last-error slot,
// read with getLastError(). Two implementations: the real system (platform/win32) and the
// simulated machine (platform/sim).
class OsApi {
public:
    virtual ~OsApi() = default;

    // GetLastError / SetLastError: the thread's error slot of this implementation.
    virtual DWORD getLastError() = 0;
    virtual void setLastError(DWORD code) = 0;

    // FormatMessageW. With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char16_t** that
    // receives memory to be released with localFree, exactly as on Windows.
    virtual DWORD formatMessage(DWORD flags, const void* source, DWORD messageId,
                                DWORD languageId, char16_t* buffer, DWORD size,
                                va_list* arguments) = 0;
    // LocalFree: null on success, the handle itself on failure.
    virtual HLOCAL localFree(HLOCAL memory) = 0;

    // MultiByteToWideChar.
    virtual int multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                                    char16_t* wide, int wideChars) = 0;

    // GetModuleFileNameW.
    virtual DWORD getModuleFileName(HMODULE module, char16_t* buffer, DWORD size) = 0;

    // MessageBoxW.
    virtual int messageBox(HWND owner, const char16_t* text, const char16_t* caption,
                           UINT type) = 0;
    // GetProcessWindowStation and GetUserObjectInformationW (USER32): whether anybody can see
    // the message boxes.
    virtual HWINSTA getProcessWindowStation() = 0;
    virtual BOOL getUserObjectInformation(HANDLE object, int index, void* information,
                                          DWORD length, DWORD* lengthNeeded) = 0;

    // Registry (ADVAPI32). Results are the Win32 error codes these functions return.
    virtual LONG regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access,
                              HKEY* result) = 0;
    virtual LONG regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved,
                                 DWORD* type, BYTE* data, DWORD* dataSize) = 0;
    virtual LONG regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength,
                                 DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength,
                                 DWORD* maxClassLength, DWORD* values,
                                 DWORD* maxValueNameLength, DWORD* maxValueLength,
                                 DWORD* securityDescriptorSize, FILETIME* lastWriteTime) = 0;
    virtual LONG regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                              DWORD* reserved, char16_t* className, DWORD* classLength,
                              FILETIME* lastWriteTime) = 0;
    // RegEnumValueW: `nameLength` counts characters (the terminator's room included on entry),
    // `dataSize` bytes.
    virtual LONG regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                              DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) = 0;
    virtual LONG regDeleteKey(HKEY key, const char16_t* subKey) = 0;
    // RegDeleteKeyExW: `access` names the registry view (KEY_WOW64_64KEY, KEY_WOW64_32KEY).
    virtual LONG regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD reserved) = 0;
    virtual LONG regDeleteValue(HKEY key, const char16_t* valueName) = 0;
    virtual LONG regCloseKey(HKEY key) = 0;

    // Service control manager (ADVAPI32).
    virtual SC_HANDLE openSCManager(const char16_t* machineName, const char16_t* databaseName,
                                    DWORD access) = 0;
    virtual SC_HANDLE openService(SC_HANDLE manager, const char16_t* serviceName,
                                  DWORD access) = 0;
    virtual BOOL queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
    virtual BOOL controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) = 0;
    virtual BOOL deleteService(SC_HANDLE service) = 0;
    virtual BOOL closeServiceHandle(SC_HANDLE handle) = 0;

    // Security (ADVAPI32).
    virtual DWORD setEntriesInAcl(ULONG count, EXPLICIT_ACCESS_W* entries, PACL oldAcl,
                                  PACL* newAcl) = 0;
    virtual DWORD setNamedSecurityInfo(char16_t* objectName, SE_OBJECT_TYPE objectType,
                                       SECURITY_INFORMATION information, PSID owner, PSID group,
                                       PACL dacl, PACL sacl) = 0;
    // GetNamedSecurityInfoW: `descriptor` receives memory to be released with localFree, which the
    // owner, group and list pointers point into.
    virtual DWORD getNamedSecurityInfo(const char16_t* objectName, SE_OBJECT_TYPE objectType,
                                       SECURITY_INFORMATION information, PSID* owner, PSID* group,
                                       PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) = 0;
    // SetSecurityInfo: the owner or access list of the object an open handle holds.
    virtual DWORD setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                  PSID owner, PSID group, PACL dacl, PACL sacl) = 0;
    virtual HANDLE getCurrentProcess() = 0;
    virtual BOOL openProcessToken(HANDLE process, DWORD access, HANDLE* token) = 0;
    virtual BOOL getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass,
                                     void* information, DWORD length, DWORD* returnLength) = 0;
    virtual BOOL lookupPrivilegeValue(const char16_t* systemName, const char16_t* name,
                                      LUID* luid) = 0;
    virtual BOOL adjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                       TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                       TOKEN_PRIVILEGES* previousState, DWORD* returnLength) = 0;

    // Processes, jobs, mutexes and completion ports (KERNEL32).
    virtual HANDLE createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name) = 0;
    virtual HANDLE createMutex(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner,
                               const char16_t* name) = 0;
    virtual BOOL createProcess(const char16_t* applicationName, char16_t* commandLine,
                               SECURITY_ATTRIBUTES* processAttributes,
                               SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                               DWORD creationFlags, void* environment,
                               const char16_t* currentDirectory, STARTUPINFOW* startupInfo,
                               PROCESS_INFORMATION* processInformation) = 0;
    virtual HANDLE createIoCompletionPort(HANDLE file, HANDLE existingPort,
                                          ULONG_PTR completionKey, DWORD concurrency) = 0;
    virtual BOOL setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass,
                                         void* information, DWORD length) = 0;
    virtual BOOL assignProcessToJobObject(HANDLE job, HANDLE process) = 0;
    virtual DWORD resumeThread(HANDLE thread) = 0;
    virtual BOOL terminateProcess(HANDLE process, UINT exitCode) = 0;
    virtual BOOL getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key,
                                           LPOVERLAPPED* overlapped, DWORD milliseconds) = 0;
    virtual DWORD waitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    virtual BOOL getExitCodeProcess(HANDLE process, DWORD* exitCode) = 0;
    virtual BOOL closeHandle(HANDLE handle) = 0;

    // Files (KERNEL32).
    virtual DWORD getFileAttributes(const char16_t* path) = 0;
    virtual BOOL setFileAttributes(const char16_t* path, DWORD attributes) = 0;
    virtual HANDLE findFirstFile(const char16_t* pattern, WIN32_FIND_DATAW* data) = 0;
    virtual BOOL findNextFile(HANDLE find, WIN32_FIND_DATAW* data) = 0;
    virtual BOOL findClose(HANDLE find) = 0;
    virtual BOOL deleteFile(const char16_t* path) = 0;
    virtual BOOL removeDirectory(const char16_t* path) = 0;
    virtual BOOL createDirectory(const char16_t* path, SECURITY_ATTRIBUTES* attributes) = 0;
    virtual HANDLE createFile(const char16_t* path, DWORD access, DWORD shareMode,
                              SECURITY_ATTRIBUTES* attributes, DWORD disposition,
                              DWORD flagsAndAttributes, HANDLE templateFile) = 0;
    virtual BOOL writeFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                           DWORD* bytesWritten, LPOVERLAPPED overlapped) = 0;
    virtual BOOL flushFileBuffers(HANDLE file) = 0;
    // MoveFileExW. With MOVEFILE_DELAY_UNTIL_REBOOT and no new name: the file or empty folder is
    // deleted when Windows next starts (PendingFileRenameOperations).
    virtual BOOL moveFileEx(const char16_t* existing, const char16_t* newName, DWORD flags) = 0;
    virtual DWORD getTempPath(DWORD bufferLength, char16_t* buffer) = 0;
    virtual UINT getTempFileName(const char16_t* pathName, const char16_t* prefix, UINT unique,
                                 char16_t* tempFileName) = 0;
    virtual DWORD expandEnvironmentStrings(const char16_t* source, char16_t* destination,
                                           DWORD size) = 0;
    // GetFullPathNameW.
    virtual DWORD getFullPathName(const char16_t* fileName, DWORD bufferLength, char16_t* buffer,
                                  char16_t** filePart) = 0;
    // GetLongPathNameW and GetFileInformationByHandle: what a name leads to on the disk.
    virtual DWORD getLongPathName(const char16_t* shortPath, char16_t* longPath,
                                  DWORD bufferLength) = 0;
    virtual BOOL getFileInformationByHandle(HANDLE file,
                                            BY_HANDLE_FILE_INFORMATION* information) = 0;
    // GetFinalPathNameByHandleW: where an open file or folder really is, every link followed as
    // the system followed it to open it ("\\?\C:\...").
    virtual DWORD getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags) = 0;
    // GetDriveTypeW: DRIVE_REMOTE for a network drive.
    virtual UINT getDriveType(const char16_t* rootPath) = 0;
    // SetCurrentDirectoryW: the folder relative names of this process are taken from.
    virtual BOOL setCurrentDirectory(const char16_t* path) = 0;
    // NtCreateFile (NTDLL). With `attributes->RootDirectory`, the name is one entry of that open
    // folder, found there however the folder has been renamed or replaced since it was opened:
    // a folder tree is walked by what was opened and checked, never by its names again. Answers
    // an NTSTATUS and leaves the last-error slot alone; RtlNtStatusToDosError gives its Win32 code.
    virtual NTSTATUS ntCreateFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                                  IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes,
                                  ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer,
                                  ULONG eaLength) = 0;
    virtual ULONG rtlNtStatusToDosError(NTSTATUS status) = 0;
    // GetFileInformationByHandleEx: a folder listed through its handle
    // (FileIdBothDirectoryRestartInfo, then FileIdBothDirectoryInfo until ERROR_NO_MORE_FILES).
    virtual BOOL getFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                              void* information, DWORD size) = 0;
    // SetFileInformationByHandle: attributes (FileBasicInfo, zero times left as they are) and the
    // deletion (FileDispositionInfo: the object goes when its last handle closes) made through
    // the object's own handle.
    virtual BOOL setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                            void* information, DWORD size) = 0;

    // The console (KERNEL32): GetStdHandle, AttachConsole, GetFileType, WriteConsoleW. CONOUT$,
    // the attached console's output, opens through createFile.
    virtual HANDLE getStdHandle(DWORD which) = 0;
    virtual BOOL attachConsole(DWORD processId) = 0;
    virtual DWORD getFileType(HANDLE file) = 0;
    virtual BOOL writeConsole(HANDLE console, const char16_t* text, DWORD characters,
                              DWORD* written, void* reserved) = 0;

    // Libraries (KERNEL32): SHGetFolderPathW is looked up at run time in shell32.dll.
    virtual HMODULE loadLibrary(const char16_t* fileName) = 0;
    virtual FARPROC getProcAddress(HMODULE module, const char* procName) = 0;
    virtual BOOL freeLibrary(HMODULE module) = 0;

    // File versions (VERSION).
    virtual DWORD getFileVersionInfoSize(const char16_t* fileName, DWORD* handle) = 0;
    virtual BOOL getFileVersionInfo(const char16_t* fileName, DWORD handle, DWORD length,
                                    void* data) = 0;
    virtual BOOL verQueryValue(const void* block, const char16_t* subBlock, void** buffer,
                               UINT* length) = 0;

    // Text and colours (KERNEL32, USER32).
    // CompareStringW: CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 on failure.
    virtual int compareString(LCID locale, DWORD flags, const char16_t* first, int firstLength,
                              const char16_t* second, int secondLength) = 0;
    virtual DWORD getSysColor(int index) = 0;

    // Time (KERNEL32). The simulated machine's clock advances on sleep() and timed waits
    // without the test waiting.
    virtual void sleep(DWORD milliseconds) = 0;
    virtual ULONGLONG getTickCount64() = 0;

    // GetSecurityInfo (ADVAPI32): the owner and access list of what an open handle holds (a file
    // or folder, a link opened as itself, a mutex), read with READ_CONTROL. `descriptor` receives
    // memory to be released with localFree, which the owner, group and list pointers point into.
    virtual DWORD getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                  PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                  PSECURITY_DESCRIPTOR* descriptor) = 0;
    // NtDeleteKey (NTDLL): deletes the key an open handle holds, opened with DELETE, whatever
    // name it has by now; a symbolic-link key opened as itself (REG_OPTION_OPEN_LINK) goes as the
    // link. Answers an NTSTATUS and leaves the last-error slot alone.
    virtual NTSTATUS ntDeleteKey(HANDLE key) = 0;
    // RegSetKeySecurity (ADVAPI32): the owner (the handle opened with WRITE_OWNER) or access list
    // (WRITE_DAC) of the key an open handle holds, the link itself for a link opened as itself.
    virtual LONG regSetKeySecurity(HKEY key, SECURITY_INFORMATION information,
                                   PSECURITY_DESCRIPTOR descriptor) = 0;
    // NtQueryObject (NTDLL), asked for ObjectNameInformation: the name in the object namespace of
    // what an open handle holds, the one a symbolic link led to ("\BaseNamedObjects\<name>" for
    // a global object). `information` receives a UNICODE_STRING and the text it points to. Answers
    // an NTSTATUS and leaves the last-error slot alone.
    virtual NTSTATUS ntQueryObject(HANDLE handle, OBJECT_INFORMATION_CLASS informationClass,
                                   void* information, ULONG length, ULONG* returnLength) = 0;
};

// The active implementation: the real system on Windows unless a test installed another.
OsApi& Os();

// Changes whenever an implementation is installed or removed; caches of what the system said
// (well-known folders) refill when it differs from the one they were filled under.
unsigned OsGeneration();

// Installs an implementation for the lifetime of the guard and restores the previous one.
// Install before starting threads that use the seam; the guard is not meant to race them.
class ScopedOsApi {
public:
    explicit ScopedOsApi(OsApi& api);
    // For a layer over the implementation in use that answers every read as it does until it
    // changes something itself (a planning layer): what caches hold stays good when it comes.
    struct OverTheSameMachine {};
    ScopedOsApi(OsApi& api, OverTheSameMachine);
    ~ScopedOsApi();
    ScopedOsApi(const ScopedOsApi&) = delete;
    ScopedOsApi& operator=(const ScopedOsApi&) = delete;

private:
    OsApi* previous_;
};

// Provided by the backend the binary links: the real system on Windows; natively it reports
// that no machine was installed and aborts, because there is no real Windows to fall back to.
OsApi& DefaultOsApi();
