// Object text access: searches, the fingerprint, block reads of the input, the checked output,
// and the text of one object in each of its forms.
#include "append/ObjectText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "append/InputFile.h"
#include "append/KeptTexts.h"
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
        return Bytes(text);
    }
    std::string Bytes(const CObjectText& text)
    {
        std::string bytes = text.head;
        if (text.isStream) {
            input.Read(text.dataStart, static_cast<size_t>(text.dataLength), bytes);
            bytes += text.tail;
        }
        return bytes;
    }
    // Everything a read gives, read directly or kept in a pool of limit bytes (after the file's
    // other objects) and unpacked into a text that held another object.
    std::string Facts(uint32_t number, bool isKept, uint64_t limit = 1 << 20)
    {
        CObjectText text;
        if (!reader.Read(number, text))
            return "<no text>";
        CKeptTexts pool;
        pool.Start(reader.size(), limit);
        CObjectText other; // kept first, so that number's text lies past theirs in the pool
        for (uint32_t each = 0; isKept && each < reader.size(); ++each) {
            if (each != number && reader.Read(each, other))
                pool.Keep(each, other);
        }
        if (isKept && (!pool.Keep(number, text) || !reader.Read(1, text) || !pool.Unpack(number, reader, text)))
            return "<not kept>";
        const CObjectScanner& scan = text.scan;
        std::string facts = Bytes(text) + "|" + std::to_string(text.number) + " " + std::to_string(text.generation);
        for (const uint64_t value :
             {uint64_t{text.isCompressed}, uint64_t{text.isStream}, text.dataStart, text.dataLength,
              uint64_t{text.isVerbatim}, text.filePosition, uint64_t{text.tailEndobj}, uint64_t{scan.m_number},
              uint64_t{scan.m_generation}, uint64_t{scan.m_headerStart}, uint64_t{scan.m_headerNumberEnd},
              uint64_t{scan.m_bodyStart}, uint64_t{scan.m_firstValueStart}, uint64_t{scan.m_firstValueEnd},
              uint64_t{scan.m_dictOpen}, uint64_t{scan.m_dictClose}, uint64_t{scan.m_streamEnd},
              uint64_t{scan.m_endobjStart}, uint64_t{scan.m_endobjEnd}, uint64_t{scan.m_sawEndstream},
              uint64_t{scan.m_hasUnsharedName}, uint64_t{scan.m_unsharedAt}})
            facts += " " + std::to_string(value);
        for (const CObjectRef& ref : scan.m_refs) {
            for (const uint64_t value : {uint64_t{ref.start}, uint64_t{ref.numberEnd}, uint64_t{ref.generationStart},
                                         uint64_t{ref.generationEnd}, uint64_t{ref.end}, uint64_t{ref.number},
                                         uint64_t{ref.generation}})
                facts += " R" + std::to_string(value);
        }
        for (const CObjectKey& key : scan.m_keys) {
            for (const uint64_t value : {uint64_t{key.keyStart}, uint64_t{key.keyEnd}, uint64_t{key.valueStart},
                                         uint64_t{key.valueEnd}})
                facts += " K" + std::to_string(value);
        }
        return facts;
    }
};

// Every 5001st search prints a dot unless quiet, whether the searches come one by one or counted
// together.
TEST(ObjectText, ProgressDots)
{
    const struct { bool quiet; int searches; uint32_t batch; const char* dots; } rows[] = {
        {false, 5000, 1, ""}, {false, 5001, 1, "."}, {false, 10002, 1, ".."}, {true, 5001, 1, ""},
        {false, 1, 10002, ".."}, {false, 3, 5000, ".."}, {false, 1, 5000, ""}, {true, 1, 100000, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.searches) + " x " + std::to_string(row.batch));
        CProgress counted;
        counted.SetQuiet(row.quiet);
        testing::internal::CaptureStdout();
        for (int i = 0; i < row.searches; ++i)
            counted.Tick(row.batch);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.dots);
    }
}

TEST(ObjectText, InputFileFindsAcrossWindowSeamsAndReadsAtTheEnd)
{
    CTestDir dir;
    std::string bytes(300000, 'x');
    bytes.replace(131069, 6, "endobj"); // across the first 128 KiB boundary
    bytes.replace(299990, 6, "endobj");
    CFileHandle file;
    ASSERT_TRUE(file.Open(dir.Write("big", bytes), "rb"));
    // Read through windows of the file, and from the file's bytes held in memory.
    for (const bool isHeld : {false, true}) {
        SCOPED_TRACE(isHeld ? "held" : "windows");
        CInputFile input;
        input.Attach(file.get(), 0, isHeld ? std::make_shared<const CByteBuffer>(bytes.begin(), bytes.end()) : nullptr);
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
        const std::string_view view = input.View(131069, 6);
        EXPECT_EQ(view.substr(0, 6), "endobj");
        if (isHeld) {
            EXPECT_EQ(view.size(), 300000u - 131069u) << "a held file is one window";
        }
    }
}

