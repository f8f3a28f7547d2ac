#include "database/diagnostics.h"

#include <optional>
#include <string_view>

#include "database/odbc_errors.h"
#include "platform/format_text.h"

namespace {

using C = DiagnosticClass;

// A record matches a rule when its SQLSTATE (if the rule names one) and its native error (if the
// rule names one) are equal to the rule's. Later rules override earlier ones.
struct Rule {
    std::string_view state;
    std::optional<std::int32_t> native;
    DiagnosticClass result;
};

const Rule kRules[] = {
    {"08001", std::nullopt, C::Connection},
    {"08S01", std::nullopt, C::Connection},
    {"S1T00", std::nullopt, C::Timeout},
    {"37000", 4060, C::Connection},
    {"08004", -30061, C::DatabaseDoesNotExist},
    {"08001", -1013, C::DatabaseDoesNotExist},
    {"58031", -1031, C::DirectoryDoesNotExist},
    {"01000", 10054, C::Connection},
    {"40001", std::nullopt, C::Deadlock},
    {"", 922, C::Restoring},
    {"", 208, C::InvalidObject},
    {"", -30081, C::Connection},
};

constexpr std::string_view kNetworkError = "General network error. Check your network documentation.";

std::optional<DiagnosticClass> Classify(const DiagnosticRecord& record)
{
    std::optional<DiagnosticClass> result;
    for (const Rule& rule : kRules) {
        if ((rule.state.empty() || rule.state == record.state) &&
            (!rule.native || *rule.native == record.native))
            result = rule.result;
    }
    if (record.message.find(kNetworkError) != std::string::npos)
        result = C::Connection;
    return result;
}

} // namespace

ODBCException::ODBCException(std::string_view text)
    : ODBCException(std::string("Database Error: ").append(text), 0)
{
}

ODBCException::ODBCException(const std::string& message, int)
    : ExceptionPL(message.data(), message.data() + message.size())
{
}

NothingReturnedFromQuery::NothingReturnedFromQuery()
    : ODBCException("A database query unexpectedly failed to return any results.")
{
}

DiagnosticClass ClassifyDiagnostics(const std::vector<DiagnosticRecord>& records)
{
    DiagnosticClass result = C::Plain;
    for (const DiagnosticRecord& record : records) {
        if (const std::optional<DiagnosticClass> matched = Classify(record))
            result = *matched;
    }
    return result;
}

std::string DiagnosticText(const std::vector<DiagnosticRecord>& records)
{
    std::string text;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const DiagnosticRecord& record = records[i];
        if (i > 0)
            text += '\n';
        text += FormatText("{message} ({state}: {error})", record.message, record.state,
                           std::to_string(record.native));
    }
    return text;
}

void ThrowODBCException(DiagnosticClass diagnosticClass, const std::string& text)
{
    switch (diagnosticClass) {
    case C::Connection:
        throw DatabaseConnectionError(text);
    case C::Timeout:
        throw DatabaseTimeoutExpiredError(text);
    case C::DatabaseDoesNotExist:
        throw QordaDatabaseDoesNotExist(text);
    case C::DirectoryDoesNotExist:
        throw QordaDatabaseDirectoryDoesNotExist(text);
    case C::Deadlock:
        throw DatabaseDeadlockException(text);
    case C::Restoring:
        throw DatabaseRestoringError(text);
    case C::InvalidObject:
        throw InvalidObjectError(text);
    case C::Plain:
        break;
    }
    throw ODBCException(text);
}
