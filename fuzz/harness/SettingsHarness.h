#pragma once
// One fuzz input through the settings file: reading, writing and reading again.
// Shared by the libFuzzer target and the replay test.
//
// Byte 0 chooses the mode, the rest is split as described at each mode:
// - even: the rest is a settings file. It is read, the program's keys are
//   written back as the program does at exit, and the result is read again:
//   every setting must come back as first read (texts cut at their first CR,
//   LF or NUL, which a line cannot hold), and writing it once more must not
//   change a byte.
// - odd: a settings record is built from the input and written into the
//   settings file that follows it; reading the file back must give that
//   record, and the keys the program never writes must be as before.

#include "IniFile.h"
#include "Settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kvfuzz {

namespace settings {

inline bool WriteFile(const std::string& path, std::string_view bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// What a value keeps once written: a line holds no CR, LF or NUL.
inline std::string Storable(std::string_view text)
{
    return std::string(text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3))));
}

inline SettingsRecord Storable(SettingsRecord record)
{
    record.UserName = Storable(record.UserName);
    for (int i = 0; i < record.StartRooms.Count; ++i) {
        record.StartRooms.Rooms[i].Name = Storable(record.StartRooms.Rooms[i].Name);
        record.StartRooms.Rooms[i].Password = Storable(record.StartRooms.Rooms[i].Password);
    }
    return record;
}

inline std::string Compare(const SettingsRecord& want, const SettingsRecord& got)
{
    if (want.Form.Top != got.Form.Top || want.Form.Left != got.Form.Left || want.Form.Width != got.Form.Width
        || want.Form.Height != got.Form.Height || want.Form.RoomHeight != got.Form.RoomHeight)
        return "window bounds";
    if (want.RoomVisible != got.RoomVisible)
        return "room list visibility";
    if (want.UserName != got.UserName)
        return "user name";
    if (want.ServerAddress != got.ServerAddress || want.ServerPort != got.ServerPort)
        return "server address";
    if (want.UrlHome != got.UrlHome || want.UrlGate != got.UrlGate || want.UrlReserve != got.UrlReserve
        || want.UrlHoudou != got.UrlHoudou || want.UrlDownload != got.UrlDownload)
        return "web addresses";
    if (want.StartRooms.Count != got.StartRooms.Count)
        return "start-up room count";
    for (int i = 0; i < want.StartRooms.Count; ++i) {
        if (want.StartRooms.Rooms[i].Name != got.StartRooms.Rooms[i].Name
            || want.StartRooms.Rooms[i].Password != got.StartRooms.Rooms[i].Password)
            return "start-up room " + std::to_string(i + 1);
    }
    return {};
}

// Reads fields off the front of the input; past its end every field is empty or 0.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::int32_t Int()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | Byte();
        return static_cast<std::int32_t>(v);
    }
    std::string Text()
    {
        const std::size_t wanted = Byte() % 64;
        const std::size_t n = std::min<std::size_t>(wanted, size_ - pos_);
        std::string text(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return text;
    }
    std::string_view Rest() const
    {
        return {reinterpret_cast<const char*>(data_ + pos_), size_ - pos_};
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

inline std::string RoundTripFile(std::string_view file, const std::string& path)
{
    const FormBounds current;
    if (!WriteFile(path, file))
        return "cannot write the scratch file";
    IniFile first;
    if (!first.Load(path))
        return "cannot read the scratch file";
    const SettingsRecord read = ReadSettings(first, current);
    WriteSettings(first, read);
    const std::string written = first.Bytes();

    if (!WriteFile(path, written))
        return "cannot write the scratch file";
    IniFile second;
    second.Load(path);
    const SettingsRecord again = ReadSettings(second, current);
    if (const std::string what = Compare(Storable(read), again); !what.empty())
        return "a setting changed on its way through the file: " + what;
    WriteSettings(second, again);
    if (second.Bytes() != written)
        return "writing the same settings again changed the file";
    return {};
}

inline std::string WriteRecordIntoFile(Cursor& in, const std::string& path)
{
    const FormBounds current;
    SettingsRecord record;
    record.Form.Top = in.Int();
    record.Form.Left = in.Int();
    record.Form.Width = in.Int();
    record.Form.Height = in.Int();
    record.Form.RoomHeight = in.Int();
    record.RoomVisible = (in.Byte() & 1) != 0;
    record.UserName = in.Text();
    record.StartRooms.Count = in.Byte() % 8;
    for (int i = 0; i < record.StartRooms.Count; ++i) {
        record.StartRooms.Rooms[i].Name = in.Text();
        record.StartRooms.Rooms[i].Password = in.Text();
    }

    if (!WriteFile(path, in.Rest()))
        return "cannot write the scratch file";
    IniFile ini;
    if (!ini.Load(path))
        return "cannot read the scratch file";
    const SettingsRecord before = ReadSettings(ini, current);
    WriteSettings(ini, record);
    if (!WriteFile(path, ini.Bytes()))
        return "cannot write the scratch file";
    IniFile after;
    after.Load(path);
    const SettingsRecord got = ReadSettings(after, current);

    SettingsRecord want = Storable(record);
    if (want.StartRooms.Count == 0) {
        want.StartRooms.Count = 1;
        want.StartRooms.Rooms[0] = TStartRoom{std::string(DefaultRoomName), {}};
    }
    // Only read, never written: these must be what the file held.
    want.ServerAddress = before.ServerAddress;
    want.ServerPort = before.ServerPort;
    want.UrlHome = before.UrlHome;
    want.UrlGate = before.UrlGate;
    want.UrlReserve = before.UrlReserve;
    want.UrlHoudou = before.UrlHoudou;
    want.UrlDownload = before.UrlDownload;
    if (const std::string what = Compare(want, got); !what.empty())
        return "a written setting did not read back: " + what;
    return {};
}

} // namespace settings

// scratchPath: a file the harness may overwrite.
inline std::string RunSettings(const std::uint8_t* data, std::size_t size, const std::string& scratchPath)
{
    if (size == 0)
        return {};
    settings::Cursor in(data + 1, size - 1);
    if ((data[0] & 1) == 0)
        return settings::RoundTripFile(in.Rest(), scratchPath);
    return settings::WriteRecordIntoFile(in, scratchPath);
}

} // namespace kvfuzz
