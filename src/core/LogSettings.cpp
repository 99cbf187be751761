#include "LogSettings.h"

namespace {
constexpr std::string_view Section = "Log";
}

LogSettings ReadLogSettings(const IniFile& ini)
{
    LogSettings settings;
    settings.Enabled = ini.ReadBool(Section, "Enabled", true);
    return settings;
}

void WriteLogSettings(IniFile& ini, const LogSettings& settings)
{
    // A lone NUL never reads back from a file, so it marks the key as missing.
    const std::string_view missing("\0", 1);
    if (!settings.Enabled || ini.ReadString(Section, "Enabled", missing) != missing)
        ini.WriteBool(Section, "Enabled", settings.Enabled);
}
