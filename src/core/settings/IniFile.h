#pragma once
// An INI file held in memory, read and written the way the Windows private
// profile functions do it, so that files made by hand or by older installs
// keep working. Texts are Shift-JIS (CP932) bytes; lines end with CR LF.
//
// Only the lines a write touches change: comments, blank lines, unknown keys
// and sections, odd spacing and each line's own line end survive a save byte
// for byte.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    // Values longer than this are cut when read.
    static constexpr std::size_t MaxValueLength = 2047;

    // Reads the whole file. A missing file is an empty file. Returns false when
    // the file exists but cannot be read; the content is empty then, and
    // LoadFailure() tells why.
    bool Load(const std::string& path);
    const std::string& Path() const { return FilePath; }
    // Why the last Load failed, for the user (UTF-8); empty after a success.
    const std::string& LoadFailure() const { return LoadFailureReason; }

    // Section and key names are matched without regard to ASCII case. The
    // first section of that name and its first line with that key count.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // "0x1F" and "$1F" are hexadecimal, anything else decimal with an optional
    // sign; a value that does not parse as a whole, or does not fit, yields the
    // default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // Whether the key stands in the file (in the first section of that name).
    bool HasKey(std::string_view section, std::string_view key) const;

    // Replaces the value where the key stands, else adds the key at the end of
    // its section, else adds the section at the end of the file. A value ends
    // at its first CR, LF or NUL; a value that reading would change (outer
    // blanks, outer quotes) is written inside double quotes so it reads back
    // as given.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Writes the file atomically (see WriteFileAtomically). Returns no value on
    // success, else the message for the user: "<path> に書き込めません（reason）" (UTF-8).
    std::optional<std::string> Save() const;

    // The file as Save would write it.
    std::string Bytes() const;

private:
    struct Line {
        std::string Text;    // without its line end
        std::string Ending;  // "\r\n", "\n" or "" for a last line without one
    };

    std::optional<std::size_t> FindSection(std::string_view section) const;
    // The first key line of the section starting at sectionLine, if any.
    std::optional<std::size_t> FindKey(std::size_t sectionLine, std::string_view key) const;
    // Index of the line after the section's last key line (or its header).
    std::size_t AppendPointOf(std::size_t sectionLine) const;
    void InsertLine(std::size_t index, std::string text);

    std::string FilePath;
    std::string LoadFailureReason;
    std::vector<Line> Lines;
};

// Replaces the file at path with bytes, all or nothing: the bytes go to a
// temporary file in the same folder, are flushed to disk and then renamed
// over the old file. A file without write permission, or in a folder without
// it, is refused even for a user the system would let through (the
// read-only flag is the user's choice). An existing file keeps its permission
// bits; a new one gets 0600. A symbolic link is written through to its target.
// The temporary file is "<file>.<pid>.tmp"; one left by a process that no
// longer runs (a save cut short) is removed by the next save.
// beforeRename runs once the temporary file is complete; tests use it to stop
// a save at its most delicate point. Returns the user's message on failure.
std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes,
                                               const std::function<void()>& beforeRename = {});

// The checks WriteFileAtomically makes before it writes: whether a save of path
// could succeed now (the file, through a link, and its folder are writable).
bool CanSaveFile(const std::string& path);
// Whether files can be created in folder, by the same rule.
bool CanWriteInFolder(const std::string& folder);
