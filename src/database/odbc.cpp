#include "database/odbc.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <odbcinst.h>

#include <atomic>
#include <vector>

#include "database/diagnostics.h"
#include "database/log_channel.h"
#include "platform/text.h"

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide text is UTF-16");
static_assert(sizeof(SQLLEN) == sizeof(ODBCLength));

namespace {

constexpr std::uint64_t kLoginTimeout = 15'000'000; // microseconds
constexpr SQLSMALLINT kDiagnosticCharacters = 4096;

SQLWCHAR* Wide(std::u16string& text)
{
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

// The records of the last call on `handle`, read once, the message in wide characters so that
// a localised text never depends on a code page.
std::vector<DiagnosticRecord> ReadDiagnostics(ODBCHandleValue handle, SQLSMALLINT handleType)
{
    std::vector<DiagnosticRecord> records;
    if (handle == nullptr || handleType == 0)
        return records;
    for (SQLSMALLINT number = 1;; ++number) {
        char16_t state[6] = {};
        SQLINTEGER native = 0;
        std::u16string message(kDiagnosticCharacters, u'\0');
        SQLSMALLINT length = 0;
        const SQLRETURN read = SQLGetDiagRecW(handleType, handle, number,
                                              reinterpret_cast<SQLWCHAR*>(state), &native,
                                              Wide(message), kDiagnosticCharacters, &length);
        if (!SQL_SUCCEEDED(read) || state[0] == u'\0')
            break;
        // A longer message was cut to the buffer.
        message.resize(static_cast<std::size_t>(
            std::max<SQLSMALLINT>(0, std::min<SQLSMALLINT>(length, kDiagnosticCharacters - 1))));
        records.push_back({ToUtf8(std::u16string_view(state)), static_cast<std::int32_t>(native),
                           ToUtf8(message)});
    }
    return records;
}

void ReportODBCDiagnostics(SQLRETURN result, ODBCHandleValue handle, SQLSMALLINT handleType)
{
    const std::vector<DiagnosticRecord> records = ReadDiagnostics(handle, handleType);
    const std::string text = DiagnosticText(records);
    if (result == SQL_SUCCESS_WITH_INFO) {
        DebugChannel().write("Successful ODBC call returned:\n" + text);
        return;
    }
    DebugChannel().write(text);
    ThrowODBCException(ClassifyDiagnostics(records), text);
}

// The parameter's text as the driver manager hands narrow characters on: the system's ANSI code
// page on Windows, UTF-8 for unixODBC.
std::string DriverNarrowText(const std::string& utf8)
{
#ifdef _WIN32
    const std::u16string wide = ToUtf16(utf8);
    if (wide.empty())
        return {};
    const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
    const int count = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, source, count, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        ThrowODBCException(DiagnosticClass::Plain, "Unknown ODBC Error");
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, source, count, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
#else
    return utf8;
#endif
}

} // namespace

void FreeODBCHandle(short handleType, ODBCHandleValue handle) noexcept
{
    SQLFreeHandle(handleType, handle);
}

void CheckODBCResult(short result, ODBCHandleValue handle, short handleType)
{
    switch (result) {
    case SQL_SUCCESS:
        return;
    case SQL_SUCCESS_WITH_INFO:
    case SQL_ERROR:
        ReportODBCDiagnostics(result, handle, handleType);
        return;
    case SQL_INVALID_HANDLE:
        ThrowODBCException(DiagnosticClass::Plain, "Invalid Handle");
    case SQL_STILL_EXECUTING:
        ThrowODBCException(DiagnosticClass::Plain, "Still Executing");
    case SQL_NEED_DATA:
        ThrowODBCException(DiagnosticClass::Plain, "Need Data");
    case SQL_NO_DATA:
        ThrowODBCException(DiagnosticClass::Plain, "No Data");
    default:
        ThrowODBCException(DiagnosticClass::Plain, "Unknown ODBC Error");
    }
}

ODBCEnvironment::ODBCEnvironment(unsigned long version)
{
    SQLHANDLE handle = SQL_NULL_HANDLE;
    CheckODBCResult(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle), handle, 0);
    handle_.reset(handle);
    CheckODBCResult(SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                                  reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(version)), 0),
                    handle, SQL_HANDLE_ENV);
}

ODBCDatabase::ODBCDatabase(ODBCHandleValue environment, const std::string& connectionString,
                           std::uint64_t loginTimeout)
{
    // Not connected until the connect succeeds: until then the owner only frees the handle.
    AutoODBCDatabaseHandle allocated;
    SQLHANDLE handle = SQL_NULL_HANDLE;
    CheckODBCResult(SQLAllocHandle(SQL_HANDLE_DBC, environment, &handle), environment,
                    SQL_HANDLE_ENV);
    allocated.reset(handle);
    const auto seconds = static_cast<std::uintptr_t>(loginTimeout / 1'000'000);
    CheckODBCResult(SQLSetConnectAttrW(handle, SQL_ATTR_LOGIN_TIMEOUT,
                                       reinterpret_cast<SQLPOINTER>(seconds), SQL_IS_UINTEGER),
                    handle, SQL_HANDLE_DBC);
    std::u16string wide = ToUtf16(connectionString);
    std::vector<SQLWCHAR> completed(4096);
    SQLSMALLINT completedLength = 0;
    CheckODBCResult(SQLDriverConnectW(handle, nullptr, Wide(wide), SQL_NTS, completed.data(),
                                      static_cast<SQLSMALLINT>(completed.size()), &completedLength,
                                      SQL_DRIVER_NOPROMPT),
                    handle, SQL_HANDLE_DBC);
    handle_ = std::move(allocated);
}

