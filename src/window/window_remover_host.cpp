#include "window/window_remover_host.h"

#include <process.h>

#include <cerrno>

#include "platform/errors.h"

namespace {

constexpr UINT_PTR kLogTimer = 1;
constexpr UINT kLogInterval = 100;

unsigned __stdcall RunJob(void* job)
{
    static_cast<Callable*>(job)->run();
    return 0;
}

// The thread handle, waited for and closed exactly once, when the holder goes.
class RuntimeThread : public WorkerThread {
public:
    explicit RuntimeThread(HANDLE thread) : handle(thread) {}
    ~RuntimeThread() override
    {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
    RuntimeThread(const RuntimeThread&) = delete;
    RuntimeThread& operator=(const RuntimeThread&) = delete;

private:
    HANDLE handle;
};

} // namespace

UINT_PTR WindowRemoverHost::startLogTimer()
{
    return SetTimer(window, kLogTimer, kLogInterval, nullptr);
}

void WindowRemoverHost::post(UINT message)
{
    PostMessageW(window, message, 0, 0);
}

std::unique_ptr<WorkerThread> WindowRemoverHost::startThread(Callable& job)
{
    const uintptr_t thread = _beginthreadex(nullptr, 0, RunJob, &job, 0, nullptr);
    if (thread == 0)
        throw WindowsPlatform::ThreadError(errno);
    return std::make_unique<RuntimeThread>(reinterpret_cast<HANDLE>(thread));
}
