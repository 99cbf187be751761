#include "Options.h"

#include "LogSettings.h"

OptionsRecord ReadOptions(const IniFile& ini)
{
    OptionsRecord options;
    options.Timestamps = ini.ReadBool("Option", "Timestamps", false);
    options.Notifications = ini.ReadBool("Option", "Notifications", true);
    options.HighlightWords = ini.ReadString("Option", "HighlightWords", "");
    options.AutoReconnect = ini.ReadBool("Option", "AutoReconnect", true);
    options.LogEnabled = ReadLogSettings(ini).Enabled;
    options.LogFolder = ini.ReadString("Log", "Folder", "");
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
