// The object scanner: headers, references, top-dictionary keys with their value spans, and the
// end of an object's text, recognised as tokens and never inside strings, names or comments.
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
};

std::string KeyValue(const std::string& text, const CObjectKey& key)
{
    if (key.valueStart == kNoIndex)
        return "<none>";
    return text.substr(key.valueStart, key.valueEnd - key.valueStart);
}

void ExpectScan(const ScanRow& row, const CObjectScanner& scan, ScanStatus status)
{
    ASSERT_EQ(status, row.status);
    if (status == ScanStatus::Bad)
        return;
    if (row.mode != ScanMode::Tail) {
        EXPECT_EQ(scan.m_number, row.number);
        EXPECT_EQ(scan.m_generation, row.generation);
    }
    std::vector<std::string> refs;
    for (const CObjectRef& ref : scan.m_refs)
        refs.push_back(std::to_string(ref.number) + " " + std::to_string(ref.generation));
    EXPECT_EQ(refs, row.refs);
    std::vector<std::pair<std::string, std::string>> keys;
    for (const CObjectKey& key : scan.m_keys)
        keys.emplace_back(row.text.substr(key.keyStart + 1, key.keyEnd - key.keyStart - 1), KeyValue(row.text, key));
    EXPECT_EQ(keys, row.keys);
    const size_t stop = status == ScanStatus::Stream ? scan.m_streamEnd : scan.m_endobjEnd;
    EXPECT_EQ(row.text.substr(stop), row.restAfterStop);
}

