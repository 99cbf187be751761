#include "Settings.h"

SettingsRecord ReadSettings(const IniFile& ini, const FormBounds& current)
{
    SettingsRecord record;
    record.Form.Top = ini.ReadInteger("Form", "Top", current.Top);
    record.Form.Left = ini.ReadInteger("Form", "Left", current.Left);
    record.Form.Width = ini.ReadInteger("Form", "Width", current.Width);
    record.Form.Height = ini.ReadInteger("Form", "Height", current.Height);
    record.Form.RoomHeight = ini.ReadInteger("Form", "RoomHeight", current.RoomHeight);
    record.RoomVisible = ini.ReadBool("Form", "RoomVisible", true);

    record.UserName = ini.ReadString("Common", "Name", "");
    record.ServerAddress = ini.ReadString("Common", "IP", "");
    const int port = ini.ReadInteger("Common", "Port", 0);
    record.ServerPort = port >= 0 && port <= 65535 ? port : 0;

    record.UrlHome = ini.ReadString("URL", "Home", "");
    record.UrlGate = ini.ReadString("URL", "Gate", "");
    record.UrlReserve = ini.ReadString("URL", "Reserve", "");
    record.UrlHoudou = ini.ReadString("URL", "Houdou", "");
    record.UrlDownload = ini.ReadString("URL", "Download", "");

    ReadStartRooms(record.StartRooms, ini);
    return record;
}

void WriteSettings(IniFile& ini, const SettingsRecord& record)
{
    ini.WriteInteger("Form", "Top", record.Form.Top);
    ini.WriteInteger("Form", "Left", record.Form.Left);
    ini.WriteInteger("Form", "Width", record.Form.Width);
    ini.WriteInteger("Form", "Height", record.Form.Height);
    ini.WriteInteger("Form", "RoomHeight", record.Form.RoomHeight);
    ini.WriteBool("Form", "RoomVisible", record.RoomVisible);
    ini.WriteString("Common", "Name", record.UserName);
    WriteStartRooms(record.StartRooms, ini);
}

std::string SettingsFileName(std::string_view exePath)
{
    const std::size_t slash = exePath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = exePath.rfind('.');
    // A leading dot makes a hidden file, not an extension.
    const bool hasExtension = dot != std::string_view::npos && dot > nameStart;
    return std::string(exePath.substr(0, hasExtension ? dot : exePath.size())) + ".INI";
}
