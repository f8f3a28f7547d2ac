#include "products/platform_api_product.h"

#include <string_view>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/format_text.h"
#include "platform/files.h"
#include "platform/text.h"
#include "products/installer_recipe.h"
#include "toolkit/installer_traces.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

const std::u16string kInstallerMarker = u"MsiExec";
const std::u16string kInstallerQuiet = u" /qn";
const std::u16string kInstallSwitch = u"/I";
const std::u16string kUninstallSwitch = u"/X";
const std::u16string kSetupSwitches = u" -s -f1\"";

// The setup program's dialogs, answered in order for the product code: confirm, then finish
// without restarting.
constexpr std::string_view kDialogOrder = "[{guid}-DlgOrder]\r\n"
                                          "Dlg0={guid}-MessageBox-0\r\n"
                                          "Count=2\r\n"
                                          "Dlg1={guid}-SdFinish-0\r\n"
                                          "[{guid}-MessageBox-0]\r\n"
                                          "Result=6\r\n"
                                          "[{guid}-SdFinish-0]\r\n"
                                          "Result=1\r\n"
                                          "bOpt1=0\r\n"
                                          "bOpt2=0\r\n";

// The product code in the command, braces included; nothing unless a "{" comes before a "}".
OptionalText ProductCode(const std::u16string& command)
{
    const std::size_t open = command.find(u'{');
    const std::size_t close = command.find(u'}');
    if (open == std::u16string::npos || close == std::u16string::npos || close < open)
        return std::nullopt;
    return command.substr(open, close - open + 1);
}

} // namespace

const std::vector<std::u16string>& PlatformAPIProduct::Candidates()
{
    static const std::vector<std::u16string> names = {
        u"Velmora Zantrel Server API",
        u"Velmora Corbelis Server API",
        u"Drubeck Corbelis Server API",
        u"Zantrel Enterprise Suite API",
        u"Zantrel Enterprise Server API",
        u"Zantrel for Velmora Lunsk QRD API",
        u"YLM Suite API",
        u"Ostrel Calvorn Server API",
    };
    return names;
}

PlatformAPIProduct::PlatformAPIProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::PlatformAPI, Candidates().front())
{
}

void PlatformAPIProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, Candidates(), log);
    // Shown, but no proof of an installation.
    displayVersion = FindDisplayVersion(*displayName, log);
    const bool inList = IsInUninstallList(*displayName, log);
    const bool inInstaller = IsInInstallerRegistry(*displayName, log);
    installed = inList || inInstaller;
}

bool PlatformAPIProduct::writeResponseFile(const std::u16string& path, const std::u16string& command) const
{
    log->write(u"Creating install shield response file...");
    const OptionalText code = ProductCode(command);
    if (!code) {
        writeLine(log, u"Couldn't find GUID in uninstall string");
        return false;
    }
    try {
        const std::string guid = ToUtf8(*code);
        WriteFileReplacing(path, FormatText(kDialogOrder, guid, guid, guid, guid, guid));
    } catch (...) {
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
    writeLine(log, u"done");
    return true;
}

bool PlatformAPIProduct::remove()
{
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    if (const OptionalText registeredCommand = FindUninstallString(registered, log)) {
        const TemporaryResponseFile responseFile;
        std::u16string command = *registeredCommand;
        if (command.find(kInstallerMarker) != std::u16string::npos) {
            command += kInstallerQuiet;
            // A command registered for maintenance would only reinstall.
            const std::size_t install = command.find(kInstallSwitch);
            if (install != std::u16string::npos)
                command.replace(install, kInstallSwitch.size(), kUninstallSwitch);
        } else {
            if (!writeResponseFile(responseFile.path(), command))
                return false;
            command += kSetupSwitches + responseFile.path() + u"\"";
        }
        RunUninstaller(command, name(), log);
        if (StillInstalledAfterUninstall(registered, log))
            return false;
    }
    return RemoveAllInstallerTraces(registered, Candidates(), log);
}
