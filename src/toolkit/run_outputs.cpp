#include "toolkit/run_outputs.h"

#include <utility>

#include "core/log.h"
#include "core/run_options.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/starter_output.h"

namespace {

// The folder a file's path names and the file's name in it.
std::pair<std::u16string, std::u16string> FolderAndName(const std::u16string& path)
{
    const std::optional<std::u16string> full = FullPathName(path);
    const std::size_t slash = full ? full->rfind(u'\\') : std::u16string::npos;
    if (slash == std::u16string::npos || slash + 1 == full->size())
        ThrowWindowsError(ERROR_INVALID_NAME);
    return {full->substr(0, slash + 1), full->substr(slash + 1)};
}

OutputFolder FolderOf(const std::u16string& path)
{
    return OutputFolder(FolderAndName(path).first);
}

std::u16string Hex(unsigned number)
{
    static const char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    for (int shift = 12; shift >= 0; shift -= 4)
        text += kDigits[(number >> shift) & 0xF];
    return text;
}

} // namespace

ReportFile::ReportFile(const std::u16string& path)
    : folder_(FolderOf(path))
    , name_(FolderAndName(path).second)
{
    // Another copy at work may be making its own beside the same name.
    const auto start = static_cast<unsigned>(Os().getTickCount64());
    for (unsigned attempt = 0;; ++attempt) {
        written_ = name_ + u"." + Hex((start + attempt) & 0xFFFF) + u".new";
        try {
            file_ = folder_.open(written_, GENERIC_WRITE, CREATE_NEW);
            return;
        } catch (const Windows::Error& error) {
            if (error.code() != ERROR_FILE_EXISTS || attempt == 15)
                throw;
        }
    }
}

void ReportFile::commit(std::string_view bytes)
{
    WriteAll(file_.get(), bytes);
    ThrowLastErrorIfFalse(Os().flushFileBuffers(file_.get()));
    file_.reset();
    // The folder is held: both names lead where they did when it was judged. What the name was
    // (a file, a link) is replaced, never written through.
    ThrowLastErrorIfFalse(Os().moveFileEx(folder_.nameOf(written_).c_str(), folder_.nameOf(name_).c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

DWORD OpenRunOutputs(const RunOptions& options, bool onlyCopy, RunOutputs& outputs)
{
    std::u16string refusal;
    try {
        if (options.logPath) {
            refusal = u"Unable to write the log: ";
            const auto [folder, name] = FolderAndName(*options.logPath);
            outputs.log = std::make_unique<Remove::FileLog>(OutputFolder(folder).open(name, FILE_APPEND_DATA, OPEN_ALWAYS));
        }
        if (options.reportPath) {
            refusal = u"Unable to write the report: ";
            outputs.report.emplace(*options.reportPath);
        }
        if (options.backupPath && onlyCopy && !options.detectOnly && !options.plan) {
            refusal = BackupRefusal(*options.backupPath);
            outputs.backup = std::make_unique<Backup>(*options.backupPath);
        }
    } catch (const Windows::Error& error) {
        if (!onlyCopy)
            return ERROR_SUCCESS;
        const std::u16string line = refusal + DescribeCurrentExceptionW();
        if (outputs.log)
            writeLine(outputs.log.get(), line);
        WriteToStarter(line + std::u16string(EOL));
        return error.code();
    }
    return ERROR_SUCCESS;
}
