#include "support/sql_server_standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    // Written beside and renamed, so that parallel test processes never read half a file.
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << text;
    std::rename(temporary.c_str(), path.c_str());
}

} // namespace

SqlServerStandIn::SqlServerStandIn()
{
    const std::string folder = STANDIN_CONFIG_FOLDER;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_'); // parameterised tests
    base_ = folder + "/" + name;
    const std::string driver = STANDIN_DRIVER;
    WriteFile(folder + "/odbcinst.ini",
              "[SQL Server]\nDriver=" + driver + "\n\n"
              "[SQL Server Native Client 11.0]\nDriver=" + driver + "\n\n"
              "[SQLite3]\nDriver=" SQLITE_ODBC_DRIVER "\n");
    setenv("ODBCSYSINI", folder.c_str(), 1);
    setenv("ODBCINI", (base_ + ".odbc.ini").c_str(), 1);
    setenv("SQLSERVER_STANDIN_STATE", (base_ + ".state").c_str(), 1);
    std::remove((base_ + ".odbc.ini").c_str());
    std::remove((base_ + ".state.journal").c_str());
    setState("");
}

void SqlServerStandIn::setState(const std::string& state)
{
    WriteFile(base_ + ".state", state);
}

std::string SqlServerStandIn::state() const
{
    return ReadFile(base_ + ".state");
}

std::string SqlServerStandIn::journal() const
{
    return ReadFile(base_ + ".state.journal");
}

void SqlServerStandIn::breakDataSourceFile()
{
    setenv("ODBCINI", (base_ + ".missing/odbc.ini").c_str(), 1);
}

std::string SqlServerStandIn::sqliteDatabase() const
{
    const std::string path = base_ + ".sqlite";
    std::remove(path.c_str());
    return path;
}
