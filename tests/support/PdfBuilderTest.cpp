// The fixture builder is checked against qpdf: a fixture that qpdf has to repair would make
// every test built on it test the wrong thing.
#include "tests/support/PdfBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/RunProgram.h"

namespace {

// Catalog 1, page tree 2, one page 3 with content 4: the smallest document qpdf accepts.
void AddOnePage(CTestPdf& pdf, bool compressContent)
{
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    pdf.AddStream(4, "<< >>", "0 0 m 100 100 l S", compressContent);
}

CTestXRefStreamOptions Options(bool compress, bool pngUp)
{
    CTestXRefStreamOptions options;
    options.compress = compress;
    options.pngUp = pngUp;
    return options;
}

struct BuilderRow {
    const char* name;
    std::function<std::string()> build;
    const char* showXRef; // a line qpdf --show-xref must print, or ""
};

// Every way of writing cross-reference data the builder offers, alone and as updates, with
// and without junk before the header.
const BuilderRow kRows[] = {
    {"generations and free entries", [] {
         CTestPdf pdf;
         pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
         pdf.Add(2, "<< /Type /Pages /Kids [7 3 R] /Count 1 >>");
         pdf.AddFree(3, 2);
         pdf.Add(7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", 3);
         return pdf.ClassicXRef("/Root 1 0 R");
     }, "7/3: uncompressed; offset = "},
    {"xref stream with predictor, narrow widths and an index with a hole", [] {
         CTestPdf pdf("1.5");
         AddOnePage(pdf, true);
         CTestXRefStreamOptions options = Options(true, true);
         options.widths[1] = 2;
         options.widths[2] = 1;
         options.index = std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {3, 3}};
         return pdf.XRefStream(5, options, "/Root 1 0 R");
     }, "5/0: uncompressed; offset = "},
    {"plain xref stream, object stream holding catalog and pages", [] {
         CTestPdf pdf("1.5");
         pdf.AddObjectStream(6, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                                 {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                 {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>"}});
         return pdf.XRefStream(7, Options(false, false), "/Root 1 0 R");
     }, "3/0: compressed; stream = 6, index = 2"},
    {"classic update on classic, junk before header and no binary line", [] {
         CTestPdf pdf("1.7", false);
         pdf.SetJunkBeforeHeader("JUNK JUNK\n");
         AddOnePage(pdf, false);
         pdf.ClassicXRef("/Root 1 0 R");
         pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] >>");
         pdf.Add(8, "<< /Producer (update) >>");
         return pdf.ClassicXRef("/Root 1 0 R /Info 8 0 R");
     }, "8/0: uncompressed; offset = "},
    {"xref stream update on classic", [] {
         CTestPdf pdf("1.4");
         pdf.SetJunkBeforeHeader("xx");
         AddOnePage(pdf, true);
         pdf.ClassicXRef("/Root 1 0 R");
         pdf.AddObjectStream(10, {{3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] >>"}});
         return pdf.XRefStream(11, Options(true, true), "/Root 1 0 R");
     }, "3/0: compressed; stream = 10, index = 0"},
};

TEST(PdfBuilder, QpdfReadsEveryFixtureWithoutRepair)
{
    if (!std::filesystem::exists("/usr/bin/qpdf"))
        GTEST_SKIP() << "qpdf is not installed";
    CTestDir dir;
    for (const BuilderRow& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.Write("fixture.pdf", row.build());
        const ProgramResult check = RunProgram("/usr/bin/qpdf", {"--check", path}, dir.Path());
        EXPECT_EQ(0, check.exitStatus) << check.out << check.err;
        EXPECT_EQ(std::string::npos, (check.out + check.err).find("WARNING")) << check.out << check.err;
        if (*row.showXRef) {
            const ProgramResult xref = RunProgram("/usr/bin/qpdf", {"--show-xref", path}, dir.Path());
            EXPECT_NE(std::string::npos, xref.out.find(row.showXRef)) << xref.out;
        }
    }
}

} // namespace
