#pragma once
// The user's options: section [Option] of the settings file, plus the two keys
// of section [Log] that the options dialog shows and section [Accessibility]. Texts are CP932 like every
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
    // The log's and the chat input's font; the keys are written once they differ
    // from the default or stand in the file.
    std::string FontFamily;       // Option/FontFamily; empty means the form's font
    int FontSize = DefaultFontSize;   // Option/FontSize, in pixels
    int Zoom = 100;               // Option/Zoom: percent of FontSize, changed with Ctrl+plus and minus
    bool KeepInTray = false;      // Option/KeepInTray: closing the window leaves the program in the tray
    // Accessibility/AnnounceLines: each new line of the room on screen is told to
    // a screen reader; a section of its own, which the Windows peers do not read.
    bool AnnounceLines = true;
    static constexpr int DefaultFontSize = 12;
    static constexpr int MinFontSize = 6;
    static constexpr int MaxFontSize = 72;
    static constexpr int MinZoom = 50;
    static constexpr int MaxZoom = 300;
    bool operator==(const OptionsRecord&) const = default;
};

OptionsRecord ReadOptions(const IniFile& ini);
void WriteOptions(IniFile& ini, const OptionsRecord& options);
// The zoom alone: it changes with the window's keys and is kept with the window's state.
void WriteZoom(IniFile& ini, int zoom);

// The zoom steps of Ctrl+plus and Ctrl+minus, in percent: the next step from
// zoom in that direction, zoom itself at either end.
int NextZoom(int zoom, int direction);

// Writes the options into the file at path, leaving every other line as it
// is. Returns the user's message on failure.
std::optional<std::string> SaveOptions(const std::string& path, const OptionsRecord& options);
