#include "LineStore.h"

#include "Cp932.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace {

// Line i of a long run: lengths from empty to past a chunk; ASCII, Japanese that
// CP932 holds, and a wave dash that CP932 would turn into a look-alike.
std::string TextOf(std::uint64_t i)
{
    const char* const kinds[] = {"", "\xE7\x99\xBA\xE8\xA8\x80\xE3\x83\x91\xE3\x82\xB9",
                                 "\xE3\x80\x9C\xE3\x82\xB4"};
    const std::size_t length = i % 997 == 0 ? 20000 + i % 7 : (i * 37) % 300;
    std::string text = std::to_string(i) + kinds[i % 3] + ":";
    text.resize(std::max(text.size(), length), static_cast<char>('a' + i % 26));
    return text;
}

TEST(LineStore, KeepsTheNewestLinesInOrderWithEveryField)
{
    for (const auto& [capacity, appended] : {std::pair<std::size_t, std::uint64_t>{10000, 25003}, {10000, 9999},
                                             {3, 5}, {1, 4}, {0, 2}}) {
        LineStore store(capacity);
        for (std::uint64_t i = 0; i < appended; ++i)
            store.Append(TextOf(i), static_cast<std::uint8_t>(i % 5), 1700000000 + static_cast<std::int64_t>(i),
                         static_cast<std::uint8_t>(i % 8));
        ASSERT_EQ(store.Appended(), appended);
        ASSERT_EQ(store.Size(), std::min<std::uint64_t>(capacity, appended));
        const std::uint64_t first = appended - store.Size();
        std::vector<StoredLine> lines;   // all views at once: each must stay valid
        for (std::size_t k = 0; k < store.Size(); ++k)
            lines.push_back(store.At(k));
        for (std::size_t k = 0; k < store.Size(); ++k) {
            const StoredLine& line = lines[k];
            ASSERT_EQ(line.text, TextOf(first + k)) << capacity << " " << k;
            ASSERT_EQ(line.style, (first + k) % 5);
            ASSERT_EQ(line.flags, (first + k) % 8);
            ASSERT_EQ(line.time, 1700000000 + static_cast<std::int64_t>(first + k));
        }
    }
}

TEST(LineStore, EveryLineBreakBecomesOneBlank)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb", "a  b"}, {"\n", " "}, {"x\ry", "x y"}, {"1\xE2\x80\xA8" "2\xE2\x80\xA9" "3", "1 2 3"},
        {"f\xEF\xB7\x90g\xEF\xB7\x91", "f g "}, {"\t\v\f\xC2\x85 stay", "\t\v\f\xC2\x85 stay"},
        {"\xE2\x80\xA6\xEF\xBC\x81", "\xE2\x80\xA6\xEF\xBC\x81"},   // other characters with the same lead bytes
    };
    LineStore store;
    for (const auto& [in, out] : cases) {
        store.Append(in, 0, 0);
        EXPECT_EQ(store.At(store.Size() - 1).text, out);
    }
}

TEST(LineStore, WireBytesReadBackAsTheirOwnText)
{
    // A line kept as its CP932 bytes reads as those bytes do, look-alikes and broken
    // bytes included; line breaks are flattened as on every other way in.
    const std::string cases[] = {"plain ascii \\ ~", "\x94\xAD\x8C\xBE", "\x81\x60 wave", "lone \x94",
                                 "\x82\xA0\r\n\x82\xA2", "\x94\n"};
    LineStore store;
    for (const std::string& bytes : cases) {
        const std::string utf8 = cp932::ToUtf8(bytes);
        store.AppendCp932(bytes, utf8, 3, 9);
        LineStore plain;
        plain.Append(utf8, 3, 9);
        EXPECT_EQ(store.NewestText(), plain.At(0).text);
        EXPECT_EQ(store.At(store.Size() - 1).text, plain.At(0).text);
    }
}

TEST(LineStore, ClearKeepsTheCountAndTimesOutOfRangeAreClamped)
{
    LineStore store(4);
    store.Append("old", 1, -5);
    store.Append("older", 1, std::int64_t{1} << 40);
    EXPECT_EQ(store.At(0).time, 0);
    EXPECT_EQ(store.At(1).time, 4294967295);
    store.Clear();
    EXPECT_EQ(store.Size(), 0u);
    store.Append("new", 2, 7);
    ASSERT_EQ(store.Size(), 1u);
    EXPECT_EQ(store.At(0).text, "new");
    EXPECT_EQ(store.Appended(), 3u);
}

TEST(LineStore, ErasingAnEmptyLineKeepsEveryOtherLineAndLaterAppends)
{
    // Erased while still growing, once the ring has turned, at either end and in
    // the middle; then enough lines to turn the ring again. A model deque says
    // what must be kept.
    struct Case {
        std::size_t capacity;
        std::uint64_t before;   // lines appended before the empty one
        std::uint64_t after;    // lines appended between it and the erase
        std::uint64_t later;    // lines appended after the erase
    };
    const Case cases[] = {{50, 10, 5, 100}, {50, 70, 20, 100}, {50, 70, 0, 3}, {3, 0, 0, 5}, {1, 4, 0, 2},
                          {10000, 12000, 400, 25000}, {50, 0, 49, 1}};
    for (const Case& c : cases) {
        LineStore store(c.capacity);
        std::deque<std::string> model;
        const auto add = [&](const std::string& text, std::uint8_t flags) {
            store.Append(text, 1, 5, flags);
            model.push_back(text);
            if (model.size() > c.capacity)
                model.pop_front();
        };
        std::uint64_t n = 0;
        for (std::uint64_t i = 0; i < c.before; ++i)
            add(TextOf(n++), 0);
        add("", LineMarker);
        const std::uint64_t markerNumber = store.Appended() - 1;
        for (std::uint64_t i = 0; i < c.after; ++i)
            add(TextOf(n++), 0);
        const std::uint64_t markerIndex = markerNumber - (store.Appended() - store.Size());
        if (markerIndex > 0) {
            EXPECT_FALSE(store.Erase(0));   // a line with a text stays
        }
        ASSERT_EQ(store.At(markerIndex).flags, LineMarker);
        const std::uint64_t appended = store.Appended();
        ASSERT_TRUE(store.Erase(markerIndex));
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(markerIndex));
        EXPECT_EQ(store.Appended(), appended);
        for (std::uint64_t i = 0; i < c.later; ++i)
            add(TextOf(n++), 0);
        ASSERT_EQ(store.Size(), model.size()) << c.capacity << " " << c.before;
        std::string buffer;
        for (std::size_t k = 0; k < model.size(); ++k)
            ASSERT_EQ(store.At(k, buffer).text, model[k]) << c.capacity << " " << c.before << " line " << k;
    }
}

} // namespace
