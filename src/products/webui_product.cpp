#include "products/webui_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/service_cleanup.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::vector<std::u16string> kCandidates = {u"Velmora Zantrel WebUI Service"};
const std::u16string kService = u"QTVWebUI";
const std::u16string kServiceKey = u"SYSTEM\\ControlSet002\\services\\QTVWebUI";
const std::u16string kAppPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WebUIService.exe";
const std::u16string kExecutable = u"\\WebUIService.exe";
const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client";
const std::u16string kSitesSetting = kSettingsKey + u"\\_WebUIAppEnv_WORK_DIR";
const std::u16string kEtlSetting = kSettingsKey + u"\\_WebUIAppEnv_ETL_DIR";
const std::u16string kSettingPrefixes[] = {u"_WebUI_", u"_WebUIAppEnv_"};
// The web server can take long to let go of its sites.
constexpr unsigned kServiceTimeout = 60;

const DefaultFolder kDefaultInstallFolder = {u"\\Zantrel Enterprise\\QTV WebUI", u"Setting default path to \""};
const DefaultFolder kDefaultSitesFolder = {u"\\Zantrel Enterprise\\QTV WebUI\\WebUI\\sites",
                                           u"Setting default sites path to \""};
const DefaultFolder kDefaultEtlFolder = {u"\\Zantrel Enterprise\\QTV WebUI\\WebUI\\ETL",
                                         u"Setting default ETL path to \""};

// The agent settings the WebUI keeps, each a child key of the settings key. Keys not listed but
// named with one of the prefixes are found by searching.
const std::u16string kSettingNames[] = {
    u"_QTVRelay_WebUISiteGather_Disabled",
    u"_QTVRelay_WebUISiteGather_IntervalMinutes",
    u"_QTVRelay_WebUISiteGather_Schedule",
    u"_WebUIAppEnv_APP_AUTOPATCH_EXPOSE_GC",
    u"_WebUIAppEnv_APP_AUTOPATCH_MAX_OLD_SPACE_SIZE",
    u"_WebUIAppEnv_APP_PORT_MAX",
    u"_WebUIAppEnv_APP_PORT_MIN",
    u"_WebUIAppEnv_APP_RESTART_DELAY_SECONDS",
    u"_WebUIAppEnv_APP_SERVER_TIME_DRIFT_THRESHOLD_MINUTES",
    u"_WebUIAppEnv_APP_UPDATE_DELAY_DAYS",
    u"_WebUIAppEnv_APP_UPDATE_ENABLE_AUTO",
    u"_WebUIAppEnv_ASYNC_DISABLED",
    u"_WebUIAppEnv_CACHE_RETRY_LIMIT",
    u"_WebUIAppEnv_CACHE_RETRY_TIMEOUT",
    u"_WebUIAppEnv_CACHE_TTL",
    u"_WebUIAppEnv_DATABASE_POOL_MAX_SIZE",
    u"_WebUIAppEnv_DATABASE_POOL_SIZE",
    u"_WebUIAppEnv_DATABASE_QUERY_TIMEOUT_SECONDS",
    u"_WebUIAppEnv_DEBUG",
    u"_WebUIAppEnv_DEPLOYMENT_DOC_REFRESH_RATE_MS",
    u"_WebUIAppEnv_DEV",
    u"_WebUIAppEnv_E2ETEST",
    u"_WebUIAppEnv_ENABLE_VELMORADB_DEBUG",
    u"_WebUIAppEnv_ENABLE_VERBOSE_CXN_POOL_LOGGING",
    u"_WebUIAppEnv_ENABLE_WEBUI_METRICS",
    u"_WebUIAppEnv_ETL_DIR",
    u"_WebUIAppEnv_ETL_STATISTICS_THRESHOLD",
    u"_WebUIAppEnv_ETL_STATISTICS_THRESHOLD_TIME",
    u"_WebUIAppEnv_FRAMEWORK_DIR",
    u"_WebUIAppEnv_LOGIN_CACHE_TTL_HOURS",
    u"_WebUIAppEnv_LOGIN_SESSION_TIMEOUT_SECONDS",
    u"_WebUIAppEnv_METRICS_CLEANUP_INTERVAL_MIN",
    u"_WebUIAppEnv_METRICS_MAX",
    u"_WebUIAppEnv_METRICS_PATH",
    u"_WebUIAppEnv_MSSQL_CXN_ENCRYPT",
    u"_WebUIAppEnv_PLATFORM_HOST",
    u"_WebUIAppEnv_QUERY_ONLY",
    u"_WebUIAppEnv_SAML_AUTHNCONTEXT",
    u"_WebUIAppEnv_SAML_ONLY",
    u"_WebUIAppEnv_SKIN_DEFAULT_DIR",
    u"_WebUIAppEnv_SKIN_DEFAULT_FILE",
    u"_WebUIAppEnv_SSL_PROTOCOL",
    u"_WebUIAppEnv_USER_TEXT",
    u"_WebUIAppEnv_USE_KMENT",
    u"_WebUIAppEnv_USE_DB_TRIGGERS",
    u"_WebUIAppEnv_UV_THREADPOOL_SIZE",
    u"_WebUIAppEnv_WEB_CERT_FILE",
    u"_WebUIAppEnv_WEB_CIPHERS",
    u"_WebUIAppEnv_WEB_KEY_FILE",
    u"_WebUIAppEnv_WORK_DELAY_SECONDS",
    u"_WebUIAppEnv_WORK_DIR",
    u"_WebUIAppEnv_WebUI_DIR",
    u"_WebUI_AppServer_HostName",
    u"_WebUI_AppServer_IsEnabled",
    u"_WebUI_Cryptography_FipsMode",
    u"_WebUI_ETL_DelaySeconds",
    u"_WebUI_HTTPS_Port",
    u"_WebUI_HTTPS_StrictTransportSecurity",
    u"_WebUI_Logging_Filter",
    u"_WebUI_Logging_LogMaxSize",
    u"_WebUI_Logging_LogPath",
    u"_WebUI_Redirect_Enable",
    u"_WebUI_Redirect_Port",
};

} // namespace