// Copies from an input gather into runs; a long run is copied file to file by the system, or
// through the buffer when writes are watched by the failure hook. Either way the output holds
// the bytes in the order asked for; a run past the input's end is damage, and bytes that
// cannot be written out when the file is closed raise the output error.
TEST(ObjectText, OutputFile)
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
    dir.Write("out", std::string(expected.size() + 5000, 'z')); // an output that is there is emptied first
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
    output.Abandon();
    COutputFile full;
    full.Open("/dev/full", false);
    full.Write(std::string(100, 'x'));
    try {
        full.Close();
        ADD_FAILURE() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_STREQ(error.what(), "File output error: '/dev/full', err no: 28");
    }
}

// A file read back while it is written (a list's journal): what the writer handed over reads the
// same whether it comes from the file or from the writer's buffer, across the seam between them,
// after the buffer has kept only the last piece and after it has filled and begun again.
TEST(ObjectText, OutputReadBackWhileWritten)
{
    CTestDir dir;
    std::string bytes(2500000, ' ');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('A' + i * 7 % 53);
    COutputFile output;
    output.Open(dir.PathOf("journal"), false);
    CFileHandle reader;
    ASSERT_TRUE(reader.Open(dir.PathOf("journal"), "rb"));
    CInputFile input;
    const struct {
        size_t written; // bytes handed over so far
        uint64_t position;
        size_t length;
    } rows[] = {
        {5000, 0, 5000},          // all in the buffer
        {5000, 4990, 20},         // past what was written: short
        {70000, 100, 69000},
        {80000, 69000, 11000},    // the buffer keeps only the last piece: file, then buffer
        {85000, 79990, 5010},
        {900000, 10, 899990},     // a run copied into the buffer
        {1100000, 1048000, 2000}, // the buffer filled: the seam between file and buffer
        {1100000, 0, 1100000},
        {2200000, 2097100, 200},  // filled twice
        {2500000, 1000, 300000},  // a long read, mostly from the file
    };
    CFileHandle source;
    ASSERT_TRUE(source.Open(dir.Write("source", bytes), "rb"));
    CInputFile from;
    from.Attach(source.get(), 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.written) + " written, " + std::to_string(row.position));
        if (output.position() < row.written) {
            const uint64_t start = output.position();
            if (row.written - start > 500000)
                output.CopyRun(from, start, row.written - start);
            else
                output.Write(bytes.data() + start, row.written - start);
            output.HandOver(start);
        }
        for (const bool isRecent : {true, false}) {
            input.AttachSized(reader.get(), output.position(), isRecent ? &output : nullptr);
            std::string out;
            const size_t expected = std::min<size_t>(row.length, row.written - std::min<size_t>(row.written, row.position));
            EXPECT_EQ(input.Read(row.position, row.length, out), expected) << isRecent;
            EXPECT_TRUE(out == bytes.substr(row.position, expected)) << isRecent;
        }
    }
    output.Close();
}

// A one-page file with object 4 as given (free when body is empty), object 5 "20" (or body5
// with generation 2), and junk before the header when given.
std::string WithObject4(const std::string& body, const std::string& body5 = "", const std::string& junk = "")
{
    CTestPdf pdf("1.4");
    pdf.SetJunkBeforeHeader(junk);
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    if (body.empty())
        pdf.AddFree(4);
    else
        pdf.Add(4, body);
    pdf.Add(5, body5.empty() ? "20" : body5, body5.empty() ? 0 : 2);
    return pdf.ClassicXRef("/Root 1 0 R");
}

// A hand-made file whose object 2 sits at exactly the file's length or beyondEnd bytes past it.
std::string FileWithOffset(size_t beyondEnd)
{
    const std::string body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    const std::string tail = "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n" + std::to_string(body.size()) + "\n%%EOF\n";
    char entries[80];
    std::snprintf(entries, sizeof entries, "0000000000 65535 f\r\n%010zu 00000 n\r\n%010zu 00000 n\r\n", size_t{9},
                  body.size() + 9 + 3 * 20 + tail.size() + beyondEnd);
    return body + "xref\n0 3\n" + entries + tail;
}

