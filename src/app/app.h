#pragma once

#include <string>
#include <string_view>

// The application object: its start-up chooses between the silent run and the dialog.
class CQTVRemoveApp {
public:
    // The key the framework would keep per-user settings under; the program writes none.
    static constexpr std::u16string_view kRegistryKey = u"Zantrel";

    // `commandLine` is the command line without the program name.
    explicit CQTVRemoveApp(std::u16string commandLine);

    // Runs the silent removal or the dialog to its end. Always false: the process ends when
    // start-up returns.
    bool InitInstance();

private:
    std::u16string commandLine_;
};
