#include "products/database_product.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/text.h"
#include "core/silent_driver.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "products/products.h"
#include "support/recipe_test.h"
#include "support/sql_server_standin.h"
#include "toolkit/root_cleanup.h"

namespace {

using View = SimRegistry::View;

const std::u16string kDetecting = u"\r\n**************************************************\r\n* Detecting Supporting Databases\r\n"
                                  u"**************************************************\r\n";
const std::u16string kRemoving = u"\r\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\nx Removing Supporting Databases\r\n"
                                 u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
const std::u16string kDefaultRunning = u"Checking if \"MSSQLSERVER\" is running...service is running\r\n";
const std::u16string kConnecting = u"Trying to connect to a SQL server at localhost using NT authentication...";
const std::u16string kServiceStops = u"Stopping service \"FillDB\"...stopped\r\n"
                                     u"Stopping service \"GatherDB\"...stopped\r\n"
                                     u"Stopping service \"QTVWebReportsServer\"...stopped\r\n"
                                     u"Stopping service \"QTVRootServer\"...stopped\r\n";
// The lines of one data source removed; with leftovers in the 64-bit registry, their deletion.
std::u16string DSNRemoved(const std::u16string& dsn, bool leftovers)
{
    return u"Removing DSN \"" + dsn + u"\"...\r\n" +
           (leftovers ? u"Deleting registry key \"(...)\\" + dsn + u"\"...done\r\n" : u"") + u"DSN Removed\r\n";
}
// The three data sources every removal takes, the reporting one with its leftovers.
const std::u16string kUnconditionalDSNs = DSNRemoved(u"localqtvreportingserver", true) +
                                          DSNRemoved(u"enterprise_setup", false) +
                                          DSNRemoved(u"enterprise_setup32", false);
// The main database found: its job, then every data source, before the database goes.
const std::u16string kMainDatabaseFound =
    u"Checking for database [KMEnterprise]...database exists\r\n"
    u"Removing reindexing job \"KMEnterprise Full Database Index Reorganization\"...done\r\n" +
    DSNRemoved(u"qtv_kmenterprise", true) + DSNRemoved(u"qtv_EnterpriseServer", true) + kUnconditionalDSNs;
const std::u16string kDSNRoot = u"SOFTWARE\\ODBC\\ODBC.INI";
const std::u16string kDSNList = u"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
const char kBothDatabases[] = "server\t.\n"
                              "database\tKMEnterprise\n"
                              "database\tQTVReporting\n"
                              "version\t9.5.10.79\n"
                              "job\tKMEnterprise Full Database Index Reorganization\n";

class DatabaseProductTest : public RecipeTest {
protected:
    void SetUp() override
    {
        for (const char16_t* service : {u"FillDB", u"GatherDB", u"QTVWebReportsServer", u"QTVRootServer"})
            machine.services().addService(service, SERVICE_RUNNING);
        layDataSources();
    }

    // The data sources the suite's 64-bit tools leave behind.
    void layDataSources()
    {
        registry().createKey(HKEY_LOCAL_MACHINE, kDSNList, View::Native64);
        for (const char16_t* dsn : {u"qtv_kmenterprise", u"qtv_EnterpriseServer", u"localqtvreportingserver"}) {
            registry().setString(HKEY_LOCAL_MACHINE, kDSNRoot + u"\\" + dsn, u"Driver", u"SQL Server", REG_SZ,
                                 View::Native64);
            registry().setString(HKEY_LOCAL_MACHINE, kDSNList, dsn, u"SQL Server", REG_SZ, View::Native64);
        }
    }

    void defaultInstance() { machine.services().addService(u"MSSQLSERVER", SERVICE_RUNNING); }
    bool dsnLeft(const std::u16string& dsn)
    {
        return registry().keyExists(HKEY_LOCAL_MACHINE, kDSNRoot + u"\\" + dsn, View::Native64) ||
               registry().valueExists(HKEY_LOCAL_MACHINE, kDSNList, dsn, View::Native64);
    }

