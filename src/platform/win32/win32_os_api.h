#pragma once

#include "platform/os_api.h"

// The real system: one forwarding call per operation, no logic.
class Win32OsApi final : public OsApi {
public:
    QTV_SEAM_OPERATIONS(QTV_SEAM_OVERRIDE)
};
