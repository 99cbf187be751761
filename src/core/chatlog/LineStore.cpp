#include "LineStore.h"

#include "Cp932.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace {

// Most lines are short: texts share chunks of this size. A longer text gets a
// chunk of its own, so no line is ever cut.
constexpr std::size_t ChunkBytes = 8192;

// What a text view would take as the end of a line or paragraph.
constexpr std::array<std::string_view, 6> LineBreaks = {
    "\n", "\r",
    "\xE2\x80\xA8",   // U+2028 line separator
    "\xE2\x80\xA9",   // U+2029 paragraph separator
    "\xEF\xB7\x90",   // U+FDD0 and U+FDD1: noncharacters that text views use as frame marks
    "\xEF\xB7\x91",
};

// Copies text to out with every line break replaced by one blank.
void CopyFlattened(std::string_view text, std::string& out)
{
    out.clear();
    std::size_t done = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != '\n' && c != '\r' && c != 0xE2 && c != 0xEF)
            continue;
        for (std::string_view lineBreak : LineBreaks) {
            if (text.substr(i, lineBreak.size()) == lineBreak) {
                out.append(text.substr(done, i - done));
                out += ' ';
                done = i + lineBreak.size();
                i = done - 1;
                break;
            }
        }
    }
    out.append(text.substr(done));
}

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Utf8Of(char32_t c)
{
    std::string out;
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

// The characters that CP932 has a code for but reads back as another character
// (a wave dash comes back as a fullwidth tilde). Found once, by trying every
// character below U+10000 (CP932 has none above), so it holds whatever the
// converter does.
const std::vector<bool>& ChangedByCp932()
{
    static const std::vector<bool> changed = [] {
        std::vector<bool> set(0x10000);
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const std::string utf8 = Utf8Of(c);
            const std::optional<std::string> sjis = cp932::FromUtf8(utf8);
            set[c] = sjis && cp932::ToUtf8(*sjis) != utf8;
        }
        return set;
    }();
    return changed;
}

// utf8 is valid UTF-8 that CP932 can encode.
bool ReadsBackTheSame(std::string_view utf8)
{
    const std::vector<bool>& changed = ChangedByCp932();
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(utf8[i + k]); };
        if (b(0) < 0x80) {
            ++i;
        } else if (b(0) < 0xE0) {
            if (changed[((b(0) & 0x1Fu) << 6) | (b(1) & 0x3Fu)])
                return false;
            i += 2;
        } else {
            if (changed[((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu)])
                return false;
            i += 3;
        }
    }
    return true;
}

