// The page-tree merge: the first root gains the second root as its last kid and the sum of
// both counts, written directly or through its indirect /Count and /Kids objects; the second
// root keeps the look its pages had. Values the run edits in place that are missing or never
// close make the first file damaged.
#include <gtest/gtest.h>

#include <string>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

constexpr const char* kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
constexpr const char* kPages = "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>";

// A second file: catalog 1, the given root 2, pages 3 (200 x 200) and 4 (300 x 300).
std::string SecondWithRoot(const std::string& root = kPages)
{
    return ClassicPdf({{1, kCatalog}, {2, root}, {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>"},
                       {4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] >>"}});
}

// A first file: catalog 1, the given root 2, page 3, and objects 4 and 5 as given.
std::string FirstWithRoot(const std::string& root, const std::string& object4 = "0", const std::string& object5 = "0")
{
    return ClassicPdf({{1, kCatalog}, {2, root}, {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>"},
                       {4, object4}, {5, object5}});
}

// A direct edit of the first root, which is the last object before the table.
AppendRow Direct(const char* name, const char* root, const std::string& expected)
{
    return {name, FirstWithRoot(root), SecondWithRoot(), {{2, expected}}, {{expected + "xref\n0 ", 1}}};
}

// With six first-file entries the second root (2) becomes output object 7.
TEST(PageTreeMerge, Rows)
{
    const std::string merged = "2 0 obj\n<< /Type /Pages /Kids [3 0 R 7 0 R ] /Count 3 >>\nendobj\n";
    const std::string indirectRoot = "2 0 obj\n<< /Type /Pages /Kids 4 0 R /Count 5 0 R >>\nendobj\n";
    CheckAppendRows({
        Direct("kids then count", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", merged),
        Direct("space before the bracket", "<< /Type /Pages /Kids [3 0 R ] /Count 1 >>", merged),
        Direct("count then kids", "<< /Count 1 /Type /Pages /Kids [3 0 R] >>",
               "2 0 obj\n<< /Count 3 /Type /Pages /Kids [3 0 R 7 0 R ] >>\nendobj\n"),
        Direct("no spaces", "<</Type/Pages/Count 1/Kids[3 0 R]>>",
               "2 0 obj\n<</Type/Pages/Count 3/Kids[3 0 R 7 0 R ]>>\nendobj\n"),
        Direct("keys inside strings are not the keys", "<< /T (/Kids [9 0 R] /Count 9) /Kids [3 0 R] /Count 1 >>",
               "2 0 obj\n<< /T (/Kids [9 0 R] /Count 9) /Kids [3 0 R 7 0 R ] /Count 3 >>\nendobj\n"),
        // A /Count that cannot be true (more pages than objects) is replaced by the counted leaves.
        Direct("unbelievable count", "<< /Type /Pages /Kids [3 0 R] /Count 9999999999 >>", merged),
        // Indirect /Kids and /Count keep their references; the objects are written again after
        // the root with the edits, the first copies stay, and the table points at the later ones.
        {"indirect kids and count", FirstWithRoot("<< /Type /Pages /Kids 4 0 R /Count 5 0 R >>", "[3 0 R]", "1"),
         SecondWithRoot(),
         {{2, indirectRoot}, {4, "4 0 obj\n[3 0 R 7 0 R ]\nendobj\n"}, {5, "5 0 obj\n3\nendobj\n"}},
         {{"4 0 obj\n[3 0 R]\nendobj\n", 1}, {"5 0 obj\n1\nendobj\n", 1}},
         {indirectRoot, "5 0 obj\n3\n", "4 0 obj\n[3 0 R 7 0 R ]"}},
        // An indirect second /Count keeps its own object even when it equals a first-file object,
        // and the first file's count object is never a duplicate target.
        {"count objects are never shared", FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 5 0 R >>", "0", "1"),
         ClassicPdf({{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 4 0 R >>"},
                     {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>"}, {4, "1"}}),
         {{7, "7 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [8 0 R] /Count 9 0 R >>\nendobj\n"},
          {9, "9 0 obj\n1\nendobj\n"}, {5, "5 0 obj\n2\nendobj\n"}}},
        // Attributes the first root would pass down are set on the second root where it lacks
        // them, with the value its pages had without them.
        {"rotate and media box",
         FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 /MediaBox [0 0 50 50] >>", "<< >>"),
         SecondWithRoot(),
         {{7, "7 0 obj\n<<\r/Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 0 /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 "
              ">>\nendobj\n"}}},
        {"the second root has its own",
         FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 /CropBox [0 0 5 5] >>", "<< >>"),
         SecondWithRoot("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Rotate 180 >>"),
         {{7, "7 0 obj\n<<\r/Parent 2 0 R /CropBox [-14400 -14400 14400 14400] /Type /Pages /Kids [8 0 R 9 0 R] "
              "/Count 2 /Rotate 180 >>\nendobj\n"}}},
        // A page whose /Kids names an object that is no array is a leaf all the same; the walk
        // that counts it reads that object in its place, and the page is copied as it stands.
        {"a leaf with an indirect /Kids that is no array", FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
         ClassicPdf({{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                     {3, "<< /Type /Page /Parent 2 0 R /Kids 4 0 R /MediaBox [0 0 200 200] >>"}, {4, "null"}}),
         {{8, "8 0 obj\n<< /Type /Page /Parent 7 0 R /Kids 9 0 R /MediaBox [0 0 200 200] >>\nendobj\n"},
          {9, "9 0 obj\nnull\nendobj\n"}}},
        // The same with /Kids naming an object past the table: the read that fails in its place
        // leaves the page's text unkept, and the page is copied as it stands.
        {"a leaf with an indirect /Kids past the table", FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
         ClassicPdf({{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                     {3, "<< /Type /Page /Parent 2 0 R /Kids 9 0 R /MediaBox [0 0 200 200] >>"}}),
         {{8, "8 0 obj\n<< /Type /Page /Parent 7 0 R /Kids 14 0 R /MediaBox [0 0 200 200] >>\nendobj\n"}}},
        {"resources", FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources 4 0 R >>", "<< >>"),
         SecondWithRoot(),
         {{7, "7 0 obj\n<<\r/Parent 2 0 R /Resources << >> /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 >>\nendobj\n"}}},
    });
}

// A first file for the damage rows: catalog 1 (with catalogExtra), root 2, page 3, outline
// root 4 with items 5 and 6 (the last top-level item).
std::string WithOutline(const std::string& catalogExtra, const std::string& root, const std::string& lastItem)
{
    return ClassicPdf({{1, "<< /Type /Catalog /Pages 2 0 R" + catalogExtra + " >>"}, {2, root},
                       {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>"},
                       {4, "<< /Type /Outlines /First 5 0 R /Last 6 0 R /Count 2 >>"},
                       {5, "<< /Title (a) /Parent 4 0 R /Next 6 0 R /Dest [3 0 R /Fit] >>"}, {6, lastItem}});
}

// Roots without /Kids or /Count, and edited values (catalog /Outlines, the last item's /Next,
// the root's /Kids and /Count) that open a container and never close it before "endobj":
// there is nothing to edit at, and nothing is read past the object's text.
TEST(PageTreeMerge, DamagedFirstFiles)
{
    const std::string root = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    const std::string item = "<< /Title (b) /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>";
    // One page and one bookmark, so the outline merge runs.
    const std::string withBookmark =
        ClassicPdf({{1, "<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>"}, {2, root},
                    {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>"},
                    {4, "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>"},
                    {5, "<< /Title (c) /Parent 4 0 R /Dest [3 0 R /Fit] >>"}});
    const struct { const char* name; std::string first, second; } rows[] = {
        {"no kids", FirstWithRoot("<< /Type /Pages /Count 1 >>"), SecondWithRoot()},
        {"no count", FirstWithRoot("<< /Type /Pages /Kids [3 0 R] >>"), SecondWithRoot()},
        {"kids not an array", FirstWithRoot("<< /Type /Pages /Kids /None /Count 1 >>"), SecondWithRoot()},
        {"kids never close", FirstWithRoot("<< /Type /Pages /Count 1 /Kids [[[3 0 R] >>"), SecondWithRoot()},
        {"catalog outlines never close", WithOutline(" /Outlines [[[4 0 R]", root, item), withBookmark},
        {"last item's next never closes",
         WithOutline(" /Outlines 4 0 R", root, "<< /Title (b) /Parent 4 0 R /Prev 5 0 R /Next [[[5 0 R] >>"),
         withBookmark},
        {"kids never close, with outlines", WithOutline("", "<< /Type /Pages /Count 1 /Kids [[[3 0 R] >>", item),
         withBookmark},
        {"count never closes", WithOutline("", "<< /Type /Pages /Kids [3 0 R] /Count [[[1] >>", item), withBookmark},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ExpectDamaged(row.first, row.second);
    }
    // The same files with every value closed append without complaint.
    CheckAppendRows({{"closed", WithOutline(" /Outlines 4 0 R", root, item), withBookmark,
                      {{6, "6 0 obj\n<<\r/Next 11 0 R /Title (b) /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>\n"
                           "endobj\n"}}}});
}

// Rendered sizes and rotations of every page stay those of its own file.
TEST(PageTreeMerge, PagesKeepTheirLookWhenRendered)
{
    if (FindTool("pdfinfo").empty())
        GTEST_SKIP() << "pdfinfo is not installed";
    CTestDir dir;
    const std::string output = dir.PathOf("out.pdf");
    const std::string first = FirstWithRoot("<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 /CropBox [0 0 40 60] >>");
    AppendPaths(dir.Write("a.pdf", first), dir.Write("b.pdf", SecondWithRoot()), output, {"-quiet"});
    const ProgramResult info = RunTool("pdfinfo", {"-f", "1", "-l", "3", output});
    ASSERT_EQ(info.exitStatus, 0) << info.err;
    // pdfinfo pads its columns; compare with runs of spaces made single.
    std::string text;
    for (char c : info.out) {
        if (c != ' ' || text.empty() || text.back() != ' ')
            text.push_back(c);
    }
    for (const char* line : {"Page 1 size: 40 x 60 pts\n", "Page 1 rot: 90\n", "Page 2 size: 200 x 200 pts\n",
                             "Page 2 rot: 0\n", "Page 3 size: 300 x 300 pts\n", "Page 3 rot: 0\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
}

} // namespace
