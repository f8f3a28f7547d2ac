// The Supporting Databases under Wine: Wine's odbc32 hands the calls to unixODBC's i386 driver
// manager, which loads the i386 build of the SQL Server stand-in; the fixture service runs as
// "MSSQLSERVER". The stand-in's state file lies inside the prefix (the test environment points
// the stand-in at it), so the test reads and writes it as C:\qtv\standin.state.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/log.h"
#include "products/database_product.h"
#include "support/fixture_service.h"
#include "support/recipe_test.h"
#include "support/win_machine.h"

namespace {

constexpr wchar_t kStateFile[] = L"C:\\qtv\\standin.state";
constexpr wchar_t kDSNKey[] = L"SOFTWARE\\ODBC\\ODBC.INI\\localqtvreportingserver";
constexpr wchar_t kDSNList[] = L"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr REGSAM k64 = KEY_WOW64_64KEY;

class DatabaseWinTest : public LogTest {
protected:
    void SetUp() override
    {
        RemoveFixtureService(L"MSSQLSERVER");
        ASSERT_TRUE(StartFixtureService(L"MSSQLSERVER", 0));
        std::ofstream(kStateFile, std::ios::binary | std::ios::trunc)
            << "server\t.\n"
               "database\tKMEnterprise\n"
               "database\tQTVReporting\n"
               "version\t9.5.10.79\n"
               "job\tKMEnterprise Full Database Index Reorganization\n";
        // A data source the suite's 64-bit tools left in the 64-bit view.
        ASSERT_TRUE(SetRegistryText(kDSNKey, L"Driver", L"SQL Server", k64));
        ASSERT_TRUE(SetRegistryText(kDSNList, L"localqtvreportingserver", L"SQL Server", k64));
    }

    void TearDown() override
    {
        RemoveFixtureService(L"MSSQLSERVER");
        DeleteRegistryTree(kDSNKey, k64);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDSNList, 0, KEY_ALL_ACCESS | k64, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"localqtvreportingserver");
            RegCloseKey(key);
        }
        DeleteFileW(kStateFile);
        DeleteFileW((kStateFile + std::wstring(L".journal")).c_str());
    }
};

TEST_F(DatabaseWinTest, DetectsAndRemovesTheDatabasesOfTheLocalInstance)
{
    DatabaseProduct product(&log);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), u"9.5.10.79");
    const std::u16string detected = text();
    EXPECT_EQ(detected,
              u"\r\n**************************************************\r\n* Detecting Supporting Databases\r\n"
              u"**************************************************\r\n"
              u"Checking if \"MSSQLSERVER\" is running...service is running\r\n"
              u"Trying to connect to a SQL server at localhost using NT authentication..."
              u"Checking for database [KMEnterprise]...database exists\r\n"
              u"Checking for database [QTVReporting]...database exists\r\n"
              u"Trying to determine the version of the KMEnterprise database...found version '9.5.10.79'\r\n")
        << std::string(detected.begin(), detected.end());

    EXPECT_TRUE(product.remove());

    const std::u16string removed = text();
    EXPECT_EQ(removed,
              u"\r\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\nx Removing Supporting Databases\r\n"
              u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"
              u"Checking if \"MSSQLSERVER\" is running...service is running\r\n"
              u"Trying to connect to a SQL server at localhost using NT authentication..."
              u"Stopping service \"FillDB\"...service does not exist\r\n"
              u"Stopping service \"GatherDB\"...service does not exist\r\n"
              u"Stopping service \"QTVWebReportsServer\"...service does not exist\r\n"
              u"Stopping service \"QTVRootServer\"...service does not exist\r\n"
              u"Checking for database [KMEnterprise]...database exists\r\n"
              u"Removing reindexing job \"KMEnterprise Full Database Index Reorganization\"...done\r\n"
              u"Removing DSN \"qtv_kmenterprise\"...\r\nDSN Removed\r\n"
              u"Removing DSN \"qtv_EnterpriseServer\"...\r\nDSN Removed\r\n"
              u"Removing DSN \"localqtvreportingserver\"...\r\n"
              u"Deleting registry key \"(...)\\localqtvreportingserver\"...done\r\n"
              u"DSN Removed\r\n"
              u"Removing DSN \"enterprise_setup\"...\r\nDSN Removed\r\n"
              u"Removing DSN \"enterprise_setup32\"...\r\nDSN Removed\r\n"
              u"Removing database \"KMEnterprise\"...done\r\n"
              u"Checking for database [QTVReporting]...database exists\r\n"
              u"Removing database \"QTVReporting\"...done\r\n")
        << std::string(removed.begin(), removed.end());
    EXPECT_EQ(ReadFileBytes(kStateFile), "server\t.\n");
    // The prefix's registry does not name the newer driver, so the component asks for the older
    // one; the driver manager finds it in the build folder's odbcinst.ini.
    const std::string journal = ReadFileBytes(kStateFile + std::wstring(L".journal"));
    EXPECT_EQ(journal.substr(0, journal.find('\n')),
              "connect Driver=SQL Server;Server=.;Trusted_Connection=Yes;");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDSNKey, 0, KEY_READ | k64, &key), ERROR_FILE_NOT_FOUND);

    product.detect();
    EXPECT_FALSE(product.isInstalled());
}

} // namespace
