#pragma once
// Everything the client keeps in its settings file, and how the file holds it.
// The main window applies the record to its widgets; this part knows only the
// file.

#include "IniFile.h"
#include "StartRooms.h"

#include <string>
#include <string_view>

// The main window's bounds and its room-list panel's height, in pixels.
// The initial values are the window's design values.
struct FormBounds {
    int Top = 111;
    int Left = 411;
    int Width = 561;
    int Height = 541;
    int RoomHeight = 201;
};

struct SettingsRecord {
    FormBounds Form;
    bool RoomVisible = true;
    std::string UserName;       // Common/Name
    std::string ServerAddress;  // Common/IP, only read
    int ServerPort = 0;         // Common/Port, only read; 0 when outside 0..65535
    std::string UrlHome;        // URL section, only read
    std::string UrlGate;
    std::string UrlReserve;
    std::string UrlHoudou;
    std::string UrlDownload;
    TStartRoomList StartRooms;
};

// current: the window's bounds now, the defaults of the Form keys.
SettingsRecord ReadSettings(const IniFile& ini, const FormBounds& current);

// Writes the Form keys, Common/Name and the start-up rooms, in that order.
// The address, the port and the web addresses are never written: the
// installation supplies them.
void WriteSettings(IniFile& ini, const SettingsRecord& record);

// The executable's path with its extension replaced by ".INI", or with ".INI"
// appended when its file name has none.
std::string SettingsFileName(std::string_view exePath);
