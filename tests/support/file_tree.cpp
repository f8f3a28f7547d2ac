#include "support/file_tree.h"

#include "platform/text.h"

namespace {

constexpr char16_t kBase[] = u"C:\\qtv-files-test";

} // namespace

TestFolder::TestFolder()
    : path_(std::u16string(kBase) + u"\\" +
            ToUtf16(::testing::UnitTest::GetInstance()->current_test_info()->name()))
{
    Os().createDirectory(kBase, nullptr);
    RemoveTree(path_);
    EXPECT_TRUE(Os().createDirectory(path_.c_str(), nullptr)) << Os().getLastError();
}

TestFolder::~TestFolder()
{
    EXPECT_TRUE(RemoveTree(path_));
    Os().removeDirectory(kBase); // fails harmlessly while another test's folder remains
}

::testing::AssertionResult MakeFile(const std::u16string& path, const std::string& content)
{
    OsApi& os = Os();
    const HANDLE file = os.createFile(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::testing::AssertionFailure() << "CreateFileW failed with " << os.getLastError();
    DWORD written = 0;
    const BOOL wrote = os.writeFile(file, content.data(), static_cast<DWORD>(content.size()),
                                    &written, nullptr);
    const DWORD error = os.getLastError();
    os.closeHandle(file);
    if (!wrote || written != content.size())
        return ::testing::AssertionFailure() << "WriteFile failed with " << error;
    return ::testing::AssertionSuccess();
}

std::vector<Listed> List(const std::u16string& pattern, DWORD& endError)
{
    OsApi& os = Os();
    std::vector<Listed> entries;
    WIN32_FIND_DATAW data{};
    const HANDLE find = os.findFirstFile(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        endError = os.getLastError();
        return entries;
    }
    do
        entries.push_back({std::u16string(reinterpret_cast<const char16_t*>(data.cFileName)),
                           data.dwFileAttributes, data.nFileSizeLow,
                           std::u16string(reinterpret_cast<const char16_t*>(data.cAlternateFileName))});
    while (os.findNextFile(find, &data));
    endError = os.getLastError();
    os.findClose(find);
    return entries;
}

bool RemoveTree(const std::u16string& path)
{
    OsApi& os = Os();
    const DWORD attributes = os.getFileAttributes(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        DWORD endError = 0;
        for (const Listed& entry : List(path + u"\\*.*", endError))
            if (entry.name != u"." && entry.name != u"..")
                RemoveTree(path + u"\\" + entry.name);
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        os.setFileAttributes(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY &
                                               ~FILE_ATTRIBUTE_DIRECTORY);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return os.removeDirectory(path.c_str()) != FALSE;
    return os.deleteFile(path.c_str()) != FALSE;
}
