// SHGetFolderPathW looked up in shell32.dll as the 32-bit program sees it: the same
// expectations of the simulated machine and of the real system under Wine.

#include <gtest/gtest.h>

#include <string>

#include "support/machine_test.h"

#ifdef _WIN32
#include <shlobj.h> // the CSIDL numbers
#endif

namespace {

class ShellTest : public MachineTest {
protected:
    OsApi& os = Os();
};

TEST_F(ShellTest, ShGetFolderPathGivesTheWellKnownFolders)
{
    const HMODULE shell32 = os.loadLibrary(u"shell32.dll");
    ASSERT_NE(shell32, nullptr) << os.getLastError();
    const FARPROC found = os.getProcAddress(shell32, "SHGetFolderPathW");
    ASSERT_NE(found, nullptr) << os.getLastError();
    const auto getFolderPath =
        reinterpret_cast<ShGetFolderPathProc>(reinterpret_cast<void (*)()>(found));

    const auto folder = [&](int csidl) {
        WCHAR buffer[MAX_PATH] = {};
        const HRESULT result = getFolderPath(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
        EXPECT_EQ(result, S_OK) << csidl;
        return Folded(reinterpret_cast<const char16_t*>(buffer));
    };
    EXPECT_EQ(folder(CSIDL_PROGRAM_FILES), u"C:\\PROGRAM FILES (X86)");
    const std::u16string local = folder(CSIDL_LOCAL_APPDATA);
    const std::u16string documents = folder(CSIDL_PERSONAL);
    EXPECT_EQ(local.rfind(u"C:\\USERS\\", 0), 0u);
    EXPECT_EQ(local.substr(local.size() - 14), u"\\APPDATA\\LOCAL");
    EXPECT_EQ(documents.rfind(u"C:\\USERS\\", 0), 0u);
    EXPECT_EQ(documents.substr(documents.size() - 10), u"\\DOCUMENTS");

    EXPECT_TRUE(os.freeLibrary(shell32));
}

TEST_F(ShellTest, MissingLibrariesAndProceduresFailWithTheirCodes)
{
    EXPECT_EQ(os.loadLibrary(u"qtv-no-such-library.dll"), nullptr);
    EXPECT_EQ(os.getLastError(), ERROR_MOD_NOT_FOUND);

    const HMODULE shell32 = os.loadLibrary(u"shell32.dll");
    ASSERT_NE(shell32, nullptr);
    EXPECT_EQ(os.getProcAddress(shell32, "QtvNoSuchProcedure"), nullptr);
    EXPECT_EQ(os.getLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(os.freeLibrary(shell32));
}

} // namespace
