#include "HistoryPager.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace chatlog {

namespace {

constexpr std::size_t BlockBytes = 64 * 1024;
}  // namespace

std::vector<std::string> RoomMonthFiles(const std::filesystem::path& serverFolder, std::string_view stem)
{
    std::vector<std::string> months;
    std::error_code error;
    for (std::filesystem::directory_iterator it(serverFolder, error), last; !error && it != last;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsMonthFileOf(name, stem))
            months.push_back(name);
    }
    std::sort(months.rbegin(), months.rend());
    return months;
}

std::vector<std::string> ReadLinesFrom(const std::filesystem::path& file, std::uint64_t offset, std::size_t count,
                                       std::uint64_t scanLimit)
{
    std::vector<std::string> lines;
    const OpenedPlace folder = OpenServerFolder(file.parent_path(), false);
    if (!folder.Fd)
        return lines;
    const OpenedPlace opened = OpenLogFile(folder.Fd.Get(), file.parent_path(), file.filename().string(), false);
    if (!opened.Fd)
        return lines;
    const int fd = opened.Fd.Get();
    std::string raw;           // the line so far, at most a little past what is kept
    bool longer = false;       // the line has more bytes than raw
    std::uint64_t scanned = 0; // bytes of the line (or of its piece) so far
    bool pieceEnded = false;   // the last line was a piece cut at the limit
    struct stat st {};
    const std::uint64_t size = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : BlockBytes;
    std::string block(static_cast<std::size_t>(std::clamp<std::uint64_t>(size > offset ? size - offset : 1, 1, BlockBytes)),
                      '\0');
    while (lines.size() < count) {
        const ssize_t got = ::pread(fd, block.data(), block.size(), static_cast<off_t>(offset));
        if (got <= 0)
            break;
        offset += static_cast<std::uint64_t>(got);
        std::string_view bytes(block.data(), static_cast<std::size_t>(got));
        while (!bytes.empty() && lines.size() < count) {
            // A line end right after a piece ends that piece, not another, empty line.
            if (std::exchange(pieceEnded, false) && bytes.front() == '\n') {
                bytes.remove_prefix(1);
                continue;
            }
            const std::size_t nl = bytes.find('\n');
            std::string_view part = bytes.substr(0, nl);
            // A piece ends where the limit falls, as a line of its own.
            const bool cut = scanLimit > 0 && scanned + part.size() > scanLimit;
            if (cut)
                part = part.substr(0, static_cast<std::size_t>(scanLimit - scanned));
            scanned += part.size();
            const std::size_t room = MaxLineBytes + 4 - std::min(raw.size(), MaxLineBytes + 4);
            raw.append(part.substr(0, room));
            longer = longer || part.size() > room;
            if (!cut && nl == std::string_view::npos)
                break;
            lines.push_back(RestoredLine(raw));
            raw.clear();
            longer = false;
            scanned = 0;
            pieceEnded = cut;
            bytes.remove_prefix(cut ? part.size() : nl + 1);
        }
    }
    if (lines.size() < count && (!raw.empty() || longer))
        lines.push_back(RestoredLine(raw));
    return lines;
}

HistoryPager::HistoryPager(std::filesystem::path serverFolder, std::string_view stem)
    : folder_(std::move(serverFolder))
{
    OpenedPlace folder = OpenServerFolder(folder_, false);
    if (!folder.Fd)
        return;
    folderFd_ = std::move(folder.Fd);
    files_ = RoomMonthFiles(folder_, stem);
    for (const std::string& name : files_) {
        // A refused file (a link, another's) reads as empty.
        const OpenedPlace file = OpenLogFile(folderFd_.Get(), folder_, name, false);
        struct stat st {};
        const bool regular = file.Fd && ::fstat(file.Fd.Get(), &st) == 0 && S_ISREG(st.st_mode);
        sizes_.push_back(regular ? static_cast<std::uint64_t>(st.st_size) : 0);
    }
    if (!sizes_.empty())
        pos_.Offset = sizes_.front();
}

