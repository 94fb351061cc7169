// Object text access: searches, the fingerprint, block reads of the input, the checked output,
// and the text of one object in each of its forms.
#include "append/ObjectText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "append/InputFile.h"
#include "append/OutputFile.h"
#include "cli/Globals.h"
#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "platform/File.h"
#include "platform/Write.h"
#include "tests/support/PdfBuilder.h"

namespace {

// An input file opened both ways: as a document (for its cross-reference) and as the engine's
// block reader.
struct COpenedInput {
    CTestDir dir;
    CPdfDocument document;
    CFileHandle file;
    CInputFile input;
    CObjectReader reader;

    explicit COpenedInput(const std::string& bytes)
    {
        const std::string path = dir.Write("in.pdf", bytes);
        document.open(path);
        file.Open(path, "rb");
        input.Attach(file.get(), document.headerOffset());
        reader.Attach(&input, document.xref());
    }
    // The whole text as the first-file pass writes it.
    std::string Text(uint32_t number)
    {
        CObjectText text;
        if (!reader.Read(number, text))
            return "<no text>";
        std::string bytes = text.head;
        if (text.isStream) {
            input.Read(text.dataStart, static_cast<size_t>(text.dataLength), bytes);
            bytes += text.tail;
        }
        return bytes;
    }
};

TEST(FindInBuffer, Rows)
{
    struct Row {
        const char* name;
        std::string text;
        uint32_t start;
        uint32_t end;
        const char* pattern;
        uint32_t expected;
    };
    const Row rows[] = {
        {"first occurrence, index of its last byte", "ab endobj endobj", 0, 16, "endobj", 8},
        {"start skips an earlier one", "ab endobj endobj", 4, 16, "endobj", 15},
        {"occurrence must end before end", "ab endobj", 0, 8, "endobj", 0},
        {"occurrence ending at end - 1", "ab endobj", 0, 9, "endobj", 8},
        {"start not below end", "endobj", 6, 6, "obj", 0},
        {"start above end", "endobj", 7, 6, "obj", 0},
        {"not present", "<< /A 1 >>", 0, 10, "stream", 0},
        {"pattern longer than the range", "obj", 0, 3, "endobj", 0},
    };
    CProgress progress;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindInBuffer(progress, row.text.data(), row.start, row.end, row.pattern,
                               static_cast<uint32_t>(std::string(row.pattern).size())),
                  row.expected);
    }
}

// One dot after 5001 searches (the counter must exceed 5000), none before, none when quiet.
TEST(FindInBuffer, ProgressDots)
{
    const struct {
        bool quiet;
        int searches;
        const char* dots;
    } rows[] = {{false, 5000, ""}, {false, 5001, "."}, {false, 10002, ".."}, {true, 5001, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.searches);
        CProgress progress;
        progress.SetQuiet(row.quiet);
        testing::internal::CaptureStdout();
        for (int i = 0; i < row.searches; ++i)
            FindInBuffer(progress, "abc", 0, 3, "bc", 2);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.dots);
    }
}

