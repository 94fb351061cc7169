// The output file byte for byte: header, object order, renumbering of the second file, the
// cross-reference table with its 20-byte entries and the trailer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

// Catalog 1, root 2, page 3 with content stream 4 holding content.
std::string OnePage(const std::string& version, const std::string& content, const std::string& trailer = "/Root 1 0 R")
{
    CTestPdf pdf(version);
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
    pdf.AddStream(4, "<< >>", content);
    return pdf.ClassicXRef(trailer);
}

// The cross-reference section and trailer that belong after body, with each object's entry
// taken from where "k g obj" starts in body; entries listed in frees are free at the given
// position. Generation 0 throughout.
std::string XrefAndTrailer(const std::string& body, uint32_t size, const std::vector<std::pair<uint32_t, size_t>>& frees,
                           const std::string& trailerKeys)
{
    std::string text = "xref\n0 " + std::to_string(size) + "\r0000000000 65535 f \r";
    for (uint32_t number = 1; number < size; ++number) {
        char line[32];
        bool isFree = false;
        size_t position = 0;
        for (const auto& free : frees) {
            if (free.first == number) {
                isFree = true;
                position = free.second;
            }
        }
        if (!isFree)
            position = body.rfind("\n" + std::to_string(number) + " 0 obj") + 1;
        std::snprintf(line, sizeof line, "%010zu 00000 %c \r", position, isFree ? 'f' : 'n');
        text += line;
    }
    return text + "trailer\n<<\n/Size " + std::to_string(size) + "\n" + trailerKeys + ">>\nstartxref\n" +
           std::to_string(body.size()) + "\n%%EOF";
}

// Two one-page files, every byte of the output: the second file's objects 2 to 4 become 6 to 8,
// its catalog 1 (output 5) is dropped, the first root is written last.
TEST(AppendLayout, TwoOnePageFilesByteForByte)
{
    const std::string output = AppendBytes(OnePage("1.4", "BT ET"), OnePage("1.4", "q Q"));
    const std::string body =
        "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"
        "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
        "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>\nendobj\n"
        "4 0 obj\n<<  /Length 5 >>\nstream\nBT ET\nendstream\nendobj\n"
        "6 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [7 0 R] /Count 1 >>\nendobj\n"
        "7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents 8 0 R >>\nendobj\n"
        "8 0 obj\n<<  /Length 3 >>\nstream\nq Q\nendstream\nendobj\n"
        "2 0 obj\n<< /Type /Pages /Kids [3 0 R 6 0 R ] /Count 2 >>\nendobj\n";
    const size_t catalog2 = body.find("6 0 obj");
    EXPECT_EQ(output, body + XrefAndTrailer(body, 9, {{5, catalog2}}, "/Root 1 0 R\n"));
}

