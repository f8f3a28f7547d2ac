#include "platform/win32/win32_os_api.h"

#include <aclapi.h>

// NTDLL exports it; the mingw headers declare it only for drivers.
extern "C" NTSYSAPI NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle);

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API as wchar_t");

namespace {

// UTF-16 text as the API declares it.
wchar_t* W(char16_t* text)
{
    return reinterpret_cast<wchar_t*>(text);
}

const wchar_t* W(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

} // namespace

DWORD Win32OsApi::getLastError()
{
    return ::GetLastError();
}

void Win32OsApi::setLastError(DWORD code)
{
    ::SetLastError(code);
}

DWORD Win32OsApi::formatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char16_t* buffer, DWORD size, va_list* arguments)
{
    return ::FormatMessageW(flags, source, messageId, languageId, W(buffer), size, arguments);
}

HLOCAL Win32OsApi::localFree(HLOCAL memory)
{
    return ::LocalFree(memory);
}

int Win32OsApi::multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, char16_t* wide, int wideChars)
{
    return ::MultiByteToWideChar(codePage, flags, text, bytes, W(wide), wideChars);
}

DWORD Win32OsApi::getModuleFileName(HMODULE module, char16_t* buffer, DWORD size)
{
    return ::GetModuleFileNameW(module, W(buffer), size);
}

int Win32OsApi::messageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type)
{
    return ::MessageBoxW(owner, W(text), W(caption), type);
}

HWINSTA Win32OsApi::getProcessWindowStation()
{
    return ::GetProcessWindowStation();
}

BOOL Win32OsApi::getUserObjectInformation(HANDLE object, int index, void* information, DWORD length,
                                          DWORD* lengthNeeded)
{
    return ::GetUserObjectInformationW(object, index, information, length, lengthNeeded);
}

BOOL Win32OsApi::enumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    return ::EnumWindows(callback, parameter);
}

DWORD Win32OsApi::getWindowThreadProcessId(HWND window, DWORD* processId)
{
    return ::GetWindowThreadProcessId(window, processId);
}

BOOL Win32OsApi::isWindowVisible(HWND window)
{
    return ::IsWindowVisible(window);
}

int Win32OsApi::getWindowText(HWND window, char16_t* text, int capacity)
{
    return ::GetWindowTextW(window, W(text), capacity);
}

LONG Win32OsApi::regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result)
{
    return ::RegOpenKeyExW(key, W(subKey), options, access, result);
}

LONG Win32OsApi::regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize)
{
    return ::RegQueryValueExW(key, W(valueName), reserved, type, data, dataSize);
}

LONG Win32OsApi::regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength, DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength, DWORD* securityDescriptorSize, FILETIME* lastWriteTime)
{
    return ::RegQueryInfoKeyW(key, W(className), classLength, reserved, subKeys, maxSubKeyLength, maxClassLength, values, maxValueNameLength, maxValueLength, securityDescriptorSize, lastWriteTime);
}

LONG Win32OsApi::regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, char16_t* className, DWORD* classLength, FILETIME* lastWriteTime)
{
    return ::RegEnumKeyExW(key, index, W(name), nameLength, reserved, W(className), classLength, lastWriteTime);
}

LONG Win32OsApi::regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize)
{
    return ::RegEnumValueW(key, index, W(name), nameLength, reserved, type, data, dataSize);
}

LONG Win32OsApi::regDeleteKey(HKEY key, const char16_t* subKey)
{
    return ::RegDeleteKeyW(key, W(subKey));
}

LONG Win32OsApi::regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD reserved)
{
    return ::RegDeleteKeyExW(key, W(subKey), access, reserved);
}

LONG Win32OsApi::regDeleteValue(HKEY key, const char16_t* valueName)
{
    return ::RegDeleteValueW(key, W(valueName));
}

LONG Win32OsApi::regCloseKey(HKEY key)
{
    return ::RegCloseKey(key);
}

SC_HANDLE Win32OsApi::openSCManager(const char16_t* machineName, const char16_t* databaseName, DWORD access)
{
    return ::OpenSCManagerW(W(machineName), W(databaseName), access);
}

SC_HANDLE Win32OsApi::openService(SC_HANDLE manager, const char16_t* serviceName, DWORD access)
{
    return ::OpenServiceW(manager, W(serviceName), access);
}

BOOL Win32OsApi::queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status)
{
    return ::QueryServiceStatus(service, status);
}

BOOL Win32OsApi::controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    return ::ControlService(service, control, status);
}

BOOL Win32OsApi::deleteService(SC_HANDLE service)
{
    return ::DeleteService(service);
}

BOOL Win32OsApi::closeServiceHandle(SC_HANDLE handle)
{
    return ::CloseServiceHandle(handle);
}

DWORD Win32OsApi::setEntriesInAcl(ULONG count, EXPLICIT_ACCESS_W* entries, PACL oldAcl, PACL* newAcl)
{
    return ::SetEntriesInAclW(count, entries, oldAcl, newAcl);
}

