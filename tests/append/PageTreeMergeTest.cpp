// The page-tree merge: the first root gains the second root as its last kid and the sum of
// both counts, written directly or through its indirect /Count and /Kids objects; the second
// root keeps the look its pages had.
#include <gtest/gtest.h>

#include <string>

#include "cli/Globals.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

// A two-page second file: catalog 1, root 2, pages 3 and 4.
std::string TwoPages()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    pdf.Add(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] >>");
    return pdf.ClassicXRef("/Root 1 0 R");
}

// A first file with catalog 1, the given root 2, page 3, and objects 4 and 5 as given
// (defaults: two unused integers).
std::string FirstWithRoot(const std::string& root, const std::string& object4 = "0", const std::string& object5 = "0")
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, root);
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    pdf.Add(4, object4);
    pdf.Add(5, object5);
    return pdf.ClassicXRef("/Root 1 0 R");
}

// With six first-file entries the second root (2) becomes output object 7.
TEST(PageTreeMerge, DirectKidsAndCount)
{
    const struct {
        const char* name;
        const char* root;
        const char* expected;
    } rows[] = {
        {"kids then count", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "2 0 obj\n<< /Type /Pages /Kids [3 0 R 7 0 R ] /Count 3 >>\nendobj\n"},
        {"space before the bracket", "<< /Type /Pages /Kids [3 0 R ] /Count 1 >>",
         "2 0 obj\n<< /Type /Pages /Kids [3 0 R 7 0 R ] /Count 3 >>\nendobj\n"},
        {"count then kids", "<< /Count 1 /Type /Pages /Kids [3 0 R] >>",
         "2 0 obj\n<< /Count 3 /Type /Pages /Kids [3 0 R 7 0 R ] >>\nendobj\n"},
        {"no spaces", "<</Type/Pages/Count 1/Kids[3 0 R]>>", "2 0 obj\n<</Type/Pages/Count 3/Kids[3 0 R 7 0 R ]>>\nendobj\n"},
        {"keys inside strings are not the keys", "<< /T (/Kids [9 0 R] /Count 9) /Kids [3 0 R] /Count 1 >>",
         "2 0 obj\n<< /T (/Kids [9 0 R] /Count 9) /Kids [3 0 R 7 0 R ] /Count 3 >>\nendobj\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string output = AppendBytes(FirstWithRoot(row.root), TwoPages());
        EXPECT_EQ(OutputObject(output, 2), row.expected);
        // The root is the last object before the table.
        EXPECT_EQ(output.find(row.expected) + std::string(row.expected).size(), output.find("xref\n0 "));
    }
}

// Indirect /Kids and /Count keep their references; the objects are written again after the
// root with the edits, and the table points at the later copies.
TEST(PageTreeMerge, IndirectKidsAndCount)
{
    const std::string output =
        AppendBytes(FirstWithRoot("<< /Type /Pages /Kids 4 0 R /Count 5 0 R >>", "[3 0 R]", "1"), TwoPages());
    EXPECT_EQ(OutputObject(output, 2), "2 0 obj\n<< /Type /Pages /Kids 4 0 R /Count 5 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 4), "4 0 obj\n[3 0 R 7 0 R ]\nendobj\n");
    EXPECT_EQ(OutputObject(output, 5), "5 0 obj\n3\nendobj\n");
    const size_t root = output.find("2 0 obj\n<< /Type /Pages /Kids 4 0 R");
    EXPECT_LT(root, output.find("5 0 obj\n3\n"));
    EXPECT_LT(output.find("5 0 obj\n3\n"), output.find("4 0 obj\n[3 0 R 7 0 R ]"));
    // The first copies stay in the file.
    EXPECT_NE(output.find("4 0 obj\n[3 0 R]\nendobj\n"), std::string::npos);
    EXPECT_NE(output.find("5 0 obj\n1\nendobj\n"), std::string::npos);
}

// A second root whose /Count is indirect keeps its own count object, even when it equals a
// first-file object, and the first file's count object is never a duplicate target.
TEST(PageTreeMerge, CountObjectsAreNeverShared)
{
    CTestPdf second("1.4");
    second.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    second.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 4 0 R >>");
    second.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    second.Add(4, "1");
    const std::string output =
        AppendBytes(FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 5 0 R >>", "0", "1"), second.ClassicXRef("/Root 1 0 R"));
    EXPECT_EQ(OutputObject(output, 7), "7 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [8 0 R] /Count 9 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 9), "9 0 obj\n1\nendobj\n");
    EXPECT_EQ(OutputObject(output, 5), "5 0 obj\n2\nendobj\n");
}

TEST(PageTreeMerge, RootWithoutKidsOrCountIsDamaged)
{
    const char* roots[] = {
        "<< /Type /Pages /Count 1 >>",
        "<< /Type /Pages /Kids [3 0 R] >>",
        "<< /Type /Pages /Kids /None /Count 1 >>",
        "<< /Type /Pages /Count 1 /Kids [[[3 0 R] >>",
    };
    for (const char* root : roots) {
        SCOPED_TRACE(root);
        g_exitCode = 0;
        try {
            AppendBytes(FirstWithRoot(root), TwoPages());
            FAIL() << "no exception";
        } catch (const CPdfException& error) {
            EXPECT_STREQ(error.what(), "PDF file was damaged");
        }
        EXPECT_EQ(g_exitCode, -4);
        g_exitCode = 0;
    }
}

// A /Count that cannot be true (more pages than objects) is replaced by the counted leaves.
TEST(PageTreeMerge, UnbelievableCountIsCounted)
{
    const std::string output = AppendBytes(FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 9999999999 >>"), TwoPages());
    EXPECT_EQ(OutputObject(output, 2), "2 0 obj\n<< /Type /Pages /Kids [3 0 R 7 0 R ] /Count 3 >>\nendobj\n");
}

// Attributes the first root would pass down are set on the second root where it lacks them,
// with the value its pages had without them.
TEST(PageTreeMerge, InheritedAttributesStayWithTheSecondFile)
{
    const struct {
        const char* name;
        const char* root1;
        const char* root2;
        const char* expected2;
    } rows[] = {
        {"rotate and media box", "<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 /MediaBox [0 0 50 50] >>",
         "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
         "7 0 obj\n<<\r/Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 0 /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 >>\nendobj\n"},
        {"the second root has its own", "<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 /CropBox [0 0 5 5] >>",
         "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Rotate 180 >>",
         "7 0 obj\n<<\r/Parent 2 0 R /CropBox [-14400 -14400 14400 14400] /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 "
         "/Rotate 180 >>\nendobj\n"},
        {"resources", "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources 4 0 R >>",
         "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
         "7 0 obj\n<<\r/Parent 2 0 R /Resources << >> /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 >>\nendobj\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CTestPdf second("1.4");
        second.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        second.Add(2, row.root2);
        second.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
        second.Add(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] >>");
        const std::string output =
            AppendBytes(FirstWithRoot(row.root1, "<< >>"), second.ClassicXRef("/Root 1 0 R"));
        EXPECT_EQ(OutputObject(output, 7), row.expected2);
    }
}

// Rendered sizes and rotations of every page stay those of its own file.
TEST(PageTreeMerge, PagesKeepTheirLookWhenRendered)
{
    if (FindTool("pdfinfo").empty())
        GTEST_SKIP() << "pdfinfo is not installed";
    CTestDir dir;
    const std::string first =
        dir.Write("a.pdf", FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 /CropBox [0 0 40 60] >>"));
    const std::string second = dir.Write("b.pdf", TwoPages());
    const std::string output = dir.PathOf("out.pdf");
    AppendPaths(first, second, output, {"-quiet"});
    const ProgramResult info = RunTool("pdfinfo", {"-f", "1", "-l", "3", output});
    ASSERT_EQ(info.exitStatus, 0) << info.err;
    // pdfinfo pads its columns; compare with runs of spaces made single.
    std::string text;
    for (char c : info.out) {
        if (c != ' ' || text.empty() || text.back() != ' ')
            text.push_back(c);
    }
    for (const char* line : {"Page 1 size: 40 x 60 pts\n", "Page 1 rot: 90\n", "Page 2 size: 200 x 200 pts\n",
                             "Page 2 rot: 0\n", "Page 3 size: 300 x 300 pts\n", "Page 3 rot: 0\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
}

} // namespace