ODBCDatabase::~ODBCDatabase()
{
    if (handle_)
        SQLDisconnect(handle_.get());
}

DatabaseSession::DatabaseSession(const std::string& connectionString)
    : environment_(SQL_OV_ODBC2), database_(environment_.handle(), connectionString, kLoginTimeout)
{
}

ODBCStatement::ODBCStatement(ODBCHandleValue connection)
{
    SQLHANDLE handle = SQL_NULL_HANDLE;
    CheckODBCResult(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle), connection,
                    SQL_HANDLE_DBC);
    handle_.reset(handle);
}

bool ODBCStatement::execute(const std::string& sql)
{
    DatabaseChannel().write(sql);
    std::u16string wide = ToUtf16(sql);
    const SQLRETURN result = SQLExecDirectW(handle_.get(), Wide(wide), SQL_NTS);
    if (result != SQL_NO_DATA) {
        check(result);
        if (hasColumns())
            return true;
    }
    for (SQLRETURN more; (more = SQLMoreResults(handle_.get())) != SQL_NO_DATA;) {
        check(more);
        if (hasColumns())
            break;
    }
    return result != SQL_NO_DATA;
}

bool ODBCStatement::hasColumns() const
{
    SQLSMALLINT columns = 0;
    check(SQLNumResultCols(handle_.get(), &columns));
    return columns > 0;
}

bool ODBCStatement::fetch()
{
    const SQLRETURN result = SQLFetch(handle_.get());
    if (result == SQL_NO_DATA)
        return false;
    check(result);
    return true;
}

void ODBCStatement::check(short result) const
{
    CheckODBCResult(result, handle_.get(), SQL_HANDLE_STMT);
}

void ODBCStatement::bindInteger(unsigned short column, std::int32_t* value)
{
    check(SQLBindCol(handle_.get(), column, SQL_C_SLONG, value, sizeof(*value), nullptr));
}

void ODBCStatement::bindWideText(unsigned short column, char16_t* buffer, ODBCLength bytes,
                                 ODBCLength* indicator)
{
    check(SQLBindCol(handle_.get(), column, SQL_C_WCHAR, buffer, bytes,
                     reinterpret_cast<SQLLEN*>(indicator)));
}

bool executeOnce(ODBCHandleValue connection, const std::string& sql)
{
    ODBCStatement statement(connection);
    return statement.execute(sql);
}

void ODBCStringParameter::bind(ODBCStatement& statement, unsigned short number,
                               const std::string& text, bool isNull)
{
    if (!isNull) {
        value_ = DriverNarrowText(text);
        indicator_ = static_cast<ODBCLength>(value_.size());
    }
    constexpr SQLULEN kColumnSize = 128;
    constexpr SQLLEN kBufferLength = 129;
    statement.check(SQLBindParameter(statement.handle(), number, SQL_PARAM_INPUT, SQL_C_CHAR,
                                     SQL_VARCHAR, kColumnSize, 0, value_.data(), kBufferLength,
                                     reinterpret_cast<SQLLEN*>(&indicator_)));
}

bool RemoveDSNFromIni(const std::u16string& name)
{
    return SQLRemoveDSNFromIniW(reinterpret_cast<LPCWSTR>(name.c_str())) != 0;
}

namespace {

DatabaseChanges realChanges;
std::atomic<DatabaseChanges*> activeChanges{&realChanges};

} // namespace

bool DatabaseChanges::execute(ODBCHandleValue connection, const std::string& sql)
{
    return executeOnce(connection, sql);
}

bool DatabaseChanges::removeDSNFromIni(const std::u16string& name)
{
    return RemoveDSNFromIni(name);
}

bool PlannedDatabaseChanges::execute(ODBCHandleValue, const std::string& sql)
{
    DatabaseChannel().write("(planned, not run) " + sql);
    changes_.note();
    return true;
}

bool PlannedDatabaseChanges::removeDSNFromIni(const std::u16string&)
{
    changes_.note();
    return true;
}

DatabaseChanges& ActiveDatabaseChanges()
{
    return *activeChanges.load();
}

ScopedDatabaseChanges::ScopedDatabaseChanges(DatabaseChanges& changes)
    : previous_(activeChanges.exchange(&changes))
{
}

ScopedDatabaseChanges::~ScopedDatabaseChanges()
{
    activeChanges.store(previous_);
}