std::uint32_t StoredTime(std::int64_t time)
{
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(time, 0, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

LineStore::LineStore(std::size_t capacity) : capacity_(capacity) {}

bool LineStore::StartAppend(std::string_view utf8Text)
{
    ++appended_;
    if (capacity_ == 0)
        return false;
    if (count_ == capacity_)
        DropOldest();
    if (!decoded_.empty())
        decoded_.clear();
    CopyFlattened(utf8Text, flat_);
    return true;
}

void LineStore::Append(std::string_view utf8Text, std::uint8_t style, std::int64_t time, std::uint8_t flags)
{
    if (!StartAppend(utf8Text))
        return;
    // CP932 only where it reads back as the very same text: some characters
    // (a wave dash, for one) would come back as look-alikes.
    std::optional<std::string> sjis;
    if (!IsAscii(flat_)) {
        sjis = cp932::FromUtf8(flat_);
        if (sjis && !ReadsBackTheSame(flat_))
            sjis.reset();
    }
    Keep(sjis ? std::string_view(*sjis) : std::string_view(flat_), !sjis, style, time, flags);
}

void LineStore::AppendCp932(std::string_view cp932Text, std::string_view utf8Text, std::uint8_t style,
                            std::int64_t time, std::uint8_t flags)
{
    // A line break in the bytes would need flattening on both sides alike; such
    // rare lines take the general way.
    if (cp932Text.find_first_of("\r\n") != std::string_view::npos) {
        Append(utf8Text, style, time, flags);
        return;
    }
    if (!StartAppend(utf8Text))
        return;
    // The bytes read back as utf8Text by definition, look-alikes included.
    Keep(cp932Text, IsAscii(cp932Text), style, time, flags);
}

void LineStore::Keep(std::string_view bytes, bool isUtf8, std::uint8_t style, std::int64_t time, std::uint8_t flags)
{
    Chunk& chunk = ChunkFor(bytes.size());
    const Entry entry{StoredTime(time), static_cast<std::uint16_t>(chunk.used | (isUtf8 ? Utf8Text : 0)), style,
                      flags};
    std::copy(bytes.begin(), bytes.end(), chunk.bytes.get() + chunk.used);
    chunk.used += bytes.size();

    if (entries_.size() < capacity_) {
        // Still growing (nothing has been dropped yet, so the ring starts at 0).
        if (entries_.size() == entries_.capacity())
            entries_.reserve(std::min(capacity_, std::max<std::size_t>(64, 2 * entries_.capacity())));
        entries_.push_back(entry);
    } else {
        entries_[(head_ + count_) % capacity_] = entry;
    }
    ++count_;
}

LineStore::Chunk& LineStore::ChunkFor(std::size_t bytes)
{
    // A text's offset must fit its record; only a chunk of one long text can be further in.
    if (!chunks_.empty() && chunks_.back().size - chunks_.back().used >= bytes && chunks_.back().used <= OffsetMask)
        return chunks_.back();
    Chunk& chunk = chunks_.emplace_back();
    chunk.firstLine = appended_ - 1;
    chunk.size = std::max(ChunkBytes, bytes);
    chunk.bytes = std::make_unique_for_overwrite<char[]>(chunk.size);
    return chunk;
}

void LineStore::DropOldest()
{
    head_ = (head_ + 1) % entries_.size();
    --count_;
    if (count_ == 0) {
        chunks_.clear();
        head_ = 0;
        return;
    }
    // A chunk whose successor starts at or before the oldest kept line holds no kept text.
    const std::uint64_t oldest = appended_ - 1 - count_;
    while (chunks_.size() > 1 && chunks_[1].firstLine <= oldest)
        chunks_.pop_front();
}

StoredLine LineStore::At(std::size_t index, std::string& utf8Buffer) const
{
    const Entry& entry = EntryAt(index);
    const std::uint64_t number = appended_ - count_ + index;
    // The last chunk that starts at or before the line holds it.
    const auto next = std::upper_bound(chunks_.begin(), chunks_.end(), number,
                                       [](std::uint64_t n, const Chunk& c) { return n < c.firstLine; });
    const Chunk& chunk = *std::prev(next);
    const std::size_t start = entry.offset & OffsetMask;
    std::size_t end = chunk.used;
    if (index + 1 < count_ && (next == chunks_.end() || next->firstLine > number + 1))
        end = EntryAt(index + 1).offset & OffsetMask;
    std::string_view text(chunk.bytes.get() + start, end - start);
    if ((entry.offset & Utf8Text) == 0) {
        utf8Buffer = cp932::ToUtf8(text);
        text = utf8Buffer;
    }
    return {text, entry.style, entry.flags, static_cast<std::int64_t>(entry.time)};
}

StoredLine LineStore::At(std::size_t index) const
{
    std::string buffer;
    StoredLine line = At(index, buffer);
    if (line.text.data() == buffer.data()) {
        decoded_.push_front(std::move(buffer));
        line.text = decoded_.front();
    }
    return line;
}

bool LineStore::Erase(std::size_t index)
{
    if (index >= count_)
        return false;
    // An empty text takes no bytes, so the texts around it keep their bounds.
    std::string scratch;
    if (!At(index, scratch).text.empty())
        return false;
    const std::uint64_t number = appended_ - count_ + index;
    if (entries_.size() < capacity_) {
        // Still growing: the ring starts at 0 and ends with the vector.
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    } else {
        for (std::size_t k = index; k > 0; --k)
            entries_[(head_ + k) % entries_.size()] = entries_[(head_ + k - 1) % entries_.size()];
        head_ = (head_ + 1) % entries_.size();
    }
    --count_;
    for (Chunk& chunk : chunks_) {
        if (chunk.firstLine <= number)
            ++chunk.firstLine;
    }
    if (count_ == 0) {
        chunks_.clear();
        head_ = 0;
        entries_.clear();
    }
    if (!decoded_.empty())
        decoded_.clear();
    return true;
}

void LineStore::Clear()
{
    decoded_.clear();
    flat_.clear();
    entries_ = {};
    head_ = 0;
    count_ = 0;
    chunks_.clear();
}
