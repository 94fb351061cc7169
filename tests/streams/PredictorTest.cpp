#include "streams/Predictor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pdf/CheckedMath.h"
#include "streams/FlateStream.h"
#include "tests/streams/FlateFixtures.h"

using namespace flatetest;

namespace {

// What getChar hands out for decompressed bytes (row tags included) under the predictor
// parameters; "<none>" when makeFilter refuses the parameters.
TEST(Predictor, DecodedRows)
{
    struct PredictorRow {
        const char* name;
        int32_t predictor, columns, colors, bitsPerComponent;
        std::string encoded;
        std::string expected;
    };
    const std::string limitData = Bytes({2, 1, 2, 3, 4});
    const PredictorRow rows[] = {
        // Every PNG row filter on one-byte pixels; Predictor 10..15 all mean "tag per row".
        {"None", 10, 3, 1, 8, Bytes({0, 1, 2, 3, 0, 250, 0, 7}), Bytes({1, 2, 3, 250, 0, 7})},
        {"Sub wraps modulo 256", 11, 3, 1, 8, Bytes({1, 10, 5, 250}), Bytes({10, 15, 9})},
        {"Up over the zero row, then over row 1", 12, 3, 1, 8, Bytes({2, 1, 2, 3, 2, 1, 1, 255}),
         Bytes({1, 2, 3, 2, 3, 2})},
        {"Average", 13, 3, 1, 8, Bytes({3, 100, 50, 20, 3, 0, 0, 0}), Bytes({100, 100, 70, 50, 75, 72})},
        // 255 and 255 average to 255: the sum must not wrap at 8 bits.
        {"Average sums without overflow", 15, 2, 1, 8, Bytes({0, 255, 255, 3, 128, 0}), Bytes({255, 255, 255, 255})},
        {"Paeth first row acts as Sub", 14, 3, 1, 8, Bytes({4, 10, 5, 250}), Bytes({10, 15, 9})},
        {"Paeth picks left", 14, 2, 1, 8, Bytes({0, 0, 5, 4, 100, 0}), Bytes({0, 5, 100, 100})},
        {"Paeth picks up", 14, 2, 1, 8, Bytes({0, 0, 100, 4, 5, 0}), Bytes({0, 100, 5, 100})},
        {"Paeth picks up-left", 14, 2, 1, 8, Bytes({0, 50, 60, 4, 246, 0}), Bytes({50, 60, 40, 50})},
        // Left 80, up 110, up-left 100: left and up-left are equally close; left wins.
        {"Paeth tie left over up-left", 14, 2, 1, 8, Bytes({0, 100, 110, 4, 236, 0}), Bytes({100, 110, 80, 80})},
        // Left 110, up 80, up-left 100: up and up-left are equally close; up wins.
        {"Paeth tie up over up-left", 14, 2, 1, 8, Bytes({0, 100, 80, 4, 10, 0}), Bytes({100, 80, 110, 80})},
        {"Tag above 4 passes the row through", 12, 2, 1, 8, Bytes({0, 9, 9, 5, 1, 2, 200, 3, 4}),
         Bytes({9, 9, 1, 2, 3, 4})},
        // The encoder may choose a different filter for every row ("optimum"). Sub: 10 30;
        // Up: 11 31; Average: (0+11)/2+2=7, (7+31)/2+2=21; Paeth: up 7 -> 8, then left 8 up 21
        // up-left 7 -> up 21+1=22; None: 7 7; Up: 10 10.
        {"tags 1 2 3 4 0 2", 15, 2, 1, 8, Bytes({1, 10, 20, 2, 1, 1, 3, 2, 2, 4, 1, 1, 0, 7, 7, 2, 3, 3}),
         Bytes({10, 30, 11, 31, 7, 21, 8, 22, 7, 7, 10, 10})},
        // PNG filters work on bytes: "left" is one whole pixel back, 16-bit samples do not carry.
        {"Sub with 3 colours", 11, 2, 3, 8, Bytes({1, 10, 20, 30, 1, 2, 3}), Bytes({10, 20, 30, 11, 22, 33})},
        {"Up with 3 colours", 12, 1, 3, 8, Bytes({2, 1, 2, 3, 2, 1, 1, 1}), Bytes({1, 2, 3, 2, 3, 4})},
        {"Paeth with 3 colours", 14, 2, 3, 8, Bytes({4, 1, 2, 3, 1, 1, 1}), Bytes({1, 2, 3, 2, 3, 4})},
        {"Sub with 16 bits, no carry", 11, 2, 1, 16, Bytes({1, 0x01, 0xFF, 0x00, 0x01}),
         Bytes({0x01, 0xFF, 0x01, 0x00})},
        {"Average with 16 bits", 13, 2, 1, 16, Bytes({3, 0x10, 0x20, 0x02, 0x02}), Bytes({0x10, 0x20, 0x0A, 0x12})},
        // Four 2-bit samples share one byte: the left "pixel" is the byte before.
        {"Sub with 2 bits", 11, 8, 1, 2, Bytes({1, 0x11, 0x22}), Bytes({0x11, 0x33})},
        // TIFF predictor 2 with 8-bit samples: each byte adds the byte one pixel back.
        {"TIFF 1 colour, two rows", 2, 3, 1, 8, Bytes({1, 2, 3, 5, 5, 5}), Bytes({1, 3, 6, 5, 10, 15})},
        {"TIFF 2 colours", 2, 3, 2, 8, Bytes({1, 2, 3, 4, 5, 6}), Bytes({1, 2, 4, 6, 9, 12})},
        {"TIFF 3 colours wrap modulo 256", 2, 3, 3, 8, Bytes({1, 2, 3, 10, 10, 10, 255, 1, 1}),
         Bytes({1, 2, 3, 11, 12, 13, 10, 13, 14})},
        {"TIFF 4 colours", 2, 3, 4, 8, Bytes({1, 2, 3, 4, 1, 1, 1, 1, 1, 1, 1, 1}),
         Bytes({1, 2, 3, 4, 2, 3, 4, 5, 3, 4, 5, 6})},
        // TIFF with packed samples: sums modulo 2^bits per component, spare bits cleared.
        // Ten 1-bit samples 1000000000 integrate to all ones; the six spare bits become zero.
        {"TIFF 1 bit, 1 colour", 2, 10, 1, 1, Bytes({0x80, 0x3F}), Bytes({0xFF, 0xC0})},
        // Pixels 101 111 001 -> 101 010 011.
        {"TIFF 1 bit, 3 colours", 2, 3, 3, 1, Bytes({0xBC, 0xFF}), Bytes({0xA9, 0x80})},
        // Samples 1 2 | 3 3 | 1 1 -> 1 2 | 0 1 | 1 2.
        {"TIFF 2 bits, 2 colours", 2, 3, 2, 2, Bytes({0x6F, 0x5F}), Bytes({0x61, 0x60})},
        // Samples 1 2 3 | 15 15 1 -> 1 2 3 | 0 1 4.
        {"TIFF 4 bits, 3 colours", 2, 2, 3, 4, Bytes({0x12, 0x3F, 0xF1}), Bytes({0x12, 0x30, 0x14})},
        {"TIFF 4 bits, 1 colour, two rows", 2, 3, 1, 4, Bytes({0x11, 0x1F, 0x22, 0x2F}),
         Bytes({0x12, 0x30, 0x24, 0x60})},
        // Big-endian samples 0x0001 0xFFFF 0x0002 -> 1, 0, 2.
        {"TIFF 16 bits, 1 colour", 2, 3, 1, 16, Bytes({0x00, 0x01, 0xFF, 0xFF, 0x00, 0x02}),
         Bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x02})},
        // 0xFF01 + 0x00FF carries into the high byte: 0x0000, not the bytewise 0xFF00.
        {"TIFF 16 bits, 2 colours, carry", 2, 2, 2, 16, Bytes({0x12, 0x34, 0x00, 0xFF, 0x00, 0x01, 0xFF, 0x01}),
         Bytes({0x12, 0x34, 0x00, 0xFF, 0x12, 0x35, 0x00, 0x00})},
        {"TIFF 16 bits, 4 colours", 2, 2, 4, 16, Bytes({0, 1, 0, 2, 0, 3, 0, 4, 0, 1, 0, 1, 0xFF, 0xFF, 0, 1}),
         Bytes({0, 1, 0, 2, 0, 3, 0, 4, 0, 2, 0, 3, 0, 2, 0, 5})},
        // Other predictor values cut the data into rows without tags and change nothing.
        {"predictor 3", 3, 3, 1, 8, Bytes({1, 2, 3, 4, 5, 6}), Bytes({1, 2, 3, 4, 5, 6})},
        {"predictor 0", 0, 2, 1, 8, Bytes({9, 8, 7, 6}), Bytes({9, 8, 7, 6})},
        {"predictor 9", 9, 2, 1, 8, Bytes({9, 8, 7}), Bytes({9, 8})},
        {"predictor -5", -5, 2, 1, 8, Bytes({9, 8, 7}), Bytes({9, 8})},
        {"predictor 1 keeps even a short row", 1, 2, 1, 8, Bytes({9, 8, 7}), Bytes({9, 8, 7})},
        // A row cut short by the end of the data is dropped whole, whatever the predictor.
        {"PNG row of tag and 3 of 4 bytes", 12, 4, 1, 8, Bytes({2, 1, 2, 3, 4, 2, 1, 1, 1}), Bytes({1, 2, 3, 4})},
        {"PNG row of a tag alone", 12, 4, 1, 8, Bytes({2, 1, 2, 3, 4, 2}), Bytes({1, 2, 3, 4})},
        {"PNG data shorter than one row", 10, 4, 1, 8, Bytes({0, 1, 2}), ""},
        {"TIFF 8 bits short row", 2, 2, 2, 8, Bytes({1, 1, 1, 1, 5, 5, 5}), Bytes({1, 1, 2, 2})},
        {"TIFF 16 bits, half a sample", 2, 1, 1, 16, Bytes({0, 1, 0}), Bytes({0, 1})},
        {"empty data", 12, 4, 1, 8, "", ""},
        // Parameters outside the limits give no stream at all; those at the limits are accepted.
        {"defaults with PNG", 12, 1, 1, 8, limitData, Bytes({1, 4})},
        {"Colors 0", 12, 4, 0, 8, limitData, "<none>"},
        {"Colors -1", 12, 4, -1, 8, limitData, "<none>"},
        {"Colors 32", 12, 4, 32, 8, limitData, ""},
        {"Colors 33", 12, 4, 33, 8, limitData, "<none>"},
        {"BitsPerComponent 0", 12, 4, 1, 0, limitData, "<none>"},
        {"BitsPerComponent 3", 2, 4, 1, 3, limitData, "<none>"},
        {"BitsPerComponent 32", 12, 4, 1, 32, limitData, "<none>"},
        {"BitsPerComponent -8", 12, 4, 1, -8, limitData, "<none>"},
        {"Columns 0", 12, 0, 1, 8, limitData, "<none>"},
        {"Columns -1", 12, -1, 1, 8, limitData, "<none>"},
        {"Columns 2^20", 12, 1 << 20, 1, 8, limitData, ""},
        {"Columns 2^20 + 1", 12, (1 << 20) + 1, 1, 8, limitData, "<none>"},
        {"Columns INT32_MAX", 2, INT32_MAX, 32, 16, limitData, "<none>"},
        {"row of 4 MiB", 12, 1 << 20, 32, 1, limitData, ""},
        {"row past 4 MiB", 12, 1 << 20, 32, 2, limitData, "<none>"},
        {"2^20 columns x 32 colours x 16 bits", 12, 1 << 20, 32, 16, limitData, "<none>"},
        {"predictor 1 ignores the others", 1, 0, -7, 99, limitData, limitData},
    };
    for (const PredictorRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected,
                  Decode(row.encoded, FlateWith(row.predictor, row.columns, row.colors, row.bitsPerComponent)));
    }
}

