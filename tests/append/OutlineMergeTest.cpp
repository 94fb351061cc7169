// The outline merge: the second file's bookmarks follow the first file's, linked from the first
// catalog or chained after the first file's last top-level item.
#include <gtest/gtest.h>

#include <string>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

// Catalog 1 (with catalogExtra), root 2, page 3; outline objects from 4 on, as given.
std::string WithOutline(const std::string& catalogExtra, const std::vector<std::string>& outlineObjects,
                        bool compressCatalog = false)
{
    CTestPdf pdf("1.5");
    const std::string catalog = "<< /Type /Catalog /Pages 2 0 R" + catalogExtra + " >>";
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    uint32_t number = 4;
    for (const std::string& object : outlineObjects)
        pdf.Add(number++, object);
    if (!compressCatalog) {
        pdf.Add(1, catalog);
        return pdf.ClassicXRef("/Root 1 0 R");
    }
    pdf.AddObjectStream(number, {{1, catalog}});
    return pdf.XRefStream(number + 1, CTestXRefStreamOptions(), "/Root 1 0 R");
}

// Outline root 4 with items 5 and 6 titled by titles.
std::vector<std::string> TwoItems(const std::string& title1, const std::string& title2)
{
    return {"<< /Type /Outlines /First 5 0 R /Last 6 0 R /Count 2 >>",
            "<< /Title (" + title1 + ") /Parent 4 0 R /Next 6 0 R /Dest [3 0 R /Fit] >>",
            "<< /Title (" + title2 + ") /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>"};
}

// Only the second file has outlines: the first catalog gains /Outlines after its "<<".
TEST(OutlineMerge, LinkedFromTheFirstCatalog)
{
    const std::string first = WithOutline("", {});
    const std::string second = WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"));
    const std::string output = AppendBytes(first, second);
    // Four first-file entries: the second file's 4 is output 7.
    EXPECT_EQ(OutputObject(output, 1), "1 0 obj\n<<\r/Outlines 7 0 R /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    EXPECT_LT(output.find("1 0 obj"), output.find("3 0 obj"));
}

// Both have outlines: the first root's /Last and the first file's last item lead on.
TEST(OutlineMerge, ChainedAfterTheLastItem)
{
    const std::string first = WithOutline(" /Outlines 4 0 R", TwoItems("a", "b"));
    const std::string second = WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"));
    const std::string output = AppendBytes(first, second);
    // Seven first-file entries: the second file's 5 and 6 are output 11 and 12.
    EXPECT_EQ(OutputObject(output, 4), "4 0 obj\n<< /Type /Outlines /First 5 0 R /Last 12 0 R /Count 2 >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 6),
              "6 0 obj\n<<\r/Next 11 0 R /Title (b) /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 1), "1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>\nendobj\n");
    // The edited objects come right after the header, before the first-file pass.
    EXPECT_LT(output.find("4 0 obj"), output.find("1 0 obj"));
    EXPECT_LT(output.find("6 0 obj"), output.find("1 0 obj"));
}

TEST(OutlineMerge, NothingToMerge)
{
    const struct {
        const char* name;
        std::string second;
        std::vector<std::string> options;
    } rows[] = {
        {"no outline in the second file", WithOutline("", {}), {}},
        {"a key that only contains the word", WithOutline(" /PageMode /UseOutlines", {}), {}},
        {"an empty second outline", WithOutline(" /Outlines 4 0 R", {"<< /Type /Outlines /Count 0 >>"}), {}},
        {"-nobookmarks", WithOutline(" /Outlines 4 0 R", TwoItems("c", "d")), {"-nobookmarks"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string output = AppendBytes(WithOutline("", {}), row.second, row.options);
        EXPECT_EQ(OutputObject(output, 1), "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    }
}

// The first outline has no items: its catalog's /Outlines is pointed at the second outline
// instead of gaining a second /Outlines key.
TEST(OutlineMerge, EmptyFirstOutlineIsReplaced)
{
    const std::string first = WithOutline(" /Outlines 4 0 R", {"<< /Type /Outlines /Count 0 >>"});
    const std::string second = WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"));
    const std::string output = AppendBytes(first, second);
    EXPECT_EQ(OutputObject(output, 1), "1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Outlines 8 0 R >>\nendobj\n");
}

// Catalogs stored in object streams are read through their cross-reference entries.
TEST(OutlineMerge, CompressedCatalogs)
{
    const std::string first = WithOutline("", {}, true);
    const std::string second = WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"), true);
    const std::string output = AppendBytes(first, second);
    // First file: entries 0 to 5 (object stream 4, cross-reference stream 5), so output 9 is
    // the second file's outline root.
    EXPECT_EQ(OutputObject(output, 1), "1 0 obj\r<<\r/Outlines 9 0 R /Type /Catalog /Pages 2 0 R >>\n endobj\r");
}

// Readers see the titles of both files in order, each leading to its own page.
TEST(OutlineMerge, ToolsSeeBothOutlines)
{
    if (FindTool("qpdf").empty())
        GTEST_SKIP() << "qpdf is not installed";
    CTestDir dir;
    const std::string first = dir.Write("a.pdf", WithOutline(" /Outlines 4 0 R", TwoItems("a", "b")));
    const std::string second = dir.Write("b.pdf", WithOutline(" /Outlines 4 0 R", TwoItems("c", "d")));
    const std::string output = dir.PathOf("out.pdf");
    AppendPaths(first, second, output, {"-quiet"});
    const ProgramResult json = RunTool("qpdf", {"--json", "--json-key=outlines", output});
    ASSERT_EQ(json.exitStatus, 0) << json.err;
    size_t at = 0;
    for (const char* expected : {"\"destpageposfrom1\": 1", "\"title\": \"a\"", "\"destpageposfrom1\": 1",
                                 "\"title\": \"b\"", "\"destpageposfrom1\": 2", "\"title\": \"c\"",
                                 "\"destpageposfrom1\": 2", "\"title\": \"d\""}) {
        at = json.out.find(expected, at);
        ASSERT_NE(at, std::string::npos) << expected << json.out;
        ++at;
    }
}

} // namespace
