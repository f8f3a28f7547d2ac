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
};

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
    // The answer of the next message boxes, in order; IDOK once the script runs out.
    void scriptMessageBoxAnswers(std::vector<int> answers);

    // Fault injection: the `nth` use of `call` from now on (1 is the next) fails with `error`.
    void failCall(SimCall call, DWORD error, unsigned nth = 1);

    // Inspection.
    const std::vector<SimMessageBox>& messageBoxes() const { return messageBoxes_; }
    unsigned callCount(SimCall call) const;
    // Blocks the system handed out (FormatMessageW) and not yet given back with LocalFree.
    std::size_t liveAllocations() const { return allocations_.size(); }

    // OsApi.
    DWORD getLastError() override;
    void setLastError(DWORD code) override;
    DWORD formatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                        char16_t* buffer, DWORD size, va_list* arguments) override;
    HLOCAL localFree(HLOCAL memory) override;
    int multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                            char16_t* wide, int wideChars) override;
    DWORD getModuleFileName(HMODULE module, char16_t* buffer, DWORD size) override;
    int messageBox(HWND owner, const char16_t* text, const char16_t* caption,
                   UINT type) override;

private:
    struct Fault {
        unsigned countdown;
        DWORD error;
    };

    // Counts the call and reports whether an injected fault fires; if so the error is set.
    bool enter(SimCall call);
    // Sets the last error and gives back `result`, for the failure paths.
    template <class T>
    T fail(DWORD error, T result)
    {
        setLastError(error);
        return result;
    }

    mutable std::mutex mutex_;
    std::map<std::thread::id, DWORD> lastErrors_;
    std::map<SimCall, unsigned> calls_;
    std::multimap<SimCall, Fault> faults_;
    std::map<const void*, std::unique_ptr<char16_t[]>> allocations_;
    std::vector<SimMessageBox> messageBoxes_;
    std::vector<int> messageBoxAnswers_;
    std::u16string modulePath_;
};

// The system's message text for an error code as the simulated machine knows it, with the
// trailing line break FormatMessageW gives; null for a code it has no text for.
const char16_t* SimSystemMessage(DWORD code);