// Bad parameters are a caller's mistake (makeFilter refuses them): a debug build stops on them,
// a release build gives a stream without data instead of buffers sized from them.
TEST(Predictor, BadParametersPastMakeFilter)
{
    CRangeFile file(Compress(Bytes({0, 1, 2, 3})));
    std::string decoded = "not read";
    auto decodeWithColumns = [&](int32_t columns) {
        CPdfRef<CPdfStream> stream = CPdfRef<CPdfStream>::create<CPdfFlateStream>(
            file.Range(Parsed(FlateWith(12, columns, 1, 8))), 12, columns, 1, 8);
        decoded = ReadAll(*stream);
    };
    EXPECT_DEBUG_DEATH(decodeWithColumns(0), "areParametersValid");
    EXPECT_DEBUG_DEATH(decodeWithColumns(-1), "areParametersValid");
#ifdef NDEBUG
    EXPECT_EQ("", decoded);
#endif
}

// A predictor reads decompressed bytes through getRawChar; peekChar and getRawChar on the flate
// stream see those bytes, tags included.
TEST(Predictor, RawBytesBypassThePredictor)
{
    CRangeFile file(Compress(Bytes({2, 5, 6, 2, 1, 1, 2, 1, 1})));
    CPdfRef<CPdfStream> stream = Filter(file, Parsed(FlateWith(12, 2, 1, 8)));
    ASSERT_TRUE(stream);
    EXPECT_EQ(2, stream->peekChar());
    EXPECT_EQ(2, stream->getRawChar());
    EXPECT_EQ(5, stream->getRawChar());
    EXPECT_EQ(6, stream->peekChar());
    EXPECT_EQ(6, stream->getRawChar());
    // The predictor now starts at the second row, over a zero row: 1 1, then 2 2.
    EXPECT_EQ(Bytes({1, 1, 2, 2}), ReadAll(*stream));
    EXPECT_EQ(-1, stream->getRawChar());
}

