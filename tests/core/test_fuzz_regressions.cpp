// Replays the fuzz targets' seed inputs and every input a fuzz run ever found
// (fuzz/corpus/<target>, fuzz/regressions/<target>) through the same checks the
// fuzz targets make. Fuzzing itself runs outside the suite (scripts/fuzz).
#include "../../fuzz/harness/BoardLineHarness.h"
#include "../../fuzz/harness/DecoderHarness.h"
#include "../../fuzz/harness/FormationHarness.h"
#include "../../fuzz/harness/LogReadHarness.h"
#include "../../fuzz/harness/SettingsHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path FuzzFolder = KV_FUZZ_DIR;

std::vector<fs::path> Inputs(const std::string& target)
{
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = FuzzFolder / kind / target;
        if (!fs::is_directory(folder))
            continue;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> Bytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzInputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch_ = fs::temp_directory_path()
                   / ("kv_fuzz_replay_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_"
                      + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".INI");
    }
    void TearDown() override { fs::remove(scratch_); }

    template <class Run>
    void ReplayAll(const std::string& target, Run run)
    {
        const auto files = Inputs(target);
        ASSERT_FALSE(files.empty()) << "no inputs under " << (FuzzFolder / "corpus" / target);
        for (const fs::path& file : files) {
            const auto bytes = Bytes(file);
            EXPECT_EQ(run(bytes.data(), bytes.size()), "") << file;
        }
    }

    fs::path scratch_;
};

} // namespace

TEST_F(FuzzInputs, DecodersHoldTheirChecks)
{
    ReplayAll("decoders", [](const std::uint8_t* d, std::size_t n) { return kvfuzz::RunDecoders(d, n); });
}

TEST_F(FuzzInputs, BoardLinesHoldTheirChecks)
{
    ReplayAll("parsetalk", [](const std::uint8_t* d, std::size_t n) { return kvfuzz::RunBoardLine(d, n); });
}

TEST_F(FuzzInputs, FormationsHoldTheirChecks)
{
    ReplayAll("formations", [](const std::uint8_t* d, std::size_t n) { return kvfuzz::RunFormations(d, n); });
}

TEST_F(FuzzInputs, SettingsFilesHoldTheirChecks)
{
    const std::string scratch = scratch_.string();
    ReplayAll("settings", [&](const std::uint8_t* d, std::size_t n) { return kvfuzz::RunSettings(d, n, scratch); });
}

TEST_F(FuzzInputs, LogsReadTheSameEveryWay)
{
    const fs::path folder = scratch_.string() + ".logs";
    ReplayAll("logread", [&](const std::uint8_t* d, std::size_t n) { return kvfuzz::RunLogRead(d, n, folder); });
    fs::remove_all(folder);
}

// The checks themselves must catch what they are there for.
TEST(FuzzChecks, DecoderCheckRefusesAWrongLoadAndPassesEdgeFrames)
{
    // A refused length leaves the packet as it was; valid edge frames pass.
    const std::vector<std::uint8_t> two{0x00, 0x02};
    EXPECT_EQ(kvfuzz::RunDecoders(two.data(), two.size()), "");
    std::vector<std::uint8_t> longest(MaxFrameLength, 0x15);
    EXPECT_EQ(kvfuzz::RunDecoders(longest.data(), longest.size()), "");
    longest.push_back(0x15);
    EXPECT_EQ(kvfuzz::RunDecoders(longest.data(), longest.size()), "");
}

TEST(FuzzChecks, BoardLineCheckSeesChatAndBoardLines)
{
    const std::string board = "\x03*!B!*A5050*!N!*";
    EXPECT_EQ(kvfuzz::RunBoardLine(reinterpret_cast<const std::uint8_t*>(board.data()), board.size()), "");
    const std::string names = std::string("\x03*!N!*A\x01x B\xff\xfe", 13);
    EXPECT_EQ(kvfuzz::RunBoardLine(reinterpret_cast<const std::uint8_t*>(names.data()), names.size()), "");
}

TEST(FuzzChecks, SettingsCheckKeepsWhatALineCannotHoldOut)
{
    EXPECT_EQ(kvfuzz::settings::Storable(std::string_view("ab\rcd")), "ab");
    EXPECT_EQ(kvfuzz::settings::Storable(std::string_view("ab\0cd", 5)), "ab");
    EXPECT_EQ(kvfuzz::settings::Storable(std::string_view("abcd")), "abcd");
}
