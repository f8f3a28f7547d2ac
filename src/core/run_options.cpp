#include "core/run_options.h"

#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/process.h"

namespace {

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Where `option` next stands as a whole word at or after `from`, or npos.
std::size_t FindWord(std::u16string_view line, std::u16string_view option, std::size_t from = 0)
{
    for (std::size_t at = line.find(option, from); at != std::u16string_view::npos; at = line.find(option, at + 1)) {
        const std::size_t end = at + option.size();
        if ((at == 0 || IsBlank(line[at - 1])) && (end == line.size() || IsBlank(line[end])))
            return at;
    }
    return std::u16string_view::npos;
}

// Takes every `option` and the path after it out of `line`; the last path found, if any.
std::optional<std::u16string> TakePathOption(std::u16string& line, std::u16string_view option, bool& missing)
{
    std::optional<std::u16string> path;
    for (std::size_t at = FindWord(line, option); at != std::u16string::npos; at = FindWord(line, option, at)) {
        std::size_t start = at + option.size();
        while (start < line.size() && IsBlank(line[start]))
            ++start;
        std::size_t end = start;
        std::u16string value;
        if (start < line.size() && line[start] == u'"') {
            end = line.find(u'"', start + 1);
            value = line.substr(start + 1, end == std::u16string::npos ? std::u16string::npos : end - start - 1);
            end = end == std::u16string::npos ? line.size() : end + 1;
        } else if (start < line.size() && line[start] != u'/') {
            // An unquoted word starting with "/" is the next switch, not a path.
            while (end < line.size() && !IsBlank(line[end]))
                ++end;
            value = line.substr(start, end - start);
        } else {
            end = at + option.size();
        }
        if (value.empty())
            missing = true;
        else
            path = value;
        // A blank keeps the words on either side apart.
        line.replace(at, end - at, u" ");
    }
    return path;
}

// Takes every `option` out of `line`; whether there was one.
bool TakeWord(std::u16string& line, std::u16string_view option)
{
    bool found = false;
    for (std::size_t at = FindWord(line, option); at != std::u16string::npos; at = FindWord(line, option, at)) {
        found = true;
        line.replace(at, option.size(), 1, u' ');
    }
    return found;
}

// A whole number of minutes from 1 to 1440, digits only.
std::optional<unsigned> Minutes(const std::u16string& text)
{
    unsigned minutes = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        minutes = minutes * 10 + static_cast<unsigned>(c - u'0');
        if (minutes > 1440)
            return std::nullopt;
    }
    return text.empty() || minutes == 0 ? std::nullopt : std::optional<unsigned>(minutes);
}

} // namespace

void EnterSystemFolder(RunOptions& options)
{
    for (std::optional<std::u16string>* path : {&options.logPath, &options.reportPath, &options.backupPath})
        if (*path)
            if (const std::optional<std::u16string> full = FullPathName(**path))
                *path = full;
    // Where the system folder cannot be named, the run goes on where it was started: what it
    // starts by a bare name is refused then, never looked for here.
    try {
        Os().setCurrentDirectory(SystemFolder().c_str());
    } catch (...) {
    }
}

RunOptions ParseRunOptions(std::u16string_view commandLine)
{
    RunOptions options;
    options.switches = commandLine;
    options.logPath = TakePathOption(options.switches, u"/log", options.pathMissing);
    options.reportPath = TakePathOption(options.switches, u"/report", options.pathMissing);
    options.backupPath = TakePathOption(options.switches, u"/backup", options.pathMissing);
    bool timeoutMissing = false;
    const std::optional<std::u16string> minutes = TakePathOption(options.switches, u"/timeout", timeoutMissing);
    if (minutes)
        options.timeoutMinutes = Minutes(*minutes);
    options.timeoutInvalid = timeoutMissing || (minutes && !options.timeoutMinutes);
    options.detectOnly = TakeWord(options.switches, u"/detect");
    options.plan = TakeWord(options.switches, u"/plan");
    return options;
}
