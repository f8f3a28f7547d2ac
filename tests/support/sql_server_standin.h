#pragma once

#include <string>

#include "support/sql_server_state.h"

// The scripted SQL Server stand-in (tests/fixtures/sql_server_standin.c) behind unixODBC: an
// odbcinst.ini in the build folder registers it as "SQL Server" and "SQL Server Native Client
// 11.0" (and Debian's SQLite driver as "SQLite3"); ODBCSYSINI points there, never at the
// machine's own configuration. Each test gets its own state file and its own odbc.ini.
class SqlServerStandIn : public SqlServerState {
public:
    // Writes the configuration and points the driver manager and the stand-in at this test's
    // files; the state starts empty.
    SqlServerStandIn();

    // Replaces the state file (the directives the stand-in documents, one a line).
    void setState(const std::string& state) override;
    // The state file as the stand-in left it.
    std::string state() const override;
    // Every connection string and SQL text the stand-in received, one a line (carriage
    // returns, line feeds and tabs written as \r, \n and \t).
    std::string journal() const;

    // Makes the ODBC installer library fail to write this test's odbc.ini.
    void breakDataSourceFile();

    // A fresh SQLite database file of this test, removed first if it exists.
    std::string sqliteDatabase() const;

private:
    std::string base_;
};
