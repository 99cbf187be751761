#include "AppLocations.h"

#include "IniFile.h"
#include "Settings.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace {

constexpr std::string_view AppFolder = "/kvchat";
constexpr std::string_view UserSettingsName = "/kvchat.INI";
constexpr std::string_view LogFolderName = "/logs";
constexpr std::string_view SystemSettings = "/etc/kvchat/kvchat.INI";

std::string FolderOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A relative XDG folder is to be ignored; so is an empty one.
std::string XdgFolder(const std::string& value, const std::string& home, std::string_view fallback)
{
    if (!value.empty() && value.front() == '/')
        return value;
    if (home.empty())
        return {};
    return home + std::string(fallback);
}

bool ExistsAsFile(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// <prefix>/bin/kvchat reads <prefix>/etc/kvchat/kvchat.INI; /usr/bin/kvchat
// reads /etc/kvchat/kvchat.INI, as the package installs it. Also works for a
// package unpacked elsewhere.
std::vector<std::string> InstallationSettings(std::string_view exePath)
{
    std::vector<std::string> files{SettingsFileName(exePath)};
    const std::string bin = FolderOf(exePath);
    if (bin.size() >= 4 && bin.ends_with("/bin")) {
        std::string prefix = FolderOf(bin);
        if (prefix.ends_with("/usr") || prefix == "/usr")
            prefix = FolderOf(prefix);
        if (prefix == "/")
            prefix.clear();
        files.push_back(prefix + std::string(SystemSettings));
    }
    if (files.back() != SystemSettings)
        files.emplace_back(SystemSettings);
    return files;
}

bool MakeFolders(const std::string& folder)
{
    if (folder.empty() || folder == "/" || folder == ".")
        return true;
    struct stat status {};
    if (stat(folder.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode);
    if (!MakeFolders(FolderOf(folder)))
        return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

LocationEnvironment ProcessEnvironment()
{
    return {Env("HOME"), Env("XDG_CONFIG_HOME"), Env("XDG_DATA_HOME")};
}

AppLocations ChooseAppLocations(std::string_view exePath, std::string_view explicitSettings,
                                const LocationEnvironment& environment)
{
    AppLocations locations;
    const std::string beside = SettingsFileName(exePath);
    const std::string configHome = XdgFolder(environment.XdgConfigHome, environment.Home, "/.config");
    const std::string dataHome = XdgFolder(environment.XdgDataHome, environment.Home, "/.local/share");
    const bool portable = !explicitSettings.empty() || CanWriteInFolder(FolderOf(exePath))
        || (ExistsAsFile(beside) && CanSaveFile(beside));
    // Without a home folder there is nowhere else to go; the save then reports the failure.
    if (portable || configHome.empty() || dataHome.empty()) {
        locations.SettingsFile = explicitSettings.empty() ? beside : std::string(explicitSettings);
        locations.LogFolder = FolderOf(locations.SettingsFile) + std::string(LogFolderName);
        return locations;
    }
    locations.SettingsFile = configHome + std::string(AppFolder) + std::string(UserSettingsName);
    locations.LogFolder = dataHome + std::string(AppFolder) + std::string(LogFolderName);
    locations.SeedFiles = InstallationSettings(exePath);
    return locations;
}

std::optional<std::string> PrepareSettingsFile(const AppLocations& locations)
{
    struct stat status {};
    if (locations.SeedFiles.empty() || lstat(locations.SettingsFile.c_str(), &status) == 0)
        return std::nullopt;
    for (const std::string& seed : locations.SeedFiles) {
        std::ifstream in(seed, std::ios::binary);
        if (!in)
            continue;
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!MakeFolders(FolderOf(locations.SettingsFile)))
            return locations.SettingsFile + " に書き込めません";
        return WriteFileAtomically(locations.SettingsFile, bytes);
    }
    return std::nullopt;
}
