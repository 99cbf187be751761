#include "FormationFile.h"

#include "BoardLines.h"
#include "FileErrors.h"
#include "IniFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view FileHeading =
    "; kvchat formations: a [title] line, then the board's position line and name line\n";
constexpr std::string_view FileName = "kvchat-formations.txt";

// The pitch size in pixels that markers of a read formation carry; only their
// hundredths and names are ever taken from it.
constexpr std::int32_t PitchWidth = 200;
constexpr std::int32_t PitchHeight = 300;

std::string_view NextLine(std::string_view& bytes)
{
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return line;
}

bool HasTitle(const std::vector<SavedFormation>& formations, std::string_view title)
{
    return std::any_of(formations.begin(), formations.end(),
                       [&](const SavedFormation& f) { return f.Title == title; });
}

// Reads one formation's two lines after its title; the file stays readable past
// a formation it cannot read.
class FormationReader {
public:
    explicit FormationReader(FormationFileContents& contents) : out(contents) {}

    void Title(std::string_view title)
    {
        Finish();
        if (!IsValidFormationTitle(title) || HasTitle(out.Formations, title)
            || out.Formations.size() >= MaxFormations) {
            out.Damaged = true;
            skipping = true;
            return;
        }
        SavedFormation formation{std::string(title), {}};
        ResetCharItems(formation.Items, PitchWidth, PitchHeight);
        current = std::move(formation);
        linesRead = 0;
        skipping = false;
    }

    void BoardLine(std::string_view line)
    {
        if (!current) {
            out.Damaged = out.Damaged || !skipping;
            return;
        }
        const bool wantPositions = linesRead == 0;
        if (linesRead >= 2 || line.starts_with(PositionLinePrefix) != wantPositions) {
            out.Damaged = true;
            return;
        }
        const BoardItemsResult read = ApplyBoardLine(current->Items, line);
        if (!read.complete || read.count == 0)
            out.Damaged = true;
        ++linesRead;
    }

    void Finish()
    {
        if (!current)
            return;
        if (linesRead < 2)
            out.Damaged = true;
        // A title without its positions is nothing to load.
        if (linesRead > 0)
            out.Formations.push_back(std::move(*current));
        current.reset();
    }

private:
    FormationFileContents& out;
    std::optional<SavedFormation> current;
    int linesRead = 0;
    bool skipping = false;
};

std::string CannotRead(const std::string& path)
{
    return "フォーメーションのファイルを読めません: " + path;
}

std::optional<std::string> ReadWhole(const std::string& path, std::string& bytes, bool& tooLarge)
{
    // Not blocking, so that a pipe in the file's place cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::nullopt : std::optional(CannotRead(path));
    struct stat status {};
    bool failed = ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode);
    bytes.resize(MaxFormationFileBytes + 1);
    std::size_t got = 0;
    while (!failed && got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n == 0)
            break;
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            failed = true;
    }
    ::close(fd);
    bytes.resize(failed ? 0 : got);
    tooLarge = got > MaxFormationFileBytes;
    if (failed)
        return CannotRead(path);
    return std::nullopt;
}

// Copies the regular file from into a new file to, flushed to the disk.
// Returns 0, or the errno that stopped it: the user is told the disk's own
// reason (full, too large), which a library copy reports as a mere I/O error.
int CopyWhole(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return errno;
    struct stat status {};
    if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(in);
        return EINVAL;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0777);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        for (ssize_t done = 0; error == 0 && done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w >= 0)
                done += w;
            else if (errno != EINTR)
                error = errno;
        }
        if (error != 0)
            break;
    }
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && error == 0)
        error = errno;
    ::close(in);
    return error;
}

}   // namespace

