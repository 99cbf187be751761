#include "Options.h"

#include "LogSettings.h"

#include <algorithm>
#include <array>

OptionsRecord ReadOptions(const IniFile& ini)
{
    OptionsRecord options;
    options.Timestamps = ini.ReadBool("Option", "Timestamps", false);
    options.Notifications = ini.ReadBool("Option", "Notifications", true);
    options.HighlightWords = ini.ReadString("Option", "HighlightWords", "");
    options.AutoReconnect = ini.ReadBool("Option", "AutoReconnect", true);
    options.LogEnabled = ReadLogSettings(ini).Enabled;
    options.LogFolder = ini.ReadString("Log", "Folder", "");
    options.FontFamily = ini.ReadString("Option", "FontFamily", "");
    options.FontSize = std::clamp(ini.ReadInteger("Option", "FontSize", OptionsRecord::DefaultFontSize),
                                  OptionsRecord::MinFontSize, OptionsRecord::MaxFontSize);
    options.Zoom = std::clamp(ini.ReadInteger("Option", "Zoom", 100), OptionsRecord::MinZoom, OptionsRecord::MaxZoom);
    options.KeepInTray = ini.ReadBool("Option", "KeepInTray", false);
    options.AnnounceLines = ini.ReadBool("Accessibility", "AnnounceLines", true);
    return options;
}

void WriteOptions(IniFile& ini, const OptionsRecord& options)
{
    ini.WriteBool("Option", "Timestamps", options.Timestamps);
    ini.WriteBool("Option", "Notifications", options.Notifications);
    ini.WriteString("Option", "HighlightWords", options.HighlightWords);
    ini.WriteBool("Option", "AutoReconnect", options.AutoReconnect);
    // Like Enabled, the folder is written only when set or already in the file.
    WriteLogSettings(ini, LogSettings{options.LogEnabled});
    if (!options.LogFolder.empty() || ini.HasKey("Log", "Folder"))
        ini.WriteString("Log", "Folder", options.LogFolder);
    if (!options.FontFamily.empty() || ini.HasKey("Option", "FontFamily"))
        ini.WriteString("Option", "FontFamily", options.FontFamily);
    if (options.FontSize != OptionsRecord::DefaultFontSize || ini.HasKey("Option", "FontSize"))
        ini.WriteInteger("Option", "FontSize", options.FontSize);
    WriteZoom(ini, options.Zoom);
    if (options.KeepInTray || ini.HasKey("Option", "KeepInTray"))
        ini.WriteBool("Option", "KeepInTray", options.KeepInTray);
    if (!options.AnnounceLines || ini.HasKey("Accessibility", "AnnounceLines"))
        ini.WriteBool("Accessibility", "AnnounceLines", options.AnnounceLines);
}

void WriteZoom(IniFile& ini, int zoom)
{
    if (zoom != 100 || ini.HasKey("Option", "Zoom"))
        ini.WriteInteger("Option", "Zoom", zoom);
}

int NextZoom(int zoom, int direction)
{
    static constexpr std::array<int, 13> Steps = {50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
    if (direction > 0) {
        const auto* next = std::upper_bound(Steps.begin(), Steps.end(), zoom);
        return next == Steps.end() ? zoom : *next;
    }
    const auto* next = std::lower_bound(Steps.begin(), Steps.end(), zoom);
    return next == Steps.begin() ? zoom : *(next - 1);
}

std::optional<std::string> SaveOptions(const std::string& path, const OptionsRecord& options)
{
    IniFile ini;
    // An unreadable file is not replaced by one holding only the options.
    if (!ini.Load(path))
        return path + " に書き込めません";
    WriteOptions(ini, options);
    return ini.Save();
}