DWORD Win32OsApi::setNamedSecurityInfo(char16_t* objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl)
{
    return ::SetNamedSecurityInfoW(W(objectName), objectType, information, owner, group, dacl, sacl);
}

HANDLE Win32OsApi::getCurrentProcess()
{
    return ::GetCurrentProcess();
}

BOOL Win32OsApi::openProcessToken(HANDLE process, DWORD access, HANDLE* token)
{
    return ::OpenProcessToken(process, access, token);
}

BOOL Win32OsApi::getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, void* information, DWORD length, DWORD* returnLength)
{
    return ::GetTokenInformation(token, informationClass, information, length, returnLength);
}

BOOL Win32OsApi::lookupPrivilegeValue(const char16_t* systemName, const char16_t* name, LUID* luid)
{
    return ::LookupPrivilegeValueW(W(systemName), W(name), luid);
}

BOOL Win32OsApi::adjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    return ::AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState, returnLength);
}

HANDLE Win32OsApi::createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name)
{
    return ::CreateJobObjectW(attributes, W(name));
}

HANDLE Win32OsApi::createMutex(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, const char16_t* name)
{
    return ::CreateMutexW(attributes, initialOwner, W(name));
}

BOOL Win32OsApi::createProcess(const char16_t* applicationName, char16_t* commandLine, SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment, const char16_t* currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation)
{
    return ::CreateProcessW(W(applicationName), W(commandLine), processAttributes, threadAttributes, inheritHandles, creationFlags, environment, W(currentDirectory), startupInfo, processInformation);
}

HANDLE Win32OsApi::createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey, DWORD concurrency)
{
    return ::CreateIoCompletionPort(file, existingPort, completionKey, concurrency);
}

BOOL Win32OsApi::setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass, void* information, DWORD length)
{
    return ::SetInformationJobObject(job, informationClass, information, length);
}

BOOL Win32OsApi::assignProcessToJobObject(HANDLE job, HANDLE process)
{
    return ::AssignProcessToJobObject(job, process);
}

DWORD Win32OsApi::resumeThread(HANDLE thread)
{
    return ::ResumeThread(thread);
}

BOOL Win32OsApi::terminateProcess(HANDLE process, UINT exitCode)
{
    return ::TerminateProcess(process, exitCode);
}

BOOL Win32OsApi::terminateJobObject(HANDLE job, UINT exitCode)
{
    return ::TerminateJobObject(job, exitCode);
}

BOOL Win32OsApi::getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key, LPOVERLAPPED* overlapped, DWORD milliseconds)
{
    return ::GetQueuedCompletionStatus(port, bytes, key, overlapped, milliseconds);
}

DWORD Win32OsApi::waitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL Win32OsApi::getExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    return ::GetExitCodeProcess(process, exitCode);
}

BOOL Win32OsApi::closeHandle(HANDLE handle)
{
    return ::CloseHandle(handle);
}

DWORD Win32OsApi::getFileAttributes(const char16_t* path)
{
    return ::GetFileAttributesW(W(path));
}

BOOL Win32OsApi::setFileAttributes(const char16_t* path, DWORD attributes)
{
    return ::SetFileAttributesW(W(path), attributes);
}

HANDLE Win32OsApi::findFirstFile(const char16_t* pattern, WIN32_FIND_DATAW* data)
{
    return ::FindFirstFileW(W(pattern), data);
}

BOOL Win32OsApi::findNextFile(HANDLE find, WIN32_FIND_DATAW* data)
{
    return ::FindNextFileW(find, data);
}

BOOL Win32OsApi::findClose(HANDLE find)
{
    return ::FindClose(find);
}

BOOL Win32OsApi::deleteFile(const char16_t* path)
{
    return ::DeleteFileW(W(path));
}

BOOL Win32OsApi::removeDirectory(const char16_t* path)
{
    return ::RemoveDirectoryW(W(path));
}

BOOL Win32OsApi::createDirectory(const char16_t* path, SECURITY_ATTRIBUTES* attributes)
{
    return ::CreateDirectoryW(W(path), attributes);
}

HANDLE Win32OsApi::createFile(const char16_t* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* attributes, DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile)
{
    return ::CreateFileW(W(path), access, shareMode, attributes, disposition, flagsAndAttributes, templateFile);
}

BOOL Win32OsApi::writeFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, LPOVERLAPPED overlapped)
{
    return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
}

BOOL Win32OsApi::flushFileBuffers(HANDLE file)
{
    return ::FlushFileBuffers(file);
}

BOOL Win32OsApi::moveFileEx(const char16_t* existing, const char16_t* newName, DWORD flags)
{
    return ::MoveFileExW(W(existing), W(newName), flags);
}

DWORD Win32OsApi::getTempPath(DWORD bufferLength, char16_t* buffer)
{
    return ::GetTempPathW(bufferLength, W(buffer));
}

UINT Win32OsApi::getTempFileName(const char16_t* pathName, const char16_t* prefix, UINT unique, char16_t* tempFileName)
{
    return ::GetTempFileNameW(W(pathName), W(prefix), unique, W(tempFileName));
}

