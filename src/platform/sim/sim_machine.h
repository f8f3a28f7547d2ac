#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/os_api.h"

// The calls the simulated machine answers, for counting and fault injection.
enum class SimCall {
    FormatMessage,
    LocalFree,
    MultiByteToWideChar,
    GetModuleFileName,
    MessageBox,
    GetProcessWindowStation,
    GetUserObjectInformation,
    RegOpenKeyEx,
    RegQueryValueEx,
    RegQueryInfoKey,
    RegEnumKeyEx,
    RegEnumValue,
    RegDeleteKey,
    RegDeleteKeyEx,
    RegDeleteValue,
    RegCloseKey,
    OpenSCManager,
    OpenService,
    QueryServiceStatus,
    ControlService,
    DeleteService,
    CloseServiceHandle,
    SetEntriesInAcl,
    SetNamedSecurityInfo,
    GetNamedSecurityInfo,
    SetSecurityInfo,
    GetCurrentProcess,
    OpenProcessToken,
    GetTokenInformation,
    LookupPrivilegeValue,
    AdjustTokenPrivileges,
    CreateJobObject,
    CreateMutex,
    CreateProcess,
    CreateIoCompletionPort,
    SetInformationJobObject,
    AssignProcessToJobObject,
    ResumeThread,
    TerminateProcess,
    GetQueuedCompletionStatus,
    WaitForSingleObject,
    GetExitCodeProcess,
    CloseHandle,
    GetFileAttributes,
    SetFileAttributes,
    FindFirstFile,
    FindNextFile,
    FindClose,
    DeleteFile,
    RemoveDirectory,
    CreateDirectory,
    CreateFile,
    WriteFile,
    FlushFileBuffers,
    GetTempPath,
    GetTempFileName,
    ExpandEnvironmentStrings,
    GetFullPathName,
    GetLongPathName,
    GetFileInformationByHandle,
    GetFinalPathNameByHandle,
    GetDriveType,
    SetCurrentDirectory,
    NtCreateFile,
    RtlNtStatusToDosError,
    GetFileInformationByHandleEx,
    SetFileInformationByHandle,
    CompareString,
    GetSysColor,
    LoadLibrary,
    GetProcAddress,
    FreeLibrary,
    GetFileVersionInfoSize,
    GetFileVersionInfo,
    VerQueryValue,
    GetStdHandle,
    AttachConsole,
    GetFileType,
    WriteConsole,
    MoveFileEx,
    Sleep,
    GetTickCount64,
    GetSecurityInfo,
    NtDeleteKey,
    RegSetKeySecurity,
    NtQueryObject,
};

// A kernel object behind a HANDLE of the simulated machine (process, thread, job, completion
// port, open file). Each area of the machine derives its own.
class SimKernelObject {
public:
    virtual ~SimKernelObject() = default;
};

class SimRegistry;
class SimServices;
class SimSecurity;
class SimProcesses;
class SimFileSystem;
class SimShell;
class SimConsole;
struct SimToken;
struct SimObjectSecurity;

// A message box the program showed.
struct SimMessageBox {
    std::u16string text;
    std::u16string caption;
    UINT type;
};

// An in-memory Windows machine behind the seam, with Windows' semantics for every call it
// models. A call it does not model fails with ERROR_CALL_NOT_IMPLEMENTED, never a silent
// success. Tests build one, install it with ScopedOsApi, run the logic and inspect it.
class SimMachine final : public OsApi {
public:
    SimMachine();
    ~SimMachine() override;

    // Machine set-up.
    void setModulePath(std::u16string path);
    // Started as SYSTEM, as deployment engines start programs: the token's user is S-1-5-18, whose
    // hive HKEY_CURRENT_USER stands for; the profile, listed under ProfileList, is
    // "C:\Windows\system32\config\systemprofile" (for this 32-bit program the one under SysWOW64)
    // with its known folders below it; the temporary folder is "C:\Windows\Temp".
    void runAsSystem();
    // The answer of the next message boxes, in order; IDOK once the script runs out.
    void scriptMessageBoxAnswers(std::vector<int> answers);
    // Another program, run under a standard user's token, makes the named mutex `name` as
    // CreateMutexW would (the descriptor in `attributes`, or the token's own defaults) and holds
    // it until the handle returned is closed. Null on failure, with the last error set.
    HANDLE createMutexAsStandardUser(SECURITY_ATTRIBUTES* attributes, const char16_t* name);
    // A symbolic link of the object namespace, as any user may make among the global objects:
    // `link` and `target` are object names ("\BaseNamedObjects\<name>"), and a mutex named
    // `link` is then made or opened as `target`.
    void linkObjectName(const std::u16string& link, const std::u16string& target);

