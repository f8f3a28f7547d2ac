#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/log.h"
#include "platform/text.h"
#include "support/machine_test.h"
#include "toolkit/uninstall_lookups.h"

#ifndef _WIN32
#include "platform/sim/sim_registry.h"
#endif

// What the tests of the toolkit and the recipes share: the log they read back, whole lines to
// look for in it, and (natively) the registration they lay out.

inline const std::u16string kUninstallList = kUninstallKey;
inline const std::u16string kDetectBanner = std::u16string(50, u'*');
inline const std::u16string kRemoveBanner = std::u16string(50, u'x');

// The lines of a transcript, without their line ends.
inline std::vector<std::u16string> Lines(const std::u16string& text)
{
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The transcript holds `block` (whole lines, each ended) as consecutive lines.
inline ::testing::AssertionResult HasLines(const std::u16string& text, const std::u16string& block)
{
    if ((u"\r\n" + text).find(u"\r\n" + block) != std::u16string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the transcript lacks these lines:\n" << ToUtf8(block);
}

// A test on the machine that reads back what the code under test logged.
class LogTest : public MachineTest {
protected:
    // Everything written since the last call.
    std::u16string text() { return TakeLogText(queue).value_or(u""); }

    LogQueue queue;
    Remove::MessageLog log{&queue};
};

#ifndef _WIN32
class RecipeTest : public LogTest {
protected:
    SimRegistry& registry() { return machine.registry(); }
    bool keyExists(const std::u16string& path) { return registry().keyExists(HKEY_LOCAL_MACHINE, path); }

    // An Uninstall entry `key` with its display name, version, command and folder, all REG_SZ;
    // empty texts are left out.
    void addUninstallEntry(const std::u16string& key, const std::u16string& displayName, const std::u16string& version = {},
                           const std::u16string& command = {}, const std::u16string& location = {})
    {
        for (const auto& [name, data] : {std::pair{u"DisplayName", displayName}, std::pair{u"DisplayVersion", version},
                                         std::pair{u"UninstallString", command}, std::pair{u"InstallLocation", location}})
            if (!data.empty())
                registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\" + key, name, data);
    }
};

// A recipe's test, on its product.
template <class Product>
class ProductTest : public RecipeTest {
protected:
    Product product{&log};
};
#endif
