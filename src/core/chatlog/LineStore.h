#pragma once
// A room's newest lines in a compact form: a bounded ring of 8-byte records and
// the texts packed back to back in small chunks, each freed once its last line
// has dropped out. Appending and dropping the oldest line cost O(1). A text is
// kept in CP932 when that gives back exactly the same UTF-8 (two bytes for most
// Japanese characters instead of three), otherwise in UTF-8.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <forward_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum LineFlag : std::uint8_t {
    LineRestored = 1,   // read back from the log on disk: shown in grey
    LineDivider = 2,    // the divider after restored lines: shown in grey
    LineMention = 4,    // names the user: highlighted
    LineMarker = 8,     // where the unread lines start (its text is empty): shown in grey
    LineDay = 16,       // the date, where it changes between two lines: shown in grey
};

// Lines the log on screen shows in grey and that are not written to the log file
// (restored ones are on disk already).
inline constexpr std::uint8_t LineGrey = LineRestored | LineDivider | LineMarker | LineDay;

struct StoredLine {
    std::string_view text;   // UTF-8, exactly as shown (line breaks already flattened to blanks)
    std::uint8_t style;      // the utterance's style byte (colour)
    std::uint8_t flags;      // LineFlag bits
    std::int64_t time;       // arrival, seconds since the epoch (UTC)
};

class LineStore {
public:
    static constexpr std::size_t Capacity = 10000;

    explicit LineStore(std::size_t capacity = Capacity);

    // Characters that would end a line on screen (CR, LF, the Unicode line and
    // paragraph separators) are stored as blanks, so one call is one line. Times
    // outside 1970..2106 are kept as the nearest end of that range.
    void Append(std::string_view utf8Text, std::uint8_t style, std::int64_t time, std::uint8_t flags = 0);
    // The same for a line whose CP932 bytes the caller has (a line from the wire):
    // utf8Text must be what cp932Text reads as. Those bytes are kept as they are,
    // which spares converting the line back.
    void AppendCp932(std::string_view cp932Text, std::string_view utf8Text, std::uint8_t style, std::int64_t time,
                     std::uint8_t flags = 0);
    std::size_t Size() const { return count_; }
    // The most lines kept; older ones drop out as new ones come.
    std::size_t Limit() const { return capacity_; }
    // 0 = oldest kept line; valid until the next Append/Clear. A line kept in
    // CP932 is decoded into a scratch area that lives as long.
    StoredLine At(std::size_t index) const;
    // The same without the scratch area: a line kept in CP932 is decoded into
    // utf8Buffer, and text is valid while that buffer is unchanged (and until the
    // next Append/Clear). For readers that go through many lines.
    StoredLine At(std::size_t index, std::string& utf8Buffer) const;
    // Texts that At(index) has decoded and keeps until the next Append/Clear.
    std::size_t DecodedKept() const { return static_cast<std::size_t>(std::distance(decoded_.begin(), decoded_.end())); }
    // The newest line's text, UTF-8 as At() gives it but without decoding; valid
    // until the next Append/Clear (empty when nothing is kept).
    std::string_view NewestText() const { return flat_; }
    // Lines ever appended; the newest kept line is number Appended()-1.
    std::uint64_t Appended() const { return appended_; }
    void Clear();
    // Takes out a line with an empty text (the unread marker when it moves).
    // The lines before it move one number up, as if the oldest had been dropped;
    // the lines after it keep their numbers. False when the line has a text.
    bool Erase(std::size_t index);

private:
    struct Entry {
        std::uint32_t time;
        std::uint16_t offset;   // where the text starts in its chunk (it ends where the next one starts), | Utf8Text
        std::uint8_t style;
        std::uint8_t flags;
    };
    // Texts of consecutive lines, from line number firstLine on.
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        std::size_t used = 0;
        std::uint64_t firstLine = 0;
    };

    static constexpr std::uint16_t Utf8Text = 0x8000;   // the text is UTF-8, not CP932
    static constexpr std::uint16_t OffsetMask = 0x7FFF;

    const Entry& EntryAt(std::size_t index) const { return entries_[(head_ + index) % entries_.size()]; }
    Chunk& ChunkFor(std::size_t bytes);
    // Makes room, flattens utf8Text into flat_ and returns whether anything is kept.
    bool StartAppend(std::string_view utf8Text);
    void Keep(std::string_view bytes, bool isUtf8, std::uint8_t style, std::int64_t time, std::uint8_t flags);
    void DropOldest();

    std::size_t capacity_;
    std::vector<Entry> entries_;   // grows up to capacity_, then is used as a ring
    std::size_t head_ = 0;         // ring position of the oldest line
    std::size_t count_ = 0;
    std::deque<Chunk> chunks_;
    std::uint64_t appended_ = 0;
    std::string flat_;                                 // the text being appended, line breaks flattened
    mutable std::forward_list<std::string> decoded_;   // At()'s scratch area
};
