#include "products/cdt_product.h"

#include <vector>

#include "products/dotted_version.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::vector<std::u16string> kCandidates = {u"Velmora Zantrel Client Deploy Tool"};
const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV Client Deploy";
const std::u16string kAppPathsKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClientDeploy.exe";
const std::u16string kExecutable = u"\\QTVClientDeploy.exe";
constexpr std::u16string_view kEmbeddingRelease = u"9.5.5.0";
constexpr std::u16string_view kEmbeddedMessage =
    u"The Client Deploy Tool is embedded in the Console, it is not a stand alone component.";

bool FromEmbeddingRelease(std::u16string_view version)
{
    return CompareDottedVersions(ParseDottedVersion(version), ParseDottedVersion(kEmbeddingRelease)) >= 0;
}

} // namespace

const std::vector<std::u16string>& CDTProduct::Candidates()
{
    return kCandidates;
}

CDTProduct::CDTProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::ClientDeployTool, kCandidates.front())
    , console(&privateLog)
{
}

bool CDTProduct::embeddedInConsole()
{
    console.detect();
    if (!console.isInstalled())
        return false;
    const OptionalText consoleVersion = console.version();
    return consoleVersion && FromEmbeddingRelease(*consoleVersion);
}

bool CDTProduct::findInstallFolder()
{
    installFolder = FindInstallFolder(*displayName, kAppPathsKey, u"Path", defaultInstallFolder, log);
    return installFolder && CheckFile(*installFolder, log);
}

bool CDTProduct::findVersion()
{
    displayVersion = FindProductVersion(*displayName, installFolder, kExecutable, log);
    return displayVersion.has_value();
}

void CDTProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, kCandidates, log);
    if (!defaultInstallFolder)
        defaultInstallFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log);

    installed = false;
    if (embeddedInConsole()) {
        writeLine(log, kEmbeddedMessage);
        return;
    }
    installed |= findInstallFolder();
    installed |= findVersion();
    installed |= IsRegistered(*displayName, log);
    // A stand-alone tool of the embedding release or later is still reported and removed, but
    // the log says where such a tool normally lives.
    if (installed && displayVersion && FromEmbeddingRelease(*displayVersion))
        writeLine(log, kEmbeddedMessage);
}

bool CDTProduct::remove()
{
    bool failed = false;
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    if (const OptionalText command = FindUninstallString(registered, log)) {
        if (!RunSetupUninstaller(*this, *command, registered, log))
            return false;
    }
    if (!FolderNamed(installFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultInstallFolder, log))
        failed = true;
    // The entry the folder is found by goes after the folder.
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kAppPathsKey, log))
        failed = true;
    if (!RemoveAllInstallerTraces(registered, kCandidates, log))
        failed = true;
    return !failed;
}