const std::vector<ScanRow>& Rows()
{
    static const std::vector<ScanRow> rows = {
        {"page", "7 0 obj << /Type /Page /Parent 6 0 R /Contents 8 0 R >> endobj\r\n", ScanMode::Stored,
         ScanStatus::EndObj, 7, 0, {"6 0", "8 0"},
         {{"Type", "/Page"}, {"Parent", "6 0 R"}, {"Contents", "8 0 R"}}, "\r\n"},
        {"generation above zero", "12 3 obj\n[1 0 R 5 2 R]\nendobj\n", ScanMode::Stored, ScanStatus::EndObj, 12, 3,
         {"1 0", "5 2"}, {}, "\n"},
        {"nested values keep their spans", "1 0 obj<</Kids[3 0 R 4 0 R]/Res<</Font<</F1 9 0 R>>>>/Count 2>>endobj",
         ScanMode::Stored, ScanStatus::EndObj, 1, 0, {"3 0", "4 0", "9 0"},
         {{"Kids", "[3 0 R 4 0 R]"}, {"Res", "<</Font<</F1 9 0 R>>>>"}, {"Count", "2"}}, ""},
        {"endobj inside a string", "5 0 obj (endobj stream 6 0 R) endobj\n", ScanMode::Stored, ScanStatus::EndObj, 5,
         0, {}, {}, "\n"},
        {"balanced and escaped parentheses", "5 0 obj (a(b)c\\) endobj) endobj\n", ScanMode::Stored,
         ScanStatus::EndObj, 5, 0, {}, {}, "\n"},
        {"keywords in a comment", "5 0 obj % endobj stream\n<< /A 1 0 R >> endobj\n", ScanMode::Stored,
         ScanStatus::EndObj, 5, 0, {"1 0"}, {{"A", "1 0 R"}}, "\n"},
        {"name is not a keyword", "5 0 obj << /endobj /stream >> endobj\n", ScanMode::Stored, ScanStatus::EndObj, 5,
         0, {}, {{"endobj", "/stream"}}, "\n"},
        {"hex string", "5 0 obj << /ID <656e646f626a> >> endobj ", ScanMode::Stored, ScanStatus::EndObj, 5, 0, {},
         {{"ID", "<656e646f626a>"}}, " "},
        {"stream keyword", "4 0 obj\n<< /Length 5 >>\nstream\r\nendobjxx", ScanMode::Stored, ScanStatus::Stream, 4, 0,
         {}, {{"Length", "5"}}, "\r\nendobjxx"},
        {"indirect length", "4 0 obj << /Length 9 0 R >> stream\n", ScanMode::Stored, ScanStatus::Stream, 4, 0,
         {"9 0"}, {{"Length", "9 0 R"}}, "\n"},
        {"stream is plain text in a compressed object", "4 0 obj\r<< /S stream >> endobj\r", ScanMode::Compressed,
         ScanStatus::EndObj, 4, 0, {}, {{"S", "stream"}}, "\r"},
        {"missing value before the close", "4 0 obj << /A >> endobj\n", ScanMode::Stored, ScanStatus::EndObj, 4, 0,
         {}, {{"A", "<none>"}}, "\n"},
        {"reference needs two integers", "4 0 obj [1.0 0 R /X 0 R 2 -1 R 3 0 R] endobj\n", ScanMode::Stored,
         ScanStatus::EndObj, 4, 0, {"3 0"}, {}, "\n"},
        {"number past 32 bits is no reference", "4 0 obj [4294967296 0 R 4294967295 0 R] endobj\n", ScanMode::Stored,
         ScanStatus::EndObj, 4, 0, {"4294967295 0"}, {}, "\n"},
        {"tail", "\r\nendstream\nendobj\r\n", ScanMode::Tail, ScanStatus::EndObj, 0, 0, {}, {}, "\r\n"},
        {"header must say obj", "4 0 R << >> endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
        {"header number must be an integer", "x 0 obj endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
        {"no end", "4 0 obj << /A (endobj) >>", ScanMode::Stored, ScanStatus::Bad, 0, 0, {}, {}, ""},
        {"unterminated string runs to the end", "4 0 obj (abc endobj\n", ScanMode::Stored, ScanStatus::Bad, 0, 0, {},
         {}, ""},
    };
    return rows;
}

// Whole text at once.
TEST(ObjectScanner, Rows)
{
    for (const ScanRow& row : Rows()) {
        SCOPED_TRACE(row.name);
        CObjectScanner scan;
        scan.Reset(row.mode);
        ExpectScan(row, scan, scan.Scan(row.text, true));
    }
}

// The same text given one byte more at a time must give the same result as given whole:
// a token cut at the end of the bytes is never taken early.
TEST(ObjectScanner, ResumesAcrossEveryCut)
{
    for (const ScanRow& row : Rows()) {
        SCOPED_TRACE(row.name);
        CObjectScanner scan;
        scan.Reset(row.mode);
        ScanStatus status = ScanStatus::NeedMore;
        size_t length = 0;
        while (status == ScanStatus::NeedMore && length < row.text.size())
            status = scan.Scan(std::string_view(row.text).substr(0, ++length), false);
        if (status == ScanStatus::NeedMore)
            status = scan.Scan(row.text, true);
        ExpectScan(row, scan, status);
    }
}

// Values that IntegerValue accepts and refuses.
TEST(ObjectScanner, IntegerValues)
{
    struct Row {
        const char* text;
        bool isInteger;
        int64_t value;
    };
    const Row rows[] = {
        {"1 0 obj << /Count 12 >> endobj", true, 12},
        {"1 0 obj << /Count -3 >> endobj", true, -3},
        {"1 0 obj << /Count 2147483648 >> endobj", true, 2147483648},
        {"1 0 obj << /Count 1.5 >> endobj", false, 0},
        {"1 0 obj << /Count 9 0 R >> endobj", false, 0},
        {"1 0 obj << /Count 1234567890123456789 >> endobj", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        CObjectScanner scan;
        scan.Reset(ScanMode::Stored);
        ASSERT_EQ(scan.Scan(row.text, true), ScanStatus::EndObj);
        const CObjectKey* key = scan.FindKey(row.text, "Count");
        ASSERT_NE(key, nullptr);
        int64_t value = 0;
        EXPECT_EQ(scan.IntegerValue(row.text, *key, value), row.isInteger);
        if (row.isInteger) {
            EXPECT_EQ(value, row.value);
        }
    }
}

// Names that keep an object out of the duplicate search.
TEST(ObjectScanner, UnsharedNames)
{
    const std::pair<const char*, bool> rows[] = {
        {"1 0 obj << /Type /Page >> endobj", true},
        {"1 0 obj << /Type /Pages >> endobj", true},
        {"1 0 obj << /Parent 3 0 R >> endobj", true},
        {"1 0 obj << /FontFile2 3 0 R >> endobj", true},
        {"1 0 obj << /Type /ObjStm >> endobj", true},
        {"1 0 obj << /Type /Font /FontFile 3 0 R >> endobj", false},
        {"1 0 obj << /T (/Page) >> endobj", false},
        {"1 0 obj << /P 3 0 R >> endobj", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        CObjectScanner scan;
        scan.Reset(ScanMode::Stored);
        scan.Scan(row.first, true);
        EXPECT_EQ(scan.m_hasUnsharedName, row.second);
    }
}

} // namespace
