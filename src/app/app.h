#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

struct RunOptions;

// The application object: its start-up chooses between the silent run and the dialog.
class CQTVRemoveApp {
public:
    // The key the framework would keep per-user settings under; the program writes none.
    static constexpr std::u16string_view kRegistryKey = u"Zantrel";

    // `commandLine` is the command line without the program name.
    explicit CQTVRemoveApp(std::u16string commandLine);

    // Runs the silent removal or the dialog to its end. Always false: the process ends when
    // start-up returns.
    bool InitInstance();

    // The process's exit status: the silent run's (see SilentExitStatus), a Windows error code
    // when its log, report or backup cannot be opened or is refused (OpenRunOutputs), 87 for
    // "/log", "/report" or "/backup" without a path; 1618 when another copy of the program was at
    // work; 0 after the dialog.
    DWORD ExitCode() const { return exitCode_; }

private:
    // `onlyCopy`: no other copy of the program is at work on this machine.
    DWORD runSilently(const RunOptions& options, bool onlyCopy);

    std::u16string commandLine_;
    DWORD exitCode_ = 0;
};
