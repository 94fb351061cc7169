#include "streams/DecodeStream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "streams/FlateStream.h"
#include "tests/streams/FlateFixtures.h"

using namespace flatetest;

namespace {

// Stored data read back through makeFilter under a stream dictionary, with "<none>" when it
// gives no stream; the same read in blocks of 700 bytes must agree.
std::string DecodeStored(const std::string& stored, const std::string& dictionaryText)
{
    const CPdfElement dictionary = Parsed(dictionaryText);
    CRangeFile file(stored);
    CPdfRef<CPdfStream> stream = Filter(file, dictionary);
    if (!stream)
        return "<none>";
    const std::string bytes = ReadAll(*stream);
    EXPECT_EQ(-1, stream->getChar());
    EXPECT_EQ(-1, stream->peekChar());
    CPdfRef<CPdfStream> blocks = Filter(file, dictionary);
    std::string block(700, '\0');
    std::string all;
    for (size_t count = 0; (count = blocks->readBlock(&block[0], block.size())) > 0;)
        all.append(block, 0, count);
    EXPECT_EQ(bytes, all) << "read in blocks";
    return bytes;
}

std::string Hex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes)
        out += std::string{kDigits[c >> 4], kDigits[c & 15]};
    return out;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The data tools/make_filter_samples.py encodes into testdata/filters (checked there with qpdf).
std::string SampleData()
{
    std::string data(60000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 31 + i / 97) % 256);
    return data;
}

struct DecodeRow {
    const char* name;
    std::string dictionary;
    std::string stored;
    std::string expected;
};

void CheckRows(const std::vector<DecodeRow>& rows)
{
    for (const DecodeRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Hex(row.expected), Hex(DecodeStored(row.stored, row.dictionary)));
    }
}

const std::string kAHx = "<< /Filter /ASCIIHexDecode >>";
const std::string kA85 = "<< /Filter /ASCII85Decode >>";
const std::string kRL = "<< /Filter /RunLengthDecode >>";
const std::string kLZW = "<< /Filter /LZWDecode >>";

// Hex digits in either case with white space anywhere; ">" ends the data, and an odd last digit
// counts as its high half; a character that is no digit ends the data, dropping a lone digit.
TEST(Decode, AsciiHex)
{
    CheckRows({
        {"digits", kAHx, "48656C6C6F>", "Hello"},
        {"abbreviation, lower case, white space", "<< /Filter /AHx >>", " 48 65\r\n6c\t6C 6f\f>", "Hello"},
        {"no end marker", kAHx, "4865", "He"},
        {"odd digit before the marker", kAHx, "41 4>", "A@"},
        {"odd digit at the end of the data", kAHx, "414", "A@"},
        {"bytes after the marker are not read", kAHx, "41>42", "A"},
        {"bad character ends the data", kAHx, "41G42>", "A"},
        {"bad character drops a lone digit", kAHx, "414G>", "A"},
        {"only the marker", kAHx, ">", ""},
        {"empty", kAHx, "", ""},
        {"every byte value", kAHx, "00ff7F80>", Bytes({0, 255, 127, 128})},
    });
}

// Base-85 groups as Python's base64.a85encode writes them; "z" is four zero bytes, "~>" ends
// the data, a short last group gives one byte less than its digits. Out of range ends it.
TEST(Decode, Ascii85)
{
    CheckRows({
        {"one group and a short one", kA85, "87cURDZ~>", "Hello"},
        {"abbreviation, with PostScript's opening", "<< /Filter /A85 >>", "<~87cURD_*#4DfTZ)+T~>", "Hello, World!"},
        {"white space inside groups", kA85, "87c\nUR DZ\r\n~>", "Hello"},
        {"z for four zeros", kA85, "z@:E^~>", std::string(4, '\0') + "abc"},
        {"largest group", kA85, "s8W-!~>", Bytes({255, 255, 255, 255})},
        {"two digits, one byte", kA85, "@/~>", "a"},
        {"three digits, two bytes", kA85, "@:B~>", "ab"},
        {"no end marker", kA85, "87cURDZ", "Hello"},
        {"lone last digit is dropped", kA85, "87cUR@~>", "Hell"},
        {"group past 32 bits ends the data", kA85, "87cURs8W-\"~>", "Hell"},
        {"z inside a group ends the data", kA85, "87cURD z~>", "Hell"},
        {"character outside the alphabet", kA85, "87cUR{DZ~>", "Hell"},
        {"empty", kA85, "", ""},
    });
}

// A length byte, then a literal run or a repeated byte; 128 ends the data; a run cut short by
// the end of the data gives what there is.
TEST(Decode, RunLength)
{
    CheckRows({
        {"literal and repeated runs", kRL, "\x02" "abc" "\xfd" "z" "\x80", "abczzzz"},
        {"abbreviation", "<< /Filter /RL >>", std::string("\x00" "q" "\x80", 3), "q"},
        {"longest runs", kRL, "\x7f" + std::string(128, 'L') + "\x81" "R", std::string(128, 'L') + std::string(128, 'R')},
        {"two repeats", kRL, "\xff" "x" "\xff" "y", "xxyy"},
        {"no end marker", kRL, "\x01" "ab", "ab"},
        {"literal run cut short", kRL, "\x05" "ab", "ab"},
        {"repeat without its byte", kRL, "\x01" "ab" "\xf0", "ab"},
        {"bytes after the end are not read", kRL, "\x80" "\x01" "ab", ""},
        {"empty", kRL, "", ""},
    });
}

