// The object scanner: headers, references, top-dictionary keys with their value spans, names
// that keep an object out of the duplicate search, and the end of an object's text, recognised
// as tokens and never inside strings, names or comments.
#include "append/ObjectScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct ScanRow {
    const char* name;
    std::string text;
    ScanMode mode;
    ScanStatus status;
    uint32_t number;
    uint32_t generation;
    std::vector<std::string> refs;                           // "number generation" of each
    std::vector<std::pair<std::string, std::string>> keys;   // top keys and their value texts
    std::string restAfterStop;                               // the text after the stop token
    bool isUnshared = false; // /Type /Page, /Pages or /ObjStm, /Parent, /FontFile2, or of one page
};

void ExpectScan(const ScanRow& row, const CObjectScanner& scan, ScanStatus status)
{
    ASSERT_EQ(status, row.status);
    if (status == ScanStatus::Bad)
        return;
    if (row.mode != ScanMode::Tail) {
        EXPECT_EQ(scan.m_number, row.number);
        EXPECT_EQ(scan.m_generation, row.generation);
        const size_t numberStart = row.text.find_first_of("0123456789");
        EXPECT_EQ(scan.m_headerStart, numberStart);
        EXPECT_EQ(scan.m_headerNumberEnd, row.text.find_first_not_of("0123456789", numberStart));
        EXPECT_EQ(scan.m_bodyStart, row.text.find("obj") + 3);
    }
    std::vector<std::string> refs;
    for (const CObjectRef& ref : scan.m_refs)
        refs.push_back(std::to_string(ref.number) + " " + std::to_string(ref.generation));
    EXPECT_EQ(refs, row.refs);
    std::vector<std::pair<std::string, std::string>> keys;
    for (const CObjectKey& key : scan.m_keys) {
        const std::string value =
            key.valueStart == kNoIndex ? "<none>" : row.text.substr(key.valueStart, key.valueEnd - key.valueStart);
        keys.emplace_back(row.text.substr(key.keyStart + 1, key.keyEnd - key.keyStart - 1), value);
    }
    EXPECT_EQ(keys, row.keys);
    EXPECT_EQ(row.text.substr(status == ScanStatus::Stream ? scan.m_streamEnd : scan.m_endobjEnd), row.restAfterStop);
    EXPECT_EQ(scan.m_hasUnsharedName, row.isUnshared);
}

