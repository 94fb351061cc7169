// Page trees and outlines whose nodes can be reached twice (cycles, shared kids, /Next loops)
// are refused as damaged before any output exists, in either place of the pair; trees that
// only look alike (nested nodes, an item with children) append.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "cli/Globals.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

constexpr const char* kPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>";
constexpr const char* kFlatRoot = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";

struct TreeRow {
    const char* name;
    const char* root;                         // page-tree root 2; page 3 is kPage
    std::vector<const char*> nodes;           // objects 4, 5, ... (page nodes, arrays)
    std::vector<const char*> outline;         // outline root 10, items 11, 12, ...; none when empty
    bool isDamaged;
};

std::string MakeFile(const TreeRow& row)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, row.outline.empty() ? "<< /Type /Catalog /Pages 2 0 R >>"
                                   : "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>");
    pdf.Add(2, row.root);
    pdf.Add(3, kPage);
    for (size_t i = 0; i < row.nodes.size(); ++i)
        pdf.Add(static_cast<int>(4 + i), row.nodes[i]);
    for (size_t i = 0; i < row.outline.size(); ++i)
        pdf.Add(static_cast<int>(10 + i), row.outline[i]);
    return pdf.ClassicXRef("/Root 1 0 R");
}

const TreeRow kRows[] = {
    {"page root lists itself", "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2 >>", {}, {}, true},
    {"page listed twice", "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2 >>", {}, {}, true},
    {"nodes that hold each other",
     "<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
     {"<< /Type /Pages /Parent 2 0 R /Kids [5 0 R] /Count 1 >>",
      "<< /Type /Pages /Parent 4 0 R /Kids [4 0 R 3 0 R] /Count 1 >>"},
     {},
     true},
    {"two nodes share a page",
     "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 >>",
     {"<< /Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 >>"},
     {},
     true},
    {"two nodes share one /Kids array",
     "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 >>",
     {"<< /Type /Pages /Parent 2 0 R /Kids 6 0 R /Count 1 >>",
      "<< /Type /Pages /Parent 2 0 R /Kids 6 0 R /Count 1 >>", "[3 0 R]"},
     {},
     true},
    {"nested nodes", "<< /Type /Pages /Kids [4 0 R 3 0 R] /Count 3 >>",
     {"<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>",
      "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 200 200] >>",
      "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 300 300] >>"},
     {},
     false},
    {"kid written in place, its references are no kids",
     "<< /Type /Pages /Kids [<< /Type /Page /Parent 2 0 R /Contents 4 0 R >> 3 0 R] /Count 2 >>",
     {"<< /Length 0 >>\nstream\n\nendstream"},
     {},
     false},
    // Kids read as the general parser reads them: "a b R" is a reference, other items are not.
    {"stray integers and a lone R among kids", "<< /Type /Pages /Kids [9 3 0 R R 4] /Count 1 >>", {}, {}, false},
    {"page again after a lone R", "<< /Type /Pages /Kids [3 0 R R 3 0 R] /Count 2 >>", {}, {}, true},
    {"page again after an integer", "<< /Type /Pages /Kids [3 0 R 7 3 0 R] /Count 2 >>", {}, {}, true},
    {"signed number before R is no kid", "<< /Type /Pages /Kids [3 0 R +3 0 R] /Count 1 >>", {}, {}, false},
    {"page again glued to its R", "<< /Type /Pages /Kids [3 0R 3 0 R] /Count 2 >>", {}, {}, true},
    {"item whose /Next is itself", kFlatRoot, {},
     {"<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>",
      "<< /Title (a) /Parent 10 0 R /Next 11 0 R /Dest [3 0 R /Fit] >>"},
     true},
    {"/Next chain back to its start", kFlatRoot, {},
     {"<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>",
      "<< /Title (a) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] >>",
      "<< /Title (b) /Parent 10 0 R /Prev 11 0 R /Next 11 0 R /Dest [3 0 R /Fit] >>"},
     true},
    {"child whose /First is the outline root", kFlatRoot, {},
     {"<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>",
      "<< /Title (a) /Parent 10 0 R /First 10 0 R /Last 10 0 R /Dest [3 0 R /Fit] >>"},
     true},
    {"two items share a child", kFlatRoot, {},
     {"<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>",
      "<< /Title (a) /Parent 10 0 R /Next 12 0 R /First 13 0 R /Last 13 0 R /Dest [3 0 R /Fit] >>",
      "<< /Title (b) /Parent 10 0 R /Prev 11 0 R /First 13 0 R /Last 13 0 R /Dest [3 0 R /Fit] >>",
      "<< /Title (c) /Parent 11 0 R /Dest [3 0 R /Fit] >>"},
     true},
    {"items with a child", kFlatRoot, {},
     {"<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 3 >>",
      "<< /Title (a) /Parent 10 0 R /Next 12 0 R /First 13 0 R /Last 13 0 R /Dest [3 0 R /Fit] >>",
      "<< /Title (b) /Parent 10 0 R /Prev 11 0 R /Dest [3 0 R /Fit] >>",
      "<< /Title (c) /Parent 11 0 R /Dest [3 0 R /Fit] >>"},
     false},
};