// Weight counts the bytes other than space, CR and LF; references lose "gen R" but keep their
// number; the CRC walks backwards and is not inverted.
TEST(Fingerprint, WeightAndCrc)
{
    const std::string page = "<< /P 12 0 R >>";
    EXPECT_EQ(ObjectWeight(page.data(), static_cast<uint32_t>(page.size()), 0), 8u);
    const std::string generation7 = "<< /P 12 7 R >>";
    const std::string generation42 = "<< /P 12 42 R >>";
    const uint32_t crc = ObjectCrc(page.data(), static_cast<uint32_t>(page.size()), 0, 0xFFFFFFFF);
    EXPECT_EQ(ObjectWeight(generation7.data(), static_cast<uint32_t>(generation7.size()), 0), 8u);
    EXPECT_EQ(ObjectCrc(generation7.data(), static_cast<uint32_t>(generation7.size()), 0, 0xFFFFFFFF), crc);
    EXPECT_EQ(ObjectCrc(generation42.data(), static_cast<uint32_t>(generation42.size()), 0, 0xFFFFFFFF), crc);
    const std::string other = "<< /P 13 0 R >>";
    EXPECT_NE(ObjectCrc(other.data(), static_cast<uint32_t>(other.size()), 0, 0xFFFFFFFF), crc);
    // Walking "987654321" backwards is the standard check value's input; not inverted at the end.
    const std::string check = "987654321";
    EXPECT_EQ(ObjectCrc(check.data(), 9, 0, 0xFFFFFFFF), ~0xCBF43926u);
    EXPECT_EQ(ObjectCrc(check.data(), 9, 9, 0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(ObjectWeight(check.data(), 9, 3), 6u);
    // An "R" at the start of the range has nothing before it to test.
    EXPECT_EQ(ObjectWeight("R", 1, 0), 1u);
    EXPECT_EQ(ObjectWeight(" R", 2, 0), 0u);
}

TEST(InputFile, FindAcrossWindowSeamsAndReadsAtTheEnd)
{
    CTestDir dir;
    std::string bytes(300000, 'x');
    bytes.replace(131069, 6, "endobj"); // across the first 128 KiB boundary
    bytes.replace(299990, 6, "endobj");
    const std::string path = dir.Write("big", bytes);
    CFileHandle file;
    ASSERT_TRUE(file.Open(path, "rb"));
    CInputFile input;
    input.Attach(file.get(), 0);
    EXPECT_EQ(input.size(), 300000u);
    EXPECT_EQ(input.Find(0, "endobj"), 131074u);
    EXPECT_EQ(input.Find(131070, "endobj"), 299995u);
    EXPECT_EQ(input.Find(299991, "endobj"), 0u);
    EXPECT_EQ(FindInFile(input, 300000, "endobj", 6), 0u);
    EXPECT_THROW(FindInFile(input, 300001, "endobj", 6), CPdfException);
    std::string out;
    EXPECT_EQ(input.Read(299995, 100, out), 5u);
    EXPECT_EQ(out, "jxxxx");
    EXPECT_EQ(input.Read(300000, 1, out), 0u);
}

TEST(OutputFile, FailedWriteRaisesTheOutputError)
{
    COutputFile output;
    output.Open("/dev/full", false);
    output.Write(std::string(100, 'x'));
    try {
        output.Close();
        FAIL() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_STREQ(error.what(), "File output error: '/dev/full', err no: 28");
    }
    g_fileOut.Close();
}

TEST(OutputFile, MissingFolderRaisesTheOutputError)
{
    COutputFile output;
    try {
        output.Open("/nonexistent-folder/out.pdf", false);
        FAIL() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_STREQ(error.what(), "File output error: '/nonexistent-folder/out.pdf', err no: 2");
    }
}

// Copies from an input gather into runs; a long run is copied file to file by the system, or
// through the buffer when writes are watched by the failure hook. Either way the output holds
// the bytes in the order asked for, and a run past the input's end is damage.
TEST(OutputFile, RunsKeepTheirOrder)
{
    CTestDir dir;
    std::string bytes(700000, ' ');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
    CFileHandle file;
    ASSERT_TRUE(file.Open(dir.Write("in", bytes), "rb"));
    CInputFile input;
    input.Attach(file.get(), 0);
    const std::string expected = "head" + bytes.substr(10, 400100) + "|" + bytes.substr(5, 3) + bytes.substr(600000) +
                                 bytes.substr(0, 2) + "tail";
    for (const bool isWatched : {false, true}) {
        SCOPED_TRACE(isWatched ? "through the buffer" : "file to file");
        if (isWatched)
            PlatformSetWriteFailureAfter(UINT64_MAX);
        COutputFile output;
        output.Open(dir.PathOf("out"), false);
        output.Write("head");
        output.CopyRun(input, 10, 100);
        output.CopyRun(input, 110, 400000); // joins the run before it
        output.WriteByte('|');
        output.CopyRun(input, 5, 3);
        output.CopyRun(input, 600000, 100000); // a run of its own, to the input's end
        output.CopyFrom(input, 0, 2);
        output.Write("tail");
        EXPECT_EQ(output.position(), expected.size());
        output.Close();
        PlatformClearWriteFailure();
        EXPECT_TRUE(CTestDir::Read(dir.PathOf("out")) == expected);
    }
    COutputFile output;
    output.Open(dir.PathOf("out"), false);
    EXPECT_THROW(output.CopyRun(input, 699990, 11), CPdfException);
    g_fileOut.Close();
}

// A one-page file plus the objects a test adds, as object numbers 4 and up.
CTestPdf BasePdf()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    return pdf;
}

TEST(ReadObjectText, StoredForms)
{
    struct Row {
        const char* name;
        std::string body;
        std::string expected;
    };
    const std::string data = "q endobj endstream Q";
    const Row rows[] = {
        {"dictionary", "<< /A 1 >>", "4 0 obj\n<< /A 1 >>\nendobj\n"},
        {"endobj then CR LF keeps only the CR", "<< /A 1 >>\nendobj\r\n%", "4 0 obj\n<< /A 1 >>\nendobj\r"},
        {"endobj inside a string", "(endobj) 5", "4 0 obj\n(endobj) 5\nendobj\n"},
        {"endobj glued to the next byte gets a line feed", "<< /A 1 >> endobj%", "4 0 obj\n<< /A 1 >> endobj\n"},
        {"stream data holding endobj and endstream, length right",
         "<< /Length 20 >>\nstream\r\n" + data + "\nendstream",
         "4 0 obj\n<< /Length 20 >>\nstream\r\n" + data + "\nendstream\nendobj\n"},
        {"length too long: the data ends at the first endstream", "<< /Length 99 >>\nstream\nab\nendstream",
         "4 0 obj\n<< /Length 99 >>\nstream\nab\nendstream\nendobj\n"},
        {"length beyond the file", "<< /Length 999999 >>\nstream\nab\nendstream",
         "4 0 obj\n<< /Length 999999 >>\nstream\nab\nendstream\nendobj\n"},
        {"indirect length", "<< /Length 5 0 R >>\nstream\n" + data + "\nendstream",
         "4 0 obj\n<< /Length 5 0 R >>\nstream\n" + data + "\nendstream\nendobj\n"},
        {"stream without endstream", "<< /Length 2 >>\nstream\nab\nendobj", "<no text>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CTestPdf pdf = BasePdf();
        pdf.Add(4, row.body);
        pdf.Add(5, "20");
        COpenedInput opened(pdf.ClassicXRef("/Root 1 0 R"));
        EXPECT_EQ(opened.Text(4), row.expected);
    }
}

TEST(ReadObjectText, EntriesWithoutText)
{
    CTestPdf pdf = BasePdf();
    pdf.AddFree(4);
    pdf.Add(5, "<< /A 1 >>", 2);
    COpenedInput opened(pdf.ClassicXRef("/Root 1 0 R"));
    EXPECT_EQ(opened.Text(0), "<no text>");
    EXPECT_EQ(opened.Text(4), "<no text>");
    EXPECT_EQ(opened.Text(6), "<no text>");
    EXPECT_EQ(opened.Text(5), "5 2 obj\n<< /A 1 >>\nendobj\n");
}

// An entry whose offset names another object's header gives no text.
TEST(ReadObjectText, HeaderMustNameTheObject)
{
    CTestPdf pdf = BasePdf();
    pdf.Add(4, "<< /A 1 >>");
    std::string bytes = pdf.ClassicXRef("/Root 1 0 R");
    const std::string entry3 = bytes.substr(bytes.find("xref\n0 5\n") + 9 + 3 * 20, 20);
    const std::string entry4 = bytes.substr(bytes.find("xref\n0 5\n") + 9 + 4 * 20, 20);
    bytes.replace(bytes.find(entry4), 20, entry3);
    COpenedInput opened(bytes);
    EXPECT_EQ(opened.Text(4), "<no text>");
}

// A hand-made file whose object 2 sits at exactly the file's length (no text) or one past it
// (the search error), with fixed-width entries so the length is known in advance.
std::string FileWithOffset(int beyondEnd)
{
    const std::string body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    const std::string xrefStart = std::to_string(body.size());
    const std::string tail = "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n" + xrefStart + "\n%%EOF\n";
    const size_t total = body.size() + 9 + 3 * 20 + tail.size();
    char entries[80];
    std::snprintf(entries, sizeof entries, "0000000000 65535 f\r\n%010zu 00000 n\r\n%010zu 00000 n\r\n",
                  size_t{9}, total + static_cast<size_t>(beyondEnd));
    return body + "xref\n0 3\n" + entries + tail;
}

TEST(ReadObjectText, OffsetAtAndBeyondTheEnd)
{
    COpenedInput atEnd(FileWithOffset(0));
    EXPECT_EQ(atEnd.Text(2), "<no text>");
    COpenedInput beyond(FileWithOffset(1));
    try {
        beyond.Text(2);
        FAIL() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_STREQ(error.what(), "FindInFile error\r\n");
    }
    beyond.reader.m_beyondEndIsError = false;
    EXPECT_EQ(beyond.Text(2), "<no text>");
}

// Junk before "%PDF-": offsets count from the header.
TEST(ReadObjectText, HeaderNotAtByteZero)
{
    CTestPdf pdf = BasePdf();
    pdf.SetJunkBeforeHeader("junk junk\n");
    pdf.Add(4, "<< /A 1 >>");
    COpenedInput opened(pdf.ClassicXRef("/Root 1 0 R"));
    EXPECT_EQ(opened.Text(4), "4 0 obj\n<< /A 1 >>\nendobj\n");
}

TEST(ReadObjectText, CompressedForm)
{
    CTestPdf pdf = BasePdf();
    pdf.AddObjectStream(9, {{12, "<</A 1>>"}, {13, "[1 0 R]"}});
    COpenedInput opened(pdf.XRefStream(20, CTestXRefStreamOptions(), "/Root 1 0 R"));
    const std::string text = opened.Text(12);
    EXPECT_EQ(text, "12 0 obj\r<</A 1>>\n endobj\r");
    CObjectText object;
    ASSERT_TRUE(opened.reader.Read(13, object));
    EXPECT_TRUE(object.isCompressed);
    ASSERT_EQ(object.scan.m_refs.size(), 1u);
    EXPECT_EQ(object.scan.m_refs[0].number, 1u);
}

} // namespace
