#include "TempFolderTest.h"

#include <fstream>
#include <iterator>

#include <stdlib.h>

namespace fs = std::filesystem;

void TempFolderTest::SetUp()
{
    std::string pattern = (fs::temp_directory_path() / "kv_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
    Folder = pattern;
    Path = Folder + "/KVCHAT.INI";
}

void TempFolderTest::TearDown()
{
    std::error_code ignored;
    fs::permissions(Dir, fs::perms::owner_all, ignored);
    fs::remove_all(Dir, ignored);
}

std::string TempFolderTest::ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void TempFolderTest::WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

IniFile TempFolderTest::LoadBytes(const std::string& bytes) const
{
    WriteRaw(bytes);
    IniFile ini;
    EXPECT_TRUE(ini.Load(Path));
    return ini;
}