// A plain one-page file for the other place of the pair.
std::string PlainFile()
{
    return MakeFile({"plain", kFlatRoot, {}, {}, false});
}

// Appends the pair into output; "" when it went through, else the message (with status -4).
std::string Outcome(const std::string& path1, const std::string& path2, const std::string& output,
                    const std::vector<std::string>& options)
{
    try {
        AppendPaths(path1, path2, output, options);
        return "";
    } catch (const CPdfException& error) {
        EXPECT_EQ(error.status(), kDamagedStatus);
        return error.what();
    }
}

TEST(TreeWalk, NodesReachedTwiceAreDamagedInEitherPlace)
{
    CTestDir dir;
    const std::string plain = dir.Write("plain.pdf", PlainFile());
    for (const TreeRow& row : kRows) {
        const std::string path = dir.Write("tree.pdf", MakeFile(row));
        const std::string expected = row.isDamaged ? "PDF file was damaged" : "";
        for (bool isFirst : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (isFirst ? ", first" : ", second"));
            const std::string output = dir.PathOf("out.pdf");
            std::filesystem::remove(output);
            EXPECT_EQ(Outcome(isFirst ? path : plain, isFirst ? plain : path, output, {"-quiet"}), expected);
            EXPECT_EQ(std::filesystem::exists(output), !row.isDamaged) << "an output is made only for a sound pair";
        }
    }
}

// A /Kids array many kilobytes long is read whole, however small the walk's reads are: a page
// listed again at its very end is still found.
TEST(TreeWalk, LongKidsArrayIsReadWhole)
{
    CTestDir dir;
    const std::string plain = dir.Write("plain.pdf", PlainFile());
    for (bool isRepeated : {false, true}) {
        SCOPED_TRACE(isRepeated ? "last kid repeats the first" : "all kids distinct");
        CTestPdf pdf("1.4");
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        std::string kids;
        const uint32_t pages = 2000;
        for (uint32_t number = 3; number < 3 + pages; ++number) {
            pdf.Add(number, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
            kids += std::to_string(isRepeated && number == 2 + pages ? 3 : number) + " 0 R ";
        }
        pdf.Add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
        const std::string path = dir.Write("long.pdf", pdf.ClassicXRef("/Root 1 0 R"));
        EXPECT_EQ(Outcome(path, plain, dir.PathOf("out.pdf"), {"-quiet"}), isRepeated ? "PDF file was damaged" : "");
    }
}

// Without bookmark merging the second file's outline is left behind, loop and all; the first
// file's outline is still copied, so its loop is still refused.
TEST(TreeWalk, OutlineLoopOfSecondFileIsLeftBehindWithoutBookmarks)
{
    CTestDir dir;
    const std::string plain = dir.Write("plain.pdf", PlainFile());
    const TreeRow* loopRow = std::find_if(std::begin(kRows), std::end(kRows), [](const TreeRow& row) {
        return std::string(row.name) == "item whose /Next is itself";
    });
    ASSERT_NE(loopRow, std::end(kRows));
    const std::string loop = dir.Write("loop.pdf", MakeFile(*loopRow));
    const std::string output = dir.PathOf("out.pdf");
    EXPECT_EQ(Outcome(plain, loop, output, {"-quiet", "-nobookmarks"}), "");
    EXPECT_EQ(Outcome(loop, plain, output, {"-quiet", "-nobookmarks"}), "PDF file was damaged");
}

} // namespace