    SqlServerStandIn server;
    DatabaseProduct product{&log};
};

TEST_F(DatabaseProductTest, DetectionContinuesTheConnectLineAndReadsTheVersion)
{
    defaultInstance();
    server.setState(kBothDatabases);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), u"9.5.10.79");
    EXPECT_EQ(text(), kDetecting + kDefaultRunning + kConnecting +
                          u"Checking for database [KMEnterprise]...database exists\r\n"
                          u"Checking for database [QTVReporting]...database exists\r\n"
                          u"Trying to determine the version of the KMEnterprise database...found version '9.5.10.79'\r\n");
    EXPECT_EQ(server.journal(),
              "connect Driver=SQL Server;Server=.;Trusted_Connection=Yes;\n"
              "execute use master\n"
              "execute select case when exists ( select * from sysdatabases where name = ? ) then 1 else 0 end\n"
              "execute use master\n"
              "execute select case when exists ( select * from sysdatabases where name = ? ) then 1 else 0 end\n"
              "execute use KMEnterprise\n"
              "execute select Version from DBINFO\n");
}

TEST_F(DatabaseProductTest, BothInstancesRunningTheDefaultOneIsUsedWithTheNativeClient)
{
    defaultInstance();
    machine.services().addService(u"MSSQL$SQLEXPRESS", SERVICE_RUNNING);
    registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\ODBC\\ODBCINST.INI\\SQL Server Native Client 11.0", u"Driver",
                         u"C:\\Windows\\system32\\sqlncli11.dll");
    server.setState("server\t.\ndatabase\tQTVReporting\n");

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), std::nullopt);
    EXPECT_EQ(text(), kDetecting + kDefaultRunning + kConnecting +
                          u"Checking for database [KMEnterprise]...database does not exist\r\n"
                          u"Checking for database [QTVReporting]...database exists\r\n");
    EXPECT_EQ(server.journal().substr(0, server.journal().find('\n')),
              "connect Driver={SQL Server Native Client 11.0};Server=.;Trusted_Connection=Yes;");
}

TEST_F(DatabaseProductTest, ExpressInstanceWhenTheDefaultOneIsStopped)
{
    machine.services().addService(u"MSSQLSERVER", SERVICE_STOPPED);
    machine.services().addService(u"MSSQL$SQLEXPRESS", SERVICE_RUNNING);
    server.setState("server\tlocalhost\\SQLEXPRESS\ndatabase\tKMEnterprise\nversion\t9.5\n");

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), u"9.5");
    EXPECT_EQ(text(), kDetecting + u"Checking if \"MSSQLSERVER\" is running...service not running\r\n"
                                   u"Checking if \"MSSQL$SQLEXPRESS\" is running...service is running\r\n" +
                          kConnecting + u"Checking for database [KMEnterprise]...database exists\r\n"
                          u"Checking for database [QTVReporting]...database does not exist\r\n"
                          u"Trying to determine the version of the KMEnterprise database...found version '9.5'\r\n");
    EXPECT_EQ(server.journal().substr(0, server.journal().find('\n')),
              "connect Driver=SQL Server;Server=localhost\\SQLEXPRESS;Trusted_Connection=Yes;");
}

TEST_F(DatabaseProductTest, NoInstanceRunningIsNotInstalledAndNothingToRemove)
{
    server.setState(kBothDatabases);
    const std::u16string checks = u"Checking if \"MSSQLSERVER\" is running...service does not exist\r\n"
                                  u"Checking if \"MSSQL$SQLEXPRESS\" is running...service does not exist\r\n";

    product.detect();
    EXPECT_FALSE(product.isInstalled());
    EXPECT_EQ(text(), kDetecting + checks);

    EXPECT_TRUE(product.remove());
    EXPECT_EQ(text(), kRemoving + checks +
                          u"Unable to connect to database.  It may have already been removed by the uninstaller.\r\n");
    EXPECT_EQ(server.journal(), "");
    EXPECT_TRUE(dsnLeft(u"localqtvreportingserver"));
}

