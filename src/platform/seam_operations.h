#pragma once

// The seam's operations, once. Each mirrors one Win32 call: the same arguments (text as char16_t,
// UTF-16 as on Windows), the same result, and on failure the same code in the seam's own
// last-error slot, read with getLastError(). Everything that lists the operations is made from
// this table (platform/os_api.h): the interface, the layer that forwards every call, the
// simulated machine's count of calls, the planning layer's classes and the fault sweep's errors.
// A new operation is a row here and its answer in each backend.
//
//   X(class, call, "Win32 name", result, method, (parameters), (arguments), fault)
//
// class  Read: only reads the machine. Local: touches only the program's own process and outputs
//        (its handles, its token, its console, its log). Change: changes the machine; a planning
//        layer keeps it from doing so, and refuses, loudly, a change it was not written for.
// fault  The error the fault sweep fails the call with, the one a real machine gives it most
//        often (an NTSTATUS for an Nt call); 0 for a call that fails only on a handle the
//        program never had (closing, the clock, sleeping) and is never failed.
#define QTV_SEAM_OPERATIONS(X) \
    /* GetLastError / SetLastError: the thread's error slot of this implementation. */                                 \
    X(Local, GetLastError, "GetLastError", DWORD, getLastError, (), (), 0)                                             \
    X(Local, SetLastError, "SetLastError", void, setLastError, (DWORD code), (code), 0)                                \
    /* FormatMessageW. With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char16_t** that receives memory */    \
    /* to be released with localFree, exactly as on Windows. */                                                        \
    X(Read, FormatMessage, "FormatMessageW", DWORD, formatMessage, (DWORD flags, const void* source, DWORD messageId,  \
        DWORD languageId, char16_t* buffer, DWORD size, va_list* arguments), (flags, source, messageId, languageId,    \
        buffer, size, arguments), ERROR_FILE_NOT_FOUND)                                                                \
    /* LocalFree: null on success, the handle itself on failure. */                                                    \
    X(Local, LocalFree, "LocalFree", HLOCAL, localFree, (HLOCAL memory), (memory), 0)                                  \
    /* MultiByteToWideChar. */                                                                                         \
    X(Read, MultiByteToWideChar, "MultiByteToWideChar", int, multiByteToWideChar, (UINT codePage, DWORD flags,         \
        const char* text, int bytes, char16_t* wide, int wideChars), (codePage, flags, text, bytes, wide, wideChars),  \
        0)                                                                                                             \
    /* GetModuleFileNameW. */                                                                                          \
    X(Read, GetModuleFileName, "GetModuleFileNameW", DWORD, getModuleFileName, (HMODULE module, char16_t* buffer,      \
        DWORD size), (module, buffer, size), 0)                                                                        \
    /* MessageBoxW. */                                                                                                 \
    X(Local, MessageBox, "MessageBoxW", int, messageBox, (HWND owner, const char16_t* text, const char16_t* caption,   \
        UINT type), (owner, text, caption, type), 0)                                                                   \
    /* GetProcessWindowStation and GetUserObjectInformationW (USER32): whether anybody can see the message boxes. */   \
    X(Read, GetProcessWindowStation, "GetProcessWindowStation", HWINSTA, getProcessWindowStation, (), (), 0)           \
    X(Read, GetUserObjectInformation, "GetUserObjectInformationW", BOOL, getUserObjectInformation, (HANDLE object,     \
        int index, void* information, DWORD length, DWORD* lengthNeeded), (object, index, information, length,         \
        lengthNeeded), 0)                                                                                              \
    /* EnumWindows, GetWindowThreadProcessId, IsWindowVisible and GetWindowTextW (USER32): the top-level windows */    \
    /* of the desktop, whose process shows each, and what it says: the box an uninstaller waits in. */                 \
    X(Read, EnumWindows, "EnumWindows", BOOL, enumWindows, (WNDENUMPROC callback, LPARAM parameter), (callback,        \
        parameter), ERROR_ACCESS_DENIED)                                                                               \
    X(Read, GetWindowThreadProcessId, "GetWindowThreadProcessId", DWORD, getWindowThreadProcessId, (HWND window,       \
        DWORD* processId), (window, processId), ERROR_INVALID_WINDOW_HANDLE)                                           \
    X(Read, IsWindowVisible, "IsWindowVisible", BOOL, isWindowVisible, (HWND window), (window), 0)                     \
    X(Read, GetWindowText, "GetWindowTextW", int, getWindowText, (HWND window, char16_t* text, int capacity),          \
        (window, text, capacity), ERROR_INVALID_WINDOW_HANDLE)                                                         \
    /* Registry (ADVAPI32). Results are the Win32 error codes these functions return. */                               \
    X(Read, RegOpenKeyEx, "RegOpenKeyExW", LONG, regOpenKeyEx, (HKEY key, const char16_t* subKey, DWORD options,       \
        REGSAM access, HKEY* result), (key, subKey, options, access, result), ERROR_ACCESS_DENIED)                     \
    X(Read, RegQueryValueEx, "RegQueryValueExW", LONG, regQueryValueEx, (HKEY key, const char16_t* valueName,          \
        DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize), (key, valueName, reserved, type, data, dataSize),  \
        ERROR_FILE_NOT_FOUND)                                                                                          \
    X(Read, RegQueryInfoKey, "RegQueryInfoKeyW", LONG, regQueryInfoKey, (HKEY key, char16_t* className,                \
        DWORD* classLength, DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength,            \
        DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength, DWORD* securityDescriptorSize,                \
        FILETIME* lastWriteTime), (key, className, classLength, reserved, subKeys, maxSubKeyLength, maxClassLength,    \
        values, maxValueNameLength, maxValueLength, securityDescriptorSize, lastWriteTime), ERROR_ACCESS_DENIED)       \
    X(Read, RegEnumKeyEx, "RegEnumKeyExW", LONG, regEnumKeyEx, (HKEY key, DWORD index, char16_t* name,                 \
        DWORD* nameLength, DWORD* reserved, char16_t* className, DWORD* classLength, FILETIME* lastWriteTime), (key,   \
        index, name, nameLength, reserved, className, classLength, lastWriteTime), ERROR_ACCESS_DENIED)                \
    /* RegEnumValueW: `nameLength` counts characters (the terminator's room included on entry), `dataSize` bytes. */   \
    X(Read, RegEnumValue, "RegEnumValueW", LONG, regEnumValue, (HKEY key, DWORD index, char16_t* name,                 \
        DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize), (key, index, name, nameLength,  \
        reserved, type, data, dataSize), ERROR_ACCESS_DENIED)                                                          \
    X(Change, RegDeleteKey, "RegDeleteKeyW", LONG, regDeleteKey, (HKEY key, const char16_t* subKey), (key, subKey),    \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* RegDeleteKeyExW: `access` names the registry view (KEY_WOW64_64KEY, KEY_WOW64_32KEY). */                        \
    X(Change, RegDeleteKeyEx, "RegDeleteKeyExW", LONG, regDeleteKeyEx, (HKEY key, const char16_t* subKey,              \
        REGSAM access, DWORD reserved), (key, subKey, access, reserved), ERROR_ACCESS_DENIED)                          \
    X(Change, RegDeleteValue, "RegDeleteValueW", LONG, regDeleteValue, (HKEY key, const char16_t* valueName), (key,    \
        valueName), ERROR_ACCESS_DENIED)                                                                               \
    X(Local, RegCloseKey, "RegCloseKey", LONG, regCloseKey, (HKEY key), (key), 0)                                      \
    /* Service control manager (ADVAPI32). */                                                                          \
    X(Read, OpenSCManager, "OpenSCManagerW", SC_HANDLE, openSCManager, (const char16_t* machineName,                   \
        const char16_t* databaseName, DWORD access), (machineName, databaseName, access), ERROR_ACCESS_DENIED)         \
    X(Read, OpenService, "OpenServiceW", SC_HANDLE, openService, (SC_HANDLE manager, const char16_t* serviceName,      \
        DWORD access), (manager, serviceName, access), ERROR_ACCESS_DENIED)                                            \
    X(Read, QueryServiceStatus, "QueryServiceStatus", BOOL, queryServiceStatus, (SC_HANDLE service,                    \
        SERVICE_STATUS* status), (service, status), ERROR_ACCESS_DENIED)                                               \
    X(Change, ControlService, "ControlService", BOOL, controlService, (SC_HANDLE service, DWORD control,               \
        SERVICE_STATUS* status), (service, control, status), ERROR_SERVICE_NOT_ACTIVE)                                 \
    X(Change, DeleteService, "DeleteService", BOOL, deleteService, (SC_HANDLE service), (service),                     \
        ERROR_ACCESS_DENIED)                                                                                           \
    X(Local, CloseServiceHandle, "CloseServiceHandle", BOOL, closeServiceHandle, (SC_HANDLE handle), (handle), 0)      \
    /* Security (ADVAPI32). */                                                                                         \
    X(Local, SetEntriesInAcl, "SetEntriesInAclW", DWORD, setEntriesInAcl, (ULONG count, EXPLICIT_ACCESS_W* entries,    \
        PACL oldAcl, PACL* newAcl), (count, entries, oldAcl, newAcl), ERROR_ACCESS_DENIED)                             \
    X(Change, SetNamedSecurityInfo, "SetNamedSecurityInfoW", DWORD, setNamedSecurityInfo, (char16_t* objectName,       \
        SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl),    \
        (objectName, objectType, information, owner, group, dacl, sacl), ERROR_ACCESS_DENIED)                          \
    /* GetNamedSecurityInfoW: `descriptor` receives memory to be released with localFree, which the owner, group */    \
    /* and list pointers point into. */                                                                                \
    X(Read, GetNamedSecurityInfo, "GetNamedSecurityInfoW", DWORD, getNamedSecurityInfo, (const char16_t* objectName,   \
        SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, \
        PSECURITY_DESCRIPTOR* descriptor), (objectName, objectType, information, owner, group, dacl, sacl,             \
        descriptor), ERROR_ACCESS_DENIED)                                                                              \
    /* SetSecurityInfo: the owner or access list of the object an open handle holds. */                                \
    X(Change, SetSecurityInfo, "SetSecurityInfo", DWORD, setSecurityInfo, (HANDLE handle, SE_OBJECT_TYPE objectType,   \
        SECURITY_INFORMATION information, PSID owner, PSID group, PACL dacl, PACL sacl), (handle, objectType,          \
        information, owner, group, dacl, sacl), ERROR_ACCESS_DENIED)                                                   \
    X(Read, GetCurrentProcess, "GetCurrentProcess", HANDLE, getCurrentProcess, (), (), 0)                              \
    X(Read, OpenProcessToken, "OpenProcessToken", BOOL, openProcessToken, (HANDLE process, DWORD access,               \
        HANDLE* token), (process, access, token), ERROR_ACCESS_DENIED)                                                 \
    X(Read, GetTokenInformation, "GetTokenInformation", BOOL, getTokenInformation, (HANDLE token,                      \
        TOKEN_INFORMATION_CLASS informationClass, void* information, DWORD length, DWORD* returnLength), (token,       \
        informationClass, information, length, returnLength), ERROR_ACCESS_DENIED)                                     \
    X(Read, LookupPrivilegeValue, "LookupPrivilegeValueW", BOOL, lookupPrivilegeValue, (const char16_t* systemName,    \
        const char16_t* name, LUID* luid), (systemName, name, luid), ERROR_ACCESS_DENIED)                              \
    X(Local, AdjustTokenPrivileges, "AdjustTokenPrivileges", BOOL, adjustTokenPrivileges, (HANDLE token,               \
        BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength, TOKEN_PRIVILEGES* previousState,              \
        DWORD* returnLength), (token, disableAll, newState, bufferLength, previousState, returnLength),                \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* Processes, jobs, mutexes and completion ports (KERNEL32). */                                                    \
    X(Local, CreateJobObject, "CreateJobObjectW", HANDLE, createJobObject, (SECURITY_ATTRIBUTES* attributes,           \
        const char16_t* name), (attributes, name), ERROR_ACCESS_DENIED)                                                \
    X(Local, CreateMutex, "CreateMutexW", HANDLE, createMutex, (SECURITY_ATTRIBUTES* attributes, BOOL initialOwner,    \
        const char16_t* name), (attributes, initialOwner, name), 0)                                                    \
    X(Change, CreateProcess, "CreateProcessW", BOOL, createProcess, (const char16_t* applicationName,                  \
        char16_t* commandLine, SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes,          \
        BOOL inheritHandles, DWORD creationFlags, void* environment, const char16_t* currentDirectory,                 \
        STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation), (applicationName, commandLine,            \
        processAttributes, threadAttributes, inheritHandles, creationFlags, environment, currentDirectory,             \
        startupInfo, processInformation), ERROR_FILE_NOT_FOUND)                                                        \
    X(Local, CreateIoCompletionPort, "CreateIoCompletionPort", HANDLE, createIoCompletionPort, (HANDLE file,           \
        HANDLE existingPort, ULONG_PTR completionKey, DWORD concurrency), (file, existingPort, completionKey,          \
        concurrency), ERROR_ACCESS_DENIED)                                                                             \
    X(Local, SetInformationJobObject, "SetInformationJobObject", BOOL, setInformationJobObject, (HANDLE job,           \
        JOBOBJECTINFOCLASS informationClass, void* information, DWORD length), (job, informationClass, information,    \
        length), ERROR_ACCESS_DENIED)                                                                                  \
    X(Local, AssignProcessToJobObject, "AssignProcessToJobObject", BOOL, assignProcessToJobObject, (HANDLE job,        \
        HANDLE process), (job, process), ERROR_ACCESS_DENIED)                                                          \
    X(Local, ResumeThread, "ResumeThread", DWORD, resumeThread, (HANDLE thread), (thread), ERROR_ACCESS_DENIED)        \
    X(Change, TerminateProcess, "TerminateProcess", BOOL, terminateProcess, (HANDLE process, UINT exitCode), (process, \
        exitCode), ERROR_ACCESS_DENIED)                                                                                \
    /* TerminateJobObject: ends every process in the job, and in the jobs nested in it, with `exitCode`. */            \
    X(Change, TerminateJobObject, "TerminateJobObject", BOOL, terminateJobObject, (HANDLE job, UINT exitCode), (job,   \
        exitCode), ERROR_ACCESS_DENIED)                                                                                \
    X(Read, GetQueuedCompletionStatus, "GetQueuedCompletionStatus", BOOL, getQueuedCompletionStatus, (HANDLE port,     \
        DWORD* bytes, ULONG_PTR* key, LPOVERLAPPED* overlapped, DWORD milliseconds), (port, bytes, key, overlapped,    \
        milliseconds), ERROR_ACCESS_DENIED)                                                                            \
    X(Read, WaitForSingleObject, "WaitForSingleObject", DWORD, waitForSingleObject, (HANDLE handle,                    \
        DWORD milliseconds), (handle, milliseconds), ERROR_ACCESS_DENIED)                                              \
    X(Read, GetExitCodeProcess, "GetExitCodeProcess", BOOL, getExitCodeProcess, (HANDLE process, DWORD* exitCode),     \
        (process, exitCode), ERROR_ACCESS_DENIED)                                                                      \
    X(Local, CloseHandle, "CloseHandle", BOOL, closeHandle, (HANDLE handle), (handle), 0)                              \
    /* Files (KERNEL32). */                                                                                            \
    X(Read, GetFileAttributes, "GetFileAttributesW", DWORD, getFileAttributes, (const char16_t* path), (path),         \
        ERROR_FILE_NOT_FOUND)                                                                                          \
    X(Change, SetFileAttributes, "SetFileAttributesW", BOOL, setFileAttributes, (const char16_t* path,                 \
        DWORD attributes), (path, attributes), ERROR_ACCESS_DENIED)                                                    \
    X(Read, FindFirstFile, "FindFirstFileW", HANDLE, findFirstFile, (const char16_t* pattern, WIN32_FIND_DATAW* data), \
        (pattern, data), ERROR_FILE_NOT_FOUND)                                                                         \
    X(Read, FindNextFile, "FindNextFileW", BOOL, findNextFile, (HANDLE find, WIN32_FIND_DATAW* data), (find, data),    \
        ERROR_ACCESS_DENIED)                                                                                           \
    X(Local, FindClose, "FindClose", BOOL, findClose, (HANDLE find), (find), 0)                                        \
    X(Change, DeleteFile, "DeleteFileW", BOOL, deleteFile, (const char16_t* path), (path), ERROR_SHARING_VIOLATION)    \
    X(Change, RemoveDirectory, "RemoveDirectoryW", BOOL, removeDirectory, (const char16_t* path), (path),              \
        ERROR_SHARING_VIOLATION)                                                                                       \
    X(Change, CreateDirectory, "CreateDirectoryW", BOOL, createDirectory, (const char16_t* path,                       \
        SECURITY_ATTRIBUTES* attributes), (path, attributes), ERROR_ACCESS_DENIED)                                     \
    X(Change, CreateFile, "CreateFileW", HANDLE, createFile, (const char16_t* path, DWORD access, DWORD shareMode,     \
        SECURITY_ATTRIBUTES* attributes, DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile), (path,     \
        access, shareMode, attributes, disposition, flagsAndAttributes, templateFile), ERROR_SHARING_VIOLATION)        \
    X(Change, WriteFile, "WriteFile", BOOL, writeFile, (HANDLE file, const void* buffer, DWORD bytesToWrite,           \
        DWORD* bytesWritten, LPOVERLAPPED overlapped), (file, buffer, bytesToWrite, bytesWritten, overlapped),         \
        ERROR_ACCESS_DENIED)                                                                                           \
    X(Change, FlushFileBuffers, "FlushFileBuffers", BOOL, flushFileBuffers, (HANDLE file), (file),                     \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* MoveFileExW. With MOVEFILE_DELAY_UNTIL_REBOOT and no new name: the file or empty folder is deleted when */      \
    /* Windows next starts (PendingFileRenameOperations). */                                                           \
    X(Change, MoveFileEx, "MoveFileExW", BOOL, moveFileEx, (const char16_t* existing, const char16_t* newName,         \
        DWORD flags), (existing, newName, flags), ERROR_ACCESS_DENIED)                                                 \
    X(Read, GetTempPath, "GetTempPathW", DWORD, getTempPath, (DWORD bufferLength, char16_t* buffer), (bufferLength,    \
        buffer), ERROR_ACCESS_DENIED)                                                                                  \
    X(Change, GetTempFileName, "GetTempFileNameW", UINT, getTempFileName, (const char16_t* pathName,                   \
        const char16_t* prefix, UINT unique, char16_t* tempFileName), (pathName, prefix, unique, tempFileName),        \
        ERROR_ACCESS_DENIED)                                                                                           \
    X(Read, ExpandEnvironmentStrings, "ExpandEnvironmentStringsW", DWORD, expandEnvironmentStrings, (                  \
        const char16_t* source, char16_t* destination, DWORD size), (source, destination, size), ERROR_ACCESS_DENIED)  \
    /* GetFullPathNameW. */                                                                                            \
    X(Read, GetFullPathName, "GetFullPathNameW", DWORD, getFullPathName, (const char16_t* fileName,                    \
        DWORD bufferLength, char16_t* buffer, char16_t** filePart), (fileName, bufferLength, buffer, filePart),        \
        ERROR_FILE_NOT_FOUND)                                                                                          \
    /* GetLongPathNameW and GetFileInformationByHandle: what a name leads to on the disk. */                           \
    X(Read, GetLongPathName, "GetLongPathNameW", DWORD, getLongPathName, (const char16_t* shortPath,                   \
        char16_t* longPath, DWORD bufferLength), (shortPath, longPath, bufferLength), ERROR_FILE_NOT_FOUND)            \
    X(Read, GetFileInformationByHandle, "GetFileInformationByHandle", BOOL, getFileInformationByHandle, (HANDLE file,  \
        BY_HANDLE_FILE_INFORMATION* information), (file, information), ERROR_ACCESS_DENIED)                            \
    /* GetFinalPathNameByHandleW: where an open file or folder really is, every link followed as the system */         \
    /* followed it to open it ("\\?\C:\..."). */                                                                       \
    X(Read, GetFinalPathNameByHandle, "GetFinalPathNameByHandleW", DWORD, getFinalPathNameByHandle, (HANDLE file,      \
        char16_t* path, DWORD length, DWORD flags), (file, path, length, flags), ERROR_ACCESS_DENIED)                  \
    /* GetDriveTypeW: DRIVE_REMOTE for a network drive. */                                                             \
    X(Read, GetDriveType, "GetDriveTypeW", UINT, getDriveType, (const char16_t* rootPath), (rootPath),                 \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* SetCurrentDirectoryW: the folder relative names of this process are taken from. */                              \
    X(Local, SetCurrentDirectory, "SetCurrentDirectoryW", BOOL, setCurrentDirectory, (const char16_t* path), (path),   \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* NtCreateFile (NTDLL). With `attributes->RootDirectory`, the name is one entry of that open folder, found */     \
    /* there however the folder has been renamed or replaced since it was opened: a folder tree is walked by what */   \
    /* was opened and checked, never by its names again. Answers an NTSTATUS and leaves the last-error slot */         \
    /* alone; RtlNtStatusToDosError gives its Win32 code. */                                                           \
    X(Read, NtCreateFile, "NtCreateFile", NTSTATUS, ntCreateFile, (HANDLE* file, ACCESS_MASK access,                   \
        OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes, \
        ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer, ULONG eaLength), (file, access,           \
        attributes, ioStatus, allocationSize, fileAttributes, shareAccess, disposition, options, eaBuffer, eaLength),  \
        kStatusAccessDenied)                                                                                           \
    X(Local, RtlNtStatusToDosError, "RtlNtStatusToDosError", ULONG, rtlNtStatusToDosError, (NTSTATUS status),          \
        (status), 0)                                                                                                   \
    /* GetFileInformationByHandleEx: a folder listed through its handle (FileIdBothDirectoryRestartInfo, then */       \
    /* FileIdBothDirectoryInfo until ERROR_NO_MORE_FILES). */                                                          \
    X(Read, GetFileInformationByHandleEx, "GetFileInformationByHandleEx", BOOL, getFileInformationByHandleEx, (        \
        HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size), (file,                \
        informationClass, information, size), ERROR_ACCESS_DENIED)                                                     \
    /* SetFileInformationByHandle: attributes (FileBasicInfo, zero times left as they are) and the deletion */         \
    /* (FileDispositionInfo: the object goes when its last handle closes) made through the object's own handle. */     \
    X(Change, SetFileInformationByHandle, "SetFileInformationByHandle", BOOL, setFileInformationByHandle, (            \
        HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass, void* information, DWORD size), (file,                \
        informationClass, information, size), ERROR_SHARING_VIOLATION)                                                 \
    /* The console (KERNEL32): GetStdHandle, AttachConsole, GetFileType, WriteConsoleW. CONOUT$, the attached */       \
    /* console's output, opens through createFile. */                                                                  \
    X(Read, GetStdHandle, "GetStdHandle", HANDLE, getStdHandle, (DWORD which), (which), 0)                             \
    X(Local, AttachConsole, "AttachConsole", BOOL, attachConsole, (DWORD processId), (processId), 0)                   \
    X(Read, GetFileType, "GetFileType", DWORD, getFileType, (HANDLE file), (file), 0)                                  \
    X(Local, WriteConsole, "WriteConsoleW", BOOL, writeConsole, (HANDLE console, const char16_t* text,                 \
        DWORD characters, DWORD* written, void* reserved), (console, text, characters, written, reserved), 0)          \
    /* Libraries (KERNEL32): SHGetFolderPathW is looked up at run time in shell32.dll. */                              \
    X(Local, LoadLibrary, "LoadLibraryW", HMODULE, loadLibrary, (const char16_t* fileName), (fileName),                \
        ERROR_FILE_NOT_FOUND)                                                                                          \
    X(Read, GetProcAddress, "GetProcAddress", FARPROC, getProcAddress, (HMODULE module, const char* procName),         \
        (module, procName), ERROR_FILE_NOT_FOUND)                                                                      \
    X(Local, FreeLibrary, "FreeLibrary", BOOL, freeLibrary, (HMODULE module), (module), 0)                             \
    /* File versions (VERSION). */                                                                                     \
    X(Read, GetFileVersionInfoSize, "GetFileVersionInfoSizeW", DWORD, getFileVersionInfoSize, (                        \
        const char16_t* fileName, DWORD* handle), (fileName, handle), ERROR_FILE_NOT_FOUND)                            \
    X(Read, GetFileVersionInfo, "GetFileVersionInfoW", BOOL, getFileVersionInfo, (const char16_t* fileName,            \
        DWORD handle, DWORD length, void* data), (fileName, handle, length, data), ERROR_FILE_NOT_FOUND)               \
    X(Read, VerQueryValue, "VerQueryValueW", BOOL, verQueryValue, (const void* block, const char16_t* subBlock,        \
        void** buffer, UINT* length), (block, subBlock, buffer, length), ERROR_FILE_NOT_FOUND)                         \
    /* Text and colours (KERNEL32, USER32). CompareStringW: CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 on */   \
    /* failure. */                                                                                                     \
    X(Read, CompareString, "CompareStringW", int, compareString, (LCID locale, DWORD flags, const char16_t* first,     \
        int firstLength, const char16_t* second, int secondLength), (locale, flags, first, firstLength, second,        \
        secondLength), 0)                                                                                              \
    X(Read, GetSysColor, "GetSysColor", DWORD, getSysColor, (int index), (index), 0)                                   \
    /* Time (KERNEL32). The simulated machine's clock advances on sleep() and timed waits without the test */          \
    /* waiting. */                                                                                                     \
    X(Local, Sleep, "Sleep", void, sleep, (DWORD milliseconds), (milliseconds), 0)                                     \
    X(Read, GetTickCount64, "GetTickCount64", ULONGLONG, getTickCount64, (), (), 0)                                    \
    /* GetSecurityInfo (ADVAPI32): the owner and access list of what an open handle holds (a file or folder, a */      \
    /* link opened as itself, a mutex), read with READ_CONTROL. `descriptor` receives memory to be released with */    \
    /* localFree, which the owner, group and list pointers point into. */                                              \
    X(Read, GetSecurityInfo, "GetSecurityInfo", DWORD, getSecurityInfo, (HANDLE handle, SE_OBJECT_TYPE objectType,     \
        SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl,                            \
        PSECURITY_DESCRIPTOR* descriptor), (handle, objectType, information, owner, group, dacl, sacl, descriptor),    \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* NtDeleteKey (NTDLL): deletes the key an open handle holds, opened with DELETE, whatever name it has by */       \
    /* now; a symbolic-link key opened as itself (REG_OPTION_OPEN_LINK) goes as the link. Answers an NTSTATUS and */   \
    /* leaves the last-error slot alone. */                                                                            \
    X(Change, NtDeleteKey, "NtDeleteKey", NTSTATUS, ntDeleteKey, (HANDLE key), (key), kStatusAccessDenied)             \
    /* RegSetKeySecurity (ADVAPI32): the owner (the handle opened with WRITE_OWNER) or access list (WRITE_DAC) of */   \
    /* the key an open handle holds, the link itself for a link opened as itself. */                                   \
    X(Change, RegSetKeySecurity, "RegSetKeySecurity", LONG, regSetKeySecurity, (HKEY key,                              \
        SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor), (key, information, descriptor),            \
        ERROR_ACCESS_DENIED)                                                                                           \
    /* NtQueryObject (NTDLL), asked for ObjectNameInformation: the name in the object namespace of what an open */     \
    /* handle holds, the one a symbolic link led to ("\BaseNamedObjects\<name>" for a global object). */               \
    /* `information` receives a UNICODE_STRING and the text it points to. Answers an NTSTATUS and leaves the */        \
    /* last-error slot alone. */                                                                                       \
    X(Read, NtQueryObject, "NtQueryObject", NTSTATUS, ntQueryObject, (HANDLE handle,                                   \
        OBJECT_INFORMATION_CLASS informationClass, void* information, ULONG length, ULONG* returnLength), (handle,     \
        informationClass, information, length, returnLength), kStatusAccessDenied)
