#pragma once

#include <cstdarg>
#include <vector>

#include "platform/seam_operations.h"
#include "platform/win_types.h"

// SHGetFolderPathW, as GetProcAddress hands it out.
#ifdef _WIN32
using ShGetFolderPathProc = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
#else
using ShGetFolderPathProc = HRESULT (*)(HWND, int, HANDLE, DWORD, char16_t*);
#endif

// How an operation stands towards the machine (the table's class).
enum class SeamClass { Read, Local, Change };

// The operations by name, in the table's order.
enum class SeamCall : unsigned {
#define QTV_SEAM_CALL(kind, call, ...) call,
    QTV_SEAM_OPERATIONS(QTV_SEAM_CALL)
#undef QTV_SEAM_CALL
};

struct SeamOperation {
    SeamCall call;
    const char* name; // the Win32 call's name
    SeamClass kind;
    DWORD fault;        // the error the fault sweep fails it with; 0: never failed
    bool answersStatus; // an NTDLL call (Nt...): answers an NTSTATUS, the last-error slot left alone
};

// Every operation, in the table's order.
const std::vector<SeamOperation>& SeamOperations();
const SeamOperation& OperationOf(SeamCall call);

// The seam to the operating system: every call the logic makes goes through the active OsApi.
// Implementations: the real system (platform/win32), the simulated machine (platform/sim), and
// layers over either that forward what they do not change (ForwardingOsApi).
class OsApi {
public:
    virtual ~OsApi() = default;

#define QTV_SEAM_DECLARE(kind, call, name, result, method, parameters, arguments, fault) \
    virtual result method parameters = 0;
    QTV_SEAM_OPERATIONS(QTV_SEAM_DECLARE)
#undef QTV_SEAM_DECLARE
};

// An implementation's declaration of every operation, in its class: QTV_SEAM_OPERATIONS(QTV_SEAM_OVERRIDE).
#define QTV_SEAM_OVERRIDE(kind, call, name, result, method, parameters, arguments, fault) \
    result method parameters override;

// A layer over another implementation that answers every operation as the one below does; a
// layer derives from it and overrides only what it changes.
class ForwardingOsApi : public OsApi {
public:
    explicit ForwardingOsApi(OsApi& below) : below_(below) {}

#define QTV_SEAM_FORWARD(kind, call, name, result, method, parameters, arguments, fault) \
    result method parameters override                                                      \
    {                                                                                      \
        forwarding(SeamCall::call);                                                        \
        return below_.method arguments;                                                    \
    }
    QTV_SEAM_OPERATIONS(QTV_SEAM_FORWARD)
#undef QTV_SEAM_FORWARD

protected:
    // Told of each operation before it goes below unchanged: a layer may refuse what it must not pass.
    virtual void forwarding(SeamCall) {}
    OsApi& below() const { return below_; }

private:
    OsApi& below_;
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
