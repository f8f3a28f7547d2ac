#pragma once

#include "platform/os_api.h"

// The real system: one forwarding call per operation, no logic.
class Win32OsApi final : public OsApi {
public:
    DWORD getLastError() override;
    void setLastError(DWORD code) override;
    DWORD formatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char16_t* buffer, DWORD size, va_list* arguments) override;
    HLOCAL localFree(HLOCAL memory) override;
    int multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, char16_t* wide, int wideChars) override;
    DWORD getModuleFileName(HMODULE module, char16_t* buffer, DWORD size) override;
    int messageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type) override;
    HWINSTA getProcessWindowStation() override;
    BOOL getUserObjectInformation(HANDLE object, int index, void* information, DWORD length,
                                  DWORD* lengthNeeded) override;
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
    DWORD getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags) override;
    UINT getDriveType(const char16_t* rootPath) override;
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
};