    // Fault injection: the `nth` use of `call` from now on (1 is the next) fails with `error`.
    void failCall(SimCall call, DWORD error, unsigned nth = 1);
    // The program's process ended at its `nth` seam call from now on (1 is the next), of any kind:
    // that call and every later one fail and change nothing (ERROR_PROCESS_ABORTED, or
    // STATUS_PROCESS_IS_TERMINATING from a native call). What was written stays as written.
    void stopAtCall(unsigned nth);
    // The program's process is gone: the system closes every handle it held (a pending deletion
    // takes effect, a mutex goes with its last handle), and calls go through again, as they do
    // for the next program.
    void endProcess();
    // Whether the process has been ended by stopAtCall: what the program does outside the seam (a
    // library that writes the registry itself, a statement sent to a server) ends with it.
    bool stopped() const;

    // The areas of the machine, each with its own set-up and inspection, created on first use.
    SimRegistry& registry();
    SimServices& services();
    SimSecurity& security();
    SimProcesses& processes();
    SimFileSystem& files();
    SimShell& shell();
    SimConsole& console();

    // Windows restarting: what PendingFileRenameOperations lists is deleted before any program
    // runs (a folder only when it is empty by then), and the list is emptied.
    void restart();

    // Environment variables for ExpandEnvironmentStringsW (names are case-insensitive).
    void setEnvironmentVariable(const std::u16string& name, std::u16string value);

    // The clock behind getTickCount64(), in milliseconds; sleep() and timed waits advance it
    // without waiting. Tests may advance it too.
    ULONGLONG now() const;
    void advanceClock(DWORD milliseconds);

    // Kernel handles, shared by the areas. A handle stays valid until closeHandle().
    HANDLE addHandle(std::shared_ptr<SimKernelObject> object);
    template <class T>
    std::shared_ptr<T> handleObject(HANDLE handle) const
    {
        return std::dynamic_pointer_cast<T>(kernelObject(handle));
    }
    std::size_t openHandles() const;

    // Inspection.
    const std::vector<SimMessageBox>& messageBoxes() const { return messageBoxes_; }
    // A service's window station, or a deployment engine's session 0: nobody sees it. A message
    // box shown there would wait for ever; the machine records it and refuses it instead.
    void setWindowStationVisible(bool visible) { windowStationVisible_ = visible; }
    // Message boxes refused because nobody could have answered them.
    const std::vector<SimMessageBox>& unseenMessageBoxes() const { return unseenMessageBoxes_; }
    unsigned callCount(SimCall call) const;
    unsigned callCount() const; // of every kind

    // Blocks the system handed out (FormatMessageW) and not yet given back with LocalFree.
    std::size_t liveAllocations() const { return allocations_.size(); }
    // LocalAlloc for the areas: a zeroed block the program gives back with localFree.
    void* localAlloc(std::size_t bytes);

