#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os_api.h"
#include "plan/planned_changes.h"

// What a removal would change, without changing it: a decorator of the seam whose reads go to
// the machine below and whose changes are never made. Each change (a key or value deleted, an
// access list or owner set, an attribute cleared, a file or folder deleted, a service stopped or
// deleted, a deletion listed for the restart, a program started, a file written) is counted and
// kept in an overlay that later reads see: a deleted key reads as absent and is not listed, a
// deleted folder's files are gone, a stopped service reads as stopped. A program it is asked to
// start is not started: it runs at once and changes nothing, its job empty.

class PlanningOsApi : public ForwardingOsApi {
public:
    // `machine` answers the reads; each change kept from it is counted in `changes`. Neither is owned.
    PlanningOsApi(OsApi& machine, PlannedChanges& changes);
    ~PlanningOsApi() override;

    // The programs it was asked to start, their command lines in order.
    std::vector<std::u16string> startedPrograms() const;

    // What it does instead of the machine; everything else goes below (forwarding()).
    LONG regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result) override;
    LONG regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LONG regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength, DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength, DWORD* securityDescriptorSize, FILETIME* lastWriteTime) override;
    LONG regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, char16_t* className, DWORD* classLength, FILETIME* lastWriteTime) override;
    LONG regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LONG regDeleteKey(HKEY key, const char16_t* subKey) override;
    LONG regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD reserved) override;
    LONG regDeleteValue(HKEY key, const char16_t* valueName) override;
    LONG regCloseKey(HKEY key) override;
    SC_HANDLE openService(SC_HANDLE manager, const char16_t* serviceName, DWORD access) override;
    BOOL queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override;
    BOOL controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override;
    BOOL deleteService(SC_HANDLE service) override;
    BOOL closeServiceHandle(SC_HANDLE handle) override;
    DWORD setNamedSecurityInfo(char16_t* objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl) override;
    HANDLE createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name) override;
    BOOL createProcess(const char16_t* applicationName, char16_t* commandLine, SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment, const char16_t* currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation) override;
    HANDLE createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey, DWORD concurrency) override;
    BOOL setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass, void* information, DWORD length) override;
    BOOL assignProcessToJobObject(HANDLE job, HANDLE process) override;
    DWORD resumeThread(HANDLE thread) override;
    BOOL terminateProcess(HANDLE process, UINT exitCode) override;
    BOOL terminateJobObject(HANDLE job, UINT exitCode) override;
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
    UINT getTempFileName(const char16_t* pathName, const char16_t* prefix, UINT unique, char16_t* tempFileName) override;
    BOOL getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) override;
    DWORD setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl) override;
    DWORD getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags) override;
    NTSTATUS ntCreateFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes, ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer, ULONG eaLength) override;
    BOOL getFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size) override;
    BOOL setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size) override;
    DWORD getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) override;
    NTSTATUS ntDeleteKey(HANDLE key) override;
    LONG regSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) override;

protected:
    // Refuses, loudly, a change that would reach the machine: one the layer was not written for.
    void forwarding(SeamCall call) override;

private:
    struct Find;
    struct KeyCursor;
    void changed();
    // Keeps a file or folder as deleted from now on; TRUE, as the call it stands for answers.
    BOOL deletedPath(const char16_t* path);
    HANDLE fakeHandle();
    bool isFake(HANDLE handle) const;

    // The registry overlay: keys and values deleted, by canonical name ("64|HKLM\PATH" upper-case).
    std::u16string keyName(HKEY key, const char16_t* subKey, REGSAM access) const;
    bool keyGone(const std::u16string& name) const;
    bool valueGone(const std::u16string& key, const char16_t* value) const;
    LONG deleteKey(HKEY key, const char16_t* subKey, REGSAM access, bool ex);
    LONG enumerate(HKEY key, DWORD index, bool values, char16_t* name, DWORD* nameLength,
                   const std::function<LONG(DWORD, char16_t*, DWORD*)>& real);
    DWORD visibleCount(HKEY key, bool values);

    // Open files and folders by canonical path, so that a change made through a handle is kept for
    // the name it stands for, and a folder is listed as the overlay shows it (planning_handles.cpp).
    void opened(HANDLE handle, std::u16string name);
    std::u16string openedName(HANDLE handle) const;

    // The files overlay: paths deleted and attributes changed, by canonical path.
    static std::u16string pathName(const char16_t* path);
    bool pathGone(const std::u16string& name) const;
    bool filtered(Find& find, WIN32_FIND_DATAW* data);
    bool folderEmpty(const std::u16string& folder);

    PlannedChanges& changes_;
    // The hive HKEY_CURRENT_USER stands for, as HKEY_USERS names it ("S-1-5-21-..."), so that a key
    // deleted under either name is gone under both; empty when the token could not tell.
    std::u16string currentUser_;
    mutable std::mutex mutex_;
    std::set<std::u16string> deletedKeys_;
    std::set<std::u16string> deletedValues_;
    std::map<HKEY, std::u16string> keys_;
    std::map<HKEY, KeyCursor> cursors_;
    std::set<std::u16string> deletedPaths_;
    std::map<std::u16string, DWORD> attributes_;
    std::set<std::u16string> granted_;
    std::set<std::u16string> grantedFiles_;
    std::map<HANDLE, std::u16string> openFiles_;
    std::map<HANDLE, Find> finds_;
    std::map<SC_HANDLE, std::u16string> services_;
    std::set<std::u16string> stoppedServices_;
    std::set<std::u16string> deletedServices_;
    std::set<HANDLE> fakes_;
    std::map<HANDLE, HANDLE> jobPorts_;   // a fake job and the port it reports to
    std::map<HANDLE, unsigned> pending_;  // a fake port and the notifications waiting in it
    std::vector<std::u16string> started_;
    std::uintptr_t nextFake_ = 0x7E000000;
    unsigned tempNames_ = 0;
};