HistoryPager::~HistoryPager()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool HistoryPager::SeekAfterLine(std::string_view fileName, std::uint64_t offset, std::uint64_t scanLimit,
                                 std::string* shown)
{
    const auto it = std::find(files_.begin(), files_.end(), fileName);
    if (it == files_.end())
        return false;
    const auto index = static_cast<std::size_t>(it - files_.begin());
    const std::uint64_t size = sizes_[index];
    if (offset >= size || !OpenFile(index))
        return false;
    // The line's end: scanned forwards in blocks, nothing kept; past the scan
    // limit, the piece up to it counts as the line.
    const std::uint64_t limit = scanLimit > 0 && scanLimit_ > 0 ? std::min(scanLimit, scanLimit_) : scanLimit + scanLimit_;
    const std::uint64_t stop = limit > 0 ? std::min(size, offset + limit) : size;
    std::string block(static_cast<std::size_t>(std::min<std::uint64_t>(BlockBytes, size - offset)), '\0');
    std::uint64_t at = offset;
    char before = '\n';
    const bool startsLine = offset == 0 || (::pread(fd_, &before, 1, static_cast<off_t>(offset - 1)) == 1 && before == '\n');
    std::string raw;   // the line's first bytes, as many as are shown
    const auto give = [&] {
        if (shown != nullptr)
            *shown = startsLine ? ShownLine(raw) : std::string();
        return true;
    };
    while (at < stop) {
        const ssize_t got = ::pread(fd_, block.data(), static_cast<std::size_t>(std::min<std::uint64_t>(BlockBytes, stop - at)),
                                    static_cast<off_t>(at));
        if (got <= 0)
            break;
        const void* nl = std::memchr(block.data(), '\n', static_cast<std::size_t>(got));
        const std::size_t lineBytes =
            nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - block.data()) : static_cast<std::size_t>(got);
        raw.append(block.data(), std::min(lineBytes, MaxLineBytes + 4 - std::min(raw.size(), MaxLineBytes + 4)));
        if (nl != nullptr) {
            pos_ = {index, at + lineBytes + 1};
            return give();
        }
        at += static_cast<std::uint64_t>(got);
    }
    pos_ = {index, at < stop ? size : stop};
    return give();
}

bool HistoryPager::AtStart() const
{
    return pos_.File >= files_.size() || (pos_.Offset == 0 && pos_.File + 1 >= files_.size());
}

bool HistoryPager::OpenFile(std::size_t index)
{
    if (index == openIndex_)
        return fd_ >= 0;
    if (fd_ >= 0)
        ::close(fd_);
    openIndex_ = index;
    block_.clear();
    blockStart_ = 0;
    fd_ = OpenLogFile(folderFd_.Get(), folder_, files_[index], false).Fd.Release();
    return fd_ >= 0;
}

std::int64_t HistoryPager::LineEndBefore(std::uint64_t end)
{
    // Past the scan limit the piece starts there, as if a line end were just before it.
    const std::uint64_t floor = scanLimit_ > 0 && end > scanLimit_ ? end - scanLimit_ : 0;
    while (end > floor) {
        if (cancel_.load(std::memory_order_relaxed))
            return -3;
        if (!(blockStart_ < end && end <= blockStart_ + block_.size())) {
            const std::uint64_t start = end > BlockBytes ? end - BlockBytes : 0;
            block_.resize(static_cast<std::size_t>(end - start));
            const ssize_t got = ::pread(fd_, block_.data(), block_.size(), static_cast<off_t>(start));
            if (got != static_cast<ssize_t>(block_.size())) {
                // The file shrank or cannot be read: what is before counts as its start.
                block_.clear();
                return -2;
            }
            blockStart_ = start;
        }
        const std::uint64_t from = std::max(blockStart_, floor);
        const char* first = block_.data() + (from - blockStart_);
        if (const void* hit = ::memrchr(first, '\n', static_cast<std::size_t>(end - from)))
            return static_cast<std::int64_t>(blockStart_ + static_cast<std::uint64_t>(
                                                               static_cast<const char*>(hit) - block_.data()));
        end = from;
    }
    return static_cast<std::int64_t>(floor) - 1;
}

std::vector<std::string> HistoryPager::Older(std::size_t count)
{
    std::vector<std::string> lines;   // newest first until the end
    while (lines.size() < count && pos_.File < files_.size() && !cancel_.load(std::memory_order_relaxed)) {
        if (pos_.Offset == 0 || !OpenFile(pos_.File)) {
            if (pos_.File + 1 >= files_.size()) {
                pos_.Offset = 0;
                break;
            }
            ++pos_.File;
            pos_.Offset = sizes_[pos_.File];
            continue;
        }
        // The line ends before the line end that closes it (a file's last line may have none).
        std::uint64_t end = pos_.Offset;
        std::int64_t before = LineEndBefore(end);
        if (before >= 0 && static_cast<std::uint64_t>(before) == end - 1) {
            --end;
            before = LineEndBefore(end);
        }
        if (before == -3)
            break;
        if (before == -2) {
            pos_.Offset = 0;
            continue;
        }
        const std::uint64_t start = static_cast<std::uint64_t>(before + 1);
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(end - start, MaxLineBytes + 4));
        std::string raw(length, '\0');
        const ssize_t got = length == 0 ? 0 : ::pread(fd_, raw.data(), length, static_cast<off_t>(start));
        raw.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        lines.push_back(ShownLine(raw));
        pos_.Offset = start;
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}

}  // namespace chatlog