// The checked arithmetic the row geometry uses, at the edges of each type: the exact result of
// the operands, whatever their types, and whether it fits the result's type.
TEST(CheckedMath, Edges)
{
    int32_t sum32 = 0;
    EXPECT_TRUE(CheckedAdd(INT32_MAX - 1, 1, sum32));
    EXPECT_EQ(INT32_MAX, sum32);
    EXPECT_FALSE(CheckedAdd(INT32_MAX, 1, sum32));
    EXPECT_FALSE(CheckedAdd(INT32_MIN, -1, sum32));
    uint64_t sum64 = 0;
    EXPECT_TRUE(CheckedAdd(UINT32_MAX, 1u, sum64));
    EXPECT_EQ(uint64_t(1) << 32, sum64);
    EXPECT_FALSE(CheckedAdd(UINT64_MAX, 1, sum64));
    EXPECT_FALSE(CheckedAdd(-1, 0, sum64));
    uint32_t product32 = 0;
    EXPECT_TRUE(CheckedMul(65535u, 65537u, product32));
    EXPECT_EQ(UINT32_MAX, product32);
    EXPECT_FALSE(CheckedMul(65536u, 65536u, product32));
    uint64_t product64 = 0;
    EXPECT_TRUE(CheckedMul(65536u, 65536u, product64));
    EXPECT_EQ(uint64_t(1) << 32, product64);
    EXPECT_FALSE(CheckedMul(uint64_t(1) << 32, uint64_t(1) << 32, product64));
}

} // namespace
