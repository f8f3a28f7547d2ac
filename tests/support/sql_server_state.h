#pragma once

#include <string>

// The state of the SQL Server a test stands in for (tests/fixtures/sql_server_standin.c): the
// directives the stand-in documents, one a line. The simulated suite lays its databases there and
// looks for them there, without the stand-in's set-up (support/sql_server_standin.h).
class SqlServerState {
public:
    virtual ~SqlServerState() = default;
    // Replaces the state.
    virtual void setState(const std::string& state) = 0;
    // The state as the stand-in left it.
    virtual std::string state() const = 0;
};
