#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "bench/Pattern.h"

namespace tolvan::bench {
namespace {

constexpr std::size_t kWriteChunk = 64 * 1024;  // what the bench asks the line to take

std::string DoubledIac(std::string_view data) {
    std::string out;
    for (const char c : data) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == 255) {
            out.push_back(c);
        }
    }
    return out;
}

// The stream as the bench's writer produces it: pieces of varying size from the pattern.
std::string WrittenStream(const Pattern& pattern, std::uint64_t total) {
    constexpr std::array<std::size_t, 5> kTaken{kWriteChunk, 8191, 1, kWriteChunk - 1, 4096};
    std::string stream;
    std::uint64_t sent = 0;
    for (std::size_t i = 0; sent < total; ++i) {
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(total - sent, kTaken[i % kTaken.size()]));
        const std::string_view piece = pattern.Piece(sent, chunk);
        stream.append(piece);
        sent += piece.size();
    }
    return stream;
}

TEST(PatternTest, PiecesNearThePeriodEndStayInsideThePattern) {
    const Pattern pattern(true);
    // A full write chunk starting in the last bytes of a period once ran past the held bytes.
    for (std::uint64_t start = 2 * Pattern::kPeriod - 40; start < 2 * Pattern::kPeriod + 8;
         ++start) {
        const std::string_view piece = pattern.Piece(start, kWriteChunk);
        ASSERT_LE(piece.size(), Pattern::kPeriod);
        for (std::size_t i = 0; i < piece.size(); ++i) {
            ASSERT_EQ(static_cast<unsigned char>(piece[i]), pattern.ByteAt(start + i))
                << "piece from " << start << ", byte " << i;
        }
    }
    EXPECT_EQ(pattern.Piece(5, 10).size(), 10U);
}

TEST(PatternTest, WrittenStreamVerifiesThroughDoublingAndAnySplit) {
    const Pattern pattern(true);
    const std::uint64_t total = 3 * Pattern::kPeriod + 12345;
    const std::string stream = WrittenStream(pattern, total);
    ASSERT_EQ(stream.size(), total);
    const std::string wire = "SSSxG" + DoubledIac(stream);

    // Feed sizes that split doubled pairs and the lead-in differently.
    for (const std::size_t feed : {std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
        StreamVerifier verifier(pattern, total, true, true);
        for (std::size_t at = 0; at < wire.size(); at += feed) {
            ASSERT_TRUE(verifier.Feed(wire.data() + at, std::min(feed, wire.size() - at)))
                << verifier.Error();
        }
        EXPECT_TRUE(verifier.Done()) << "feed " << feed << " reached " << verifier.Position();
    }
}

TEST(PatternTest, WrongLostAndUndoubledBytesAreCaught) {
    const Pattern pattern(true);
    const std::uint64_t total = 2 * Pattern::kPeriod;
    const std::string stream = WrittenStream(pattern, total);

    std::string wrong = stream;
    wrong[Pattern::kPeriod + 1] = static_cast<char>(~wrong[Pattern::kPeriod + 1]);
    StreamVerifier corrupted(pattern, total, false, false);
    EXPECT_FALSE(corrupted.Feed(wrong.data(), wrong.size()));
    EXPECT_NE(corrupted.Error().find("mismatch at byte " + std::to_string(Pattern::kPeriod + 1)),
              std::string::npos)
        << corrupted.Error();

    std::string lost = stream;
    lost.erase(1000, 1);
    StreamVerifier shifted(pattern, total, false, false);
    EXPECT_FALSE(shifted.Feed(lost.data(), lost.size()));

    StreamVerifier undoubled(pattern, total, false, true);
    EXPECT_FALSE(undoubled.Feed(stream.data(), stream.size()));
    EXPECT_EQ(undoubled.Error(), "undoubled byte 255");
}

}  // namespace
}  // namespace tolvan::bench