bool IsValidFormationTitle(std::string_view Title)
{
    if (Title.empty() || Title.size() > MaxFormationTitleBytes || Title.front() == ' ' || Title.back() == ' ')
        return false;
    return std::none_of(Title.begin(), Title.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

FormationFileContents ParseFormationFile(std::string_view Bytes)
{
    FormationFileContents contents;
    if (Bytes.size() > MaxFormationFileBytes) {
        contents.Damaged = true;
        Bytes = Bytes.substr(0, MaxFormationFileBytes);
    }
    FormationReader reader(contents);
    while (!Bytes.empty()) {
        const std::string_view line = NextLine(Bytes);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[' && line.size() >= 2 && line.back() == ']')
            reader.Title(line.substr(1, line.size() - 2));
        else if (line.starts_with(PositionLinePrefix) || line.starts_with(NameLinePrefix))
            reader.BoardLine(line);
        else
            contents.Damaged = true;
    }
    reader.Finish();
    return contents;
}

std::string FormatFormationFile(const std::vector<SavedFormation>& Formations)
{
    std::string bytes(FileHeading);
    for (const SavedFormation& formation : Formations) {
        bytes += '[';
        bytes += formation.Title;
        bytes += "]\n";
        AppendAllPositions(formation.Items, bytes);
        bytes += '\n';
        AppendAllNames(formation.Items, bytes);
        bytes += '\n';
    }
    return bytes;
}

std::string FormationFilePath(std::string_view SettingsFile)
{
    const std::filesystem::path settings{std::string(SettingsFile)};
    return (settings.parent_path() / std::string(FileName)).string();
}

std::optional<std::string> FormationStore::Load()
{
    formations.clear();
    damaged = false;
    std::string bytes;
    bool tooLarge = false;
    if (auto failure = ReadWhole(path, bytes, tooLarge)) {
        damaged = true;   // never written over: what it holds cannot be kept
        return failure;
    }
    FormationFileContents contents = ParseFormationFile(bytes);
    formations = std::move(contents.Formations);
    damaged = contents.Damaged || tooLarge;
    if (!damaged)
        return std::nullopt;
    return "フォーメーションのファイルの一部を読めませんでした。読めたものだけを使います。"
           "次に保存するとき、元のファイルは .damaged を付けた名前で残します: " + path;
}

std::optional<std::string> FormationStore::Save(std::string_view Title, const CharItemTable& Items)
{
    if (!IsValidFormationTitle(Title))
        return std::string("フォーメーションの名前は1～40バイトで、制御文字と前後の空白は使えません");
    const Kept kept{formations, damaged};
    reread();
    auto same = std::find_if(formations.begin(), formations.end(),
                             [&](const SavedFormation& f) { return f.Title == Title; });
    if (same == formations.end() && formations.size() >= MaxFormations) {
        restore(kept);
        return "フォーメーションは" + std::to_string(MaxFormations) + "個まで保存できます";
    }
    if (same != formations.end())
        same->Items = Items;
    else
        formations.push_back({std::string(Title), Items});
    // One limit for writing and reading: a file written past it would lose its end.
    if (FormatFormationFile(formations).size() > MaxFormationFileBytes) {
        restore(kept);
        return "フォーメーションのファイルが " + std::to_string(MaxFormationFileBytes / 1024)
             + "KB を超えるため保存しません。使わないものを削除してください";
    }
    auto failure = write();
    if (failure)
        restore(kept);
    return failure;
}

std::optional<std::string> FormationStore::Remove(std::string_view Title)
{
    const Kept kept{formations, damaged};
    reread();
    const std::size_t before = formations.size();
    std::erase_if(formations, [&](const SavedFormation& f) { return f.Title == Title; });
    if (formations.size() == before)
        return std::nullopt;
    auto failure = write();
    if (failure)
        restore(kept);
    return failure;
}

void FormationStore::restore(const Kept& kept)
{
    formations = kept.formations;
    damaged = kept.damaged;
}

void FormationStore::reread()
{
    // Another instance of the program may have saved since the list was read;
    // what it kept is written back, not over.
    Load();
}

std::optional<std::string> FormationStore::write()
{
    std::error_code error;
    if (damaged && std::filesystem::exists(path, error)) {
        // The damaged file is set aside whole before it is written over.
        std::string aside = path + ".damaged";
        for (int n = 1; std::filesystem::exists(aside, error) && n < 100; ++n)
            aside = path + ".damaged." + std::to_string(n);
        // Copied beside it and then moved into place, as the file itself is
        // written: a full disk leaves no half copy for the user to trust.
        const std::string partial = aside + ".tmp";
        std::filesystem::remove(partial, error);
        int failed = CopyWhole(path, partial);
        if (failed == 0 && (std::filesystem::rename(partial, aside, error), error))
            failed = error.value();
        if (failed != 0) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return "壊れたフォーメーションのファイルを残せないため、保存しません: " + aside + "（"
                 + FileErrorReason(failed) + "）";
        }
    }
    if (auto failure = WriteFileAtomically(path, FormatFormationFile(formations)))
        return failure;
    damaged = false;
    return std::nullopt;
}
