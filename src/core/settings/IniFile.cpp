#include "IniFile.h"

#include "FileErrors.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// ASCII letters are folded; the second byte of a double-byte character is
// left alone even when it looks like a letter.
std::string FoldCase(std::string_view name)
{
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (IsLeadByte(c) && i + 1 < folded.size()) {
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z')
            folded[i] = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

// "]" may be the second byte of a double-byte character.
std::size_t FindClosingBracket(std::string_view text, std::size_t from)
{
    for (std::size_t i = from; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(c) && i + 1 < text.size())
            ++i;
        else if (c == ']')
            return i;
    }
    return std::string_view::npos;
}

std::string ReadFailureReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return "読み取りの権限がありません";
    case EISDIR: return "ファイルではなくフォルダです";
    case EINVAL: return "通常のファイルではありません";
    case EIO: return "入出力エラーが起きました";
    case ENOTDIR: return "途中のフォルダがフォルダではありません";
    case ELOOP: return "シンボリックリンクが循環しています";
    case ENAMETOOLONG: return "パスが長すぎます";
    default: return "エラー番号 " + std::to_string(error);
    }
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind Kind = LineKind::Other;
    std::string_view Name;   // section or key name, a view into the line
    std::string_view Value;  // a key's raw value, blanks trimmed
};

ParsedLine ParseLine(std::string_view text)
{
    const std::string_view body = TrimBlanks(text);
    if (body.empty() || body.front() == ';')
        return {};
    if (body.front() == '[') {
        const std::size_t close = FindClosingBracket(body, 1);
        if (close != std::string_view::npos)
            return {LineKind::Section, TrimBlanks(body.substr(1, close - 1)), {}};
    }
    const std::size_t equals = body.find('=');
    if (equals == std::string_view::npos)
        return {};
    const std::string_view key = TrimBlanks(body.substr(0, equals));
    if (key.empty())
        return {};
    return {LineKind::Key, key, TrimBlanks(body.substr(equals + 1))};
}

bool IsEnclosedInQuotes(std::string_view value)
{
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front();
}

std::optional<int> ParseDigits(std::string_view digits, int base, bool negative)
{
    if (digits.empty())
        return std::nullopt;
    long long magnitude = 0;
    for (const char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > -static_cast<long long>(INT_MIN))
            return std::nullopt;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> ParseInteger(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseDigits(text.substr(2), 16, false);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    return ParseDigits(text, base, negative);
}

// What goes after "key=" so that reading gives value back.
std::string StoredForm(std::string_view value)
{
    const std::size_t end = value.find_first_of(std::string_view("\r\n\0", 3));
    if (end != std::string_view::npos)
        value = value.substr(0, end);
    const bool changedByReading = !value.empty()
        && (IsBlank(value.front()) || IsBlank(value.back()) || IsEnclosedInQuotes(value));
    if (changedByReading)
        return '"' + std::string(value) + '"';
    return std::string(value);
}

bool EndsLine(const std::string& ending)
{
    return !ending.empty() && ending.back() == '\n';
}

}  // namespace

bool IniFile::Load(const std::string& path)
{
    FilePath = path;
    LoadFailureReason.clear();
    Lines.clear();

    // Non-blocking, so that a pipe in the file's place cannot hang the start.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        LoadFailureReason = ReadFailureReason(errno);
        return false;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        LoadFailureReason = ReadFailureReason(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
        close(fd);
        return false;
    }
    std::string data;
    std::array<char, 65536> buffer;
    int error = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            data.append(buffer.data(), static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    close(fd);
    if (error != 0) {
        LoadFailureReason = ReadFailureReason(error);
        return false;
    }

    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t lf = data.find('\n', start);
        if (lf == std::string::npos) {
            std::string text = data.substr(start);
            std::string ending;
            if (text.back() == '\r') {
                text.pop_back();
                ending = "\r";
            }
            Lines.push_back({std::move(text), std::move(ending)});
            break;
        }
        std::size_t end = lf;
        std::string ending = "\n";
        if (end > start && data[end - 1] == '\r') {
            --end;
            ending = "\r\n";
        }
        Lines.push_back({data.substr(start, end - start), std::move(ending)});
        start = lf + 1;
    }
    return true;
}

