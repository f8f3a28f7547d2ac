#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/product.h"
#include "database/odbc.h"

// The supporting databases on the local SQL Server: the main and reporting databases, the job
// that reorganises the main database's indexes and the suite's ODBC data sources. Detection
// asks the server whether either database exists; removal deletes the job, removes the data
// sources and then drops the databases. It never runs an uninstaller.
class DatabaseProduct : public QTVProduct {
public:
    explicit DatabaseProduct(Remove::Log* log);

    std::u16string name() const override;
    OptionalText version() const override;
    void detect() override;
    bool remove() override;

private:
    // A session on the local instance, or nothing: no instance running, or the attempt failed
    // (then connectFailed is set and the error written).
    std::unique_ptr<DatabaseSession> connectToLocalServer();
    // Nothing when the check itself failed (written, and noted as a probe error).
    std::optional<bool> databaseExists(ODBCHandleValue connection, const std::u16string& database);
    OptionalText queryVersion(ODBCHandleValue connection);
    bool dropDatabase(ODBCHandleValue connection, const std::u16string& database);
    bool removeReindexingJob(ODBCHandleValue connection, const std::u16string& job);
    bool removeDSN(const std::u16string& dsn);
    bool removeDSNRegistryEntries(const std::u16string& dsn);

    // Set by the first connection attempt that fails; no later detect() or remove() tries again,
    // and every later detection is incomplete for that reason.
    bool connectFailed = false;
    OptionalText displayVersion;
};
