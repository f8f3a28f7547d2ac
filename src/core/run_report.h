#pragma once

#include <string>
#include <string_view>

#include "core/silent_driver.h"

// The JSON document "/report" writes after a silent run, UTF-8:
//   {"program": "QTVRemove", "version": "1.2.0.0", "exitStatus": 0, "ending": "completed",
//    "restartRequested": false,
//    "components": [{"switch": "/webui", "name": "...", "version": "9.5" or null,
//                    "installedBefore": true, "selected": true, "removed": true,
//                    "stillInstalled": false, "removeResult": "succeeded",
//                    "deleted": [{"kind": "registryKey", "name": "HKLM\\..."}, ...],
//                    "uninstallerRun": {"command": "...", "ended": "finished", "exitCode": 0} or null},
//                   ...],
//    "rootsDeleted": [...]}
// "ending" is "completed", "refused", "nothingSelected", "detected" or "anotherCopy" (then
// "components" is empty); "removed" says whether the component's removal ran; "removeResult" is
// "succeeded", "failed", "exception" (the removal threw) or null (it did not run). An
// uninstaller "ended" "finished", "timeLimit", "unanswerable" or "notStarted"; its "exitCode" is
// null while its process has not ended or never ran. Components come in the silent detection
// order. A deleted object's name is the one deleted.txt shows, control characters escaped
// (EscapeControlCharacters).
std::string SilentRunReport(const SilentRunResult& result, std::u16string_view program,
                            std::u16string_view programVersion);