std::optional<std::size_t> IniFile::FindSection(std::string_view section) const
{
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(Lines[i].Text);
        if (parsed.Kind == LineKind::Section && SameName(parsed.Name, section))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(std::size_t sectionLine, std::string_view key) const
{
    for (std::size_t i = sectionLine + 1; i < Lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(Lines[i].Text);
        if (parsed.Kind == LineKind::Section)
            break;
        if (parsed.Kind == LineKind::Key && SameName(parsed.Name, key))
            return i;
    }
    return std::nullopt;
}

std::size_t IniFile::AppendPointOf(std::size_t sectionLine) const
{
    std::size_t after = sectionLine + 1;
    for (std::size_t i = sectionLine + 1; i < Lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(Lines[i].Text);
        if (parsed.Kind == LineKind::Section)
            break;
        if (parsed.Kind == LineKind::Key)
            after = i + 1;
    }
    return after;
}

void IniFile::InsertLine(std::size_t index, std::string text)
{
    if (index > 0 && !EndsLine(Lines[index - 1].Ending))
        Lines[index - 1].Ending = "\r\n";
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(index), Line{std::move(text), "\r\n"});
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    const auto sectionLine = FindSection(section);
    if (!sectionLine)
        return std::string(defaultValue);
    const auto keyLine = FindKey(*sectionLine, key);
    if (!keyLine)
        return std::string(defaultValue);
    std::string_view value = ParseLine(Lines[*keyLine].Text).Value;
    if (IsEnclosedInQuotes(value))
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, MaxValueLength));
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const
{
    const auto sectionLine = FindSection(section);
    return sectionLine && FindKey(*sectionLine, key);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const
{
    return ParseInteger(ReadString(section, key, "")).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string stored = StoredForm(value);
    const auto sectionLine = FindSection(section);
    if (!sectionLine) {
        InsertLine(Lines.size(), '[' + std::string(section) + ']');
        InsertLine(Lines.size(), std::string(key) + '=' + stored);
        return;
    }
    if (const auto keyLine = FindKey(*sectionLine, key)) {
        std::string& text = Lines[*keyLine].Text;
        // Keep the line's indentation and the key as the file spells it.
        const std::string_view name = ParseLine(text).Name;
        const std::size_t nameEnd = static_cast<std::size_t>(name.data() - text.data()) + name.size();
        text = text.substr(0, nameEnd) + '=' + stored;
        return;
    }
    InsertLine(AppendPointOf(*sectionLine), std::string(key) + '=' + stored);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::string IniFile::Bytes() const
{
    std::string bytes;
    for (const Line& line : Lines) {
        bytes += line.Text;
        bytes += line.Ending;
    }
    return bytes;
}

std::optional<std::string> IniFile::Save() const
{
    return WriteFileAtomically(FilePath, Bytes());
}

namespace {

// The write bits are checked as well as access(): a file the user marked
// read-only must stay untouched even for root, whom access() lets through.
bool MayWrite(const std::string& path, const struct stat& status, int extraAccess = 0)
{
    return (status.st_mode & 0222) != 0
        && faccessat(AT_FDCWD, path.c_str(), W_OK | extraAccess, AT_EACCESS) == 0;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryFileName(const std::string& path, long pid)
{
    return path + '.' + std::to_string(pid) + ".tmp";
}

void RemoveStaleTemporaries(const std::string& path)
{
    const std::string prefix = FileNameOf(path) + '.';
    const std::string suffix = ".tmp";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(FolderOf(path), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0
            || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::stol(digits);
        if (pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove(entry.path(), error);
    }
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes the rename itself durable; a failure here loses nothing already written.
void SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes,
                                               const std::function<void()>& beforeRename)
{
    // The path and, from errno, the reason; a refused write bit is a missing permission.
    const auto failure = [&path](int error) { return path + " に書き込めません（" + FileErrorReason(error) + "）"; };
    if (path.empty())
        return failure(ENOENT);

    std::string target = path;
    struct stat old {};
    bool exists = false;
    if (lstat(path.c_str(), &old) == 0) {
        if (S_ISLNK(old.st_mode)) {
            const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                                       &std::free);
            if (!resolved || stat(resolved.get(), &old) != 0)
                return failure(errno);
            target = resolved.get();
        }
        exists = true;
        if (S_ISDIR(old.st_mode))
            return failure(EISDIR);
        if (!S_ISREG(old.st_mode) || !MayWrite(target, old))
            return failure(EACCES);
    } else if (errno != ENOENT) {
        return failure(errno);
    }

    const std::string folder = FolderOf(target);
    struct stat folderStatus {};
    if (stat(folder.c_str(), &folderStatus) != 0)
        return failure(errno);
    if (!MayWrite(folder, folderStatus, X_OK))
        return failure(EACCES);

    RemoveStaleTemporaries(target);
    const std::string temporary = TemporaryFileName(target, getpid());
    unlink(temporary.c_str());  // our own, from a save of this process cut short
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(errno);
    if (exists && fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Keeping the owner is only possible for root; anyone else owns it already.
    }
    bool written = WriteAll(fd, bytes);
    written = written && fchmod(fd, exists ? (old.st_mode & 07777) : 0600) == 0;
    written = written && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        return failure(error);
    }

    if (beforeRename)
        beforeRename();
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return failure(error);
    }
    SyncFolder(folder);
    return std::nullopt;
}

bool CanWriteInFolder(const std::string& folder)
{
    struct stat status {};
    return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && MayWrite(folder, status, X_OK);
}

bool CanSaveFile(const std::string& path)
{
    std::string target = path;
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode) || !MayWrite(path, status))
            return false;
        const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
        if (resolved)
            target = resolved.get();
    } else if (errno != ENOENT) {
        return false;
    }
    return CanWriteInFolder(FolderOf(target));
}
