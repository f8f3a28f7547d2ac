#pragma once

#include <string>
#include <string_view>

#include "platform/errors.h"

// The database layer's failures. Every message starts with "Database Error: ".
class ODBCException : public ExceptionPL {
public:
    // The message is "Database Error: " followed by `text` (UTF-8).
    explicit ODBCException(std::string_view text);

private:
    ODBCException(const std::string& message, int);
};

class DatabaseConnectionError : public ODBCException, public NonDumpableException {
public:
    using ODBCException::ODBCException;
};

// The database is being restored and cannot be opened.
class DatabaseRestoringError : public DatabaseConnectionError {
public:
    using DatabaseConnectionError::DatabaseConnectionError;
};

class DatabaseTimeoutExpiredError : public ODBCException, public NonDumpableException {
public:
    using ODBCException::ODBCException;
};

class QordaDatabaseDoesNotExist : public ODBCException, public NonDumpableException {
public:
    using ODBCException::ODBCException;
};

class QordaDatabaseDirectoryDoesNotExist : public ODBCException, public NonDumpableException {
public:
    using ODBCException::ODBCException;
};

class DatabaseDeadlockException : public ODBCException {
public:
    using ODBCException::ODBCException;
};

class InvalidObjectError : public ODBCException {
public:
    using ODBCException::ODBCException;
};

// A query that must answer with a row answered with none.
class NothingReturnedFromQuery : public ODBCException {
public:
    NothingReturnedFromQuery();
};
