#pragma once
// The user's options: section [Option] of the settings file, plus the two keys
// of section [Log] that the options dialog shows. Texts are CP932 like every
// other value of the file.

#include "IniFile.h"

#include <optional>
#include <string>

struct OptionsRecord {
    bool Timestamps = false;      // Option/Timestamps: "HH:MM" before each log line
    bool Notifications = true;    // Option/Notifications: desktop notice of a mention
    std::string HighlightWords;   // Option/HighlightWords: extra words that count as a mention
    bool AutoReconnect = true;    // Option/AutoReconnect
    bool LogEnabled = true;       // Log/Enabled
    std::string LogFolder;        // Log/Folder; empty means the default folder (beside the settings)
    bool operator==(const OptionsRecord&) const = default;
};

OptionsRecord ReadOptions(const IniFile& ini);
void WriteOptions(IniFile& ini, const OptionsRecord& options);

// Writes the options into the file at path, leaving every other line as it
// is. Returns the user's message on failure.
std::optional<std::string> SaveOptions(const std::string& path, const OptionsRecord& options);