TEST_F(DatabaseProductTest, FullRemovalThenASecondRemovalFindsNothing)
{
    defaultInstance();
    server.setState(kBothDatabases);
    product.detect();
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(), kRemoving + kDefaultRunning + kConnecting + kServiceStops + kMainDatabaseFound +
                          u"Removing database \"KMEnterprise\"...done\r\n"
                          u"Checking for database [QTVReporting]...database exists\r\n"
                          u"Removing database \"QTVReporting\"...done\r\n");
    EXPECT_EQ(server.state(), "server\t.\n");
    for (const char16_t* dsn : {u"qtv_kmenterprise", u"qtv_EnterpriseServer", u"localqtvreportingserver"})
        EXPECT_FALSE(dsnLeft(dsn)) << ToUtf8(dsn);
    for (const char16_t* service : {u"FillDB", u"GatherDB", u"QTVWebReportsServer", u"QTVRootServer"})
        EXPECT_EQ(machine.services().state(service), SERVICE_STOPPED);

    // Nothing left: the services are stopped again, nothing is dropped, the three data sources
    // that do not depend on the main database are tried again.
    EXPECT_TRUE(product.remove());
    EXPECT_EQ(text(), kRemoving + kDefaultRunning + kConnecting +
                          u"Stopping service \"FillDB\"...service is already stopped\r\n"
                          u"Stopping service \"GatherDB\"...service is already stopped\r\n"
                          u"Stopping service \"QTVWebReportsServer\"...service is already stopped\r\n"
                          u"Stopping service \"QTVRootServer\"...service is already stopped\r\n"
                          u"Checking for database [KMEnterprise]...database does not exist\r\n" +
                          DSNRemoved(u"localqtvreportingserver", false) + DSNRemoved(u"enterprise_setup", false) +
                          DSNRemoved(u"enterprise_setup32", false) +
                          u"Checking for database [QTVReporting]...database does not exist\r\n");

    product.detect();
    EXPECT_FALSE(product.isInstalled());
    EXPECT_EQ(product.version(), u"9.5.10.79") << "the version stays until the main database is found again";
}

TEST_F(DatabaseProductTest, OnlyTheReportingDatabaseLeavesTheJobAndTheMainDataSources)
{
    defaultInstance();
    server.setState("server\t.\n"
                    "database\tQTVReporting\n"
                    "job\tKMEnterprise Full Database Index Reorganization\n");
    product.detect();
    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), std::nullopt);
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(), kRemoving + kDefaultRunning + kConnecting + kServiceStops +
                          u"Checking for database [KMEnterprise]...database does not exist\r\n" +
                          kUnconditionalDSNs +
                          u"Checking for database [QTVReporting]...database exists\r\n"
                          u"Removing database \"QTVReporting\"...done\r\n");
    EXPECT_EQ(server.state(), "server\t.\njob\tKMEnterprise Full Database Index Reorganization\n");
    EXPECT_TRUE(dsnLeft(u"qtv_kmenterprise"));
    EXPECT_TRUE(dsnLeft(u"qtv_EnterpriseServer"));
}

TEST_F(DatabaseProductTest, FailedConnectionKeepsWhatWasFoundAndFailsTheRemoval)
{
    defaultInstance();
    server.setState(kBothDatabases);
    product.detect();
    text();
    server.setState(std::string(kBothDatabases) +
                    "fail\tconnect\n"
                    "record\t28000\t18456\t[SQL Server]Login failed for user 'DOM\\adm'.\n"
                    "record\t01000\t2\t[DBNETLIB]General network error. Check your network documentation.\n");

    product.runDetection();
    EXPECT_TRUE(product.isInstalled()) << "a failed connection says nothing about the databases";
    EXPECT_TRUE(product.detectionError());
    EXPECT_EQ(product.version(), u"9.5.10.79");
    EXPECT_EQ(text(), kDetecting + kDefaultRunning + kConnecting +
                          u"Database Error: [SQL Server]Login failed for user 'DOM\\adm'. (28000: 18456)\n"
                          u"[DBNETLIB]General network error. Check your network documentation. (01000: 2)\r\n"
                          u"Detection incomplete: unable to look at the SQL server: the connection failed\r\n");

    // No new attempt: the removal fails, and detection still keeps its last answer.
    EXPECT_FALSE(product.remove());
    EXPECT_EQ(text(), kRemoving + u"Unable to connect to database.  It may have already been removed by the uninstaller.\r\n");
    product.detect();
    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(text(), kDetecting);
    const std::string journal = server.journal();
    EXPECT_EQ(journal.substr(journal.rfind("connect")), "connect Driver=SQL Server;Server=.;Trusted_Connection=Yes;\n")
        << "the failed attempt was the last thing the server saw";
}

