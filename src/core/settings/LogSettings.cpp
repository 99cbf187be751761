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
    if (!settings.Enabled || ini.HasKey(Section, "Enabled"))
        ini.WriteBool(Section, "Enabled", settings.Enabled);
}
