#pragma once

#include <functional>
#include <string>
#include <string_view>

// A named diagnostic channel: writes nowhere unless enabled. The environment variable
// QTVREMOVE_LOG_CHANNELS, a comma-separated list of channel names ("database,debug"), enables
// channels at start; an enabled channel writes each text as one line to the standard error
// stream. Never throws.
class LogChannel {
public:
    using Output = std::function<void(std::string_view)>;

    explicit LogChannel(std::string name);

    bool enabled() const { return static_cast<bool>(output_); }
    void write(std::string_view text) const noexcept;

    // Sends the channel's texts to `output`; an empty function disables the channel.
    void setOutput(Output output) { output_ = std::move(output); }

private:
    std::string name_;
    Output output_;
};

// The SQL text of every statement the database layer runs.
LogChannel& DatabaseChannel();
// The driver's diagnostic records, also those of calls that succeeded with information.
LogChannel& DebugChannel();
