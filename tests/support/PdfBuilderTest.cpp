// The fixture builder is checked against qpdf: a fixture that qpdf has to repair would make
// every test built on it test the wrong thing.
#include "tests/support/PdfBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

struct CommandResult {
    int status;
    std::string output;
};

CommandResult RunCommand(const std::string& command)
{
    CommandResult result{-1, ""};
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe)
        return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
        result.output.append(buffer, got);
    int status = pclose(pipe.release());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveQpdf()
{
    return RunCommand("qpdf --version").status == 0;
}

// Catalog 1, page tree 2, one page 3 with content 4: the smallest document qpdf accepts.
void AddOnePage(CTestPdf& pdf, bool compressContent)
{
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    pdf.AddStream(4, "<< >>", "0 0 m 100 100 l S", compressContent);
}

struct BuilderRow {
    const char* name;
    std::function<std::string()> build;
    const char* showXRef;  // a line qpdf --show-xref must print, or ""
};

const BuilderRow kRows[] = {
    {"classic", [] {
         CTestPdf pdf("1.4");
         AddOnePage(pdf, true);
         return pdf.ClassicXRef("/Root 1 0 R");
     }, "4/0: uncompressed; offset = "},
    {"junk before header and no binary line", [] {
         CTestPdf pdf("1.7", false);
         pdf.SetJunkBeforeHeader("JUNK JUNK\n");
         AddOnePage(pdf, false);
         return pdf.ClassicXRef("/Root 1 0 R");
     }, ""},
    {"generations and free entries", [] {
         CTestPdf pdf;
         pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
         pdf.Add(2, "<< /Type /Pages /Kids [7 3 R] /Count 1 >>");
         pdf.AddFree(3, 2);
         pdf.Add(7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", 3);
         return pdf.ClassicXRef("/Root 1 0 R");
     }, "7/3: uncompressed; offset = "},
    {"xref stream, plain", [] {
         CTestPdf pdf("1.5");
         AddOnePage(pdf, true);
         return pdf.XRefStream(5, CTestXRefStreamOptions{}, "/Root 1 0 R");
     }, "5/0: uncompressed; offset = "},
    {"xref stream, flate with predictor and narrow widths", [] {
         CTestPdf pdf("1.5");
         AddOnePage(pdf, true);
         CTestXRefStreamOptions options;
         options.widths[1] = 2;
         options.widths[2] = 1;
         options.compress = true;
         options.pngUp = true;
         return pdf.XRefStream(5, options, "/Root 1 0 R");
     }, ""},
    {"object stream holding catalog and pages", [] {
         CTestPdf pdf("1.5");
         pdf.AddObjectStream(6, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                                 {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                 {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>"}});
         CTestXRefStreamOptions options;
         options.compress = true;
         return pdf.XRefStream(7, options, "/Root 1 0 R");
     }, "3/0: compressed; stream = 6, index = 2"},
    {"explicit index with a hole", [] {
         CTestPdf pdf("1.5");
         AddOnePage(pdf, false);
         CTestXRefStreamOptions options;
         options.index = std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {3, 3}};
         return pdf.XRefStream(5, options, "/Root 1 0 R");
     }, ""},
    {"classic update on classic", [] {
         CTestPdf pdf("1.4");
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
         CTestXRefStreamOptions options;
         options.compress = true;
         options.pngUp = true;
         return pdf.XRefStream(11, options, "/Root 1 0 R");
     }, "3/0: compressed; stream = 10, index = 0"},
};

TEST(PdfBuilder, QpdfReadsEveryFixtureWithoutRepair)
{
    if (!HaveQpdf())
        GTEST_SKIP() << "qpdf is not installed";
    CTestDir dir;
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        std::string path = dir.Write("fixture.pdf", row.build());
        CommandResult check = RunCommand("qpdf --check '" + path + "'");
        EXPECT_EQ(0, check.status) << check.output;
        EXPECT_EQ(std::string::npos, check.output.find("WARNING")) << check.output;
        if (*row.showXRef) {
            CommandResult xref = RunCommand("qpdf --show-xref '" + path + "'");
            EXPECT_NE(std::string::npos, xref.output.find(row.showXRef)) << xref.output;
        }
    }
}

// Every entry of a classic table must land on "N G obj", counted from "%PDF-".
TEST(PdfBuilder, ClassicOffsetsPointAtObjectHeaders)
{
    CTestPdf pdf("1.4");
    pdf.SetJunkBeforeHeader("12345");
    pdf.Add(1, "<< /Type /Catalog >>");
    pdf.AddStream(2, "<< /Length 3 >>", "abc");
    pdf.Add(4, "(four)", 2);
    std::string bytes = pdf.ClassicXRef("/Root 1 0 R");
    std::string body = bytes.substr(5);
    struct {
        const char* line;
        const char* header;
    } expected[] = {{"0 3\n", nullptr}, {"4 1\n", "4 2 obj"}};
    for (const auto& e : expected)
        EXPECT_NE(std::string::npos, body.find(e.line)) << e.line;
    for (uint32_t num : {1u, 2u, 4u}) {
        SCOPED_TRACE(num);
        std::string header = std::to_string(num) + (num == 4 ? " 2 obj" : " 0 obj");
        EXPECT_EQ(header, body.substr(pdf.Offset(num), header.size()));
        char line[32];
        std::snprintf(line, sizeof line, "%010u %05u n\r\n", pdf.Offset(num), num == 4 ? 2 : 0);
        EXPECT_NE(std::string::npos, body.find(line));
    }
    size_t startxref = body.rfind("startxref\n");
    ASSERT_NE(std::string::npos, startxref);
    EXPECT_EQ(body.find("xref\n0 3\n"), std::stoul(body.substr(startxref + 10)));
}

TEST(PdfBuilder, PngUpRowsHoldDifferences)
{
    struct {
        const char* name;
        std::string data;
        uint32_t columns;
        std::string encoded;
    } rows[] = {
        {"one row", "\x01\x02", 2, "\x02\x01\x02"},
        {"wraps below zero", std::string("\x05\x00\x03\x01", 4), 2,
         std::string("\x02\x05\x00\x02\xFE\x01", 6)},
        {"short last row", "\x01\x02\x03", 2, "\x02\x01\x02\x02\x02"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.encoded, TestPngUp(row.data, row.columns));
    }
}

}  // namespace