DWORD Win32OsApi::expandEnvironmentStrings(const char16_t* source, char16_t* destination, DWORD size)
{
    return ::ExpandEnvironmentStringsW(W(source), W(destination), size);
}

int Win32OsApi::compareString(LCID locale, DWORD flags, const char16_t* first, int firstLength, const char16_t* second, int secondLength)
{
    return ::CompareStringW(locale, flags, W(first), firstLength, W(second), secondLength);
}

DWORD Win32OsApi::getSysColor(int index)
{
    return ::GetSysColor(index);
}

DWORD Win32OsApi::getFullPathName(const char16_t* fileName, DWORD bufferLength, char16_t* buffer, char16_t** filePart)
{
    return ::GetFullPathNameW(W(fileName), bufferLength, W(buffer), reinterpret_cast<LPWSTR*>(filePart));
}

DWORD Win32OsApi::getLongPathName(const char16_t* shortPath, char16_t* longPath, DWORD bufferLength)
{
    return ::GetLongPathNameW(W(shortPath), W(longPath), bufferLength);
}

BOOL Win32OsApi::getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    return ::GetFileInformationByHandle(file, information);
}

DWORD Win32OsApi::getNamedSecurityInfo(const char16_t* objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    return ::GetNamedSecurityInfoW(W(objectName), objectType, information, owner, group, dacl, sacl, descriptor);
}

DWORD Win32OsApi::setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl)
{
    return ::SetSecurityInfo(handle, objectType, information, owner, group, dacl, sacl);
}

DWORD Win32OsApi::getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags)
{
    return ::GetFinalPathNameByHandleW(file, W(path), length, flags);
}

UINT Win32OsApi::getDriveType(const char16_t* rootPath)
{
    return ::GetDriveTypeW(W(rootPath));
}

BOOL Win32OsApi::setCurrentDirectory(const char16_t* path)
{
    return ::SetCurrentDirectoryW(W(path));
}

NTSTATUS Win32OsApi::ntCreateFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes, ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer, ULONG eaLength)
{
    return ::NtCreateFile(file, access, attributes, ioStatus, allocationSize, fileAttributes, shareAccess, disposition, options, eaBuffer, eaLength);
}

ULONG Win32OsApi::rtlNtStatusToDosError(NTSTATUS status)
{
    return ::RtlNtStatusToDosError(status);
}

BOOL Win32OsApi::getFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size)
{
    return ::GetFileInformationByHandleEx(file, informationClass, information, size);
}

BOOL Win32OsApi::setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size)
{
    return ::SetFileInformationByHandle(file, informationClass, information, size);
}

HANDLE Win32OsApi::getStdHandle(DWORD which)
{
    return ::GetStdHandle(which);
}

BOOL Win32OsApi::attachConsole(DWORD processId)
{
    return ::AttachConsole(processId);
}

DWORD Win32OsApi::getFileType(HANDLE file)
{
    return ::GetFileType(file);
}

BOOL Win32OsApi::writeConsole(HANDLE console, const char16_t* text, DWORD characters, DWORD* written, void* reserved)
{
    return ::WriteConsoleW(console, W(text), characters, written, reserved);
}

HMODULE Win32OsApi::loadLibrary(const char16_t* fileName)
{
    return ::LoadLibraryW(W(fileName));
}

FARPROC Win32OsApi::getProcAddress(HMODULE module, const char* procName)
{
    return ::GetProcAddress(module, procName);
}

BOOL Win32OsApi::freeLibrary(HMODULE module)
{
    return ::FreeLibrary(module);
}

DWORD Win32OsApi::getFileVersionInfoSize(const char16_t* fileName, DWORD* handle)
{
    return ::GetFileVersionInfoSizeW(W(fileName), handle);
}

BOOL Win32OsApi::getFileVersionInfo(const char16_t* fileName, DWORD handle, DWORD length, void* data)
{
    return ::GetFileVersionInfoW(W(fileName), handle, length, data);
}

BOOL Win32OsApi::verQueryValue(const void* block, const char16_t* subBlock, void** buffer, UINT* length)
{
    return ::VerQueryValueW(block, W(subBlock), buffer, length);
}

void Win32OsApi::sleep(DWORD milliseconds)
{
    ::Sleep(milliseconds);
}

ULONGLONG Win32OsApi::getTickCount64()
{
    return ::GetTickCount64();
}

DWORD Win32OsApi::getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    return ::GetSecurityInfo(handle, objectType, information, owner, group, dacl, sacl, descriptor);
}

NTSTATUS Win32OsApi::ntDeleteKey(HANDLE key)
{
    return ::NtDeleteKey(key);
}

LONG Win32OsApi::regSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor)
{
    return ::RegSetKeySecurity(key, information, descriptor);
}

NTSTATUS Win32OsApi::ntQueryObject(HANDLE handle, OBJECT_INFORMATION_CLASS informationClass, void* information, ULONG length, ULONG* returnLength)
{
    return ::NtQueryObject(handle, informationClass, information, length, returnLength);
}

OsApi& DefaultOsApi()
{
    static Win32OsApi system;
    return system;
}
