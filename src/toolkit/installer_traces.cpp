#include "toolkit/installer_traces.h"

#include <algorithm>
#include <functional>

#include "core/log.h"
#include "platform/desktop.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/run_record.h"
#include "platform/text.h"
#include "platform/win_types.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"

namespace {

constexpr int kPassLimit = 100;

std::u16string Below(const char16_t* parent, const std::u16string& child)
{
    return std::u16string(parent) + u"\\" + child;
}

// The upgrade-code keys that name the product: a readable REG_SZ value named after it.
std::vector<std::u16string> UpgradeCodesNaming(const std::u16string& product)
{
    return FindSubkeysHoldingSz(HKEY_LOCAL_MACHINE, kInstallerUpgradeCodesKey, product);
}

// Whether anything found through the packed product code is still there: read again after its
// deletion, so that a lookup that missed it once does not cost the way back to it.
bool StillNamed(const std::u16string& product)
{
    // Afresh: the reads the lookups keep would only repeat the first answer.
    NoteRegistryChange();
    if (RegistryKeyExists(HKEY_LOCAL_MACHINE, Below(kInstallerFeaturesKey, product), KEY_READ))
        return true;
    return !UpgradeCodesNaming(product).empty();
}

} // namespace

bool RemoveUninstallEntries(const std::u16string& displayName, Remove::Log* log)
{
    bool ok = true;
    for (const std::u16string& key : FindSubkeysByValue(HKEY_LOCAL_MACHINE, kUninstallKey, u"DisplayName", displayName))
        ok = DeleteRegistryKey(HKEY_LOCAL_MACHINE, Below(kUninstallKey, key), log) && ok;
    return ok;
}

bool RemoveInstallerTraces(const std::u16string& productName, Remove::Log* log)
{
    bool ok = true;
    std::vector<std::u16string> products =
        FindSubkeysByValue(HKEY_LOCAL_MACHINE, kInstallerProductsKey, u"ProductName", productName);
    for (std::u16string& product :
         FindSubkeysByValue(HKEY_LOCAL_MACHINE, kInstallerProductsKey, u"RemovedProductName", productName))
        products.push_back(std::move(product));
    // Windows Installer keeps UserData in the 64-bit view only; on a 32-bit system the flag is
    // ignored.
    const std::vector<std::u16string> userData = FindSubkeysByNestedValue(
        HKEY_LOCAL_MACHINE, kInstallerUserDataKey, u"InstallProperties", u"DisplayName", productName, KEY_WOW64_64KEY);

    // Features and upgrade codes are found only through a packed product code: the name of a
    // product key or of a UserData key that names the product. They go first, and the keys
    // they are found through last, so that a removal cut short leaves a way to them.
    std::vector<std::u16string> codes;
    for (const std::vector<std::u16string>& keys : {std::cref(products), std::cref(userData)})
        for (const std::u16string& key : keys)
            if (std::find(codes.begin(), codes.end(), key) == codes.end())
                codes.push_back(key);
    // A code whose features or upgrade code could not be looked at or deleted keeps the keys it
    // is found through, for the next run.
    std::vector<std::u16string> kept;
    for (const std::u16string& product : codes) {
        const RunRecordScope record;
        bool deleted = true;
        if (CheckRegistryKey(HKEY_LOCAL_MACHINE, Below(kInstallerFeaturesKey, product), log))
            deleted = DeleteRegistryKey(HKEY_LOCAL_MACHINE, Below(kInstallerFeaturesKey, product), log) && deleted;
        for (const std::u16string& upgradeCode : UpgradeCodesNaming(product))
            deleted = DeleteRegistryKey(HKEY_LOCAL_MACHINE, Below(kInstallerUpgradeCodesKey, upgradeCode), log) && deleted;
        if (!deleted || record.firstProbeError() || StillNamed(product)) {
            ok = false;
            kept.push_back(product);
        }
    }
    const auto keeps = [&kept](const std::u16string& code) {
        return std::find(kept.begin(), kept.end(), code) != kept.end();
    };
    for (const std::u16string& key : userData) {
        if (keeps(key))
            continue;
        if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, Below(kInstallerUserDataKey, key), log, KEY_WOW64_64KEY)) {
            ok = false;
            writeLine(log, u"Failed to delete " + EscapeControlCharacters(Below(kInstallerUserDataKey, key)));
        }
    }
    for (const std::u16string& product : products)
        if (!keeps(product))
            ok = DeleteRegistryKey(HKEY_LOCAL_MACHINE, Below(kInstallerProductsKey, product), log) && ok;
    return ok;
}

bool RemoveAllInstallerTraces(OptionalText firstName, const std::vector<std::u16string>& names,
                              Remove::Log* log)
{
    OptionalText current = std::move(firstName);
    int passes = 0;
    bool failed = false;
    while (current) {
        if (passes >= kPassLimit)
            break;
        ++passes;
        writeLine(log, u"Found product \"" + *current + u"\".  Attempting to remove all traces of it from registry...");
        // The Uninstall entry, which detection finds the product by first, goes last.
        if (!RemoveInstallerTraces(*current, log))
            failed = true;
        if (!RemoveUninstallEntries(*current, log))
            failed = true;
        // A look for the next name that could not look everywhere may have missed one.
        // The passes end when a second look agrees that no name is left: a read that missed one
        // once would leave traces that no detection of the component looks for.
        const RunRecordScope record;
        current = FindFirstInstalledName(names);
        if (!current) {
            // The second look reads the registry afresh: the reads the lookups keep would only
            // repeat the first look's answer.
            NoteRegistryChange();
            current = FindFirstInstalledName(names);
        }
        if (record.firstProbeError())
            failed = true;
    }
    if (passes >= kPassLimit) {
        constexpr char16_t text[] =
            u"The QTVRemove utility iterated through the registry too many times. Check the log to "
            u"see which product it got stuck on while attempting to remove it from the registy.";
        // Where nobody can see the box, nobody could answer it: the log says it instead.
        if (DesktopVisible())
            Os().messageBox(nullptr, text, u"Errors Encountered", MB_TOPMOST | MB_ICONERROR);
        else
            writeLine(log, text);
        return false;
    }
    return !failed;
}