// A check that fails is no answer: detection keeps what it found and is incomplete, and the
// removal drops nothing it could not see and fails.
TEST_F(DatabaseProductTest, FailedExistenceCheckIsNoAnswer)
{
    defaultInstance();
    server.setState(kBothDatabases);
    product.runDetection();
    text();
    server.setState(std::string(kBothDatabases) + "fail\texists\n"
                                                  "record\t08S01\t10054\t[SQL Server]Communication link failure\n");

    product.runDetection();
    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.detectionError(),
              u"unable to look at database [KMEnterprise]: Database Error: [SQL Server]Communication link failure (08S01: 10054)");
    EXPECT_FALSE(product.remove());
    EXPECT_NE(server.state().find("database\tKMEnterprise\ndatabase\tQTVReporting\n"), std::string::npos);
}

struct VersionCase {
    const char* name;
    const char* state;          // the version lines of the server's state
    const char16_t* line;       // the rest of the version line
    std::optional<std::u16string> version;
};

void PrintTo(const VersionCase& c, std::ostream* os)
{
    *os << c.name;
}

class VersionQueryTest : public DatabaseProductTest, public ::testing::WithParamInterface<VersionCase> {
};

TEST_P(VersionQueryTest, TheMainDatabaseIsInstalledWhateverItsVersion)
{
    defaultInstance();
    server.setState("server\t.\ndatabase\tKMEnterprise\nversion\t9.5\n");
    product.detect();
    text();
    server.setState(std::string("server\t.\ndatabase\tKMEnterprise\n") + GetParam().state);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), GetParam().version);
    const std::u16string written = text();
    const std::u16string last =
        u"Trying to determine the version of the KMEnterprise database..." + std::u16string(GetParam().line) + u"\r\n";
    ASSERT_GE(written.size(), last.size());
    EXPECT_EQ(written.substr(written.size() - last.size()), last);
}