// Codes of 9 to 12 bits. The first row is the classic example (codes 256 45 258 258 65 259 66
// 257); "aaa" is 97 258 257, a code used in the step that defines it. The samples fill the
// table and clear it several times.
TEST(Decode, Lzw)
{
    const std::string sample = SampleData();
    const std::string folder = FOLIOBIND_SOURCE_DIR "/testdata/filters/";
    CheckRows({
        {"example", kLZW, Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01}), "-----A---B"},
        {"abbreviation; a code used as it is defined", "<< /Filter /LZW >>", Bytes({0x30, 0xC0, 0xA0, 0x20}), "aaa"},
        {"no end code", kLZW, Bytes({0x30, 0xC0, 0xA0}), "aaa"},
        {"code beyond the table ends the data", kLZW, Bytes({0x30, 0xCB, 0x20, 0x20}), "a"},
        {"first code not a byte", kLZW, Bytes({0x81, 0xC0, 0x40}), ""},
        {"only the end code", kLZW, Bytes({0x80, 0x80}), ""},
        {"empty", kLZW, "", ""},
        {"sample, EarlyChange 1", kLZW, ReadFile(folder + "sample-early1.lzw"), sample},
        {"sample, EarlyChange 0", "<< /Filter /LZWDecode /DecodeParms << /EarlyChange 0 >> >>",
         ReadFile(folder + "sample-early0.lzw"), sample},
        {"PNG predictor after LZW: rows 1 2, then 2 3", "<< /Filter /LZW /DecodeParms << /Predictor 12 /Columns 2 >> >>",
         Bytes({0x80, 0x00, 0x80, 0x20, 0x28, 0x10, 0x06, 0x02}), Bytes({1, 2, 2, 3})},
        {"unusable predictor", "<< /Filter /LZW /DecodeParms << /Predictor 12 /Columns 0 >> >>", "", "<none>"},
    });
}

// Chains decode in order, each filter with the DecodeParms entry at its place.
TEST(Decode, Chains)
{
    const std::string text = "BT /F1 12 Tf (chained) Tj ET";
    const std::string hexOfZlib = Hex(Compress(text)) + ">";
    const std::string rows = Bytes({2, 1, 2, 2, 1, 1});
    // A stored zlib block of 1000 zeros: 7 bytes of headers as they stand, the zeros in runs,
    // the 4 check bytes as they stand.
    const std::string zlib = Compress(std::string(1000, '\0'), 0);
    std::string zerosInRuns = "\x06" + zlib.substr(0, 7);
    for (int i = 0; i < 7; ++i)
        zerosInRuns += std::string("\x81\0", 2);
    zerosInRuns += std::string("\x99\0", 2) + "\x03" + zlib.substr(1007, 4) + "\x80";
    CheckRows({
        {"hex, then Flate", "<< /Filter [/AHx /Fl] >>", hexOfZlib, text},
        {"hex, then Flate with a predictor", "<< /Filter [/AHx /Fl] /DecodeParms [null << /Predictor 12 /Columns 2 >>] >>",
         Hex(Compress(rows)) + ">", Bytes({1, 2, 2, 3})},
        {"ASCII85, then run length", "<< /Filter [/A85 /RL] >>", "rF#\\8J,~>", "aaaab"},
        {"hex, then LZW with EarlyChange 0 at its place",
         "<< /Filter [/ASCIIHexDecode /LZWDecode] /DecodeParms [null << /EarlyChange 0 >>] >>",
         Hex(ReadFile(FOLIOBIND_SOURCE_DIR "/testdata/filters/sample-early0.lzw")), SampleData()},
        {"run length grows the zlib data past the range's Length", "<< /Filter [/RL /Fl] >>", zerosInRuns,
         std::string(1000, '\0')},
    });
}

// Each decoder stops at the same ceiling as Flate: 2.1 million runs of 128 zero bytes.
TEST(Decode, OutputHasACeiling)
{
    std::string runs;
    for (int i = 0; i < 2100000; ++i)
        runs += std::string("\x81\0", 2);
    const CPdfElement dictionary = Parsed(kRL);
    CRangeFile file(runs);
    CPdfRef<CPdfStream> stream = Filter(file, dictionary);
    ASSERT_TRUE(stream);
    std::string block(1 << 16, '\0');
    uint64_t count = 0;
    for (size_t got = 0; (got = stream->readBlock(&block[0], block.size())) > 0;)
        count += got;
    EXPECT_EQ(kMaxInflatedBytes, count);
}

} // namespace
