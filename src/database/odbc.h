#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "plan/planned_changes.h"

// The small ODBC layer on the driver manager's call-level interface (odbc32 on Windows, unixODBC
// natively). Every failing call throws one of the exceptions of database/odbc_errors.h, whose
// message carries the driver's diagnostic records; nothing here writes to the removal log. This
// header stays free of the system headers: handles are the driver manager's opaque pointers.

using ODBCHandleValue = void*;
// SQLLEN: the width of a pointer on both platforms.
using ODBCLength = std::intptr_t;

// Frees a handle of the given kind (1 environment, 2 connection, 3 statement); the result is
// ignored.
void FreeODBCHandle(short handleType, ODBCHandleValue handle) noexcept;

// A move-only owner of one ODBC handle, freed exactly once. Not the platform's UniqueHandle: that
// one keeps the system's last error through the seam, which the driver manager's handles are
// not behind, and its header brings in the system's types.
template <short HandleType>
class ODBCHandle {
public:
    ODBCHandle() noexcept = default;
    explicit ODBCHandle(ODBCHandleValue handle) noexcept : handle_(handle) {}
    ~ODBCHandle() { reset(); }

    ODBCHandle(ODBCHandle&& other) noexcept : handle_(other.release()) {}
    ODBCHandle& operator=(ODBCHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ODBCHandle(const ODBCHandle&) = delete;
    ODBCHandle& operator=(const ODBCHandle&) = delete;

    ODBCHandleValue get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    ODBCHandleValue release() noexcept { return std::exchange(handle_, nullptr); }
    void reset(ODBCHandleValue handle = nullptr) noexcept
    {
        if (ODBCHandleValue old = std::exchange(handle_, handle))
            FreeODBCHandle(HandleType, old);
    }

private:
    ODBCHandleValue handle_ = nullptr;
};

using AutoODBCEnvironmentHandle = ODBCHandle<1>;
using AutoODBCDatabaseHandle = ODBCHandle<2>;
using AutoODBCStatementHandle = ODBCHandle<3>;

// Returns for SQL_SUCCESS; reads the diagnostic records for SQL_SUCCESS_WITH_INFO (to the
// "debug" channel only) and returns; throws for every other code: the classified records for
// SQL_ERROR, "Invalid Handle", "Still Executing", "Need Data", "No Data" or "Unknown ODBC Error"
// for the others. `handleType` 0 means there is no handle to read records from.
void CheckODBCResult(short result, ODBCHandleValue handle, short handleType);

// The driver manager's environment, asking for the given ODBC behaviour (2 or 3).
class ODBCEnvironment {
public:
    explicit ODBCEnvironment(unsigned long version);
    ODBCHandleValue handle() const { return handle_.get(); }

private:
    AutoODBCEnvironmentHandle handle_;
};

// One open connection. Construction connects (no prompt) or throws, leaving nothing open;
// destruction disconnects and frees the connection.
class ODBCDatabase {
public:
    // `loginTimeout` in microseconds; the driver gets whole seconds.
    ODBCDatabase(ODBCHandleValue environment, const std::string& connectionString,
                 std::uint64_t loginTimeout);
    ~ODBCDatabase();
    ODBCDatabase(ODBCDatabase&&) noexcept = default;
    ODBCDatabase& operator=(ODBCDatabase&&) noexcept = delete;

    ODBCHandleValue handle() const { return handle_.get(); }

private:
    AutoODBCDatabaseHandle handle_;
};

// An environment and one connection on it with a 15-second login time-out, asking for ODBC 2
// behaviour. The connection goes first, then the environment.
class DatabaseSession {
public:
    explicit DatabaseSession(const std::string& connectionString);
    ODBCHandleValue connection() const { return database_.handle(); }

private:
    ODBCEnvironment environment_;
    ODBCDatabase database_;
};

// One statement on a connection, freed with its owner.
class ODBCStatement {
public:
    explicit ODBCStatement(ODBCHandleValue connection);

    // Runs `sql` (UTF-8), first writing it to the "database" channel. False when the driver
    // answers SQL_NO_DATA (nothing affected). Results of a batch that carry no columns are
    // walked and checked until the first one with columns, so an error behind a row count is
    // not lost; a result set stays ready for fetch().
    bool execute(const std::string& sql);
    // The next row into the bound columns; false past the last one.
    bool fetch();
    // CheckODBCResult against this statement.
    void check(short result) const;

    // Result column `column` (from 1) as a 32-bit integer.
    void bindInteger(unsigned short column, std::int32_t* value);
    // Result column `column` as UTF-16 text into `bytes` bytes at `buffer`; the indicator
    // receives the text's length in bytes, or a negative SQL_NULL_DATA / SQL_NO_TOTAL.
    void bindWideText(unsigned short column, char16_t* buffer, ODBCLength bytes,
                      ODBCLength* indicator);

    ODBCHandleValue handle() const { return handle_.get(); }

private:
    bool hasColumns() const;

    AutoODBCStatementHandle handle_;
};

// Runs one SQL text on a temporary statement; the statement is freed also when it throws. False
// when the driver answered that the text affected nothing (SQL_NO_DATA).
bool executeOnce(ODBCHandleValue connection, const std::string& sql);

// A text bound as input parameter, narrow characters as the driver manager passes them on. It
// must outlive the statement's execution: the driver reads the buffer then.
class ODBCStringParameter {
public:
    // Unless `isNull`, the value becomes `text` (UTF-8) and the indicator its length in bytes;
    // a new parameter is NULL.
    void bind(ODBCStatement& statement, unsigned short number, const std::string& text,
              bool isNull);

private:
    std::string value_;
    ODBCLength indicator_ = -1; // SQL_NULL_DATA
};

// SQLRemoveDSNFromIniW of the ODBC installer library: true when the data source was removed or
// was not registered.
bool RemoveDSNFromIni(const std::u16string& name);

// What the database component changes on the server and in the ODBC configuration goes through
// the active DatabaseChanges, as the operating system's calls go through the seam: a plan puts in
// one that records instead.
class DatabaseChanges {
public:
    virtual ~DatabaseChanges() = default;
    // A statement that changes the server (a drop, a job's deletion): executeOnce.
    virtual bool execute(ODBCHandleValue connection, const std::string& sql);
    // RemoveDSNFromIni.
    virtual bool removeDSNFromIni(const std::u16string& name);
};

// Runs nothing: each change counts in the plan's `changes` (not owned) as one kept from the
// machine, done and affecting what it names.
class PlannedDatabaseChanges : public DatabaseChanges {
public:
    explicit PlannedDatabaseChanges(PlannedChanges& changes) : changes_(changes) {}
    bool execute(ODBCHandleValue connection, const std::string& sql) override;
    bool removeDSNFromIni(const std::u16string& name) override;

private:
    PlannedChanges& changes_;
};

// The active changes: the real ones unless a guard installed others.
DatabaseChanges& ActiveDatabaseChanges();

class ScopedDatabaseChanges {
public:
    explicit ScopedDatabaseChanges(DatabaseChanges& changes);
    ~ScopedDatabaseChanges();
    ScopedDatabaseChanges(const ScopedDatabaseChanges&) = delete;
    ScopedDatabaseChanges& operator=(const ScopedDatabaseChanges&) = delete;

private:
    DatabaseChanges* previous_;
};

