// The output file byte for byte: header, object order, renumbering of the second file, the
// cross-reference table with its 20-byte entries and the trailer.
#include <gtest/gtest.h>

#include <string>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

constexpr const char* kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
constexpr const char* kRoot = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
constexpr const char* kPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";

// Catalog 1, root 2, page 3 with content stream 4 holding content.
std::string OnePage(const std::string& version, const std::string& content, const std::string& trailer = "/Root 1 0 R")
{
    return ClassicPdf({{1, kCatalog}, {2, kRoot},
                       {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>"},
                       {4, StreamBody("<< >>", content)}},
                      trailer, version);
}

// Two one-page files, every byte of the output: the second file's objects 2 to 4 become 6 to 8,
// its catalog 1 (output 5) is dropped and free, the first root is written last.
TEST(AppendLayout, TwoOnePageFilesByteForByte)
{
    EXPECT_EQ(AppendBytes(OnePage("1.4", "BT ET"), OnePage("1.4", "q Q")),
              "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"
              "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
              "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>\nendobj\n"
              "4 0 obj\n<<  /Length 5 >>\nstream\nBT ET\nendstream\nendobj\n"
              "6 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [7 0 R] /Count 1 >>\nendobj\n"
              "7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents 8 0 R >>\nendobj\n"
              "8 0 obj\n<<  /Length 3 >>\nstream\nq Q\nendstream\nendobj\n"
              "2 0 obj\n<< /Type /Pages /Kids [3 0 R 6 0 R ] /Count 2 >>\nendobj\n"
              "xref\n0 9\r0000000000 65535 f \r0000000015 00000 n \r0000000417 00000 n \r0000000064 00000 n \r"
              "0000000151 00000 n \r0000000206 00000 f \r0000000206 00000 n \r0000000277 00000 n \r"
              "0000000364 00000 n \rtrailer\n<<\n/Size 9\n/Root 1 0 R\n>>\nstartxref\n481\n%%EOF");
}

// Header, numbering, trailer keys and renumbered references of one-page appends.
TEST(AppendLayout, Rows)
{
    const std::string second = OnePage("1.4", "q Q");
    const std::string binary = "\n%\xE2\xE3\xCF\xD3\n1 0 obj";
    CTestPdf junk("1.5", false);
    junk.SetJunkBeforeHeader("garbage before the header\n");
    junk.AddRaw("% a comment line\r\n");
    junk.Add(1, kCatalog);
    junk.Add(2, kRoot);
    junk.Add(3, kPage);
    CTestPdf compressed("1.5");
    compressed.AddObjectStream(5, {{1, kCatalog}, {2, kRoot}});
    compressed.Add(3, kPage);
    CTestPdf references("1.4");
    references.Add(1, kCatalog);
    references.Add(2, kRoot);
    references.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [4 0 R 5 2 R] /T (see 3 0 R) >>");
    references.AddStream(4, "<< /Note 5 2 R >>", "9 0 R 3 0 R");
    references.Add(5, "<< /Length 0 >>\nstream\n\nendstream", 2);
    CheckAppendRows({
        // The higher version wins, whole (never 2.7).
        {"1.3 + 1.6", OnePage("1.3", "BT ET"), OnePage("1.6", "q Q"), {}, {}, {}, "%PDF-1.6" + binary},
        {"1.6 + 1.3", OnePage("1.6", "BT ET"), OnePage("1.3", "q Q"), {}, {}, {}, "%PDF-1.6" + binary},
        {"1.7 + 2.0", OnePage("1.7", "BT ET"), OnePage("2.0", "q Q"), {}, {}, {}, "%PDF-2.0" + binary},
        {"2.0 + 1.7", OnePage("2.0", "BT ET"), OnePage("1.7", "q Q"), {}, {}, {}, "%PDF-2.0" + binary},
        // The first file's comment lines up to its first object are kept; junk before "%PDF-" is not.
        {"header comments and leading junk", junk.ClassicXRef("/Root 1 0 R"), second,
         {{3, "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>\nendobj\n"}}, {}, {},
         "%PDF-1.5\n% a comment line\r\n1 0 obj"},
        // Five and four entries make a table of eight; the second file's object 1 is output 5.
        {"table size and numbering", OnePage("1.4", "BT ET"),
         ClassicPdf({{1, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}, {2, "<< /Type /Catalog /Pages 3 0 R >>"},
                     {3, "<< /Type /Pages /Kids [] /Count 0 /Resources << /Font << /F 1 0 R >> >> >>"}},
                    "/Root 2 0 R"),
         {{5, "5 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>\nendobj\n"},
          {7, "7 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [] /Count 0 /Resources << /Font << /F 5 0 R >> >> >>\n"
              "endobj\n"}},
         {{"xref\n0 8\r", 1}, {"trailer\n<<\n/Size 8\n/Root 1 0 R\n>>\nstartxref\n", 1}}},
        // Only the first file's /Info is written, and only when it names one of its objects.
        {"first file's info", ClassicPdf({{1, kCatalog}, {2, kRoot}, {3, kPage}, {4, "<< /Title (one) >>"}},
                                         "/Root 1 0 R /Info 4 0 R"),
         second, {}, {{"/Root 1 0 R\n/Info 4 0 R\n>>\nstartxref\n", 1}}},
        {"second file's info", OnePage("1.4", "BT ET"), OnePage("1.4", "q Q", "/Root 1 0 R /Info 4 0 R"), {},
         {{"/Info", 0}}},
        {"info beyond the first file", OnePage("1.4", "BT ET", "/Root 1 0 R /Info 7 0 R"), second, {}, {{"/Info", 0}}},
        // References are renumbered in dictionaries and arrays, never inside strings or stream
        // data; generations above 0 survive in the references and in the table.
        {"second file's references", OnePage("1.4", "BT ET"), references.ClassicXRef("/Root 1 0 R"),
         {{7, "7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents [8 0 R 9 2 R] /T (see 3 0 R) >>"
              "\nendobj\n"},
          {8, "8 0 obj\n<< /Note 9 2 R  /Length 11 >>\nstream\n9 0 R 3 0 R\nendstream\nendobj\n"},
          {9, "9 2 obj\n<< /Length 0 >>\nstream\n\nendstream\nendobj\n"}},
         {{"xref\n0 10\r", 1}}},
        // Object streams are dropped and their members written one by one in the compressed form.
        {"object streams", compressed.XRefStream(4, CTestXRefStreamOptions(), "/Root 1 0 R"), second,
         {{1, "1 0 obj\r<< /Type /Catalog /Pages 2 0 R >>\n endobj\r"},
          {2, "2 0 obj\r<< /Type /Pages /Kids [3 0 R 7 0 R ] /Count 2 >>\n endobj\r"}, {5, ""}},
         {{"/ObjStm", 0}}},
        // "ObjStm", "stream" and "endobj" in stream data, strings or names neither cut an object
        // short nor drop it; 0 0 R stays, a number beyond the second file's table stays beyond.
        {"keywords inside data", OnePage("1.4", "BT ET"),
         ClassicPdf({{1, kCatalog}, {2, kRoot},
                     {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /T (ObjStm endobj) >>"},
                     {4, StreamBody("<< /Kind /ObjStmLike >>", "/Type /ObjStm\nendobj\nstream\n5 0 R")},
                     {5, "<< /Ref 0 0 R /Far 99 0 R >>"}}),
         {{9, "9 0 obj\n<< /Ref 0 0 R /Far 103 0 R >>\nendobj\n"}},
         {{"7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents 8 0 R /T (ObjStm endobj) >>"
           "\nendobj\n", 1},
          {"8 0 obj\n<< /Kind /ObjStmLike  /Length 33 >>\nstream\n/Type /ObjStm\nendobj\nstream\n5 0 R"
           "\nendstream\nendobj\n", 1}}},
    });
}

} // namespace
