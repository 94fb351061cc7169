#include "streams/FlateStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>

#include "tests/streams/FlateFixtures.h"
#include "tests/support/TestStreams.h"

using namespace flatetest;

namespace {

const std::string kText = "BT /F1 12 Tf 72 712 Td (Hello) Tj ET";

// zlib data of data, fully flushed after its first split bytes; the byte after the flush is
// made a final block of type 3, which does not exist, so inflating fails right there.
std::string DamagedAfter(const std::string& data, size_t split)
{
    size_t boundary = 0;
    std::string out = Compress(data, Z_DEFAULT_COMPRESSION, 15, "", split, &boundary);
    out[boundary] = 0x07;
    return out;
}

// zlib data for 1 + 258 * matches zero bytes, written directly: one block of fixed codes with
// a literal 0 and then copies of 258 bytes at distance 1 (13 bits each), so that hundreds of
// megabytes cost a few megabytes and no compressing. The checksum of n zero bytes is
// Adler-32's sum b = n (mod 65521) over a = 1.
std::string ZeroBomb(uint32_t matches)
{
    std::string out = Bytes({0x78, 0x01});
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    auto put = [&](uint32_t bits, int count) {  // bits in the order they are to be read
        for (int i = count - 1; i >= 0; --i) {
            bitBuffer |= ((bits >> i) & 1u) << bitCount;
            if (++bitCount == 8) {
                out.push_back(static_cast<char>(bitBuffer));
                bitBuffer = 0;
                bitCount = 0;
            }
        }
    };
    put(0b110, 3);       // last block, fixed codes (BTYPE 1, low bit first)
    put(0b00110000, 8);  // literal 0
    for (uint32_t i = 0; i < matches; ++i) {
        put(0b11000101, 8);  // length 258
        put(0b00000, 5);     // distance 1
    }
    put(0b0000000, 7);  // end of block
    if (bitCount != 0)
        put(0, 8 - bitCount);
    const uint32_t sum = static_cast<uint32_t>((1 + 258 * uint64_t(matches)) % 65521);
    return out + Bytes({static_cast<int>(sum >> 8), static_cast<int>(sum & 0xFF), 0, 1});
}

// A range stream that reports its destruction.
class CCountedRange : public CPdfFileStream {
public:
    CCountedRange(FILE* file, uint32_t start, uint32_t length, const CPdfElement& dictionary, int& destroyed)
        : CPdfFileStream(file, start, length, dictionary), m_destroyed(destroyed) {}
    ~CCountedRange() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

// Which Filter and DecodeParms values decode, and how. A filter the reader does not decode
// refuses its data when it is read, not when the object is fetched; a chain decodes in turn.
TEST(Flate, FilterAndParameterForms)
{
    const std::string rows = Bytes({2, 1, 2, 2, 1, 1});  // Predictor 12, Columns 2: 1 2, then 2 3
    const std::string predicted = Bytes({1, 2, 2, 3});
    const std::string refused = "<error: Stream filter not supported>";
    const std::string png = "<< /Predictor 12 /Columns 2 >>";
    const struct {
        const char* name;
        std::string dictionary;
        std::string expected;
    } table[] = {
        {"no Filter: the data as it stands", "<< /DecodeParms << >> >>", Compress(rows)},
        {"FlateDecode", "<< /Filter /FlateDecode >>", rows},
        {"Fl", "<< /Filter /Fl >>", rows},
        {"F when Filter is absent", "<< /F /FlateDecode >>", rows},
        {"array of one name", "<< /Filter [/FlateDecode] >>", rows},
        {"array of one Fl", "<< /Filter [/Fl] >>", rows},
        {"inflating twice finds no zlib data the second time", "<< /Filter [/FlateDecode /Fl] >>", ""},
        {"nine filters are too many", "<< /Filter [/AHx /AHx /AHx /AHx /AHx /AHx /AHx /AHx /Fl] >>", "<none>"},
        {"array of a name and an integer", "<< /Filter [/Fl 5] >>", "<none>"},
        {"empty array", "<< /Filter [] >>", "<none>"},
        {"integer", "<< /Filter 5 >>", "<none>"},
        {"array of one integer", "<< /Filter [5] >>", "<none>"},
        {"refused filter after Flate", "<< /Filter [/FlateDecode /DCTDecode] >>", refused},
        {"refused filter before Flate", "<< /Filter [/JPXDecode /FlateDecode] >>", refused},
        {"JBIG2Decode", "<< /Filter /JBIG2Decode >>", refused},
        {"lzwdecode", "<< /Filter /lzwdecode >>", refused},
        {"flatedecode", "<< /Filter /flatedecode >>", refused},
        {"FlateDecodeX", "<< /Filter /FlateDecodeX >>", refused},
        {"empty name", "<< /Filter / >>", refused},
        {"F of DCTDecode", "<< /F /DCTDecode >>", refused},
        {"array of CCITTFaxDecode", "<< /Filter [/CCITTFaxDecode] >>", refused},
        {"DecodeParms dictionary", "<< /Filter /FlateDecode /DecodeParms " + png + " >>", predicted},
        {"DP when DecodeParms is absent", "<< /Filter /FlateDecode /DP " + png + " >>", predicted},
        {"DecodeParms wins over DP", "<< /Filter /FlateDecode /DecodeParms << >> /DP " + png + " >>", rows},
        {"DecodeParms array for an array of one", "<< /Filter [/FlateDecode] /DecodeParms [" + png + "] >>", predicted},
        {"DecodeParms array for a name", "<< /Filter /FlateDecode /DecodeParms [" + png + "] >>", predicted},
        {"DecodeParms array of null", "<< /Filter /FlateDecode /DecodeParms [null] >>", rows},
        {"empty DecodeParms array", "<< /Filter [/FlateDecode] /DecodeParms [] >>", rows},
        {"DecodeParms dictionary for a chain goes with none", "<< /Filter [/Fl /Fl] /DecodeParms " + png + " >>", ""},
        {"Predictor that is not an integer", "<< /Filter /FlateDecode /DecodeParms << /Predictor 12.0 /Columns 2 >> >>",
         rows},
        {"Predictor given as a name", "<< /Filter /FlateDecode /DecodeParms << /Predictor /12 /Columns 2 >> >>", rows},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, Decode(rows, row.dictionary));
    }
}

// What inflating gives. It goes in slices of 1024 bytes, and a slice in which zlib reports
// damage is dropped while the slices before it count. Data not in zlib's format (or wanting a
// preset dictionary) gives nothing. The compressed bytes are the range's: a Length past the
// file reads what there is, a Length that cuts the data gives what inflates from inside it.
// Whatever the end, it is final.
TEST(Flate, InflatedBytes)
{
    const std::string data = PatternBytes(3000);
    const std::string stored = Compress(data, 0);  // 2-byte header, 5-byte block header, data
    std::string badChecksum = Compress(data);
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
    struct InflateRow {
        const char* name;
        std::string compressed;
        uint32_t length;  // of the range; 0 for the whole file
        std::string expected;
        bool isWhole = false; // a sound zlib stream, which a reader may take in one go
    };
    const InflateRow table[] = {
        {"intact", Compress(data), 0, data, true},
        {"stored blocks", stored, 0, data, true},
        {"bad checksum drops the 952-byte slice", badChecksum, 0, data.substr(0, 2048)},
        {"damage after 2500 bytes drops the slice from 2048", DamagedAfter(data, 2500), 0, data.substr(0, 2048)},
        {"damage after 500 bytes drops the first slice", DamagedAfter(data, 500), 0, ""},
        {"raw deflate", Compress(kText, Z_DEFAULT_COMPRESSION, -15), 0, ""},
        {"gzip", Compress(kText, Z_DEFAULT_COMPRESSION, 31), 0, ""},
        {"preset dictionary", Compress(kText, Z_DEFAULT_COMPRESSION, 15, "BT ET Tf Tj"), 0, ""},
        {"empty", "", 0, ""},
        {"one byte", "x", 0, ""},
        {"not compressed", kText, 0, ""},
        {"hand-made run of zeros", ZeroBomb(10), 0, std::string(1 + 2580, '\0'), true},
        {"Length exact", stored, static_cast<uint32_t>(stored.size()), data, true},
        {"Length 2 GiB past the file", stored, 0x80000000u, data, true},
        {"Length 4 GiB - 1", stored, UINT32_MAX, data, true},
        {"Length cuts after 1500 data bytes", stored, 7 + 1500, data.substr(0, 1500)},
        {"Length cuts after 1024 data bytes", stored, 7 + 1024, data.substr(0, 1024)},
        {"Length cuts inside the header", stored, 1, ""},
    };
    const CPdfElement dictionary = Parsed("<< /Filter /FlateDecode >>");
    for (const InflateRow& row : table) {
        SCOPED_TRACE(row.name);
        CRangeFile file(row.compressed);
        const uint32_t length = row.length ? row.length : static_cast<uint32_t>(row.compressed.size());
        CPdfRef<CPdfStream> stream = makeFilter(file.Range(0, length, dictionary), dictionary.dictionary());
        ASSERT_TRUE(stream);
        EXPECT_EQ(row.expected, ReadAll(*stream));
        EXPECT_EQ(-1, stream->getChar());
        EXPECT_EQ(-1, stream->peekChar());
        EXPECT_EQ(-1, stream->getRawChar());
        // The same bytes in blocks that straddle the 1024-byte slices.
        CPdfRef<CPdfStream> blocks = makeFilter(file.Range(0, length, dictionary), dictionary.dictionary());
        std::string block(700, '\0');
        std::string all;
        for (size_t count = 0; (count = blocks->readBlock(&block[0], block.size())) > 0;)
            all.append(block, 0, count);
        EXPECT_EQ(row.expected, all) << "read in blocks";
        // In one go: a limit below the bytes, or any stream that is not sound, leaves the
        // stream to read on as above.
        for (const uint64_t limit : {uint64_t{0}, uint64_t{row.expected.size()} - 1, uint64_t{row.expected.size()}}) {
            CPdfRef<CPdfStream> whole = makeFilter(file.Range(0, length, dictionary), dictionary.dictionary());
            CByteBuffer out(5, 'x');
            const bool isWhole = whole->readWhole(out, limit);
            EXPECT_EQ(isWhole, row.isWhole && limit >= row.expected.size()) << "limit " << limit;
            EXPECT_EQ(row.expected, isWhole ? std::string(out.begin(), out.end()) : ReadAll(*whole)) << "limit " << limit;
            EXPECT_EQ(-1, whole->getChar());
        }
    }
}

// A stream that inflates past the ceiling ends there.
TEST(Flate, InflatedBytesHaveACeiling)
{
    CRangeFile file(ZeroBomb(static_cast<uint32_t>(kMaxInflatedBytes / 258 + 1000)));
    CPdfRef<CPdfStream> stream = Filter(file, Parsed("<< /Filter /FlateDecode >>"));
    ASSERT_TRUE(stream);
    uint64_t count = 0;
    int c;
    while ((c = stream->getRawChar()) == 0)
        ++count;
    EXPECT_EQ(-1, c);
    EXPECT_EQ(kMaxInflatedBytes, count);
}

// A flate stream holds the only reference to its range and drops it when it goes (a malformed
// chain drops it at once). Position, start, length and dictionary are the range's, and all
// input is read at construction; a flate stream cannot be rewound, sought or cut into ranges.
TEST(Flate, HoldsItsRange)
{
    const std::string compressed = Compress(kText);
    const uint32_t length = static_cast<uint32_t>(compressed.size());
    CRangeFile file("junk" + compressed + "endstream");
    int destroyed = 0;
    CPdfElement dictionary = Parsed("<< /Filter /Fl >>");
    CPdfRef<CPdfStream> range =
        CPdfRef<CPdfStream>::create<CCountedRange>(file.get(), 4, length, dictionary, destroyed);
    CPdfRef<CPdfStream> stream = makeFilter(std::move(range), dictionary.dictionary());
    ASSERT_TRUE(stream);
    EXPECT_EQ(dictionary.dictionary(), stream->getDict());
    EXPECT_EQ(4u, stream->getStart());
    EXPECT_EQ(length, stream->getLength());
    EXPECT_EQ(4 + length, stream->getPos());
    EXPECT_FALSE(stream->openRange(0, 4, dictionary));
    EXPECT_EQ(kText, ReadAll(*stream));
    stream->rewind();
    stream->seek(0, 0);
    EXPECT_EQ(-1, stream->getChar());
    stream->shiftStart(2);
    EXPECT_EQ(6u, stream->getStart());
    EXPECT_EQ(0, destroyed);
    stream.reset();
    EXPECT_EQ(1, destroyed);
    CPdfElement chain = Parsed("<< /Filter [/Fl 5] >>");
    EXPECT_FALSE(makeFilter(CPdfRef<CPdfStream>::create<CCountedRange>(file.get(), 0, 4u, chain, destroyed),
                            chain.dictionary()));
    EXPECT_EQ(2, destroyed);
}

} // namespace
