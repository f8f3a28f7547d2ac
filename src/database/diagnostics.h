#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The driver's diagnostic records as plain values: read once, then classified and thrown. This
// header stays free of the system headers so that the code on the ODBC headers can use it.

struct DiagnosticRecord {
    std::string state;   // the five-character SQLSTATE
    std::int32_t native; // the server's or driver's own error number
    std::string message; // UTF-8
};

// Which exception a list of records turns into.
enum class DiagnosticClass {
    Plain,
    Connection,
    Timeout,
    DatabaseDoesNotExist,
    DirectoryDoesNotExist,
    Deadlock,
    Restoring,
    InvalidObject,
};

// The class of the list: the last record that matches a rule decides; Plain when none matches.
DiagnosticClass ClassifyDiagnostics(const std::vector<DiagnosticRecord>& records);

// One line "{message} ({state}: {native})" per record, separated by line feeds.
std::string DiagnosticText(const std::vector<DiagnosticRecord>& records);

// Throws the exception of `diagnosticClass` with the message "Database Error: " + text.
[[noreturn]] void ThrowODBCException(DiagnosticClass diagnosticClass, const std::string& text);
