#pragma once

#include <optional>
#include <string>
#include <string_view>

// The options a deployment engine adds to a silent run. Unlike the component switches, each is
// a whole word: the option at the start of the line or after a blank, followed by a blank or the
// end of the line, so "/loggingservice" is not "/log" and "/reporting" is not "/report".
//   /log PATH      append the run's log to PATH
//   /report PATH   write a JSON report of the run to PATH
//   /backup DIR    save what is deleted to the folder DIR first (registry.reg, deleted.txt...)
//   /detect        detect and list the installed components; remove nothing
//   /plan          detect, then list exactly what the removal would delete; change nothing
//   /timeout MINUTES  end each uninstaller, with what it started, after MINUTES (1 to 1440)
// A PATH holding blanks is quoted. The options and their paths are taken out of the command line
// before the component switches are matched, so a path such as C:/logs/all.txt selects nothing.
struct RunOptions {
    std::u16string switches; // the command line without the options and their paths
    std::optional<std::u16string> logPath;
    std::optional<std::u16string> reportPath;
    std::optional<std::u16string> backupPath;
    bool detectOnly = false;
    bool plan = false;
    std::optional<unsigned> timeoutMinutes;
    // "/log", "/report" or "/backup" given without a path.
    bool pathMissing = false;
    // "/timeout" given without a whole number of minutes from 1 to 1440.
    bool timeoutInvalid = false;
};

// Given twice, an option's last path counts.
RunOptions ParseRunOptions(std::u16string_view commandLine);

// Makes the paths of the options full, from the folder the program was started in, then makes
// the system folder the program's current folder: no name the program or an uninstaller it
// starts looks up is taken from a folder somebody else chose. A path the system cannot make full
// is kept as given, for its open to fail; a current folder that cannot be changed, or a system
// folder that cannot be named, leaves the current folder as it was.
void EnterSystemFolder(RunOptions& options);