    // OsApi.
    DWORD getLastError() override;
    void setLastError(DWORD code) override;
    DWORD formatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char16_t* buffer, DWORD size, va_list* arguments) override;
    HLOCAL localFree(HLOCAL memory) override;
    int multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, char16_t* wide, int wideChars) override;
    DWORD getModuleFileName(HMODULE module, char16_t* buffer, DWORD size) override;
    int messageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type) override;
    HWINSTA getProcessWindowStation() override;
    BOOL getUserObjectInformation(HANDLE object, int index, void* information, DWORD length, DWORD* lengthNeeded) override;
    LONG regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result) override;
    LONG regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LONG regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength, DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength, DWORD* securityDescriptorSize, FILETIME* lastWriteTime) override;
    LONG regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, char16_t* className, DWORD* classLength, FILETIME* lastWriteTime) override;
    LONG regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LONG regDeleteKey(HKEY key, const char16_t* subKey) override;
    LONG regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD reserved) override;
    LONG regDeleteValue(HKEY key, const char16_t* valueName) override;
    LONG regCloseKey(HKEY key) override;
    SC_HANDLE openSCManager(const char16_t* machineName, const char16_t* databaseName, DWORD access) override;
    SC_HANDLE openService(SC_HANDLE manager, const char16_t* serviceName, DWORD access) override;
    BOOL queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override;
    BOOL controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override;
    BOOL deleteService(SC_HANDLE service) override;
    BOOL closeServiceHandle(SC_HANDLE handle) override;
    DWORD setEntriesInAcl(ULONG count, EXPLICIT_ACCESS_W* entries, PACL oldAcl, PACL* newAcl) override;
    DWORD setNamedSecurityInfo(char16_t* objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl) override;
    HANDLE getCurrentProcess() override;
    BOOL openProcessToken(HANDLE process, DWORD access, HANDLE* token) override;
    BOOL getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, void* information, DWORD length, DWORD* returnLength) override;
    BOOL lookupPrivilegeValue(const char16_t* systemName, const char16_t* name, LUID* luid) override;
    BOOL adjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength) override;
    HANDLE createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name) override;
    HANDLE createMutex(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, const char16_t* name) override;
    BOOL createProcess(const char16_t* applicationName, char16_t* commandLine, SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment, const char16_t* currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation) override;
    HANDLE createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey, DWORD concurrency) override;
    BOOL setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass, void* information, DWORD length) override;
    BOOL assignProcessToJobObject(HANDLE job, HANDLE process) override;
    DWORD resumeThread(HANDLE thread) override;
    BOOL terminateProcess(HANDLE process, UINT exitCode) override;
    BOOL getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key, LPOVERLAPPED* overlapped, DWORD milliseconds) override;
    DWORD waitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL getExitCodeProcess(HANDLE process, DWORD* exitCode) override;
    BOOL closeHandle(HANDLE handle) override;
    DWORD getFileAttributes(const char16_t* path) override;
    BOOL setFileAttributes(const char16_t* path, DWORD attributes) override;
    HANDLE findFirstFile(const char16_t* pattern, WIN32_FIND_DATAW* data) override;
    BOOL findNextFile(HANDLE find, WIN32_FIND_DATAW* data) override;
    BOOL findClose(HANDLE find) override;
    BOOL deleteFile(const char16_t* path) override;
    BOOL removeDirectory(const char16_t* path) override;
    BOOL createDirectory(const char16_t* path, SECURITY_ATTRIBUTES* attributes) override;
    HANDLE createFile(const char16_t* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* attributes, DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) override;
    BOOL writeFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, LPOVERLAPPED overlapped) override;
    BOOL flushFileBuffers(HANDLE file) override;
    BOOL moveFileEx(const char16_t* existing, const char16_t* newName, DWORD flags) override;
    DWORD getTempPath(DWORD bufferLength, char16_t* buffer) override;
    UINT getTempFileName(const char16_t* pathName, const char16_t* prefix, UINT unique, char16_t* tempFileName) override;
    DWORD expandEnvironmentStrings(const char16_t* source, char16_t* destination, DWORD size) override;
    int compareString(LCID locale, DWORD flags, const char16_t* first, int firstLength, const char16_t* second, int secondLength) override;
    DWORD getSysColor(int index) override;
    DWORD getFullPathName(const char16_t* fileName, DWORD bufferLength, char16_t* buffer, char16_t** filePart) override;
    DWORD getLongPathName(const char16_t* shortPath, char16_t* longPath, DWORD bufferLength) override;
    BOOL getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) override;
    DWORD getNamedSecurityInfo(const char16_t* objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) override;
    DWORD setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl) override;
    DWORD getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags) override;
    UINT getDriveType(const char16_t* rootPath) override;
    BOOL setCurrentDirectory(const char16_t* path) override;
    NTSTATUS ntCreateFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes, ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer, ULONG eaLength) override;
    ULONG rtlNtStatusToDosError(NTSTATUS status) override;
    BOOL getFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size) override;
    BOOL setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size) override;
    HANDLE getStdHandle(DWORD which) override;
    BOOL attachConsole(DWORD processId) override;
    DWORD getFileType(HANDLE file) override;
    BOOL writeConsole(HANDLE console, const char16_t* text, DWORD characters, DWORD* written, void* reserved) override;
    HMODULE loadLibrary(const char16_t* fileName) override;
    FARPROC getProcAddress(HMODULE module, const char* procName) override;
    BOOL freeLibrary(HMODULE module) override;
    DWORD getFileVersionInfoSize(const char16_t* fileName, DWORD* handle) override;
    BOOL getFileVersionInfo(const char16_t* fileName, DWORD handle, DWORD length, void* data) override;
    BOOL verQueryValue(const void* block, const char16_t* subBlock, void** buffer, UINT* length) override;
    void sleep(DWORD milliseconds) override;
    ULONGLONG getTickCount64() override;
    DWORD getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) override;
    NTSTATUS ntDeleteKey(HANDLE key) override;
    LONG regSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) override;
    NTSTATUS ntQueryObject(HANDLE handle, OBJECT_INFORMATION_CLASS informationClass, void* information, ULONG length, ULONG* returnLength) override;

    // For the areas: counts the call and gives back the injected error code when a fault fires
    // (and sets it as the last error), ERROR_SUCCESS otherwise.
    DWORD enter(SimCall call);
    // Sets the last error and gives back `result`, for the failure paths.
    template <class T>
    T fail(DWORD error, T result)
    {
        setLastError(error);
        return result;
    }

