#pragma once

#include <string>
#include <string_view>

#include "core/log.h"
#include "platform/handles.h"

namespace Remove {

// The silent run's log file: every piece appended as UTF-8 the moment it is written, so a run
// that is killed loses nothing it had logged. Marked pieces are plain text here. A write that
// fails is not reported to the step that wrote (a removal never stops for its log); intact()
// tells afterwards.
class FileLog : public Log {
public:
    // Appends to `file`, open for appending (FILE_APPEND_DATA).
    explicit FileLog(UniqueKernelHandle file);

    void write(std::u16string_view text) override;
    void writeMarked(std::u16string_view text) override;

    bool intact() const { return intact_; }

private:
    UniqueKernelHandle file_;
    // The first half of a surrogate pair whose second half comes with the next piece.
    char16_t pendingHigh_ = 0;
    bool intact_ = true;
};

} // namespace Remove
