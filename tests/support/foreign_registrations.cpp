#include "support/foreign_registrations.h"

#include <cstdio>

#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kUninstall = kUninstallKey + std::u16string(u"\\");
const std::u16string kInstaller = u"SOFTWARE\\Classes\\Installer\\";
const std::u16string kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";

std::u16string Number(int value, int width)
{
    char digits[48];
    std::snprintf(digits, sizeof digits, "%0*d", width, value);
    return std::u16string(digits, digits + std::char_traits<char>::length(digits));
}

// 32 hex digits, as Windows Installer packs a product code, different for every `seed`.
std::u16string PackedCode(int seed, char16_t tag)
{
    return std::u16string(1, tag) + Number(seed, 31);
}

void Append(std::vector<RegistrationValue>& values, std::vector<RegistrationValue> more)
{
    for (RegistrationValue& value : more)
        values.push_back(std::move(value));
}

} // namespace

std::vector<RegistrationValue> UninstallEntry(const std::u16string& key, const std::u16string& name,
                                              const std::u16string& folder, const std::u16string& command,
                                              const std::u16string& version)
{
    const std::u16string entry = kUninstall + key;
    std::vector<RegistrationValue> values{{entry, entry, u"DisplayName", name},
                                          {entry, entry, u"DisplayVersion", version}};
    if (!folder.empty())
        values.push_back({entry, entry, u"InstallLocation", folder});
    if (!command.empty())
        values.push_back({entry, entry, u"UninstallString", command});
    return values;
}

std::vector<RegistrationValue> InstallerRegistration(const std::u16string& packed, const std::u16string& upgrade,
                                                     const std::u16string& name)
{
    const std::u16string product = kInstaller + u"Products\\" + packed;
    const std::u16string features = kInstaller + u"Features\\" + packed;
    const std::u16string upgrades = kInstaller + u"UpgradeCodes\\" + upgrade;
    const std::u16string userData = kUserData + packed;
    return {
        {product, product, u"ProductName", name},
        {features, features, u"Agent", u""},
        {upgrades, upgrades, packed, u""},
        {userData, userData + u"\\InstallProperties", u"DisplayName", name, true},
    };
}

std::vector<RegistrationValue> ForeignRegistrations(const ForeignRegistrationCount& count)
{
    std::vector<RegistrationValue> values;
    for (int i = 0; i < count.uninstallEntries; ++i) {
        const std::u16string key = u"{" + Number(i, 8) + u"-0000-4000-8000-FOREIGN00000}";
        Append(values, UninstallEntry(key, u"Other Vendor Tool " + Number(i, 4),
                                      u"C:\\Program Files (x86)\\Other\\Tool " + Number(i, 4), u"MsiExec.exe /X" + key));
    }
    for (int i = 0; i < count.installerProducts; ++i)
        Append(values, InstallerRegistration(PackedCode(i, u'A'), PackedCode(i, u'B'),
                                             u"Other Vendor Package " + Number(i, 4)));
    return values;
}
