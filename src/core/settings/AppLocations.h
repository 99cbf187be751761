#pragma once
// Where the client keeps its settings file and its logs.
//
// A portable folder (the executable's folder is writable, or the settings file
// beside the executable can be saved) keeps both beside the executable. A
// system-wide install keeps them in the user's XDG folders and never writes
// beside the executable; its first start copies the installation's settings
// file (the server's address and port, the web addresses) to the user's copy.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LocationEnvironment {
    std::string Home;            // $HOME
    std::string XdgConfigHome;   // $XDG_CONFIG_HOME
    std::string XdgDataHome;     // $XDG_DATA_HOME
};

struct AppLocations {
    std::string SettingsFile;
    std::string LogFolder;
    // Installation files the user's copy starts from, in order of preference;
    // empty when the settings file is used where it is.
    std::vector<std::string> SeedFiles;
};

LocationEnvironment ProcessEnvironment();

// explicitSettings: the file named on the command line, or empty.
AppLocations ChooseAppLocations(std::string_view exePath, std::string_view explicitSettings,
                                const LocationEnvironment& environment);

// On a first start, copies the first seed file that exists to the settings
// file, creating its folders for the user alone. Does nothing when the
// settings file exists. Returns the user's message when the copy failed.
std::optional<std::string> PrepareSettingsFile(const AppLocations& locations);