TEST(AppendLayout, HeaderVersion)
{
    const struct {
        const char* version1;
        const char* version2;
        const char* header;
    } rows[] = {
        {"1.3", "1.6", "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n"},
        {"1.6", "1.3", "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n"},
        {"1.7", "2.0", "%PDF-2.0\n%\xE2\xE3\xCF\xD3\n"}, // the whole version, never 2.7
        {"2.0", "1.7", "%PDF-2.0\n%\xE2\xE3\xCF\xD3\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.version1) + " + " + row.version2);
        const std::string output = AppendBytes(OnePage(row.version1, "BT ET"), OnePage(row.version2, "q Q"));
        EXPECT_EQ(output.substr(0, output.find("1 0 obj")), row.header);
    }
}

// The first file's comment lines up to its first object are kept; junk before "%PDF-" is not.
TEST(AppendLayout, HeaderCommentsAndLeadingJunk)
{
    CTestPdf pdf("1.5", false);
    pdf.SetJunkBeforeHeader("garbage before the header\n");
    pdf.AddRaw("% a comment line\r\n");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    const std::string output = AppendBytes(pdf.ClassicXRef("/Root 1 0 R"), OnePage("1.4", "q Q"));
    EXPECT_EQ(output.substr(0, output.find("1 0 obj")), "%PDF-1.5\n% a comment line\r\n");
    EXPECT_EQ(OutputObject(output, 3), "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>\nendobj\n");
}

// Five and four entries make a table of eight; the second file's object 1 is output object 5.
TEST(AppendLayout, TableSizeAndNumbering)
{
    CTestPdf second("1.4");
    second.Add(1, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    second.Add(2, "<< /Type /Catalog /Pages 3 0 R >>");
    second.Add(3, "<< /Type /Pages /Kids [] /Count 0 /Resources << /Font << /F 1 0 R >> >> >>");
    const std::string output = AppendBytes(OnePage("1.4", "BT ET"), second.ClassicXRef("/Root 2 0 R"));
    EXPECT_EQ(OutputXref(output).substr(0, 9), "xref\n0 8\r");
    EXPECT_NE(output.find("trailer\n<<\n/Size 8\n/Root 1 0 R\n>>\nstartxref\n"), std::string::npos);
    EXPECT_EQ(OutputObject(output, 5), "5 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 7),
              "7 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [] /Count 0 /Resources << /Font << /F 5 0 R >> >> >>\n"
              "endobj\n");
    EXPECT_EQ(OutputXref(output).size(), 9u + 20u * 8u);
    EXPECT_EQ(output.substr(output.size() - 6), "\n%%EOF");
}

TEST(AppendLayout, InfoOnlyWhenPresent)
{
    CTestPdf first("1.4");
    first.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    first.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    first.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    first.Add(4, "<< /Title (one) >>");
    const std::string withInfo = AppendBytes(first.ClassicXRef("/Root 1 0 R /Info 4 0 R"), OnePage("1.4", "q Q"));
    EXPECT_NE(withInfo.find("/Root 1 0 R\n/Info 4 0 R\n>>\nstartxref\n"), std::string::npos);
    // The second file's /Info is never written; one that names no first-file object neither.
    const std::string withoutInfo = AppendBytes(OnePage("1.4", "BT ET"), OnePage("1.4", "q Q", "/Root 1 0 R /Info 4 0 R"));
    EXPECT_EQ(withoutInfo.find("/Info"), std::string::npos);
    const std::string beyond = AppendBytes(OnePage("1.4", "BT ET", "/Root 1 0 R /Info 7 0 R"), OnePage("1.4", "q Q"));
    EXPECT_EQ(beyond.find("/Info"), std::string::npos);
}

// References are renumbered in dictionaries and arrays, never inside strings or stream data,
// and generations above 0 survive in the references and in the table.
TEST(AppendLayout, SecondFileReferences)
{
    CTestPdf second("1.4");
    second.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    second.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    second.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [4 0 R 5 2 R] /T (see 3 0 R) >>");
    second.AddStream(4, "<< /Note 5 2 R >>", "9 0 R 3 0 R");
    second.Add(5, "<< /Length 0 >>\nstream\n\nendstream", 2);
    const std::string output = AppendBytes(OnePage("1.4", "BT ET"), second.ClassicXRef("/Root 1 0 R"));
    EXPECT_EQ(OutputObject(output, 7),
              "7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents [8 0 R 9 2 R] /T (see 3 0 R) >>"
              "\nendobj\n");
    EXPECT_EQ(OutputObject(output, 8), "8 0 obj\n<< /Note 9 2 R  /Length 11 >>\nstream\n9 0 R 3 0 R\nendstream\nendobj\n");
    const std::string xref = OutputXref(output);
    ASSERT_EQ(xref.substr(0, 10), "xref\n0 10\r");
    EXPECT_EQ(xref.substr(10 + 20 * 9 + 10, 10), " 00002 n \r");
}

// Object streams are dropped and their members written one by one in the compressed form.
TEST(AppendLayout, ObjectStreamsBecomeSeparateObjects)
{
    CTestPdf first("1.5");
    first.AddObjectStream(5, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}});
    first.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    const std::string output = AppendBytes(first.XRefStream(4, CTestXRefStreamOptions(), "/Root 1 0 R"),
                                           OnePage("1.4", "q Q"));
    EXPECT_EQ(OutputObject(output, 1), "1 0 obj\r<< /Type /Catalog /Pages 2 0 R >>\n endobj\r");
    EXPECT_EQ(OutputObject(output, 2), "2 0 obj\r<< /Type /Pages /Kids [3 0 R 7 0 R ] /Count 2 >>\n endobj\r");
    EXPECT_EQ(OutputObject(output, 5), "");
    EXPECT_EQ(output.find("/ObjStm"), std::string::npos);
}

// "ObjStm", "stream" and "endobj" inside stream data, strings or names neither cut an object
// short nor drop it; only a real object stream (/Type /ObjStm) is dropped.
TEST(AppendLayout, KeywordsInsideDataKeepTheObject)
{
    CTestPdf second("1.4");
    second.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    second.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    second.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /T (ObjStm endobj) >>");
    second.AddStream(4, "<< /Kind /ObjStmLike >>", "/Type /ObjStm\nendobj\nstream\n5 0 R");
    second.Add(5, "<< /Ref 0 0 R /Far 99 0 R >>");
    const std::string output = AppendBytes(OnePage("1.4", "BT ET"), second.ClassicXRef("/Root 1 0 R"));
    // Found as whole texts: the objects hold "endobj" themselves.
    EXPECT_NE(output.find("7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents 8 0 R "
                          "/T (ObjStm endobj) >>\nendobj\n"),
              std::string::npos);
    EXPECT_NE(output.find("8 0 obj\n<< /Kind /ObjStmLike  /Length 33 >>\nstream\n/Type /ObjStm\nendobj\nstream\n5 0 R"
                          "\nendstream\nendobj\n"),
              std::string::npos);
    // Object 0 stays 0; a number beyond the second file's table stays beyond the output's.
    EXPECT_EQ(OutputObject(output, 9), "9 0 obj\n<< /Ref 0 0 R /Far 103 0 R >>\nendobj\n");
}

} // namespace
