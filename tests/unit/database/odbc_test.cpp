#include "database/odbc.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "database/log_channel.h"
#include "database/odbc_errors.h"
#include "support/sql_server_standin.h"

namespace {

// Two owners of one handle would free it twice.
static_assert(!std::is_copy_constructible_v<AutoODBCDatabaseHandle>);
static_assert(!std::is_copy_constructible_v<ODBCDatabase>);
static_assert(!std::is_copy_constructible_v<ODBCStatement>);
static_assert(std::is_nothrow_move_constructible_v<AutoODBCStatementHandle>);

// Collects what a channel writes for the test's lifetime, then silences it again.
class ChannelCapture {
public:
    explicit ChannelCapture(LogChannel& channel) : channel_(channel)
    {
        channel_.setOutput([this](std::string_view text) { lines.emplace_back(text); });
    }
    ~ChannelCapture() { channel_.setOutput({}); }

    std::vector<std::string> lines;

private:
    LogChannel& channel_;
};

TEST(CheckODBCResultTest, EveryReturnCodeHasItsOutcome)
{
    // Codes without records: nothing to read, so the text names the code.
    const std::pair<short, const char*> codes[] = {
        {0, nullptr}, {1, nullptr},
        {-1, "Database Error: "},
        {-2, "Database Error: Invalid Handle"},
        {2, "Database Error: Still Executing"},
        {99, "Database Error: Need Data"},
        {100, "Database Error: No Data"},
        {3, "Database Error: Unknown ODBC Error"},
    };
    for (const auto& [code, expected] : codes) {
        SCOPED_TRACE(code);
        try {
            CheckODBCResult(code, nullptr, 0);
            EXPECT_EQ(expected, nullptr);
        } catch (const ODBCException& e) {
            ASSERT_NE(expected, nullptr);
            EXPECT_EQ(e.message(), expected);
        }
    }
}

class SqliteLayerTest : public ::testing::Test {
protected:
    SqlServerStandIn odbc;
    DatabaseSession session{"Driver=SQLite3;Database=" + odbc.sqliteDatabase() + ";"};
};

TEST_F(SqliteLayerTest, ParametersColumnsAndRowsThroughARealDriver)
{
    ChannelCapture sql(DatabaseChannel());
    executeOnce(session.connection(), "create table people (name text, age integer)");
    for (const char* name : {"Ada", "Zo\xC3\xAB"}) {
        ODBCStatement insert(session.connection());
        ODBCStringParameter parameter;
        parameter.bind(insert, 1, name, false);
        EXPECT_TRUE(insert.execute("insert into people values (?, 36)"));
    }

    ODBCStatement select(session.connection());
    ODBCStringParameter parameter;
    parameter.bind(select, 1, "Zo\xC3\xAB", false);
    std::int32_t age = 0;
    select.bindInteger(1, &age);
    char16_t name[65] = {};
    ODBCLength length = 0;
    select.bindWideText(2, name, sizeof(name), &length);
    ASSERT_TRUE(select.execute("select age, name from people where name = ?"));
    ASSERT_TRUE(select.fetch());
    EXPECT_EQ(age, 36);
    EXPECT_EQ(std::u16string(name, static_cast<std::size_t>(length) / 2), u"Zo\u00EB");
    EXPECT_FALSE(select.fetch());

    EXPECT_EQ(sql.lines, (std::vector<std::string>{
                             "create table people (name text, age integer)",
                             "insert into people values (?, 36)",
                             "insert into people values (?, 36)",
                             "select age, name from people where name = ?",
                         }));
}

TEST_F(SqliteLayerTest, UpdateOfNoRowIsNoDataAndNotAnError)
{
    // The driver answers SQL_NO_DATA for an update of no row only under ODBC 3 behaviour.
    const ODBCEnvironment environment(3);
    const ODBCDatabase database(environment.handle(), "Driver=SQLite3;Database=" + odbc.sqliteDatabase() + ";",
                                15'000'000);
    executeOnce(database.handle(), "create table t (n integer)");
    ODBCStatement update(database.handle());
    EXPECT_FALSE(update.execute("update t set n = 1 where n = 2"));
}

TEST_F(SqliteLayerTest, SyntaxErrorCarriesTheDriversStateAndMessage)
{
    try {
        executeOnce(session.connection(), "selec 1");
        FAIL() << "no exception";
    } catch (const ODBCException& e) {
        EXPECT_EQ(e.message(), "Database Error: [SQLite]near \"selec\": syntax error (1) (S1000: 1)");
    }
}

class StandInLayerTest : public ::testing::Test {
protected:
    SqlServerStandIn standIn;
    const std::string connection = "Driver=SQL Server;Server=.;Trusted_Connection=Yes;";
};

TEST_F(StandInLayerTest, SuccessWithInformationConnectsAndTellsOnlyTheDebugChannel)
{
    standIn.setState("server\t.\n"
                     "info\tconnect\n"
                     "record\t01000\t5701\t[SQL Server]Changed database context to 'master'.\n"
                     "record\t01000\t5703\t[SQL Server]Changed language setting to us_english.\n");
    ChannelCapture debug(DebugChannel());

    const DatabaseSession session(connection);

    EXPECT_NE(session.connection(), nullptr);
    ASSERT_FALSE(debug.lines.empty());
    EXPECT_EQ(debug.lines.front(), "Successful ODBC call returned:\n"
                                   "[SQL Server]Changed database context to 'master'. (01000: 5701)\n"
                                   "[SQL Server]Changed language setting to us_english. (01000: 5703)");
    EXPECT_EQ(standIn.journal(), "connect Driver=SQL Server;Server=.;Trusted_Connection=Yes;\n");
}

TEST_F(StandInLayerTest, LocalisedRecordsKeepTheirCharacters)
{
    standIn.setState("server\t.\n"
                     "fail\tconnect\n"
                     "record\t28000\t18456\t\xC3\x89" "chec de l'ouverture de session de l'utilisateur \xC2\xAB" "DOM\\adm \xC2\xBB.\n"
                     "record\t08001\t-1013\tBase de donn\xC3\xA9" "es introuvable\n");
    try {
        DatabaseSession session(connection);
        FAIL() << "connected";
    } catch (const QordaDatabaseDoesNotExist& e) {
        EXPECT_EQ(e.message(), "Database Error: \xC3\x89" "chec de l'ouverture de session de l'utilisateur \xC2\xAB"
                               "DOM\\adm \xC2\xBB. (28000: 18456)\n"
                               "Base de donn\xC3\xA9" "es introuvable (08001: -1013)");
    }
}

} // namespace
