// The file calls of the seam on names: which object a name opens. Trailing dots and blanks, 8.3
// aliases and GetLongPathNameW, the identity every name of one object shares, and case across
// scripts; the same expectations of the simulated machine and of the real system under Wine.
// Every test works below its own folder under C:\qtv-files-test.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/text.h"
#include "support/file_tree.h"
#include "unit/platform/files_test.h"

#ifndef _WIN32
#include "platform/sim/sim_files.h"
#endif

namespace {

// What GetFileInformationByHandle says of the object a name opens; nothing when it cannot be
// opened.
std::optional<BY_HANDLE_FILE_INFORMATION> Information(OsApi& os, const std::u16string& path)
{
    const HANDLE file = os.createFile(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL read = os.getFileInformationByHandle(file, &information);
    os.closeHandle(file);
    if (!read)
        return std::nullopt;
    return information;
}

// The identity as text for the comparisons; empty when the name opens nothing.
std::string Identity(OsApi& os, const std::u16string& path)
{
    const auto information = Information(os, path);
    if (!information)
        return {};
    return std::to_string(information->dwVolumeSerialNumber) + ":" + std::to_string(information->nFileIndexHigh) +
           ":" + std::to_string(information->nFileIndexLow);
}

std::u16string LongPath(OsApi& os, const std::u16string& path)
{
    char16_t buffer[MAX_PATH] = {};
    const DWORD length = os.getLongPathName(path.c_str(), buffer, MAX_PATH);
    return length < MAX_PATH ? std::u16string(buffer, length) : std::u16string();
}

// What the folder deletion's guard relies on: a plain name is read as GetFullPathNameW reads it,
// so trailing dots and blanks of the last name, and one trailing dot of a name before it, make
// no difference; the long-path prefix turns that reading off.
TEST_F(FilesTest, TrailingDotsAndBlanksAreReadAsTheSystemReadsThem)
{
    TestFolder folder;
    ASSERT_TRUE(os.createDirectory((folder / u"QTV").c_str(), nullptr));
    ASSERT_TRUE(MakeFile(folder / u"QTV\\agent.ini", "x"));
    struct Case {
        const char16_t* name;
        DWORD error; // ERROR_SUCCESS: found
    };
    const Case cases[] = {
        {u"QTV.", ERROR_SUCCESS},
        {u"QTV ", ERROR_SUCCESS},
        {u"QTV. .", ERROR_SUCCESS},
        {u"QTV.\\agent.ini", ERROR_SUCCESS},
        {u"QTV\\agent.ini. ", ERROR_SUCCESS},
        {u"QTV \\agent.ini", ERROR_PATH_NOT_FOUND},
        {u"QTV..\\agent.ini", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        os.setLastError(ERROR_SUCCESS);
        const DWORD attributes = os.getFileAttributes((folder / c.name).c_str());
        EXPECT_EQ(attributes == INVALID_FILE_ATTRIBUTES ? os.getLastError() : ERROR_SUCCESS, c.error) << ToUtf8(c.name);
    }
    EXPECT_EQ(os.getFileAttributes((u"\\\\?\\" + (folder / u"QTV.")).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.getLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(os.getFileAttributes((u"\\\\?\\" + (folder / u"QTV\\.")).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.getLastError(), ERROR_INVALID_NAME);

    ASSERT_TRUE(os.createDirectory((folder / u"Empty").c_str(), nullptr));
    EXPECT_TRUE(os.removeDirectory((folder / u"Empty. ").c_str()));
    EXPECT_EQ(os.getFileAttributes((folder / u"Empty").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A name that does not fit 8.3 has an alias, which the listing reports and which opens the same
// folder; GetLongPathNameW turns it back into the name on the disk. Windows makes the alias from
// the name's first six characters ("ZANTRE~1"), as the simulated machine does; Wine makes it from
// a hash ("ZANT~A1B"), so the alias is taken from the listing here.
TEST_F(FilesTest, AliasesFromTheListingLeadToTheirFolders)
{
    TestFolder folder;
    for (const char16_t* name : {u"Zantrel Enterprise", u"Zantrel Enterprise (x86)", u"agent"})
        ASSERT_TRUE(os.createDirectory((folder / name).c_str(), nullptr));
    DWORD endError = 0;
    std::map<std::u16string, std::u16string> aliases; // the listing's order is the file system's
    for (const Listed& entry : List(folder / u"*", endError))
        if (entry.name != u"." && entry.name != u"..")
            aliases[entry.name] = entry.alias;
    ASSERT_EQ(aliases.size(), 3u);
    EXPECT_EQ(aliases[u"agent"], u"") << "a name that fits 8.3 is its own alias";
#ifndef _WIN32
    EXPECT_EQ(aliases[u"Zantrel Enterprise"], u"ZANTRE~1");
    EXPECT_EQ(aliases[u"Zantrel Enterprise (x86)"], u"ZANTRE~2");
#endif
    for (const char16_t* name : {u"Zantrel Enterprise", u"Zantrel Enterprise (x86)"}) {
        const std::u16string alias = aliases[name];
        ASSERT_FALSE(alias.empty()) << ToUtf8(name);
        EXPECT_EQ(LongPath(os, folder / alias), folder / name);
        EXPECT_EQ(LongPath(os, folder / alias + u"\\"), folder / name + u"\\");
        EXPECT_FALSE(Identity(os, folder / name).empty());
        EXPECT_EQ(Identity(os, folder / alias), Identity(os, folder / name));
    }
    // Names that fit 8.3 come back as the disk has them; names that do not stay as written.
    EXPECT_EQ(LongPath(os, folder / u"AGENT"), folder / u"agent");
    EXPECT_EQ(LongPath(os, folder / u"zantrel enterprise"), folder / u"zantrel enterprise");

    EXPECT_EQ(os.getLongPathName((folder / u"missing\\agent").c_str(), nullptr, 0), 0u);
    EXPECT_EQ(os.getLastError(), ERROR_FILE_NOT_FOUND);
    char16_t small[4] = {};
    EXPECT_EQ(os.getLongPathName((folder / u"AGENT").c_str(), small, 4), (folder / u"agent").size() + 1)
        << "the size needed";
}

// The identity of what a name opens: the same object through every name that leads to it.
TEST_F(FilesTest, FileIdentityFollowsTheObjectNotTheName)
{
    TestFolder folder;
    ASSERT_TRUE(os.createDirectory((folder / u"QTV").c_str(), nullptr));
    ASSERT_TRUE(MakeFile(folder / u"QTV\\agent.ini", "12345"));
    ASSERT_TRUE(os.createDirectory((folder / u"Relay").c_str(), nullptr));

    const std::string qtv = Identity(os, folder / u"QTV");
    ASSERT_FALSE(qtv.empty());
    for (const char16_t* name : {u"qtv", u"QTV.", u"QTV\\", u"Relay\\..\\QTV"})
        EXPECT_EQ(Identity(os, folder / name), qtv) << ToUtf8(name);
    EXPECT_NE(Identity(os, folder / u"Relay"), qtv);
    EXPECT_NE(Identity(os, folder.path()), qtv);
    EXPECT_FALSE(Identity(os, u"C:\\").empty()) << "a drive's root folder opens too";
    EXPECT_NE(Identity(os, u"C:\\"), Identity(os, folder.path()));
    EXPECT_EQ(Identity(os, folder / u"Missing"), "");

    // Where each name really is: the object's own name, whatever name opened it; for this 32-bit
    // program the system folder is the 32-bit one.
    const std::optional<std::u16string> final = FinalPathName(folder / u"QTV");
    ASSERT_TRUE(final);
    EXPECT_EQ(final->substr(final->size() - 4), u"\\QTV");
    for (const char16_t* name : {u"qtv", u"QTV.", u"QTV\\", u"Relay\\..\\QTV"})
        EXPECT_EQ(FinalPathName(folder / name), final) << ToUtf8(name);
    EXPECT_EQ(FinalPathName(u"C:\\"), u"C:\\");
    EXPECT_EQ(FinalPathName(folder / u"Missing"), std::nullopt);
#ifndef _WIN32
    machine.files().addFolder(u"C:\\windows\\system32");
#endif
    std::u16string system = FinalPathName(u"C:\\windows\\system32").value_or(u"");
    std::transform(system.begin(), system.end(), system.begin(), [](char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; });
    EXPECT_EQ(system, u"C:\\WINDOWS\\SYSWOW64");
    const HANDLE opened = os.createFile((folder / u"QTV").c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    char16_t small[4] = {};
    EXPECT_EQ(os.getFinalPathNameByHandle(opened, small, 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS), final->size() + 5)
        << "the room needed: the long-path prefix, the name and its terminator";
    os.closeHandle(opened);
    EXPECT_EQ(os.getDriveType(u"C:\\"), DRIVE_FIXED);
    EXPECT_EQ(os.getDriveType(u"Q:\\"), DRIVE_NO_ROOT_DIR);

    const HANDLE file = os.createFile((folder / u"QTV\\agent.ini").c_str(), 0, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION information{};
    EXPECT_TRUE(os.getFileInformationByHandle(file, &information));
    os.closeHandle(file);
    EXPECT_FALSE(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(information.nFileSizeLow, 5u);
    EXPECT_EQ(information.nNumberOfLinks, 1u);
    EXPECT_EQ(qtv.substr(0, qtv.find(':')), std::to_string(information.dwVolumeSerialNumber)) << "one volume";

    // Another name of the same file (a hard link): one identity, two names, and deleting one
    // leaves the file to the other.
    const std::u16string link = folder / u"QTV\\agent-link.ini";
#ifdef _WIN32
    ASSERT_TRUE(CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.c_str()),
                                reinterpret_cast<const wchar_t*>((folder / u"QTV\\agent.ini").c_str()), nullptr));
#else
    machine.files().addHardLink(link, folder / u"QTV\\agent.ini");
#endif
    EXPECT_EQ(Identity(os, link), Identity(os, folder / u"QTV\\agent.ini"));
    EXPECT_EQ(Information(os, link).value_or(information).nNumberOfLinks, 2u);
    EXPECT_TRUE(os.deleteFile((folder / u"QTV\\agent.ini").c_str()));
    EXPECT_EQ(Information(os, link).value_or(information).nNumberOfLinks, 1u);
    EXPECT_EQ(Information(os, link).value_or(information).nFileSizeLow, 5u);

    // A folder opens only with FILE_FLAG_BACKUP_SEMANTICS.
    EXPECT_EQ(os.createFile((folder / u"QTV").c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.getLastError(), ERROR_ACCESS_DENIED);
}

// File names match without case over the Basic Multilingual Plane, as the system's upper-case
// table has it: a letter meets its capital, but the dotless i, the long s, the final sigma, the
// title-case digraph and the Kelvin sign meet no other letter.
TEST_F(FilesTest, NamesMatchWithoutCaseAcrossScripts)
{
    TestFolder folder;
    struct Case {
        const char16_t* stored;
        const char16_t* asked;
        bool same;
    };
    const Case cases[] = {
        {u"\u03C9", u"\u03A9", true},  {u"\u0436", u"\u0416", true},  {u"\u00FF", u"\u0178", true},
        {u"\u01C6", u"\u01C4", true},  {u"\uFF41", u"\uFF21", true},  {u"\uAB70", u"\u13A0", true},
        {u"\u10D0", u"\u1C90", true},  {u"\u24D0", u"\u24B6", true},  {u"\u2170", u"\u2160", true},
        {u"\u03C3", u"\u03A3", true},  {u"\u0250", u"\u2C6F", true},  {u"\u0561", u"\u0531", true},
        {u"\u0131", u"I", false},      {u"\u017F", u"S", false},      {u"k", u"\u212A", false},
        {u"\u01C5", u"\u01C4", false},  {u"\u03C2", u"\u03A3", false},  {u"\u00E5", u"\u212B", false},
    };
    for (const Case& c : cases) {
        const std::u16string stored = folder / (u"n" + std::u16string(c.stored));
        ASSERT_TRUE(os.createDirectory(stored.c_str(), nullptr)) << std::hex << static_cast<unsigned>(c.stored[0]);
        const std::u16string asked = folder / (u"N" + std::u16string(c.asked));
        EXPECT_EQ(os.getFileAttributes(asked.c_str()) != INVALID_FILE_ATTRIBUTES, c.same)
            << std::hex << static_cast<unsigned>(c.stored[0]);
        EXPECT_TRUE(os.removeDirectory(stored.c_str()));
    }
}

} // namespace
