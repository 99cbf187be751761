#include "LineStore.h"

#include <algorithm>
#include <array>
#include <limits>

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

// Copies text to out with every line break replaced by one blank; returns the
// bytes written, never more than text.size().
std::size_t CopyFlattened(std::string_view text, char* out)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t breakLength = 0;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r' || c == 0xE2 || c == 0xEF) {
            for (std::string_view lineBreak : LineBreaks) {
                if (text.substr(i, lineBreak.size()) == lineBreak) {
                    breakLength = lineBreak.size();
                    break;
                }
            }
        }
        if (breakLength > 0) {
            out[n++] = ' ';
            i += breakLength;
        } else {
            out[n++] = text[i++];
        }
    }
    return n;
}

std::uint32_t StoredTime(std::int64_t time)
{
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(time, 0, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

LineStore::LineStore(std::size_t capacity) : capacity_(capacity) {}

void LineStore::Append(std::string_view utf8Text, std::uint8_t style, std::int64_t time, std::uint8_t flags)
{
    ++appended_;
    if (capacity_ == 0)
        return;
    if (count_ == capacity_)
        DropOldest();

    Chunk& chunk = ChunkFor(utf8Text.size());
    const Entry entry{StoredTime(time), static_cast<std::uint32_t>(firstChunk_ + chunks_.size() - 1),
                      static_cast<std::uint16_t>(chunk.used), style, flags};
    chunk.used += CopyFlattened(utf8Text, chunk.bytes.get() + chunk.used);

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
    if (!chunks_.empty() && chunks_.back().size - chunks_.back().used >= bytes &&
        chunks_.back().used <= std::numeric_limits<std::uint16_t>::max())
        return chunks_.back();
    Chunk& chunk = chunks_.emplace_back();
    chunk.size = std::max(ChunkBytes, bytes);
    chunk.bytes = std::make_unique_for_overwrite<char[]>(chunk.size);
    return chunk;
}

void LineStore::DropOldest()
{
    head_ = (head_ + 1) % entries_.size();
    --count_;
    if (count_ == 0) {
        firstChunk_ += static_cast<std::uint32_t>(chunks_.size());
        chunks_.clear();
        head_ = 0;
        return;
    }
    // Chunks before the one of the new oldest line hold no kept text any more.
    const std::uint32_t keep = EntryAt(0).chunk;
    while (firstChunk_ != keep) {
        chunks_.pop_front();
        ++firstChunk_;
    }
}

StoredLine LineStore::At(std::size_t index) const
{
    const Entry& entry = EntryAt(index);
    const Chunk& chunk = ChunkOf(entry);
    std::size_t end = chunk.used;
    if (index + 1 < count_) {
        const Entry& next = EntryAt(index + 1);
        if (next.chunk == entry.chunk)
            end = next.offset;
    }
    return {std::string_view(chunk.bytes.get() + entry.offset, end - entry.offset), entry.style, entry.flags,
            static_cast<std::int64_t>(entry.time)};
}

void LineStore::Clear()
{
    entries_ = {};
    head_ = 0;
    count_ = 0;
    firstChunk_ += static_cast<std::uint32_t>(chunks_.size());
    chunks_.clear();
}
