// Components as Windows Installer registers them: an Uninstall entry whose InstallLocation holds
// only a terminator, because the package named no location. The recipes must fall back to their
// other sources of the folder, find it, and delete it.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "products/client_product.h"
#include "products/console_product.h"
#include "products/server_product.h"
#include "support/recipe_test.h"

namespace {

using InstallerWrittenValuesTest = RecipeTest;

TEST_F(InstallerWrittenValuesTest, AnEmptyInstallLocationFallsBackAndTheFolderGoes)
{
    struct Case {
        const char16_t* name;
        const char16_t* folder;
        std::function<std::unique_ptr<QTVProduct>(Remove::Log*)> make;
    };
    const Case cases[] = {
        {u"Velmora Zantrel Client", u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client",
         [](Remove::Log* sink) { return std::make_unique<ClientProduct>(sink); }},
        {u"Velmora Zantrel Server", u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Server",
         [](Remove::Log* sink) { return std::make_unique<ServerProduct>(sink); }},
        {u"Velmora Zantrel Console", u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Console",
         [](Remove::Log* sink) { return std::make_unique<ConsoleProduct>(sink); }},
    };
    for (const Case& c : cases) {
        SimMachine fresh;
        ScopedOsApi installed(fresh);
        const std::u16string entry = kUninstallList + u"\\{PACKAGE}";
        fresh.registry().setString(HKEY_LOCAL_MACHINE, entry, u"DisplayName", c.name);
        fresh.registry().setString(HKEY_LOCAL_MACHINE, entry, u"InstallLocation", u"");
        fresh.registry().setString(HKEY_LOCAL_MACHINE, entry, u"UninstallString", u"MsiExec.exe /X{PACKAGE}");
        fresh.files().addFile(std::u16string(c.folder) + u"\\program.exe", "MZ");
        // A real uninstall takes the registration and leaves files the package did not know.
        fresh.processes().addProgram(u"C:\\Windows\\System32\\MsiExec.exe", [&entry](SimProgramContext& context) {
            context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, entry.c_str());
        });
        LogQueue lines;
        Remove::MessageLog sink(&lines);
        const std::unique_ptr<QTVProduct> product = c.make(&sink);

        product->detect();

        EXPECT_TRUE(product->isInstalled()) << ToUtf8(c.name);
        EXPECT_TRUE(HasLines(TakeLogText(lines).value_or(u""),
                             u"Looking for the install location of \"" + std::u16string(c.name) + u"\" in \"HKLM\\" +
                                 kUninstallList + u"\"...not found\r\n"));
        product->remove();
        EXPECT_FALSE(fresh.files().exists(c.folder)) << ToUtf8(c.name);
    }
}

} // namespace
