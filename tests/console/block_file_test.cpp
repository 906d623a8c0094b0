// The event log's file and buffer: whatever mix of whole aligned blocks
// (straight to the device) and ragged pieces (through the page cache) a
// sequence of writes makes, the file holds exactly the bytes written, in
// order; and a failed write is kept and reported with the file's name.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "console/console.h"
#include "e2e_support.h"

namespace {

using plenta::BlockFile;
using plenta::EventLogBuffer;
using plenta_e2e::TempDir;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that differ from one position to the next, so a piece written at the
// wrong offset or twice shows.
std::vector<char> pattern(std::size_t n, unsigned seed) {
    std::vector<char> bytes(n);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (char& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

TEST(BlockFile, HoldsExactlyTheBytesWrittenWhateverTheirAlignment) {
    constexpr std::size_t A = BlockFile::kAlignment;
    // Each case: the sizes of successive writes, and how far into an aligned
    // source each one starts (0: aligned).
    struct Piece {
        std::size_t size;
        std::size_t skew;
    };
    const std::vector<std::vector<Piece>> cases = {
        {{3 * A, 0}, {A, 0}, {2 * A + 100, 0}},  // direct, direct, direct then ragged tail
        {{A + 7, 0}, {5 * A, 0}},                 // ragged tail, then all through the cache
        {{2 * A, 8}, {A, 0}},                     // unaligned source from the start
        {{16000000, 0}},                          // a full million-event buffer: 3906 blocks + 1024 bytes
        {{1, 0}, {0, 0}, {A - 1, 0}, {A, 0}},      // tiny pieces, an empty one
    };
    unsigned seed = 1;
    for (const auto& pieces : cases) {
        SCOPED_TRACE(seed);
        TempDir dir;
        const std::string path = dir.file("block");
        BlockFile file;
        ASSERT_TRUE(file.open(path));
        std::string expected;
        for (const Piece& piece : pieces) {
            EventLogBuffer source;  // an aligned block of memory
            source.allocate(static_cast<int>((piece.size + piece.skew) / 16 + 1));
            const std::vector<char> bytes = pattern(piece.size, seed++);
            char* at = reinterpret_cast<char*>(source.times()) + piece.skew;
            if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
            file.write(at, piece.size);
            expected.append(bytes.begin(), bytes.end());
        }
        EXPECT_FALSE(file.failed());
        EXPECT_TRUE(file.close());
        EXPECT_EQ(contents(path), expected);
    }
}

TEST(BlockFile, AFullBufferIsOneBlockAndAShortOneTwoArrays) {
    for (int n : {5, 1000}) {
        SCOPED_TRACE(n);
        EventLogBuffer buffer;
        buffer.allocate(1000);
        for (int k = 0; k < n; ++k) {
            buffer.times()[k] = 0.125 * k + 1e-9;
            buffer.rxns()[k] = static_cast<double>(k % 3 + 1);
        }
        TempDir dir;
        BlockFile file;
        ASSERT_TRUE(file.open(dir.file("evlog_1_1")));
        plenta::write_eventlog_block(file, buffer.times(), buffer.rxns(), n);
        ASSERT_TRUE(file.close());
        plenta_e2e::EventLogFile read = plenta_e2e::read_eventlog(dir.file("evlog_1_1"));
        ASSERT_EQ(read.times.size(), static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(read.times[static_cast<std::size_t>(k)], buffer.times()[k]);
            EXPECT_EQ(read.rxns[static_cast<std::size_t>(k)], buffer.rxns()[k]);
        }
    }
}

TEST(BlockFile, AFailedWriteIsKeptAndNamesTheFile) {
    TempDir dir;
    BlockFile file;
    EXPECT_FALSE(file.open(dir.file("no-such-folder/evlog_1_1")));
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ASSERT_TRUE(file.open("/dev/full"));
    EventLogBuffer buffer;
    buffer.allocate(1024);
    file.write(reinterpret_cast<const char*>(buffer.times()), 2 * BlockFile::kAlignment);
    file.write(reinterpret_cast<const char*>(buffer.times()), 10);  // after a failure: nothing
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.write_failure_message(),
              "Can't write /dev/full file (No space left on device). Exit.\n");
}

}  // namespace
