#include "database/diagnostics.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "database/odbc_errors.h"

namespace {

struct Case {
    const char* name;
    std::vector<DiagnosticRecord> records;
    const char* thrown;  // the exception's class as the run-time type system names it
    const char* message; // its whole message
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

// Throws what the layer throws for these records and reports the class and the message.
std::pair<std::string, std::string> Thrown(const std::vector<DiagnosticRecord>& records)
{
    try {
        ThrowODBCException(ClassifyDiagnostics(records), DiagnosticText(records));
    } catch (const ODBCException& e) {
        return {QualifiedTypeName(typeid(e)), std::string(e.message())};
    }
    return {};
}

class ClassificationTest : public ::testing::TestWithParam<Case> {
};

TEST_P(ClassificationTest, RecordsBecomeTheirException)
{
    const Case& c = GetParam();
    const auto [thrown, message] = Thrown(c.records);
    EXPECT_EQ(thrown, c.thrown);
    EXPECT_EQ(message, c.message);
}

const Case kCases[] = {
    {"NoRecord", {}, "class ODBCException", "Database Error: "},
    {"ClientUnableToConnect", {{"08001", 17, "SQL Server does not exist or access denied."}},
     "class DatabaseConnectionError", "Database Error: SQL Server does not exist or access denied. (08001: 17)"},
    {"LinkFailure", {{"08S01", 0, "Communication link failure"}}, "class DatabaseConnectionError",
     "Database Error: Communication link failure (08S01: 0)"},
    {"Timeout", {{"S1T00", 0, "Timeout expired"}}, "class DatabaseTimeoutExpiredError",
     "Database Error: Timeout expired (S1T00: 0)"},
    {"LoginToDatabaseRefused", {{"37000", 4060, "Cannot open database"}}, "class DatabaseConnectionError",
     "Database Error: Cannot open database (37000: 4060)"},
    {"SyntaxErrorIsPlain", {{"37000", 102, "Incorrect syntax near 'x'."}}, "class ODBCException",
     "Database Error: Incorrect syntax near 'x'. (37000: 102)"},
    {"DatabaseMissing", {{"08004", -30061, "database not found"}}, "class QordaDatabaseDoesNotExist",
     "Database Error: database not found (08004: -30061)"},
    {"NegativeNativeOverridesConnectionState", {{"08001", -1013, "no such database"}},
     "class QordaDatabaseDoesNotExist", "Database Error: no such database (08001: -1013)"},
    {"DirectoryMissing", {{"58031", -1031, "directory not found"}}, "class QordaDatabaseDirectoryDoesNotExist",
     "Database Error: directory not found (58031: -1031)"},
    {"ConnectionResetWarning", {{"01000", 10054, "connection reset"}}, "class DatabaseConnectionError",
     "Database Error: connection reset (01000: 10054)"},
    {"OtherWarningIsPlain", {{"01000", 5701, "Changed database context to 'master'."}}, "class ODBCException",
     "Database Error: Changed database context to 'master'. (01000: 5701)"},
    {"Deadlock", {{"40001", 1205, "chosen as the deadlock victim"}}, "class DatabaseDeadlockException",
     "Database Error: chosen as the deadlock victim (40001: 1205)"},
    {"RestoringWhateverTheState", {{"08001", 922, "being recovered"}}, "class DatabaseRestoringError",
     "Database Error: being recovered (08001: 922)"},
    {"InvalidObject", {{"S0002", 208, "Invalid object name 'DBINFO'."}}, "class InvalidObjectError",
     "Database Error: Invalid object name 'DBINFO'. (S0002: 208)"},
    {"CommunicationNative", {{"S1000", -30081, "communication error"}}, "class DatabaseConnectionError",
     "Database Error: communication error (S1000: -30081)"},
    {"GeneralNetworkErrorText",
     {{"S1000", 11, "[DBNETLIB]General network error. Check your network documentation."}},
     "class DatabaseConnectionError",
     "Database Error: [DBNETLIB]General network error. Check your network documentation. (S1000: 11)"},
    {"StatesCompareExactly", {{"08s01", 0, "lower case"}}, "class ODBCException",
     "Database Error: lower case (08s01: 0)"},
    {"LastMatchingRecordDecides",
     {{"08001", 17, "first"}, {"40001", 1205, "second"}, {"01000", 5701, "third"}},
     "class DatabaseDeadlockException",
     "Database Error: first (08001: 17)\nsecond (40001: 1205)\nthird (01000: 5701)"},
    {"TwoRecordsTwoLines", {{"40001", 1205, "deadlock"}, {"08S01", 0, "link"}}, "class DatabaseConnectionError",
     "Database Error: deadlock (40001: 1205)\nlink (08S01: 0)"},
};

INSTANTIATE_TEST_SUITE_P(Rules, ClassificationTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param) { return param.param.name; });

TEST(ODBCExceptionTest, RestoringIsAConnectionErrorAndNothingReturnedHasItsOwnText)
{
    EXPECT_THROW(ThrowODBCException(DiagnosticClass::Restoring, "x"), DatabaseConnectionError);
    EXPECT_EQ(NothingReturnedFromQuery().message(),
              "Database Error: A database query unexpectedly failed to return any results.");
}

} // namespace
