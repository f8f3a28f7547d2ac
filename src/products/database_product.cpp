#include "products/database_product.h"

#include <algorithm>
#include <cstdint>

#include "core/catalogue.h"
#include "core/log.h"
#include "database/odbc_errors.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/registry.h"
#include "platform/run_record.h"
#include "platform/text.h"
#include "toolkit/registry_backup.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/service_cleanup.h"

namespace {

const std::u16string kDefaultInstanceService = u"MSSQLSERVER";
const std::u16string kExpressInstanceService = u"MSSQL$SQLEXPRESS";
const std::string kDefaultInstanceServer = ".";
const std::string kExpressInstanceServer = "localhost\\SQLEXPRESS";
const std::u16string kNativeClientKey = u"SOFTWARE\\ODBC\\ODBCINST.INI\\SQL Server Native Client 11.0";
const std::string kNativeClientDriver = "Driver={SQL Server Native Client 11.0}";
const std::string kPlainDriver = "Driver=SQL Server";

const std::u16string kMainDatabase = u"KMEnterprise";
const std::u16string kReportingDatabase = u"QTVReporting";
const std::u16string kReindexingJob = u"KMEnterprise Full Database Index Reorganization";

const std::u16string kServerServices[] = {u"FillDB", u"GatherDB", u"QTVWebReportsServer", u"QTVRootServer"};
constexpr unsigned kServiceTimeout = 10;

// The main database's data sources go with it; the others are removed on every removal.
const std::u16string kMainDatabaseDSNs[] = {u"qtv_kmenterprise", u"qtv_EnterpriseServer"};
const std::u16string kOtherDSNs[] = {u"localqtvreportingserver", u"enterprise_setup", u"enterprise_setup32"};

const std::u16string kDSNRoot = u"SOFTWARE\\ODBC\\ODBC.INI\\";
const std::u16string kDSNList = u"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources\\";
// The list's key as the backup and the record name it.
const std::u16string kDSNListKey = u"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
// The suite's 64-bit tools leave their data sources in the 64-bit view.
constexpr REGSAM kDSNAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

// The SQL texts, each run as one statement. Names are inserted as they are: they are this file's
// own constants.
const std::string kUseMaster = "use master";
const std::string kExistsQuery = "select case when exists ( select * from sysdatabases where name = ? ) then 1 else 0 end";
const std::string kUseMainDatabase = "use KMEnterprise";
const std::string kVersionQuery = "select Version from DBINFO";
const std::string kDropDatabase = "drop database ";

// The version column's buffer: 64 UTF-16 characters and a terminator.
constexpr std::size_t kVersionCharacters = 64;

std::string JobScript(const std::u16string& job)
{
    return "declare @jobName sysname\r\nset @jobName = N'" + ToUtf8(job) +
           "'\r\nif exists ( select * from msdb.dbo.sysjobs where name like @jobName )\r\n"
           "\texecute msdb.dbo.sp_delete_job @job_name = @jobName\r\n";
}

void WriteError(Remove::Log* log)
{
    log->write(u"error encountered: ");
    writeLine(log, DescribeCurrentExceptionW());
}

// Opens the line with the opening phrase and the quoted subject, runs the work and closes the
// line with "done" or the error.
template <class Work>
bool QuotedStep(Remove::Log* log, std::u16string_view opening, const std::u16string& subject, Work work)
{
    log->write(opening);
    log->write(subject);
    log->write(u"\"...");
    try {
        work();
        writeLine(log, u"done");
        return true;
    } catch (...) {
        WriteError(log);
        return false;
    }
}

} // namespace

DatabaseProduct::DatabaseProduct(Remove::Log* sink)
    : QTVProduct(sink)
{
}

std::u16string DatabaseProduct::name() const
{
    return std::u16string(Catalogue(ProductId::SupportingDatabases).defaultName);
}

OptionalText DatabaseProduct::version() const
{
    return displayVersion;
}

