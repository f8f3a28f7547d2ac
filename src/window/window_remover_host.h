#pragma once

#include <windows.h>

#include <memory>

#include "window/background_remover.h"

// The remover's host in the real program: the dialog's log timer and completion messages, and
// worker threads from the C runtime.
class WindowRemoverHost : public RemoverHost {
public:
    // The dialog's window; set once it exists, before the first job.
    void setWindow(HWND dialog) { window = dialog; }
    HWND target() const { return window; }

    // SetTimer(window, 1, 100 ms); answers 0 when the system refuses a timer.
    UINT_PTR startLogTimer() override;
    void post(UINT message) override;
    // _beginthreadex; throws WindowsPlatform::ThreadError with errno when it fails.
    std::unique_ptr<WorkerThread> startThread(Callable& job) override;

private:
    HWND window = nullptr;
};
