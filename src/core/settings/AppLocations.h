#pragma once
// Where the client keeps its settings file and its logs.
//
// An installed program (its executable in a folder named "bin", or anywhere
// under /usr or /opt) keeps both in the user's XDG folders, for every user,
// root included, and never writes beside the executable; its first start
// copies the installation's settings file (the server's address and port, the
// web addresses) to the user's copy. Any other copy is portable when its
// folder belongs to the user and the user may write in it: the settings are
// saved by replacing the file inside that folder, so a writable file in a
// folder that is not writable cannot be kept up to date and does not count.
// A copy that is neither uses the XDG folders as an installed one does.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LocationEnvironment {
    std::string Home;            // $HOME, else the user's home folder from the password database
    std::string XdgConfigHome;   // $XDG_CONFIG_HOME
    std::string XdgDataHome;     // $XDG_DATA_HOME
};

struct AppLocations {
    std::string SettingsFile;
    std::string LogFolder;       // where the logs go unless the settings name a folder
    // Installation files the user's copy starts from, in order of preference;
    // empty when the settings file is used where it is.
    std::vector<std::string> SeedFiles;
    // When a settings file beside the executable exists but is not the one
    // used, the user's message saying which file is used and why (UTF-8).
    std::string Notice;
};

LocationEnvironment ProcessEnvironment();

// explicitSettings: the file named on the command line, or empty.
AppLocations ChooseAppLocations(std::string_view exePath, std::string_view explicitSettings,
                                const LocationEnvironment& environment);

// The logs' folder when the settings name none: "logs" beside the settings file.
std::string DefaultLogFolder(std::string_view settingsFile);

// Creates the settings file's missing folders (for the user alone) and, on a
// first start, copies the first seed file that exists to the settings file.
// Does not touch an existing settings file. Returns the user's message when a
// folder cannot be made, the file could not be created there, or the copy
// failed.
std::optional<std::string> PrepareSettingsFile(const AppLocations& locations);