private:
    // Shell32 of this machine stops answering once the machine goes (sim_shell.cpp).
    void forgetShell();
    // CreateMutexW as a program running with `token` makes or opens the mutex.
    HANDLE makeMutex(const SimToken& token, SECURITY_ATTRIBUTES* attributes, const char16_t* name);
    // The owner and access list of an object as GetNamedSecurityInfoW and GetSecurityInfo hand them
    // out: one self-relative block from localAlloc, the pointers into it.
    DWORD answerSecurity(const SimObjectSecurity& security, SECURITY_INFORMATION information, PSID* owner,
                         PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor);
    std::shared_ptr<SimKernelObject> kernelObject(HANDLE handle) const;

    struct Fault {
        unsigned countdown;
        DWORD error;
    };

    mutable std::mutex mutex_;
    std::map<std::thread::id, DWORD> lastErrors_;
    std::map<SimCall, unsigned> calls_;
    unsigned stopCountdown_ = 0; // 0: no stop set
    bool stopped_ = false;
    std::multimap<SimCall, Fault> faults_;
    std::map<const void*, std::unique_ptr<char16_t[]>> allocations_;
    std::vector<SimMessageBox> messageBoxes_;
    std::vector<SimMessageBox> unseenMessageBoxes_;
    bool windowStationVisible_ = true;
    std::vector<int> messageBoxAnswers_;
    std::u16string modulePath_;
    std::map<std::u16string, std::u16string> environment_; // keyed by upper-case name
    ULONGLONG clock_ = 0;
    std::map<HANDLE, std::shared_ptr<SimKernelObject>> handles_;
    // Named mutexes, by their exact name (object names are case-sensitive); one lives while a
    // handle to it is open.
    std::map<std::u16string, std::weak_ptr<SimKernelObject>> namedMutexes_; // by object name
    std::map<std::u16string, std::u16string> objectLinks_;
    std::uintptr_t nextHandle_ = 0x100;
    std::shared_ptr<SimRegistry> registry_;
    std::shared_ptr<SimServices> services_;
    std::shared_ptr<SimSecurity> security_;
    std::shared_ptr<SimProcesses> processes_;
    std::shared_ptr<SimFileSystem> files_;
    std::shared_ptr<SimShell> shell_;
    std::shared_ptr<SimConsole> console_;
};

// The system's message text for an error code as the simulated machine knows it, with the
// trailing line break FormatMessageW gives; null for a code it has no text for.
const char16_t* SimSystemMessage(DWORD code);
