#include "GmPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> frameBytes(const GmPacket& p)
{
    return {p.Data(), p.Data() + static_cast<std::uint16_t>(p.GetLength())};
}

GmPacket loaded(std::vector<std::uint8_t> frame)
{
    GmPacket p;
    EXPECT_TRUE(p.Load(frame.data(), static_cast<int>(frame.size())));
    return p;
}

} // namespace

TEST(GmPacket, FinishWritesTypeAndBigEndianLength)
{
    GmPacket p;
    GmWriter w(p);
    w.PutByte(0x1FF);   // low 8 bits only
    w.PutShort(0x1234);
    ASSERT_TRUE(p.Finish(7, w.Length()));
    EXPECT_EQ(frameBytes(p), (std::vector<std::uint8_t>{0x00, 0x06, 0x07, 0xFF, 0x12, 0x34}));
    EXPECT_EQ(p.TotalLength(), 6);
}

TEST(GmPacket, FinishLimitsPayloadTo9986)
{
    GmPacket p;
    ASSERT_TRUE(p.Finish(21, 9986));
    EXPECT_EQ(p.GetLength(), 9989);
    EXPECT_EQ(p.TotalLength(), 9989);

    ASSERT_TRUE(p.Finish(3, 0));
    EXPECT_FALSE(p.Finish(21, 9987));
    EXPECT_EQ(p.GetLength(), 3) << "a refused Finish keeps the previous frame";
    EXPECT_EQ(p.Type(), 3);
}

TEST(GmPacket, LoadAcceptsThreeTo9989Bytes)
{
    std::vector<std::uint8_t> big(9990, 0xAA);
    GmPacket p;
    struct Case { int length; bool ok; };
    for (Case c : {Case{0, false}, Case{1, false}, Case{2, false}, Case{3, true}, Case{9989, true},
                   Case{9990, false}}) {
        SCOPED_TRACE(c.length);
        ASSERT_TRUE(p.Finish(4, 0));
        EXPECT_EQ(p.Load(big.data(), c.length), c.ok);
        EXPECT_EQ(p.TotalLength(), c.ok ? c.length : 3);
        EXPECT_EQ(p.GetLength(), c.ok ? c.length : 3) << "header is rewritten from the length";
    }
    EXPECT_FALSE(p.Load(nullptr, 10));
}

TEST(GmPacket, ThreeByteFrameReadsNothing)
{
    GmPacket p = loaded({0x00, 0x03, 0x03});
    GmReader r(p);
    EXPECT_EQ(r.GetByte(), 0);
    EXPECT_FALSE(r.Ok());
}

TEST(GmPacket, ShortIsSignedBigEndian)
{
    GmPacket p = loaded({0x00, 0x07, 0x0C, 0x80, 0x00, 0xFF, 0xFF});
    GmReader r(p);
    EXPECT_EQ(r.GetShort(), -32768);
    EXPECT_EQ(r.GetShort(), -1);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.GetShort(), 0);
    EXPECT_FALSE(r.Ok());
}

TEST(GmPacket, PutStringCutsToMaxBytes)
{
    struct Case { const char* text; std::int16_t max; std::vector<std::uint8_t> payload; };
    const Case cases[] = {
        {"", 26, {0x00}},
        {"abc", 26, {0x03, 'a', 'b', 'c'}},
        {"abcdef", 4, {0x04, 'a', 'b', 'c', 'd'}},
    };
    for (const Case& c : cases) {
        GmPacket p;
        GmWriter w(p);
        w.PutString(c.text, c.max);
        ASSERT_TRUE(p.Finish(21, w.Length()));
        std::vector<std::uint8_t> payload(p.Data() + 3, p.Data() + p.GetLength());
        EXPECT_EQ(payload, c.payload) << c.text;
    }
    // 30 bytes with max 26: count 26, then the first 26 bytes.
    GmPacket p;
    GmWriter w(p);
    w.PutString("abcdefghijklmnopqrstuvwxyz0123", 26);
    ASSERT_TRUE(p.Finish(10, w.Length()));
    EXPECT_EQ(p.GetLength(), 3 + 1 + 26);
    EXPECT_EQ(p.Data()[3], 26);
    EXPECT_EQ(std::memcmp(p.Data() + 4, "abcdefghijklmnopqrstuvwxyz", 26), 0);
}

TEST(GmPacket, GetStringKeepsCapacityButSkipsWhole)
{
    std::vector<std::uint8_t> f{0x00, 0x00, 0x15, 30};
    for (int i = 0; i < 30; ++i)
        f.push_back(static_cast<std::uint8_t>('A' + (i % 26)));
    f.push_back(0x12);
    f.push_back(0x34);
    f[1] = static_cast<std::uint8_t>(f.size());
    GmPacket p = loaded(f);
    GmReader r(p);
    char buf[27];
    r.GetString(buf, sizeof buf);
    EXPECT_EQ(std::strlen(buf), 26u);
    EXPECT_EQ(std::string(buf), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(r.GetShort(), 0x1234) << "the next field is read after the whole string";
    EXPECT_TRUE(r.Ok());
}

TEST(GmPacket, GetStringOfExactCapacityKeepsAll)
{
    std::vector<std::uint8_t> f{0x00, 0x00, 0x15, 26};
    for (int i = 0; i < 26; ++i)
        f.push_back('x');
    f[1] = static_cast<std::uint8_t>(f.size());
    GmPacket p = loaded(f);
    GmReader r(p);
    char buf[27];
    r.GetString(buf, sizeof buf);
    EXPECT_EQ(std::strlen(buf), 26u);
    EXPECT_TRUE(r.Ok());
}

TEST(GmPacket, StringRunningPastFrameFailsAndLaterReadsAreZero)
{
    GmPacket p = loaded({0x00, 0x08, 0x15, 10, 'a', 'b', 'c', 0x05});
    GmReader r(p);
    char buf[27] = "junk";
    r.GetString(buf, sizeof buf);
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.GetByte(), 0);
    char buf2[5] = "junk";
    r.GetString(buf2, sizeof buf2);
    EXPECT_STREQ(buf2, "");
    EXPECT_FALSE(r.Ok());
}

TEST(GmPacket, RoomAbove51FailsButKeepsValue)
{
    for (int room : {0, 50, 51, 52, 255}) {
        GmPacket p = loaded({0x00, 0x04, 0x14, static_cast<std::uint8_t>(room)});
        GmReader r(p);
        std::int16_t got = -1;
        r.GetRoom(got);
        EXPECT_EQ(got, room);
        EXPECT_EQ(r.Ok(), room <= 51) << room;
    }
}

TEST(GmPacket, WriterPastFrameAreaMakesFinishFail)
{
    GmPacket p;
    ASSERT_TRUE(p.Finish(3, 0));
    GmWriter w(p);
    for (int i = 0; i < 12000; ++i)
        w.PutByte(1);
    EXPECT_FALSE(p.Finish(21, w.Length()));
    EXPECT_EQ(p.GetLength(), 3);
}
