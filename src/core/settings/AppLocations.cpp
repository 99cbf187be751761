#include "AppLocations.h"

#include "FileErrors.h"
#include "IniFile.h"
#include "Settings.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string_view NameOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
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

bool Under(std::string_view path, std::string_view top)
{
    return path == top || (path.starts_with(top) && path.size() > top.size() && path[top.size()] == '/');
}

// Where an installation puts programs: any prefix's "bin" (/usr/bin,
// /usr/local/bin, ~/.local/bin, a package unpacked elsewhere), /usr and /opt.
// Whether the user may write there says nothing: root may write everywhere.
bool IsInstalledFolder(std::string_view folder)
{
    return NameOf(folder) == "bin" || Under(folder, "/usr") || Under(folder, "/opt");
}

// The user may change the file: its write bits as well as access(), which lets root through.
bool UserMayChange(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && (status.st_mode & 0222) != 0
        && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool OwnedByUser(const std::string& folder)
{
    struct stat status {};
    return stat(folder.c_str(), &status) == 0 && status.st_uid == geteuid();
}

// <prefix>/bin/kvchat reads <prefix>/etc/kvchat/kvchat.INI; /usr/bin/kvchat
// reads /etc/kvchat/kvchat.INI, as the package installs it. Elsewhere (a
// shared folder the user may not write, /opt/kvchat) the installation's file
// lies beside the executable.
std::vector<std::string> InstallationSettings(std::string_view exePath)
{
    std::vector<std::string> files;
    const std::string bin = FolderOf(exePath);
    if (NameOf(bin) == "bin") {
        std::string prefix = FolderOf(bin);
        if (NameOf(prefix) == "usr")
            prefix = FolderOf(prefix);
        if (prefix == "/")
            prefix.clear();
        files.push_back(prefix + std::string(SystemSettings));
    } else {
        files.push_back(SettingsFileName(exePath));
    }
    if (files.back() != SystemSettings)
        files.emplace_back(SystemSettings);
    return files;
}

// Returns 0, or the errno of the failure.
int MakeFolders(const std::string& folder)
{
    if (folder.empty() || folder == "/" || folder == ".")
        return 0;
    struct stat status {};
    if (stat(folder.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    if (const int error = MakeFolders(FolderOf(folder)))
        return error;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

std::string NotSavedText(const std::string& what, const std::string& reason)
{
    return what + " を作れません（" + reason + "）。この実行中の設定は保存されません";
}

}  // namespace

LocationEnvironment ProcessEnvironment()
{
    std::string home = Env("HOME");
    if (home.empty()) {
        // A service or "env -i" may leave HOME unset; the user still has a home.
        if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr)
            home = entry->pw_dir;
    }
    return {home, Env("XDG_CONFIG_HOME"), Env("XDG_DATA_HOME")};
}

std::string DefaultLogFolder(std::string_view settingsFile)
{
    return FolderOf(settingsFile) + std::string(LogFolderName);
}

AppLocations ChooseAppLocations(std::string_view exePath, std::string_view explicitSettings,
                                const LocationEnvironment& environment)
{
    AppLocations locations;
    const std::string folder = FolderOf(exePath);
    const std::string beside = SettingsFileName(exePath);
    const std::string configHome = XdgFolder(environment.XdgConfigHome, environment.Home, "/.config");
    const std::string dataHome = XdgFolder(environment.XdgDataHome, environment.Home, "/.local/share");
    const bool installed = IsInstalledFolder(folder);
    const bool own = OwnedByUser(folder);
    const bool portable = !explicitSettings.empty() || (!installed && own && CanWriteInFolder(folder));
    // Without a home folder there is nowhere else to go; the save then reports the failure.
    if (portable || configHome.empty() || dataHome.empty()) {
        locations.SettingsFile = explicitSettings.empty() ? beside : std::string(explicitSettings);
        locations.LogFolder = DefaultLogFolder(locations.SettingsFile);
        return locations;
    }
    locations.SettingsFile = configHome + std::string(AppFolder) + std::string(UserSettingsName);
    locations.LogFolder = dataHome + std::string(AppFolder) + std::string(LogFolderName);
    locations.SeedFiles = InstallationSettings(exePath);
    // A file the user may change and that is not used would otherwise be edited
    // in vain: said at every start. An installation's read-only file is said
    // only at the first start, when the user's copy is made from it.
    const bool firstStart = !ExistsAsFile(locations.SettingsFile);
    if (ExistsAsFile(beside) && (firstStart || UserMayChange(beside))) {
        const std::string why = installed ? "インストールされたプログラムは利用者ごとの設定ファイルを使うため"
            : !own                        ? folder + " はこのユーザーのフォルダではないため"
                                          : folder + " に書き込めず、設定を保存できないため";
        locations.Notice = "設定ファイルは " + locations.SettingsFile + " を使います。" + beside + " は使いません: " + why
            + "。";
        if (locations.SeedFiles.front() == beside && firstStart)
            locations.Notice += "初めての起動なので、" + beside + " の内容から始めます。";
    }
    return locations;
}

std::optional<std::string> PrepareSettingsFile(const AppLocations& locations)
{
    const std::string folder = FolderOf(locations.SettingsFile);
    if (const int error = MakeFolders(folder))
        return NotSavedText(folder, FileErrorReason(error));
    struct stat status {};
    if (lstat(locations.SettingsFile.c_str(), &status) == 0)
        return std::nullopt;
    if (!CanWriteInFolder(folder))
        return NotSavedText(locations.SettingsFile, folder + " に書き込めません");
    for (const std::string& seed : locations.SeedFiles) {
        std::ifstream in(seed, std::ios::binary);
        if (!in)
            continue;
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return WriteFileAtomically(locations.SettingsFile, bytes);
    }
    return std::nullopt;
}