const ScanRow kRows[] = {
    {"page", "7 0 obj << /Type /Page /Parent 6 0 R /Contents 8 0 R >> endobj\r\n", ScanMode::Stored, ScanStatus::EndObj,
     7, 0, {"6 0", "8 0"}, {{"Type", "/Page"}, {"Parent", "6 0 R"}, {"Contents", "8 0 R"}}, "\r\n", true},
    {"generation above zero", "12 3 obj\n[1 0 R 5 2 R]\nendobj\n", ScanMode::Stored, ScanStatus::EndObj, 12, 3,
     {"1 0", "5 2"}, {}, "\n"},
    {"nested values keep their spans", "1 0 obj<</Kids[3 0 R 4 0 R]/Res<</Font<</F1 9 0 R>>>>/Count 2>>endobj",
     ScanMode::Stored, ScanStatus::EndObj, 1, 0, {"3 0", "4 0", "9 0"},
     {{"Kids", "[3 0 R 4 0 R]"}, {"Res", "<</Font<</F1 9 0 R>>>>"}, {"Count", "2"}}, ""},
    {"endobj inside a string", "5 0 obj (endobj stream 6 0 R) endobj\n", ScanMode::Stored, ScanStatus::EndObj, 5, 0,
     {}, {}, "\n"},
    {"balanced and escaped parentheses", "5 0 obj (a(b)c\\) endobj) endobj\n", ScanMode::Stored, ScanStatus::EndObj,
     5, 0, {}, {}, "\n"},
    {"keywords in a comment", "5 0 obj % endobj stream\n<< /A 1 0 R >> endobj\n", ScanMode::Stored,
     ScanStatus::EndObj, 5, 0, {"1 0"}, {{"A", "1 0 R"}}, "\n"},
    {"name is not a keyword", "5 0 obj << /endobj /stream >> endobj\n", ScanMode::Stored, ScanStatus::EndObj, 5, 0,
     {}, {{"endobj", "/stream"}}, "\n"},
    {"hex string", "5 0 obj << /ID <656e646f626a> >> endobj ", ScanMode::Stored, ScanStatus::EndObj, 5, 0, {},
     {{"ID", "<656e646f626a>"}}, " "},
    {"stream keyword", "4 0 obj\n<< /Length 5 >>\nstream\r\nendobjxx", ScanMode::Stored, ScanStatus::Stream, 4, 0, {},
     {{"Length", "5"}}, "\r\nendobjxx"},
    {"indirect length", "4 0 obj << /Length 9 0 R >> stream\n", ScanMode::Stored, ScanStatus::Stream, 4, 0, {"9 0"},
     {{"Length", "9 0 R"}}, "\n"},
    {"stream is plain text in a compressed object", "4 0 obj\r<< /S stream >> endobj\r", ScanMode::Compressed,
     ScanStatus::EndObj, 4, 0, {}, {{"S", "stream"}}, "\r"},
    {"compressed dictionary", "12 0 obj\r<< /W [1 2 R] /P 3 0 R >> endobj\r", ScanMode::Compressed, ScanStatus::EndObj,
     12, 0, {"1 2", "3 0"}, {{"W", "[1 2 R]"}, {"P", "3 0 R"}}, "\r", true},
    {"missing value before the close", "4 0 obj << /A >> endobj\n", ScanMode::Stored, ScanStatus::EndObj, 4, 0, {},
     {{"A", "<none>"}}, "\n"},
    {"reference needs two integers", "4 0 obj [1.0 0 R /X 0 R 2 -1 R 3 0 R] endobj\n", ScanMode::Stored,
     ScanStatus::EndObj, 4, 0, {"3 0"}, {}, "\n"},
    {"number past 32 bits is no reference", "4 0 obj [4294967296 0 R 4294967295 0 R] endobj\n", ScanMode::Stored,
     ScanStatus::EndObj, 4, 0, {"4294967295 0"}, {}, "\n"},
    {"integers longer than 64 bits hold", "000000000000000000007 0 obj [0000000000000000000000001 0 R 18446744073709551617 0 R] endobj\n",
     ScanMode::Stored, ScanStatus::EndObj, 7, 0, {"1 0"}, {}, "\n"},
    {"tail", "\r\nendstream\nendobj\r\n", ScanMode::Tail, ScanStatus::EndObj, 0, 0, {}, {}, "\r\n"},
    {"header must say obj", "4 0 R << >> endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
    {"header keyword runs on", "4 0 objx << >> endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
    {"header number past 32 bits", "4294967296 0 obj endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
    {"header after a comment, over lines", "% c\n7\n0\r\nobj\n<< >>\nendobj\n", ScanMode::Stored, ScanStatus::EndObj,
     7, 0, {}, {}, "\n"},
    {"header with wide gaps and a long generation", "7  00000000003 obj<< >>endobj", ScanMode::Stored,
     ScanStatus::EndObj, 7, 3, {}, {}, ""},
    {"header number must be an integer", "x 0 obj endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
    {"no end", "4 0 obj << /A (endobj) >>", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
    {"unterminated string runs to the end", "4 0 obj (abc endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {},
     ""},
    {"pages", "1 0 obj << /Type /Pages >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {}, {{"Type", "/Pages"}},
     "", true},
    {"parent", "1 0 obj << /Parent 3 0 R >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {"3 0"},
     {{"Parent", "3 0 R"}}, "", true},
    {"TrueType font file", "1 0 obj << /FontFile2 3 0 R >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {"3 0"},
     {{"FontFile2", "3 0 R"}}, "", true},
    {"object stream", "1 0 obj << /Type /ObjStm >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {},
     {{"Type", "/ObjStm"}}, "", true},
    {"Type 1 font file is shared", "1 0 obj << /Type /Font /FontFile 3 0 R >> endobj", ScanMode::Stored,
     ScanStatus::EndObj, 1, 0, {"3 0"}, {{"Type", "/Font"}, {"FontFile", "3 0 R"}}, ""},
    {"/Page inside a string", "1 0 obj << /T (/Page) >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {},
     {{"T", "(/Page)"}}, ""},
    // Annotations and structure elements belong to one page, known by their keys; the same
    // names as values (glyph names of an encoding) are no sign.
    {"annotation's page", "1 0 obj << /P 3 0 R >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {"3 0"},
     {{"P", "3 0 R"}}, "", true},
    {"glyph names", "1 0 obj << /Differences [1 /P /Pg /Rect /FT] >> endobj", ScanMode::Stored,
     ScanStatus::EndObj, 1, 0, {}, {{"Differences", "[1 /P /Pg /Rect /FT]"}}, ""},
    {"key inside a value", "1 0 obj << /A << /Rect 1 >> >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {},
     {{"A", "<< /Rect 1 >>"}}, ""},
    {"widget", "1 0 obj << /FT /Tx /Rect [0 0 1 1] >> endobj", ScanMode::Stored, ScanStatus::EndObj, 1, 0, {},
     {{"FT", "/Tx"}, {"Rect", "[0 0 1 1]"}}, "", true},
    {"structure element", "1 0 obj << /Type /StructElem /S /P /K 0 >> endobj", ScanMode::Stored,
     ScanStatus::EndObj, 1, 0, {}, {{"Type", "/StructElem"}, {"S", "/P"}, {"K", "0"}}, "", true},
    {"form with structure parents", "1 0 obj << /Subtype /Form /StructParents 4 >> endobj", ScanMode::Stored,
     ScanStatus::EndObj, 1, 0, {}, {{"Subtype", "/Form"}, {"StructParents", "4"}}, "", true},
};

// Whole text at once, and the same text given one byte more at a time: a token cut at the end
// of the bytes is never taken early. A compressed object's text is also scanned past the header
// its reader wrote.
TEST(ObjectScanner, Rows)
{
    for (const ScanRow& row : kRows) {
        for (const char* way : {"whole", "byte by byte", "past the header"}) {
            const bool isCut = way[0] == 'b';
            const bool isPastHeader = way[0] == 'p';
            if (isPastHeader && (row.mode != ScanMode::Compressed || row.status == ScanStatus::Bad))
                continue;
            SCOPED_TRACE(std::string(row.name) + ", " + way);
            CObjectScanner scan;
            if (isPastHeader)
                scan.ResetPastHeader(row.mode, row.number, row.text.find(' '), row.text.find("obj") + 3);
            else
                scan.Reset(row.mode);
            ScanStatus status = ScanStatus::NeedMore;
            for (size_t length = 1; isCut && status == ScanStatus::NeedMore && length <= row.text.size(); ++length)
                status = scan.Scan(std::string_view(row.text).substr(0, length), false);
            if (status == ScanStatus::NeedMore)
                status = scan.Scan(row.text, true);
            ExpectScan(row, scan, status);
        }
    }
}

// Values that IntegerValue accepts (up to 18 digits) and refuses.
TEST(ObjectScanner, IntegerValues)
{
    const std::pair<const char*, int64_t> rows[] = {
        {"12", 12}, {"-3", -3}, {"2147483648", 2147483648}, {"1.5", -1}, {"9 0 R", -1}, {"1234567890123456789", -1},
    };
    for (const auto& [count, expected] : rows) {
        const std::string text = std::string("1 0 obj << /Count ") + count + " >> endobj";
        SCOPED_TRACE(text);
        CObjectScanner scan;
        scan.Reset(ScanMode::Stored);
        ASSERT_EQ(scan.Scan(text, true), ScanStatus::EndObj);
        const CObjectKey* key = scan.FindKey(text, "Count");
        ASSERT_NE(key, nullptr);
        int64_t value = -1;
        EXPECT_EQ(scan.IntegerValue(text, *key, value), expected != -1);
        EXPECT_EQ(value, expected);
    }
}

} // namespace