// The text of one object as the first-file pass writes it, or "<no text>".
TEST(ObjectText, ReadObjectText)
{
    const std::string data = "q endobj endstream Q";
    // Entry 4 pointed at object 3's header.
    std::string misplaced = WithObject4("<< /A 1 >>");
    const size_t table = misplaced.find("xref\n0 6\n") + 9;
    misplaced.replace(table + 4 * 20, 10, misplaced.substr(table + 3 * 20, 10));
    CTestPdf compressed("1.4");
    compressed.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    compressed.AddObjectStream(9, {{12, "<</A 1>>"}, {13, "[1 0 R]"}});
    const struct { const char* name; std::string file; uint32_t number; std::string expected; } rows[] = {
        {"dictionary", WithObject4("<< /A 1 >>"), 4, "4 0 obj\n<< /A 1 >>\nendobj\n"},
        {"endobj then CR LF keeps only the CR", WithObject4("<< /A 1 >>\nendobj\r\n%"), 4, "4 0 obj\n<< /A 1 >>\nendobj\r"},
        {"endobj inside a string", WithObject4("(endobj) 5"), 4, "4 0 obj\n(endobj) 5\nendobj\n"},
        {"endobj glued to the next byte gets a line feed", WithObject4("<< /A 1 >> endobj%"), 4,
         "4 0 obj\n<< /A 1 >> endobj\n"},
        {"stream data holding endobj and endstream, length right",
         WithObject4("<< /Length 20 >>\nstream\r\n" + data + "\nendstream"), 4,
         "4 0 obj\n<< /Length 20 >>\nstream\r\n" + data + "\nendstream\nendobj\n"},
        {"length too long: the data ends at the first endstream",
         WithObject4("<< /Length 99 >>\nstream\nab\nendstream"), 4,
         "4 0 obj\n<< /Length 99 >>\nstream\nab\nendstream\nendobj\n"},
        {"length beyond the file", WithObject4("<< /Length 999999 >>\nstream\nab\nendstream"), 4,
         "4 0 obj\n<< /Length 999999 >>\nstream\nab\nendstream\nendobj\n"},
        {"indirect length", WithObject4("<< /Length 5 0 R >>\nstream\n" + data + "\nendstream"), 4,
         "4 0 obj\n<< /Length 5 0 R >>\nstream\n" + data + "\nendstream\nendobj\n"},
        {"stream without endstream", WithObject4("<< /Length 2 >>\nstream\nab\nendobj"), 4, "<no text>"},
        {"object 0", WithObject4("", "<< /A 1 >>"), 0, "<no text>"},
        {"free entry", WithObject4("", "<< /A 1 >>"), 4, "<no text>"},
        {"beyond the table", WithObject4("", "<< /A 1 >>"), 6, "<no text>"},
        {"generation 2", WithObject4("", "<< /A 1 >>"), 5, "5 2 obj\n<< /A 1 >>\nendobj\n"},
        {"header naming another object", misplaced, 4, "<no text>"},
        {"offset at the end of the file", FileWithOffset(0), 2, "<no text>"},
        {"junk before the header: offsets count from it", WithObject4("<< /A 1 >>", "", "junk junk\n"), 4,
         "4 0 obj\n<< /A 1 >>\nendobj\n"},
        {"compressed", compressed.XRefStream(20, CTestXRefStreamOptions(), "/Root 1 0 R"), 12,
         "12 0 obj\r<</A 1>>\n endobj\r"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        COpenedInput opened(row.file);
        EXPECT_EQ(opened.Text(row.number), row.expected);
        // Kept for the copy and unpacked, the text is the one read.
        EXPECT_EQ(opened.Facts(row.number, true), opened.Facts(row.number, false));
    }
    // A pool too small for a text does not keep it.
    EXPECT_EQ(COpenedInput(rows[0].file).Facts(4, true, 64), "<not kept>");
    // A compressed object is marked so, and its references are scanned.
    COpenedInput opened(rows[16].file);
    CObjectText object;
    ASSERT_TRUE(opened.reader.Read(13, object));
    EXPECT_TRUE(object.isCompressed);
    ASSERT_EQ(object.scan.m_refs.size(), 1u);
    EXPECT_EQ(object.scan.m_refs[0].number, 1u);
    // An offset one past the end is the search error, or no text where that is asked for.
    COpenedInput beyond(FileWithOffset(1));
    try {
        beyond.Text(2);
        ADD_FAILURE() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_STREQ(error.what(), "FindInFile error\r\n");
    }
    beyond.reader.m_beyondEndIsError = false;
    EXPECT_EQ(beyond.Text(2), "<no text>");
}

} // namespace
