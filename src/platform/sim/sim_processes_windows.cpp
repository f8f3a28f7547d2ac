// The desktop of the simulated machine: the top-level windows the running programs show, as
// EnumWindows, GetWindowThreadProcessId, IsWindowVisible and GetWindowTextW see them.

#include "platform/sim/sim_processes.h"

#include <algorithm>

#include "platform/sim/sim_processes_internal.h"

const SimProcesses::Window* SimProcesses::liveWindow(HWND handle)
{
    settle();
    const auto window = std::find_if(windows_.begin(), windows_.end(),
                                     [handle](const Window& shown) { return shown.handle == handle; });
    if (window == windows_.end() || window->owner->state != SimProcess::State::Running)
        return nullptr;
    return &*window;
}

BOOL SimProcesses::enumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    if (callback == nullptr)
        return machine_.fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    std::vector<HWND> listed;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        settle();
        for (auto window = windows_.rbegin(); window != windows_.rend(); ++window)
            if (window->owner->state == SimProcess::State::Running)
                listed.push_back(window->handle);
    }
    // The callback may call the machine again: it runs without the area's lock.
    for (const HWND window : listed)
        if (!callback(window, parameter))
            return FALSE;
    return TRUE;
}

DWORD SimProcesses::getWindowThreadProcessId(HWND window, DWORD* processId)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Window* shown = liveWindow(window);
    if (!shown)
        return machine_.fail<DWORD>(ERROR_INVALID_WINDOW_HANDLE, 0);
    if (processId)
        *processId = shown->owner->id;
    return shown->owner->id + 2;
}

BOOL SimProcesses::isWindowVisible(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Window* shown = liveWindow(window);
    return shown && shown->visible;
}

int SimProcesses::getWindowText(HWND window, char16_t* text, int capacity)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Window* shown = liveWindow(window);
    if (!shown)
        return machine_.fail<int>(ERROR_INVALID_WINDOW_HANDLE, 0);
    if (text == nullptr || capacity <= 0)
        return 0;
    const std::size_t copied = std::min(shown->title.size(), static_cast<std::size_t>(capacity - 1));
    std::copy_n(shown->title.begin(), copied, text);
    text[copied] = u'\0';
    return static_cast<int>(copied);
}