std::unique_ptr<DatabaseSession> DatabaseProduct::connectToLocalServer()
{
    std::string server;
    if (CheckServiceRunning(kDefaultInstanceService, log))
        server = kDefaultInstanceServer;
    else if (CheckServiceRunning(kExpressInstanceService, log))
        server = kExpressInstanceServer;
    else
        return nullptr;
    log->write(u"Trying to connect to a SQL server at localhost using NT authentication...");
    try {
        const std::string& driver =
            RegistryValueExists(HKEY_LOCAL_MACHINE, kNativeClientKey, u"Driver", KEY_READ)
                ? kNativeClientDriver
                : kPlainDriver;
        // The line stays open: the first database check continues it.
        return std::make_unique<DatabaseSession>(driver + ";Server=" + server + ";Trusted_Connection=Yes;");
    } catch (...) {
        writeLine(log, DescribeCurrentExceptionW());
        connectFailed = true;
        NoteProbeFailure(u"the SQL server", u"the connection failed");
        return nullptr;
    }
}

std::optional<bool> DatabaseProduct::databaseExists(ODBCHandleValue connection, const std::u16string& database)
{
    log->write(u"Checking for database [");
    log->write(database);
    log->write(u"]...");
    try {
        executeOnce(connection, kUseMaster);
        ODBCStatement statement(connection);
        ODBCStringParameter name;
        name.bind(statement, 1, ToUtf8(database), false);
        std::int32_t exists = 0;
        statement.bindInteger(1, &exists);
        statement.execute(kExistsQuery);
        if (!statement.fetch())
            throw NothingReturnedFromQuery();
        writeLine(log, exists != 0 ? u"database exists" : u"database does not exist");
        return exists != 0;
    } catch (...) {
        // A check that failed says nothing about the database.
        NoteProbeFailure(u"database [" + database + u"]", DescribeCurrentExceptionW());
        WriteError(log);
        return std::nullopt;
    }
}

OptionalText DatabaseProduct::queryVersion(ODBCHandleValue connection)
{
    log->write(u"Trying to determine the version of the KMEnterprise database...");
    try {
        executeOnce(connection, kUseMainDatabase);
        ODBCStatement statement(connection);
        char16_t buffer[kVersionCharacters + 1] = {};
        ODBCLength indicator = 0;
        statement.bindWideText(1, buffer, sizeof(buffer), &indicator);
        statement.execute(kVersionQuery);
        if (!statement.fetch())
            throw NothingReturnedFromQuery();
        // A negative indicator (NULL, or a length the driver does not know) is no version.
        if (indicator < 0) {
            writeLine(log, u"found version 'Unknown'");
            return std::nullopt;
        }
        const std::u16string version(buffer, std::min(static_cast<std::size_t>(indicator) / 2, kVersionCharacters));
        log->write(u"found version '");
        log->write(version);
        writeLine(log, u"'");
        return version;
    } catch (...) {
        WriteError(log);
        return std::nullopt;
    }
}

bool DatabaseProduct::dropDatabase(ODBCHandleValue connection, const std::u16string& database)
{
    return QuotedStep(log, u"Removing database \"", database, [&] {
        executeOnce(connection, kUseMaster);
        ActiveDatabaseChanges().execute(connection, kDropDatabase + ToUtf8(database));
        NoteDeleted(DeletedKind::Database, database);
    });
}

bool DatabaseProduct::removeReindexingJob(ODBCHandleValue connection, const std::u16string& job)
{
    // The script names msdb itself and deletes the job only when it exists.
    return QuotedStep(log, u"Removing reindexing job \"", job, [&] {
        // The batch affects nothing when there was no such job.
        if (ActiveDatabaseChanges().execute(connection, JobScript(job)))
            NoteDeleted(DeletedKind::AgentJob, job);
    });
}

bool DatabaseProduct::removeDSN(const std::u16string& dsn)
{
    log->write(u"Removing DSN \"");
    log->write(dsn);
    writeLine(log, u"\"...");
    // The installer library deletes the DSN in the program's own registry view: what it deletes
    // is saved first, and a DSN that cannot be saved is not removed.
    const std::u16string key = kDSNRoot + dsn;
    const bool registered = RegistryKeyExists(HKEY_LOCAL_MACHINE, key, KEY_READ) ||
                            RegistryKeyExists(HKEY_LOCAL_MACHINE, key, KEY_READ | KEY_WOW64_64KEY);
    bool saved = SaveRegistryKeyTree(HKEY_LOCAL_MACHINE, key, log);
    if (saved && ActiveBackup()) {
        try {
            // A list that cannot be opened may still hold the line the library deletes.
            UniqueKey list;
            const auto opened =
                static_cast<DWORD>(Os().regOpenKeyEx(HKEY_LOCAL_MACHINE, kDSNListKey.c_str(), 0, KEY_READ, list.put()));
            // The library deletes the line whatever this read said: one read as missing and then
            // found is not saved, so the data source stays for the next run.
            if (opened == ERROR_SUCCESS && !SaveRegistryValue(list.get(), HKEY_LOCAL_MACHINE, kDSNListKey, dsn) &&
                HasRegistryValue(list.get(), dsn))
                saved = false;
            else if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND)
                ThrowWindowsError(opened);
        } catch (...) {
            WriteError(log);
            saved = false;
        }
    }
    // The registry leftovers are looked at only once the installer library has removed the DSN.
    const bool removed = saved && ActiveDatabaseChanges().removeDSNFromIni(dsn) && removeDSNRegistryEntries(dsn);
    if (removed && registered)
        NoteDeleted(DeletedKind::DataSource, dsn);
    writeLine(log, removed ? u"DSN Removed" : u"failed to delete DSN");
    return removed;
}

