#pragma once

#include <string>

namespace Remove {
class Log;
}

// Logged service checks and removal. Each opens the service manager itself, works on one
// service by its service name, writes its progress to `log` and never throws.

// True when the service can be opened.
bool CheckServiceExists(const std::u16string& name, Remove::Log* log);

// True when the service's current state is SERVICE_RUNNING.
bool CheckServiceRunning(const std::u16string& name, Remove::Log* log);

// Stops the service and polls up to `timeoutSeconds` x 10 times, 100 ms apart. True when the
// service is stopped or does not exist; false when it did not stop in time or an error occurred.
bool StopServiceWithWait(const std::u16string& name, Remove::Log* log, unsigned timeoutSeconds);

// Stops, then deletes the service. True when it was deleted or does not exist.
bool StopAndDeleteService(const std::u16string& name, Remove::Log* log, unsigned timeoutSeconds);
