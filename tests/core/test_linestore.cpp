#include "LineStore.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// Line i of a long run: lengths from empty to past a chunk, every field different.
std::string TextOf(std::uint64_t i)
{
    const std::size_t length = i % 997 == 0 ? 20000 + i % 7 : (i * 37) % 300;
    std::string text = std::to_string(i) + ":";
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
        for (std::size_t k = 0; k < store.Size(); ++k) {
            const StoredLine line = store.At(k);
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

} // namespace
