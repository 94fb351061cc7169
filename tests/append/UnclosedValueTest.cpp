// Values the run edits in place (catalog /Outlines, an outline item's /Next, the first page-tree
// root's /Kids and /Count) that open a container and never close it before "endobj": there is
// no end to edit at, so the first file counts as damaged, and nothing is read past the text.
#include <gtest/gtest.h>

#include <string>

#include "cli/Globals.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

struct UnclosedRow {
    const char* name;
    const char* catalogExtra; // after "/Pages 2 0 R" in catalog 1
    const char* root;         // page-tree root 2
    const char* lastItem;     // outline item 6, the first file's last top-level item
};

// Catalog 1, root 2, page 3, outline root 4 with items 5 and 6 (used when the catalog names 4).
std::string FirstFile(const UnclosedRow& row)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, std::string("<< /Type /Catalog /Pages 2 0 R") + row.catalogExtra + " >>");
    pdf.Add(2, row.root);
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    pdf.Add(4, "<< /Type /Outlines /First 5 0 R /Last 6 0 R /Count 2 >>");
    pdf.Add(5, "<< /Title (a) /Parent 4 0 R /Next 6 0 R /Dest [3 0 R /Fit] >>");
    pdf.Add(6, row.lastItem);
    return pdf.ClassicXRef("/Root 1 0 R");
}

// One page and one bookmark, so the outline merge runs.
std::string SecondWithOutline()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    pdf.Add(4, "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>");
    pdf.Add(5, "<< /Title (c) /Parent 4 0 R /Dest [3 0 R /Fit] >>");
    return pdf.ClassicXRef("/Root 1 0 R");
}

constexpr const char* kRoot = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
constexpr const char* kLastItem = "<< /Title (b) /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>";

const UnclosedRow kRows[] = {
    {"catalog outlines", " /Outlines [[[4 0 R]", kRoot, kLastItem},
    {"last item next", " /Outlines 4 0 R", kRoot,
     "<< /Title (b) /Parent 4 0 R /Prev 5 0 R /Next [[[5 0 R] >>"},
    {"page root kids", "", "<< /Type /Pages /Count 1 /Kids [[[3 0 R] >>", kLastItem},
    {"page root count", "", "<< /Type /Pages /Kids [3 0 R] /Count [[[1] >>", kLastItem},
};

TEST(UnclosedValue, EditedValueThatNeverClosesIsDamaged)
{
    for (const UnclosedRow& row : kRows) {
        SCOPED_TRACE(row.name);
        g_exitCode = 0;
        try {
            AppendBytes(FirstFile(row), SecondWithOutline());
            ADD_FAILURE() << "no exception";
        } catch (const CPdfException& error) {
            EXPECT_STREQ(error.what(), "PDF file was damaged");
        }
        EXPECT_EQ(g_exitCode, -4);
        g_exitCode = 0;
    }
}

// The same files with every value closed append without complaint.
TEST(UnclosedValue, ClosedValuesAppend)
{
    const UnclosedRow row = {"closed", " /Outlines 4 0 R", kRoot, kLastItem};
    const std::string output = AppendBytes(FirstFile(row), SecondWithOutline());
    EXPECT_EQ(OutputObject(output, 6),
              "6 0 obj\n<<\r/Next 11 0 R /Title (b) /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>\nendobj\n");
}

} // namespace