const std::vector<std::u16string>& WebUIProduct::Candidates()
{
    return kCandidates;
}

WebUIProduct::WebUIProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::WebUI, kCandidates.front())
{
}

// The three defaults are set together, so one missing Program Files folder gives one line.
void WebUIProduct::resolveDefaultFolders()
{
    const std::vector<std::u16string> folders =
        ResolveDefaultFolders({kDefaultInstallFolder, kDefaultSitesFolder, kDefaultEtlFolder}, log);
    if (folders.empty())
        return;
    defaultInstallFolder = folders[0];
    defaultSitesFolder = folders[1];
    defaultEtlFolder = folders[2];
}

bool WebUIProduct::findInstallFolder()
{
    installFolder = FindInstallFolder(*displayName, kAppPathsKey, u"Path", defaultInstallFolder, log);
    return installFolder && CheckFile(*installFolder, log);
}

bool WebUIProduct::findSitesFolder()
{
    sitesFolder = FolderOrDefault(
        FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kSitesSetting, u"value", log), defaultSitesFolder,
        u"Actual WebUI's sites directory could not be determined, using default directory \"",
        u"Failed to determine WebUI's sites directory.", log);
    return sitesFolder && CheckFile(*sitesFolder, log);
}

bool WebUIProduct::findEtlFolder()
{
    etlFolder = FolderOrDefault(
        FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kEtlSetting, u"value", log), defaultEtlFolder,
        u"Actual WebUI's ETL directory could not be determined, using default directory \"",
        u"Failed to determine WebUI's ETL directory.", log);
    return etlFolder && CheckFile(*etlFolder, log);
}

bool WebUIProduct::findVersion()
{
    displayVersion = FindProductVersion(*displayName, installFolder, kExecutable, log);
    return displayVersion.has_value();
}

// One listed key is proof enough; the prefix searches and the service key are always asked.
bool WebUIProduct::checkSettingKeys()
{
    bool found = false;
    for (const std::u16string& setting : kSettingNames) {
        if (CheckRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey + u"\\" + setting, log)) {
            found = true;
            break;
        }
    }
    for (const std::u16string& prefix : kSettingPrefixes)
        found |= CheckChildKeysWithPrefix(HKEY_LOCAL_MACHINE, kSettingsKey, prefix, log);
    found |= CheckRegistryKey(HKEY_LOCAL_MACHINE, kServiceKey, log);
    return found;
}

void WebUIProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, kCandidates, log);
    if (!defaultInstallFolder || !defaultSitesFolder || !defaultEtlFolder)
        resolveDefaultFolders();

    installed = false;
    installed |= findInstallFolder();
    installed |= findSitesFolder();
    installed |= findEtlFolder();
    installed |= findVersion();
    installed |= IsRegistered(*displayName, log);
    installed |= checkSettingKeys();
    installed |= CheckServiceExists(kService, log);
}

bool WebUIProduct::deleteSettingKeys()
{
    bool ok = true;
    for (const std::u16string& setting : kSettingNames)
        ok &= DeleteRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey + u"\\" + setting, log);
    for (const std::u16string& prefix : kSettingPrefixes)
        for (const std::u16string& key : FindChildKeysWithPrefix(HKEY_LOCAL_MACHINE, kSettingsKey, prefix))
            ok &= DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, log);
    ok &= DeleteRegistryKey(HKEY_LOCAL_MACHINE, kServiceKey, log);
    return ok;
}

bool WebUIProduct::remove()
{
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    if (const OptionalText command = FindUninstallString(registered, log)) {
        const auto writeResponseFile = [this](const std::u16string& path) {
            return writeSilentResponseFile(path, u"Creating InstallShield response file...");
        };
        if (!RunSetupUninstaller(*command, name(), registered, writeResponseFile, log))
            return false;
    }
    bool failed = false;
    if (!StopAndDeleteService(kService, log, kServiceTimeout))
        failed = true;
    // The working folders normally lie inside the install folder: innermost first.
    for (const OptionalText* folder : {&etlFolder, &sitesFolder, &installFolder})
        if (!FolderNamed(*folder, log))
            return false;
    for (const auto& [folder, defaultFolder] : {std::pair{&etlFolder, &defaultEtlFolder},
                                                 std::pair{&sitesFolder, &defaultSitesFolder},
                                                 std::pair{&installFolder, &defaultInstallFolder}})
        if (!DeleteComponentFolder(**folder, *defaultFolder, log))
            failed = true;
    if (!deleteSettingKeys())
        failed = true;
    // The entry the folder is found by goes after the folder.
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kAppPathsKey, log))
        failed = true;
    if (!RemoveAllInstallerTraces(registered, kCandidates, log))
        failed = true;
    return !failed;
}
