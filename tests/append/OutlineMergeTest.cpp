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

// The same with the root's /Count given by count (a key and value, or "").
std::vector<std::string> CountedItems(const std::string& title1, const std::string& title2, const std::string& count)
{
    std::vector<std::string> items = TwoItems(title1, title2);
    items[0] = "<< /Type /Outlines /First 5 0 R /Last 6 0 R" + count + " >>";
    return items;
}

// Where the second outline is linked from, by what each file has.
TEST(OutlineMerge, Rows)
{
    const std::string none = WithOutline("", {});
    const std::string cd = WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"));
    const std::string untouched = "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    const std::string empty = "<< /Type /Outlines /Count 0 >>";
    CheckAppendRows({
        // Only the second file has outlines: the first catalog gains /Outlines after its "<<"
        // (four first-file entries: the second file's 4 is output 7).
        {"linked from the first catalog", none, cd,
         {{1, "1 0 obj\n<<\r/Outlines 7 0 R /Type /Catalog /Pages 2 0 R >>\nendobj\n"}}, {}, {"1 0 obj", "3 0 obj"}},
        // Both have outlines: the first root's /Last and its last item lead on to output 11 and
        // 12, and its /Count adds the second's; the edited objects come right after the header,
        // before the first-file pass. The second file's items hang under the first root, the
        // first of them after item 6; the second root (output 10) is not written.
        {"chained after the last item", WithOutline(" /Outlines 4 0 R", TwoItems("a", "b")), cd,
         {{4, "4 0 obj\n<< /Type /Outlines /First 5 0 R /Last 12 0 R /Count 4 >>\nendobj\n"},
          {6, "6 0 obj\n<<\r/Next 11 0 R /Title (b) /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>\nendobj\n"},
          {11, "11 0 obj\n<<\r/Prev 6 0 R /Title (c) /Parent 4 0 R /Next 12 0 R /Dest [9 0 R /Fit] >>\nendobj\n"},
          {12, "12 0 obj\n<< /Title (d) /Parent 4 0 R /Prev 11 0 R /Dest [9 0 R /Fit] >>\nendobj\n"},
          {10, ""},
          {1, "1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>\nendobj\n"}},
         {}, {"4 0 obj", "1 0 obj"}},
        // Counts of closed roots: the joined count keeps the first root's sign; without any
        // /Count none is added.
        {"closed first root", WithOutline(" /Outlines 4 0 R", CountedItems("a", "b", " /Count -2")),
         WithOutline(" /Outlines 4 0 R", CountedItems("c", "d", " /Count 3")),
         {{4, "4 0 obj\n<< /Type /Outlines /First 5 0 R /Last 12 0 R /Count -5 >>\nendobj\n"}}},
        {"no counts", WithOutline(" /Outlines 4 0 R", CountedItems("a", "b", "")),
         WithOutline(" /Outlines 4 0 R", CountedItems("c", "d", "")),
         {{4, "4 0 obj\n<< /Type /Outlines /First 5 0 R /Last 12 0 R >>\nendobj\n"}}},
        {"only the second counts", WithOutline(" /Outlines 4 0 R", CountedItems("a", "b", "")),
         WithOutline(" /Outlines 4 0 R", CountedItems("c", "d", " /Count 2")),
         {{4, "4 0 obj\n<<\r/Count 2 /Type /Outlines /First 5 0 R /Last 12 0 R >>\nendobj\n"}}},
        {"edited item before the first-file pass", WithOutline(" /Outlines 4 0 R", TwoItems("a", "b")), cd, {}, {},
         {"6 0 obj", "1 0 obj"}},
        {"no outline in the second file", none, none, {{1, untouched}}},
        {"a key that only contains the word", none, WithOutline(" /PageMode /UseOutlines", {}), {{1, untouched}}},
        {"an empty second outline", none, WithOutline(" /Outlines 4 0 R", {empty}), {{1, untouched}}},
        {"-nobookmarks", none, cd, {{1, untouched}}, {}, {}, {}, {"-nobookmarks"}},
        // An empty first outline: its /Outlines is pointed at the second outline instead.
        {"empty first outline is replaced", WithOutline(" /Outlines 4 0 R", {empty}), cd,
         {{1, "1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Outlines 8 0 R >>\nendobj\n"}}},
        // Catalogs in object streams are read through their entries; the first file has entries
        // 0 to 5 (object stream 4, cross-reference stream 5), so output 9 is the second outline.
        {"compressed catalogs", WithOutline("", {}, true), WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"), true),
         {{1, "1 0 obj\r<<\r/Outlines 9 0 R /Type /Catalog /Pages 2 0 R >>\n endobj\r"}}},
    });
}

// Readers see the titles of both files in order, each leading to its own page.
TEST(OutlineMerge, ToolsSeeBothOutlines)
{
    if (FindTool("qpdf").empty())
        GTEST_SKIP() << "qpdf is not installed";
    CTestDir dir;
    const std::string output = dir.PathOf("out.pdf");
    AppendPaths(dir.Write("a.pdf", WithOutline(" /Outlines 4 0 R", TwoItems("a", "b"))),
                dir.Write("b.pdf", WithOutline(" /Outlines 4 0 R", TwoItems("c", "d"))), output, {"-quiet"});
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
