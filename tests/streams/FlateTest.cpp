#include "streams/FlateStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "pdf/Exception.h"
#include "tests/streams/FlateFixtures.h"

using namespace flatetest;

namespace {

// Bytes that do not repeat soon, so that slices of them are told apart.
std::string Pattern(size_t size)
{
    std::string out;
    for (size_t i = 0; i < size; ++i)
        out.push_back(static_cast<char>((i * 7 + i / 251) % 256));
    return out;
}

// zlib data for two parts, flushed to a byte boundary after the first; the byte after the
// boundary is replaced by an invalid block header, so inflating fails right after `first`.
std::string DamagedAfter(const std::string& first, const std::string& second)
{
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("deflateInit failed");
    std::string out(first.size() + second.size() + 1024, '\0');
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    auto feed = [&zs](const std::string& part, int flush) {
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        zs.avail_in = static_cast<uInt>(part.size());
        deflate(&zs, flush);
    };
    feed(first, Z_FULL_FLUSH);
    size_t boundary = zs.total_out;
    feed(second, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    out[boundary] = 0x07;  // final block of type 3, which does not exist
    return out;
}

// Deflate data in a container other than zlib's: raw (windowBits -15) or gzip (31).
std::string DeflateWithWindowBits(const std::string& data, int windowBits)
{
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(data.size() + 1024, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// zlib data that asks for a preset dictionary.
std::string DeflateWithDictionary(const std::string& data, const std::string& preset)
{
    z_stream zs{};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(preset.data()), static_cast<uInt>(preset.size()));
    std::string out(data.size() + 1024, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// A range stream that reports its destruction.
class CCountedRange : public CPdfFileStream {
public:
    CCountedRange(FILE* file, uint32_t length, int& destroyed)
        : CPdfFileStream(file, 0, length, CPdfElement()), m_destroyed(destroyed)
    {
    }
    ~CCountedRange() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

const std::string kText = "BT /F1 12 Tf 72 712 Td (Hello) Tj ET";

// Without Filter and F the data is read as it stands, through the range stream itself.
TEST(Flate, NoFilterGivesTheRangeItself)
{
    CRangeFile file(kText);
    CPdfElement dictionary = Dictionary({{"Length", Integer(36)}, {"DecodeParms", Dictionary({})}});
    CPdfRef<CPdfStream> range = file.Range(dictionary);
    CPdfStream* rangeAddress = range.get();
    CPdfRef<CPdfStream> stream = makeFilter(std::move(range), dictionary.dictionary());
    EXPECT_EQ(rangeAddress, stream.get());
    EXPECT_EQ(kText, ReadAll(*stream));
}

// Which Filter and DecodeParms values decode, and how.
TEST(Flate, FilterAndParameterForms)
{
    const std::string rows = Bytes({2, 1, 2, 2, 1, 1});  // Predictor 12, Columns 2: 1 2, then 2 3
    const std::string predicted = Bytes({1, 2, 2, 3});
    struct FormRow {
        const char* name;
        CPdfElement dictionary;
        std::string expected;
    };
    CPdfElement pngParms = Dictionary({{"Predictor", Integer(12)}, {"Columns", Integer(2)}});
    CPdfElement real;
    real.setReal(12.0);
    const FormRow table[] = {
        {"FlateDecode", Dictionary({{"Filter", Name("FlateDecode")}}), rows},
        {"Fl", Dictionary({{"Filter", Name("Fl")}}), rows},
        {"F when Filter is absent", Dictionary({{"F", Name("FlateDecode")}}), rows},
        {"array of one name", Dictionary({{"Filter", Array({Name("FlateDecode")})}}), rows},
        {"array of one Fl", Dictionary({{"Filter", Array({Name("Fl")})}}), rows},
        {"array of two names", Dictionary({{"Filter", Array({Name("FlateDecode"), Name("FlateDecode")})}}), "<none>"},
        {"empty array", Dictionary({{"Filter", Array({})}}), "<none>"},
        {"integer", Dictionary({{"Filter", Integer(5)}}), "<none>"},
        {"array of one integer", Dictionary({{"Filter", Array({Integer(5)})}}), "<none>"},
        {"DecodeParms dictionary", Dictionary({{"Filter", Name("FlateDecode")}, {"DecodeParms", pngParms}}),
         predicted},
        {"DP when DecodeParms is absent", Dictionary({{"Filter", Name("FlateDecode")}, {"DP", pngParms}}),
         predicted},
        {"DecodeParms wins over DP",
         Dictionary({{"Filter", Name("FlateDecode")}, {"DecodeParms", Dictionary({})}, {"DP", pngParms}}), rows},
        {"DecodeParms array keeps the defaults",
         Dictionary({{"Filter", Array({Name("FlateDecode")})}, {"DecodeParms", Array({pngParms})}}), rows},
        {"Predictor that is not an integer",
         Dictionary({{"Filter", Name("FlateDecode")},
                     {"DecodeParms", Dictionary({{"Predictor", real}, {"Columns", Integer(2)}})}}),
         rows},
        {"Predictor given as a name",
         Dictionary({{"Filter", Name("FlateDecode")},
                     {"DecodeParms", Dictionary({{"Predictor", Name("12")}, {"Columns", Integer(2)}})}}),
         rows},
    };
    for (const FormRow& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, Decode(rows, row.dictionary));
    }
}

// Any single filter but Flate is refused with an exception; a chain is not even looked at.
// Other filters are refused when their data is read, not when the object is fetched.
TEST(Flate, OtherFilterNamesRefuseTheirData)
{
    const CPdfElement table[] = {
        Dictionary({{"Filter", Name("LZWDecode")}}),
        Dictionary({{"Filter", Name("flatedecode")}}),
        Dictionary({{"Filter", Name("FlateDecodeX")}}),
        Dictionary({{"Filter", Name("")}}),
        Dictionary({{"F", Name("DCTDecode")}}),
        Dictionary({{"Filter", Array({Name("ASCIIHexDecode")})}}),
    };
    CRangeFile file(Compress(kText));
    for (const CPdfElement& dictionary : table) {
        SCOPED_TRACE(dictionary.dictionary()->entries().begin()->second.text());
        CPdfRef<CPdfStream> stream = Filter(file, dictionary);
        ASSERT_TRUE(stream);
        EXPECT_EQ(dictionary.dictionary(), stream->getDict());
        try {
            stream->getChar();
            ADD_FAILURE() << "no exception";
        } catch (const CPdfException& error) {
            EXPECT_STREQ("Stream filter not supported", error.what());
        }
    }
    EXPECT_FALSE(Filter(file, Dictionary({{"Filter", Array({Name("LZWDecode"), Name("FlateDecode")})}})));
}

// Decoding happens in slices of 1024 bytes. A slice in which zlib reports damage is dropped
// (the bytes before it still count): a bad checksum after 3000 bytes leaves the first 2048.
TEST(Flate, SlicesOf1024)
{
    const std::string data = Pattern(3000);
    struct SliceRow {
        const char* name;
        std::string compressed;
        size_t expectedSize;
    };
    std::string badChecksum = Compress(data);
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
    const SliceRow table[] = {
        {"intact", Compress(data), 3000},
        {"stored blocks", Compress(data, 0), 3000},
        {"bad checksum drops the 952-byte slice", badChecksum, 2048},
        {"damage after 2500 bytes drops the slice from 2048", DamagedAfter(data.substr(0, 2500), data.substr(2500)),
         2048},
        {"damage after 500 bytes drops the first slice", DamagedAfter(data.substr(0, 500), data.substr(500)), 0},
    };
    for (const SliceRow& row : table) {
        SCOPED_TRACE(row.name);
        CRangeFile file(row.compressed);
        CPdfRef<CPdfStream> stream = Filter(file, Dictionary({{"Filter", Name("FlateDecode")}}));
        ASSERT_TRUE(stream);
        EXPECT_EQ(data.substr(0, row.expectedSize), ReadAll(*stream));
        // The end is final.
        EXPECT_EQ(-1, stream->getChar());
        EXPECT_EQ(-1, stream->peekChar());
        EXPECT_EQ(-1, stream->getRawChar());
    }
}

// Data that is not zlib's format, or wants a preset dictionary, gives an empty stream.
TEST(Flate, ForeignContainersGiveNoData)
{
    const std::string table[] = {
        DeflateWithWindowBits(kText, -15),
        DeflateWithWindowBits(kText, 31),
        DeflateWithDictionary(kText, "BT ET Tf Tj"),
        "",
        "x",
        kText,
    };
    for (const std::string& compressed : table) {
        SCOPED_TRACE(compressed.size());
        CRangeFile file(compressed);
        CPdfRef<CPdfStream> stream = Filter(file, Dictionary({{"Filter", Name("FlateDecode")}}));
        ASSERT_TRUE(stream);
        EXPECT_EQ("", ReadAll(*stream));
    }
}

// The compressed bytes are the range's: a Length past the end of the file reads what there is;
// a Length that cuts the data gives what inflates from the bytes inside it.
TEST(Flate, RangeLengths)
{
    const std::string data = Pattern(3000);
    const std::string stored = Compress(data, 0);  // 2-byte header, 5-byte block header, data
    struct LengthRow {
        const char* name;
        uint32_t length;
        size_t expectedSize;
    };
    const LengthRow table[] = {
        {"exact", static_cast<uint32_t>(stored.size()), 3000},
        {"2 GiB past the file", 0x80000000u, 3000},
        {"4 GiB - 1", UINT32_MAX, 3000},
        {"cut after 1500 data bytes", 7 + 1500, 1500},
        {"cut after 1024 data bytes", 7 + 1024, 1024},
        {"cut inside the header", 1, 0},
    };
    CRangeFile file(stored);
    for (const LengthRow& row : table) {
        SCOPED_TRACE(row.name);
        CPdfElement dictionary = Dictionary({{"Filter", Name("FlateDecode")}});
        CPdfRef<CPdfStream> stream = makeFilter(file.Range(0, row.length, dictionary), dictionary.dictionary());
        ASSERT_TRUE(stream);
        EXPECT_EQ(data.substr(0, row.expectedSize), ReadAll(*stream));
    }
}

// Position, start, length and dictionary are the range's; a flate stream cannot be rewound,
// sought or cut into ranges.
TEST(Flate, ForwardsToTheRange)
{
    const std::string compressed = Compress(kText);
    CRangeFile file("junk" + compressed + "endstream");
    CPdfElement dictionary = Dictionary({{"Filter", Name("FlateDecode")}});
    const uint32_t length = static_cast<uint32_t>(compressed.size());
    CPdfRef<CPdfStream> stream = makeFilter(file.Range(4, length, dictionary), dictionary.dictionary());
    ASSERT_TRUE(stream);
    EXPECT_EQ(dictionary.dictionary(), stream->getDict());
    EXPECT_EQ(4u, stream->getStart());
    EXPECT_EQ(length, stream->getLength());
    EXPECT_EQ(4 + length, stream->getPos());  // all input was read at construction
    EXPECT_FALSE(stream->openRange(0, 4, dictionary));
    EXPECT_EQ(kText, ReadAll(*stream));
    stream->rewind();
    stream->seek(0, 0);
    EXPECT_EQ(-1, stream->getChar());
    stream->shiftStart(2);
    EXPECT_EQ(6u, stream->getStart());
}

// The flate stream holds the only reference to its range and drops it when it goes.
TEST(Flate, ReleasesTheRange)
{
    CRangeFile file(Compress(kText));
    int destroyed = 0;
    CPdfElement dictionary = Dictionary({{"Filter", Name("Fl")}});
    CPdfRef<CPdfStream> range = CPdfRef<CPdfStream>::create<CCountedRange>(
        file.get(), static_cast<uint32_t>(Compress(kText).size()), destroyed);
    CPdfRef<CPdfStream> stream = makeFilter(std::move(range), dictionary.dictionary());
    ASSERT_TRUE(stream);
    EXPECT_EQ(0, destroyed);
    EXPECT_EQ(kText, ReadAll(*stream));
    stream.reset();
    EXPECT_EQ(1, destroyed);

    // Refused streams drop the range as well.
    CPdfElement chain = Dictionary({{"Filter", Array({Name("Fl"), Name("Fl")})}});
    EXPECT_FALSE(makeFilter(CPdfRef<CPdfStream>::create<CCountedRange>(file.get(), 4u, destroyed),
                            chain.dictionary()));
    EXPECT_EQ(2, destroyed);
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
    put(0b110, 3);        // last block, fixed codes (BTYPE 1, low bit first)
    put(0b00110000, 8);   // literal 0
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

// A stream that inflates past the ceiling ends there.
TEST(Flate, InflatedBytesHaveACeiling)
{
    const uint32_t matches = static_cast<uint32_t>(kMaxInflatedBytes / 258 + 1000);
    CRangeFile file(ZeroBomb(matches));
    CPdfRef<CPdfStream> stream = Filter(file, Dictionary({{"Filter", Name("FlateDecode")}}));
    ASSERT_TRUE(stream);
    uint64_t count = 0;
    int c;
    while ((c = stream->getRawChar()) == 0)
        ++count;
    EXPECT_EQ(-1, c);
    EXPECT_EQ(kMaxInflatedBytes, count);
}

// The hand-made data above is sound: a short one inflates in full.
TEST(Flate, ZeroBombFixtureInflates)
{
    CRangeFile file(ZeroBomb(10));
    CPdfRef<CPdfStream> stream = Filter(file, Dictionary({{"Filter", Name("FlateDecode")}}));
    ASSERT_TRUE(stream);
    EXPECT_EQ(std::string(1 + 2580, '\0'), ReadAll(*stream));
}

} // namespace
