#include "core/file_log.h"

#include "platform/files.h"
#include "platform/text.h"

namespace Remove {

FileLog::FileLog(UniqueKernelHandle file)
    : file_(std::move(file))
{
}

void FileLog::write(std::u16string_view text)
{
    if (text.empty())
        return;
    std::u16string whole;
    if (pendingHigh_ != 0) {
        whole.push_back(pendingHigh_);
        pendingHigh_ = 0;
    }
    whole.append(text);
    if (whole.back() >= 0xD800 && whole.back() <= 0xDBFF) {
        pendingHigh_ = whole.back();
        whole.pop_back();
    }
    try {
        WriteAll(file_.get(), ToUtf8(whole));
    } catch (...) {
        intact_ = false;
    }
}

void FileLog::writeMarked(std::u16string_view text)
{
    write(text);
}

} // namespace Remove
