#include "streams/Stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pdf/Exception.h"
#include "tests/support/TestStreams.h"

namespace {

constexpr uint32_t kBuffer = 4096;  // the file stream's refill size

// Reads to the end, checking at each byte that peekChar agrees with getChar and getPos
// counts one per byte; afterwards the end stays the end.
std::string ReadAll(CPdfStream& stream)
{
    std::string bytes;
    for (;;) {
        const uint32_t pos = stream.getPos();
        const int peeked = stream.peekChar();
        const int c = stream.getChar();
        EXPECT_EQ(peeked, c);
        if (c < 0 || bytes.size() > (1u << 20))
            break;
        EXPECT_EQ(pos + 1, stream.getPos());
        bytes.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(-1, stream.peekChar());
    EXPECT_EQ(-1, stream.getChar());
    return bytes;
}

int At(const std::string& bytes, size_t offset)
{
    return static_cast<unsigned char>(bytes[offset]);
}

// Opens (start, length) over a file holding bytes, once as a file stream and once as a range of
// a memory stream, so the memory stream is held to the file stream's behaviour.
void ForEachKind(const std::string& bytes, uint32_t start, uint32_t length,
                 const std::function<void(CPdfStream&)>& check)
{
    CTempFile file(bytes);
    CFileHandle handle = file.openRead();
    ASSERT_TRUE(handle);
    {
        SCOPED_TRACE("file stream");
        CPdfFileStream stream(handle.get(), start, length, CPdfElement());
        check(stream);
    }
    SCOPED_TRACE("memory stream");
    CPdfRef<CPdfStream> whole = CPdfRef<CPdfStream>::create<CPdfMemoryStream>(bytes);
    check(*whole->openRange(start, length, CPdfElement()));
}

// A range reads exactly its bytes: length 0 runs to the end of the file, a range past the end
// stops there, and a start past the end (even past 2 GiB, or wrapping) gives nothing, never
// the file's first bytes.
TEST(RangeStreams, ReadExactlyTheirRange)
{
    struct RangeRow {
        const char* name;
        size_t fileSize;
        uint32_t start, length;
        size_t expectedFirst, expectedCount;  // the bytes returned
    };
    const RangeRow rows[] = {
        {"empty file, length 0", 0, 0, 0, 0, 0},
        {"one byte, length 0", 1, 0, 0, 0, 1},
        {"length 0 reads to the end", 9000, 0, 0, 0, 9000},
        {"length 0 from inside", 9000, 100, 0, 100, 8900},
        {"one buffer exactly", kBuffer, 0, 0, 0, kBuffer},
        {"one buffer and a byte", kBuffer + 1, 0, 0, 0, kBuffer + 1},
        {"one byte short of a buffer", kBuffer - 1, 0, 0, 0, kBuffer - 1},
        {"ten bytes of a long file", 9000, 0, 10, 0, 10},
        {"range ends ten bytes into the second buffer", 20000, 0, kBuffer + 10, 0, kBuffer + 10},
        {"range crossing a buffer boundary", 9000, kBuffer - 5, 10, kBuffer - 5, 10},
        {"range bigger than two buffers", 20000, 100, 3 * kBuffer + 7, 100, 3 * kBuffer + 7},
        {"range past the end of the file", 100, 90, 50, 90, 10},
        {"start at the end of the file", 100, 100, 0, 100, 0},
        {"start one past the end of the file", 13, 14, 0, 14, 0},
        {"start past the end of the file", 100, 500, 10, 500, 0},
        {"start just below 2 GiB", 13, 0x7FFFFFFFu, 0, 0, 0},
        {"start past 2 GiB", 100, 0x80000000u, 0, 0x80000000u, 0},
        {"start near 4 GiB with a length that wraps", 100, 0xFFFFFFF0u, 0x20, 0xFFFFFFF0u, 0},
        {"start at 4 GiB - 1", 13, 0xFFFFFFFFu, 0, 0, 0},
    };
    for (const RangeRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string bytes = PatternBytes(row.fileSize);
        ForEachKind(bytes, row.start, row.length, [&](CPdfStream& stream) {
            EXPECT_EQ(row.start, stream.getStart());
            EXPECT_EQ(row.length, stream.getLength());
            EXPECT_EQ(row.start, stream.getPos());
            const std::string got = ReadAll(stream);
            const std::string expected = row.expectedCount ? bytes.substr(row.expectedFirst, row.expectedCount) : "";
            EXPECT_EQ(expected.size(), got.size());
            EXPECT_TRUE(expected == got);
            EXPECT_EQ(row.start + got.size(), stream.getPos());
        });
    }
}

// getPos after n bytes is start + n; rewind and seek resume after the end; shiftStart moves
// the start that rewind returns to.
TEST(RangeStreams, PositionRewindSeekAndShift)
{
    const std::string bytes = PatternBytes(10000);
    ForEachKind(bytes, 300, 5000, [&](CPdfStream& stream) {
        for (uint32_t n = 0; n < 4500; ++n)
            stream.getChar();
        EXPECT_EQ(300u + 4500u, stream.getPos());
        EXPECT_EQ(500u, ReadAll(stream).size());
        stream.rewind();
        EXPECT_EQ(300u, stream.getPos());
        EXPECT_EQ(At(bytes, 300), stream.getChar());
        stream.seek(5000, 0);
        EXPECT_EQ(5000u, stream.getPos());
        EXPECT_EQ(At(bytes, 5000), stream.getChar());
        stream.seek(7000, 0);  // seeks are absolute and may leave the range: reading stops at its end
        EXPECT_EQ(-1, stream.getChar());
        stream.seek(100, 0);  // before the range: reading goes on up to the range's end
        EXPECT_EQ(5200u, ReadAll(stream).size());
    });
    ForEachKind(bytes, 10, 0, [&](CPdfStream& stream) {
        stream.getChar();
        stream.getChar();
        stream.shiftStart(5);
        EXPECT_EQ(15u, stream.getStart());
        EXPECT_EQ(15u, stream.getPos());
        EXPECT_EQ(At(bytes, 15), stream.getChar());
        stream.getChar();
        stream.rewind();
        EXPECT_EQ(At(bytes, 15), stream.getChar());
    });
}

// The startxref search: the last 1023 bytes, or the whole file when it is shorter.
TEST(RangeStreams, SeekFromTheEnd)
{
    const std::pair<size_t, uint32_t> rows[] = {{9000, 9000 - 1023}, {1023, 0}, {100, 0}, {0, 0}};
    for (const auto& row : rows) {
        const size_t fileSize = row.first;
        const uint32_t expectedPos = row.second;
        SCOPED_TRACE(fileSize);
        const std::string bytes = PatternBytes(fileSize);
        ForEachKind(bytes, 0, 0, [&](CPdfStream& stream) {
            stream.getChar();
            stream.seek(-1023, 2);
            EXPECT_EQ(expectedPos, stream.getPos());
            EXPECT_TRUE(bytes.substr(expectedPos) == ReadAll(stream));
            stream.seek(0, 2);
            EXPECT_EQ(fileSize, stream.getPos());
        });
    }
}

// A stream holding a sentinel that counts its destruction: shows when the last reference goes.
CPdfElement SentinelDictionary(int& destroyed)
{
    CPdfElement sentinel;
    sentinel.setStream(CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed).get());
    CPdfElement dictionary;
    dictionary.newDictionary(nullptr).set("S", sentinel);
    return dictionary;
}

// openRange gives a new stream on the same bytes with its own dictionary reference, and
// leaves the whole stream where it was.
TEST(RangeStreams, OpenRangeSharesTheDictionary)
{
    int destroyed = 0;
    const std::string bytes = PatternBytes(6000);
    CPdfElement dictionary = SentinelDictionary(destroyed);
    ForEachKind(bytes, 0, 0, [&](CPdfStream& whole) {
        EXPECT_EQ(nullptr, whole.getDict());
        CPdfRef<CPdfStream> range = whole.openRange(4000, 1500, dictionary);
        ASSERT_TRUE(range);
        EXPECT_EQ(dictionary.dictionary(), range->getDict());
        whole.getChar();
        EXPECT_TRUE(bytes.substr(4000, 1500) == ReadAll(*range));
        EXPECT_EQ(At(bytes, 1), whole.getChar());
    });
    dictionary.clear();
    EXPECT_EQ(1, destroyed);  // no range kept a reference to the dictionary
}

// Two file streams on one FILE, read alternately: each refill repositions the handle.
TEST(FileStream, TwoStreamsOnOneFileReadAlternately)
{
    const std::string bytes = PatternBytes(3 * kBuffer);
    CTempFile file(bytes);
    CFileHandle handle = file.openRead();
    ASSERT_TRUE(handle);
    CPdfFileStream first(handle.get(), 0, 2 * kBuffer + 3, CPdfElement());
    CPdfFileStream second(handle.get(), kBuffer / 2, 0, CPdfElement());
    std::string got[2];
    for (int a = 0, b = 0; a >= 0 || b >= 0;) {
        if ((a = first.getChar()) >= 0)
            got[0].push_back(static_cast<char>(a));
        if ((b = second.getChar()) >= 0)
            got[1].push_back(static_cast<char>(b));
    }
    EXPECT_TRUE(bytes.substr(0, 2 * kBuffer + 3) == got[0]);
    EXPECT_TRUE(bytes.substr(kBuffer / 2) == got[1]);
}

TEST(Stream, GetRawCharOnlyForPredictorStreams)
{
    CTempFile file("abc");
    CFileHandle handle = file.openRead();
    CPdfFileStream fileStream(handle.get(), 0, 0, CPdfElement());
    CSpyStream underlying("abc");
    CPdfEmbedStream embed(&underlying, CPdfElement(), false, 0);
    for (CPdfStream* stream : std::vector<CPdfStream*>{&fileStream, &embed}) {
        try {
            stream->getRawChar();
            ADD_FAILURE() << "getRawChar did not throw";
        } catch (const CPdfException& e) {
            EXPECT_STREQ("Internal: called getRawChar() on non-predictor stream", e.what());
        }
    }
}

// Embed windows over "abcdef": limited windows stop at their count, without reading on
// (underlyingReads counts the calls that reached the underlying stream, ReadAll's included).
TEST(EmbedStream, Windows)
{
    struct EmbedRow {
        const char* name;
        bool isLimited;
        uint32_t length;
        std::string expected;
        int underlyingReads;
    };
    const EmbedRow rows[] = {
        {"limited to 0 touches nothing", true, 0, "", 0},
        {"limited to 3", true, 3, "abc", 6},
        {"limited past the end", true, 10, "abcdef", 16},
        {"unlimited passes through", false, 0, "abcdef", 16},
        {"unlimited ignores the count", false, 2, "abcdef", 16},
    };
    for (const EmbedRow& row : rows) {
        SCOPED_TRACE(row.name);
        CSpyStream underlying("abcdef");
        CPdfEmbedStream window(&underlying, CPdfElement(), row.isLimited, row.length);
        EXPECT_EQ(row.expected, ReadAll(window));
        EXPECT_EQ(row.underlyingReads, underlying.reads());
        EXPECT_EQ(row.expected.size(), underlying.getPos());
    }
    // Successive windows over one stream follow each other.
    CSpyStream underlying("1 0 2 0 <</A 1>> (x)");
    std::vector<std::string> got;
    for (uint32_t length : {4u, 12u, 0u, 100u}) {
        CPdfEmbedStream window(&underlying, CPdfElement(), true, length);
        got.push_back(ReadAll(window));
    }
    EXPECT_EQ((std::vector<std::string>{"1 0 ", "2 0 <</A 1>>", "", " (x)"}), got);
}

// An embed window reads on from where the shared underlying stream is: rewinding, seeking and
// shifting never move that stream, it cannot be cut into ranges, and it holds its dictionary
// only while it lives.
TEST(EmbedStream, FixedAnswers)
{
    int destroyed = 0;
    CPdfElement dictionary = SentinelDictionary(destroyed);
    CSpyStream underlying("abcdef");
    underlying.seek(2, 0);
    {
        CPdfEmbedStream window(&underlying, dictionary, true, 2);
        EXPECT_EQ(dictionary.dictionary(), window.getDict());
        EXPECT_EQ(2u, window.getPos());
        window.seek(0, 0);
        window.rewind();
        window.shiftStart(1);
        EXPECT_EQ('c', window.getChar());
        EXPECT_EQ(3u, window.getPos());
        EXPECT_FALSE(window.openRange(0, 1, dictionary));
    }
    dictionary.clear();
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ('d', underlying.getChar());
}

} // namespace
