#pragma once
// The chat log's key in the settings file, [Log] Enabled (default 1). Written only
// once it differs from its default or stands in the file already, so a file that
// never had it stays as it was.

#include "IniFile.h"

struct LogSettings {
    bool Enabled = true;
};

LogSettings ReadLogSettings(const IniFile& ini);
void WriteLogSettings(IniFile& ini, const LogSettings& settings);