const VersionCase kVersionCases[] = {
    {"Null", "version\tNULL\n", u"found version 'Unknown'", std::nullopt},
    {"CutToTheBuffer",
     "version\t0123456789012345678901234567890123456789012345678901234567890123456789\n",
     u"found version '0123456789012345678901234567890123456789012345678901234567890123'",
     u"0123456789012345678901234567890123456789012345678901234567890123"},
    {"NoRow", "", u"error encountered: Database Error: A database query unexpectedly failed to return any results.",
     std::nullopt},
    {"QueryFails",
     "version\t9.6\nfail\tversion\nrecord\tS0002\t208\t[SQL Server]Invalid object name 'DBINFO'.\n",
     u"error encountered: Database Error: [SQL Server]Invalid object name 'DBINFO'. (S0002: 208)", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Versions, VersionQueryTest, ::testing::ValuesIn(kVersionCases),
                         [](const ::testing::TestParamInfo<VersionCase>& param) { return param.param.name; });

TEST_F(DatabaseProductTest, RemoveDSNFromIniFailingLeavesTheRegistryAlone)
{
    defaultInstance();
    server.setState("server\t.\n");
    server.breakDataSourceFile();

    EXPECT_FALSE(product.remove()) << "a data source left is no success";

    EXPECT_EQ(text(), kRemoving + kDefaultRunning + kConnecting + kServiceStops +
                          u"Checking for database [KMEnterprise]...database does not exist\r\n"
                          u"Removing DSN \"localqtvreportingserver\"...\r\nfailed to delete DSN\r\n"
                          u"Removing DSN \"enterprise_setup\"...\r\nfailed to delete DSN\r\n"
                          u"Removing DSN \"enterprise_setup32\"...\r\nfailed to delete DSN\r\n"
                          u"Checking for database [QTVReporting]...database does not exist\r\n");
    EXPECT_TRUE(dsnLeft(u"localqtvreportingserver"));

    // With the databases there, neither is dropped: they are what the next run finds the data
    // sources by.
    server.setState(kBothDatabases);
    text();
    EXPECT_FALSE(product.remove());
    const std::u16string written = text();
    EXPECT_EQ(written.find(u"Removing database"), std::u16string::npos) << ToUtf8(written);
    EXPECT_NE(server.state().find("database\tKMEnterprise\ndatabase\tQTVReporting\n"), std::string::npos);
}

// The server's records carry ODBC 3 states; the driver manager hands an application that asked
// for ODBC 2 behaviour their ODBC 2 form ("42000" becomes "37000").
// Its job and data sources are gone by then: a drop is the last step.
TEST_F(DatabaseProductTest, FailedDropOfTheMainDatabaseFailsTheRemoval)
{
    defaultInstance();
    server.setState(std::string(kBothDatabases) +
                    "fail\tdrop KMEnterprise\n"
                    "record\t42000\t3702\t[SQL Server]Cannot drop database \"KMEnterprise\" because it is currently in use.\n");

    EXPECT_FALSE(product.remove());

    EXPECT_EQ(text(), kRemoving + kDefaultRunning + kConnecting + kServiceStops + kMainDatabaseFound +
                          u"Removing database \"KMEnterprise\"...error encountered: Database Error: [SQL Server]Cannot "
                          u"drop database \"KMEnterprise\" because it is currently in use. (37000: 3702)\r\n"
                          u"Checking for database [QTVReporting]...database exists\r\n"
                          u"Removing database \"QTVReporting\"...done\r\n");
    EXPECT_EQ(server.state().rfind("server\t.\ndatabase\tKMEnterprise\nversion\t9.5.10.79\nfail\t", 0), 0u)
        << "the main database alone is left";
}

TEST_F(DatabaseProductTest, AnErrorLaterInTheJobBatchIsReportedButDoesNotFailTheRemoval)
{
    defaultInstance();
    server.setState("server\t.\n"
                    "database\tKMEnterprise\n"
                    "job\tKMEnterprise Full Database Index Reorganization\n"
                    "fail-more\tjob\n"
                    "record\t42000\t14262\t[SQL Server]The specified @job_id does not exist.\n");

    EXPECT_TRUE(product.remove());

    const std::u16string written = text();
    EXPECT_NE(written.find(u"Checking for database [KMEnterprise]...database exists\r\n"
                           u"Removing reindexing job \"KMEnterprise Full Database Index Reorganization\"...error "
                           u"encountered: Database Error: [SQL Server]The specified @job_id does not exist. (37000: "
                           u"14262)\r\n"
                           u"Removing DSN \"qtv_kmenterprise\"...\r\n"),
              std::u16string::npos)
        << ToUtf8(written);
}

// Whichever registry read of the removal answers "not found" once, a removal that succeeds leaves
// no data source: the line in the list is looked at again.
TEST_F(DatabaseProductTest, AReadMissingOnceLeavesNoDataSourceBehindASuccess)
{
    defaultInstance();
    FailEachCallInTurn(machine, SimCall::RegQueryValueEx, ERROR_FILE_NOT_FOUND, [this](unsigned nth) {
        layDataSources();
        server.setState(kBothDatabases);
        if (!product.remove()) {
            EXPECT_NE(nth, 0u) << "the removal fails only where a read does";
            return;
        }
        for (const char16_t* dsn : {u"qtv_kmenterprise", u"qtv_EnterpriseServer", u"localqtvreportingserver"})
            EXPECT_FALSE(dsnLeft(dsn)) << "read " << nth << " missed: " << ToUtf8(dsn);
    });
}

TEST_F(DatabaseProductTest, SilentRunRemovesTheDatabases)
{
    defaultInstance();
    server.setState(kBothDatabases);
    Remove::Log discard;
    const Products products = MakeProducts(&discard);

    RunSilent(u"/silent /database", products.set, SilentRunContext{&discard, u"QTVRemove", RemoveRootTraces, nullptr});

    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_EQ(server.state(), "server\t.\n");
    EXPECT_FALSE(products.set[ProductId::SupportingDatabases]->isInstalled());
}

} // namespace