bool DatabaseProduct::removeDSNRegistryEntries(const std::u16string& dsn)
{
    try {
        // Named below the root key the log shows as "(...)", so that the backup and the record
        // can name them in full.
        RegOpenKeyChecked(HKEY_LOCAL_MACHINE, kDSNRoot, kDSNAccess);
        const bool deleted = DeleteRegistryKey(HKEY_LOCAL_MACHINE, kDSNRoot + dsn, log, KEY_WOW64_64KEY, u"(...)\\" + dsn);
        const UniqueKey list = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, kDSNList, kDSNAccess);
        if (HasRegistryValue(list.get(), dsn))
            DeleteRegistryValue(HKEY_LOCAL_MACHINE, kDSNListKey, dsn, KEY_WOW64_64KEY);
        // Looked at again: a line read as missing once would otherwise stay, and with the
        // databases gone no later run looks for it.
        return deleted && !HasRegistryValue(list.get(), dsn);
    } catch (...) {
        WriteError(log);
        return false;
    }
}

void DatabaseProduct::detect()
{
    detectBanner(log, name());
    const std::unique_ptr<DatabaseSession> session = connectFailed ? nullptr : connectToLocalServer();
    if (!session) {
        // A failed connection says nothing about the databases: what was found before stands.
        if (!connectFailed)
            installed = false;
        else
            NoteProbeFailure(u"the SQL server", u"the connection failed");
        return;
    }
    const std::optional<bool> main = databaseExists(session->connection(), kMainDatabase);
    const std::optional<bool> reporting = databaseExists(session->connection(), kReportingDatabase);
    if (main.value_or(false)) {
        displayVersion = queryVersion(session->connection());
        installed = true;
    } else if (reporting.value_or(false)) {
        installed = true;
    } else if (main && reporting) {
        installed = false;
    }
    // Otherwise a check failed and found nothing: what was found before stands.
}

bool DatabaseProduct::remove()
{
    removeBanner(log, name());
    const std::unique_ptr<DatabaseSession> session = connectFailed ? nullptr : connectToLocalServer();
    if (!session) {
        writeLine(log, u"Unable to connect to database.  It may have already been removed by the uninstaller.");
        // Without a running instance there is nothing to remove; a failed connection is a failure.
        return !connectFailed;
    }
    for (const std::u16string& service : kServerServices)
        StopServiceWithWait(service, log, kServiceTimeout);

    // The databases are what the component is found by, so they go last: the job and the data
    // sources first, and a database only once every data source is gone. A run ended or failed
    // on the way leaves a database for the next run to find them by. The main database's job and
    // data sources go only with it, the others on every removal; the job's outcome (a batch may
    // report an error after its deletion) is logged only.
    const std::optional<bool> main = databaseExists(session->connection(), kMainDatabase);
    bool leftovers = false;
    if (main.value_or(false)) {
        removeReindexingJob(session->connection(), kReindexingJob);
        for (const std::u16string& dsn : kMainDatabaseDSNs)
            leftovers |= !removeDSN(dsn);
    }
    for (const std::u16string& dsn : kOtherDSNs)
        leftovers |= !removeDSN(dsn);
    bool failed = !main || leftovers;
    if (main.value_or(false) && (leftovers || !dropDatabase(session->connection(), kMainDatabase)))
        failed = true;
    const std::optional<bool> reporting = databaseExists(session->connection(), kReportingDatabase);
    if (!reporting || (*reporting && (leftovers || !dropDatabase(session->connection(), kReportingDatabase))))
        failed = true;
    return !failed;
}
