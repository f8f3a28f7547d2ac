// The file calls of the seam: the same expectations of the simulated machine and of the real
// system under Wine. Every test works below its own folder under C:\qtv-files-test. Which object
// a name opens (trailing dots, aliases, identity, case) is in files_names_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/file_tree.h"
#include "support/versioned_file.h"
#include "unit/platform/files_test.h"

#ifndef _WIN32
#include "platform/sim/sim_files.h"
#endif

namespace {

std::vector<std::u16string> SortedNames(std::vector<Listed>::const_iterator begin,
                                        std::vector<Listed>::const_iterator end)
{
    std::vector<std::u16string> names;
    for (auto it = begin; it != end; ++it)
        names.push_back(it->name);
    std::sort(names.begin(), names.end(),
              [](const std::u16string& a, const std::u16string& b) { return Folded(a) < Folded(b); });
    return names;
}

TEST_F(FilesTest, AttributesTellFoldersFromFilesAndAbsenceByItsCode)
{
    TestFolder folder;
    ASSERT_TRUE(MakeFile(folder / u"plain.txt", "abc"));

    const DWORD folderAttributes = os.getFileAttributes(folder.path().c_str());
    ASSERT_NE(folderAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(folderAttributes & FILE_ATTRIBUTE_DIRECTORY);

    const DWORD fileAttributes = os.getFileAttributes((folder / u"PLAIN.TXT").c_str());
    ASSERT_NE(fileAttributes, INVALID_FILE_ATTRIBUTES) << "names are case-insensitive";
    EXPECT_FALSE(fileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                                   FILE_ATTRIBUTE_REPARSE_POINT));

    EXPECT_EQ(os.getFileAttributes((folder / u"missing.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.getLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(os.getFileAttributes((folder / u"missing\\inner.txt").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.getLastError(), ERROR_PATH_NOT_FOUND);

    EXPECT_FALSE(os.createDirectory(folder.path().c_str(), nullptr));
    EXPECT_EQ(os.getLastError(), ERROR_ALREADY_EXISTS);
}

TEST_F(FilesTest, ListingGivesTheDotsFirstThenEveryEntryThenNoMoreFiles)
{
    TestFolder folder;
    ASSERT_TRUE(MakeFile(folder / u"b.txt", "12345"));
    ASSERT_TRUE(MakeFile(folder / u"A.txt"));
    ASSERT_TRUE(os.createDirectory((folder / u"sub").c_str(), nullptr));

    DWORD endError = 0;
    const std::vector<Listed> entries = List(folder / u"*.*", endError);
    EXPECT_EQ(endError, ERROR_NO_MORE_FILES);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, u".");
    EXPECT_EQ(entries[1].name, u"..");
    EXPECT_TRUE(entries[0].attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(SortedNames(entries.begin() + 2, entries.end()),
              (std::vector<std::u16string>{u"A.txt", u"b.txt", u"sub"}));
    for (const Listed& entry : entries) {
        if (entry.name == u"sub") {
            EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        if (entry.name == u"b.txt") {
            EXPECT_FALSE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
            EXPECT_EQ(entry.size, 5u) << "the bytes WriteFile wrote";
        }
    }
}

TEST_F(FilesTest, ListingFailuresNameWhatIsMissing)
{
    TestFolder folder;
    DWORD endError = 0;
    EXPECT_TRUE(List(folder / u"missing\\*.*", endError).empty());
    EXPECT_EQ(endError, ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(List(folder / u"nothing*.xyz", endError).empty());
    EXPECT_EQ(endError, ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesTest, ReadOnlyFileIsRefusedUntilItsBitIsCleared)
{
    TestFolder folder;
    const std::u16string file = folder / u"locked.txt";
    ASSERT_TRUE(MakeFile(file, "x"));
    ASSERT_TRUE(os.setFileAttributes(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = os.getFileAttributes(file.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(os.deleteFile(file.c_str()));
    EXPECT_EQ(os.getLastError(), ERROR_ACCESS_DENIED);
    EXPECT_NE(os.getFileAttributes(file.c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(os.setFileAttributes(file.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(os.deleteFile(file.c_str())) << os.getLastError();
    EXPECT_EQ(os.getFileAttributes(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, RemoveDirectoryRefusesAFolderWithEntries)
{
    TestFolder folder;
    const std::u16string inner = folder / u"inner";
    ASSERT_TRUE(os.createDirectory(inner.c_str(), nullptr));
    ASSERT_TRUE(MakeFile(inner + u"\\keep.txt"));

    EXPECT_FALSE(os.removeDirectory(inner.c_str()));
    EXPECT_EQ(os.getLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_NE(os.getFileAttributes((inner + u"\\keep.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(os.deleteFile((inner + u"\\keep.txt").c_str()));
    EXPECT_TRUE(os.removeDirectory(inner.c_str())) << os.getLastError();
    EXPECT_EQ(os.getFileAttributes(inner.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, PathsBeyondMaxPathWorkThroughTheLongPathPrefix)
{
    TestFolder folder;
    const std::u16string name(50, u'n');
    std::u16string deep = u"\\\\?\\" + folder.path();
    for (int level = 0; level < 6; ++level) {
        deep += u"\\" + name;
        ASSERT_TRUE(os.createDirectory(deep.c_str(), nullptr)) << os.getLastError();
    }
    const std::u16string file = deep + u"\\deep.txt";
    ASSERT_GT(file.size(), 300u);
    ASSERT_TRUE(MakeFile(file, "deep"));

    const DWORD attributes = os.getFileAttributes(file.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << os.getLastError();
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    DWORD endError = 0;
    EXPECT_EQ(List(deep + u"\\*.*", endError).size(), 3u);
    EXPECT_EQ(endError, ERROR_NO_MORE_FILES);

    EXPECT_TRUE(os.deleteFile(file.c_str())) << os.getLastError();
    for (int level = 0; level < 6; ++level) {
        ASSERT_TRUE(os.removeDirectory(deep.c_str())) << os.getLastError();
        deep.erase(deep.rfind(u'\\'));
    }
}

TEST_F(FilesTest, TempPathEndsWithABackslashAndNamesAFolder)
{
    const DWORD needed = os.getTempPath(0, nullptr);
    ASSERT_GT(needed, 1u);
    std::vector<char16_t> buffer(needed);
    const DWORD length = os.getTempPath(needed, buffer.data());
    ASSERT_EQ(length, needed - 1) << "the length without the terminator";
    const std::u16string path(buffer.data(), length);
    EXPECT_EQ(path.back(), u'\\');
    const DWORD attributes = os.getFileAttributes(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FilesTest, TempFileNamesAreHexNumbersAndCreatedWhenTheSystemPicks)
{
    TestFolder folder;
    char16_t first[MAX_PATH] = {};
    char16_t second[MAX_PATH] = {};
    const UINT one = os.getTempFileName(folder.path().c_str(), u"qtvx", 0, first);
    const UINT two = os.getTempFileName(folder.path().c_str(), u"qtvx", 0, second);
    ASSERT_NE(one, 0u) << os.getLastError();
    ASSERT_NE(two, 0u);
    EXPECT_NE(one, two);
    for (const auto& [number, name] : {std::make_pair(one, first), std::make_pair(two, second)}) {
        const std::u16string text(name);
        // The prefix's first three characters, the number in hexadecimal, ".tmp".
        std::u16string hex;
        for (UINT value = number; value != 0; value >>= 4)
            hex.insert(hex.begin(), u"0123456789ABCDEF"[value & 0xF]);
        EXPECT_EQ(Folded(text), Folded(folder / (u"qtv" + hex + u".tmp")));
        EXPECT_NE(os.getFileAttributes(name), INVALID_FILE_ATTRIBUTES) << "created";
    }

    char16_t chosen[MAX_PATH] = {};
    EXPECT_EQ(os.getTempFileName((folder.path() + u"\\").c_str(), u"ab", 0x1A2B, chosen), 0x1A2Bu);
    EXPECT_EQ(Folded(chosen), Folded(folder / u"ab1A2B.tmp")) << "no doubled backslash";
    EXPECT_EQ(os.getFileAttributes(chosen), INVALID_FILE_ATTRIBUTES) << "a chosen number is not created";
}

TEST_F(FilesTest, FixedFileVersionOfTheFixture)
{
#ifndef _WIN32
    machine.files().addFile(VersionedFilePath(), "MZ");
    machine.files().setFileVersion(VersionedFilePath(), 9, 5, 10, 79);
#endif
    const std::u16string& path = VersionedFilePath();
    DWORD handle = 1;
    const DWORD size = os.getFileVersionInfoSize(path.c_str(), &handle);
    ASSERT_NE(size, 0u) << os.getLastError();
    const auto block = std::make_unique<BYTE[]>(size);
    ASSERT_TRUE(os.getFileVersionInfo(path.c_str(), 0, size, block.get()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(os.verQueryValue(block.get(), u"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00090005u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x000A004Fu);
}

TEST_F(FilesTest, FilesWithoutVersionResourceHaveNoVersionSize)
{
    TestFolder folder;
    ASSERT_TRUE(MakeFile(folder / u"notes.txt", "no resources here"));
    DWORD handle = 0;
    EXPECT_EQ(os.getFileVersionInfoSize((folder / u"notes.txt").c_str(), &handle), 0u);
    EXPECT_EQ(os.getLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);

    // The test program itself carries no version resource.
    char16_t self[MAX_PATH] = {};
    ASSERT_NE(os.getModuleFileName(nullptr, self, MAX_PATH), 0u);
#ifndef _WIN32
    machine.files().addFile(self, "MZ");
#endif
    EXPECT_EQ(os.getFileVersionInfoSize(self, &handle), 0u);
    EXPECT_EQ(os.getLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
    EXPECT_EQ(os.getFileVersionInfoSize((folder / u"missing.exe").c_str(), &handle), 0u);
    EXPECT_EQ(os.getLastError(), ERROR_FILE_NOT_FOUND);
}

// What the folder deletion relies on before it adds the long-path prefix.
TEST_F(FilesTest, FullPathNamesResolveDoubledSeparatorsAndParentFolders)
{
    struct Case {
        const char16_t* path;
        const char16_t* full;
    };
    const Case cases[] = {
        {u"C:\\Zantrel\\QTV Client\\\\DLP", u"C:\\Zantrel\\QTV Client\\DLP"},
        {u"C:\\Zantrel\\QTV Client\\..\\QTV A2A", u"C:\\Zantrel\\QTV A2A"},
        {u"C:\\Zantrel\\QTV Client\\\\..\\QTV A2A", u"C:\\Zantrel\\QTV A2A"},
        {u"C:/Zantrel/./Relay/", u"C:\\Zantrel\\Relay\\"},
        {u"C:\\..\\..\\Zantrel", u"C:\\Zantrel"},
        {u"C:\\Zantrel\\..", u"C:\\"},
        {u"\\\\server\\share\\suite\\..\\QTV", u"\\\\server\\share\\QTV"},
        {u"\\\\server\\share\\..\\..\\QTV", u"\\\\server\\share\\QTV"},
        {u"C:\\Zantrel\\QTV. .", u"C:\\Zantrel\\QTV"},
        {u"C:\\Zantrel. \\QTV", u"C:\\Zantrel. \\QTV"},
        // A name before a separator loses one trailing dot, never a blank.
        {u"C:\\Zantrel.\\QTV", u"C:\\Zantrel\\QTV"},
        {u"C:\\Zantrel..\\QTV", u"C:\\Zantrel.\\QTV"},
        {u"C:\\Zantrel .\\QTV", u"C:\\Zantrel \\QTV"},
        {u"C:\\Zantrel.\\", u"C:\\Zantrel\\"},
        {u"C:\\Zantrel \\", u"C:\\Zantrel \\"},
        {u"\\\\?\\C:\\Zantrel\\\\..\\QTV", u"\\\\?\\C:\\QTV"},
        {u"\\\\?\\UNC\\server\\share\\suite\\..\\QTV", u"\\\\?\\UNC\\server\\share\\QTV"},
    };
    for (const Case& c : cases) {
        char16_t buffer[MAX_PATH] = {};
        char16_t* name = nullptr;
        const DWORD length = os.getFullPathName(c.path, MAX_PATH, buffer, &name);
        EXPECT_EQ(std::u16string(buffer, length), c.full) << ToUtf8(c.path);
        // The name after the last backslash; none when the path ends with one.
        const std::u16string full(c.full);
        EXPECT_EQ(name ? std::u16string(name) : std::u16string(), full.substr(full.find_last_of(u'\\') + 1))
            << ToUtf8(c.path);
    }

    char16_t small[4] = {};
    EXPECT_EQ(os.getFullPathName(u"C:\\Zantrel\\..\\QTV", 4, small, nullptr), 7u) << "the size needed";
}

// A relative name is read from the process's current folder; a deployment engine starts the
// program in the system folder, where two steps up is the drive's root.
TEST_F(FilesTest, RelativeNamesAreReadFromTheCurrentFolder)
{
#ifdef _WIN32
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows\\system32"));
#else
    machine.files().addFolder(u"C:\\windows\\system32");
    machine.files().setCurrentFolder(u"C:\\windows\\system32");
#endif
    const struct {
        const char16_t* path;
        const char16_t* full;
    } cases[] = {
        {u"..\\..", u"C:\\"},
        {u"..\\..\\Temp\\", u"C:\\Temp\\"},
        {u"..", u"C:\\windows"},
        {u"QTV.", u"C:\\windows\\system32\\QTV"},
        {u"\\Temp", u"C:\\Temp"},
        {u"C:QTV", u"C:\\windows\\system32\\QTV"},
    };
    for (const auto& c : cases) {
        char16_t buffer[MAX_PATH] = {};
        const DWORD length = os.getFullPathName(c.path, MAX_PATH, buffer, nullptr);
        EXPECT_EQ(Folded(std::u16string(buffer, length)), Folded(c.full)) << ToUtf8(c.path);
    }
    const DWORD root = os.getFileAttributes(u"..\\..");
    EXPECT_NE(root, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(root & FILE_ATTRIBUTE_DIRECTORY);
#ifdef _WIN32
    SetCurrentDirectoryW(previous);
#endif
}

} // namespace
