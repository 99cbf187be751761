// A fresh private folder for each test, removed with everything in it afterwards,
// and a settings file path inside it.
#pragma once

#include "IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class TempFolderTest : public testing::Test {
protected:
    void SetUp() override;
    // Gives the folder its write bit back first, for tests that took it away.
    void TearDown() override;

    static std::string ReadFile(const std::filesystem::path& path);
    static void WriteFile(const std::filesystem::path& path, const std::string& bytes);
    std::string ReadRaw() const { return ReadFile(Path); }
    void WriteRaw(const std::string& bytes) const { WriteFile(Path, bytes); }
    // Writes the bytes as the settings file and loads it, which must succeed.
    IniFile LoadBytes(const std::string& bytes) const;

    std::filesystem::path Dir;
    std::string Folder;  // Dir as text
    std::string Path;    // Folder + "/KVCHAT.INI"
};
