// The append run from the outside: what it prints, the errors it raises, the job's named-output
// path through the built program, round trips through PDF tools, and page counting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

const std::string kBanner = "\r\nFoliobind 1.13 - appends PDF files\r\n\r\n";

// pages one-page objects showing "<label> <n>" in Helvetica; the form decides the layout:
// classic table, or cross-reference stream with the pages in an object stream.
enum class Form { Classic, Compressed, Junk, Generations };

std::string Document(const std::string& label, uint32_t pages, Form form)
{
    CTestPdf pdf(form == Form::Compressed ? "1.5" : "1.4");
    if (form == Form::Junk)
        pdf.SetJunkBeforeHeader("leading junk\r\n");
    const uint32_t generation = form == Form::Generations ? 3 : 0;
    const std::string g = std::to_string(generation);
    std::string kids;
    std::vector<std::pair<uint32_t, std::string>> compressed;
    pdf.Add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", generation);
    for (uint32_t page = 0; page < pages; ++page) {
        const uint32_t pageNumber = 10 + 2 * page;
        kids += std::to_string(pageNumber) + " " + (form == Form::Compressed ? "0" : g) + " R ";
        const std::string pageText = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents " +
                                     std::to_string(pageNumber + 1) + " 0 R /Resources << /Font << /F1 3 " + g +
                                     " R >> >> >>";
        if (form == Form::Compressed)
            compressed.emplace_back(pageNumber, pageText);
        else
            pdf.Add(pageNumber, pageText, generation);
        // "endobj" and "endstream" inside the data must not cut the stream short.
        pdf.AddStream(pageNumber + 1, "<< >>",
                      "BT /F1 20 Tf 30 150 Td (" + label + " " + std::to_string(page + 1) + ") Tj ET\n% endobj endstream");
    }
    const std::string root = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    if (form != Form::Compressed) {
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Add(2, root);
        return pdf.ClassicXRef("/Root 1 0 R");
    }
    compressed.emplace_back(1, "<< /Type /Catalog /Pages 2 0 R >>");
    compressed.emplace_back(2, root);
    pdf.AddObjectStream(5, compressed);
    CTestXRefStreamOptions options;
    options.compress = true;
    options.pngUp = true;
    return pdf.XRefStream(6, options, "/Root 1 0 R");
}

std::string ExpectedText(const std::string& label, uint32_t pages)
{
    std::string text;
    for (uint32_t page = 1; page <= pages; ++page)
        text += label + " " + std::to_string(page) + "\n\n\f";
    return text;
}

TEST(AppendRun, AnnouncementAndProcessing)
{
    CTestDir dir;
    const std::string first = dir.Write("a.pdf", Document("a", 1, Form::Classic));
    const std::string second = dir.Write("b.pdf", Document("b", 1, Form::Classic));
    const std::string output = dir.PathOf("out.pdf");
    std::string printed;
    AppendPaths(first, second, output, {}, &printed);
    EXPECT_EQ(printed, "\r\nAppending file: " + first + " and file: '" + second + "' to output file: '" + output +
                           "'\r\nProcessing");
    AppendPaths(first, second, output, {"-quiet"}, &printed);
    EXPECT_EQ(printed, "");
}

// Failures after both documents are open: the output cannot be created, or would overwrite an
// input. Neither input changes.
TEST(AppendRun, OutputErrors)
{
    CTestDir dir;
    const std::string firstBytes = Document("a", 1, Form::Classic);
    const std::string first = dir.Write("a.pdf", firstBytes);
    const std::string second = dir.Write("b.pdf", Document("b", 1, Form::Classic));
    const struct {
        std::string output;
        std::string message;
    } rows[] = {
        {dir.PathOf("missing/out.pdf"), "File output error: '" + dir.PathOf("missing/out.pdf") + "', err no: 2"},
        {first, "File output error: '" + first + "', err no: 22"},
        {dir.Path() + "/./b.pdf", "File output error: '" + dir.Path() + "/./b.pdf', err no: 22"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.output);
        try {
            AppendPaths(first, second, row.output, {"-quiet"});
            FAIL() << "no exception";
        } catch (const CPdfException& error) {
            EXPECT_EQ(error.what(), row.message);
        }
        EXPECT_FALSE(g_fileIn1 || g_fileIn2 || g_fileOut);
        EXPECT_EQ(CTestDir::Read(first), firstBytes);
    }
}

TEST(AppendRun, UnreadableInputCreatesNoOutput)
{
    CTestDir dir;
    const std::string second = dir.Write("b.pdf", Document("b", 1, Form::Classic));
    const std::string output = dir.PathOf("out.pdf");
    try {
        AppendPaths(dir.PathOf("none.pdf"), second, output, {"-quiet"});
        FAIL() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_EQ(error.what(), "Can't open file: '" + dir.PathOf("none.pdf") + "', err no: 2");
    }
    EXPECT_EQ(CTestDir::Read(output), "");
}

// The job through the built program: the named-output route, its final lines and statuses.
TEST(AppendRun, NamedOutputJob)
{
    CScratchFolder folder;
    folder.WriteFile("a.pdf", Document("a", 2, Form::Classic));
    folder.WriteFile("b.pdf", Document("b", 1, Form::Compressed));
    folder.WriteFile("bad.pdf", "%PDF-1.4\nnothing here\n");
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } rows[] = {
        {{"a.pdf", "b.pdf", "-oout.pdf"},
         kBanner + "\r\nAppending file: a.pdf and file: 'b.pdf' to output file: 'out.pdf'\r\nProcessing.\r\nDone.\r\n", 0},
        {{"a.pdf", "b.pdf", "-otemp_x.pdf"},
         kBanner + "\r\nAppending file: 'b.pdf' to output file: 'a.pdf'\r\nProcessing.\r\nDone.\r\n", 0},
        {{"a.pdf", "b.pdf", "-oquiet.pdf", "-quiet"}, "", 0},
        {{"a.pdf", "b.pdf", "-o", "-quiet"}, "File output error: '', err no: 2\r\n", ShellStatus(-2)},
        {{"a.pdf", "bad.pdf", "-oout2.pdf", "-quiet"}, "PDF file was damaged\r\n", ShellStatus(-4)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.back());
        const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, folder.path());
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.exitStatus, row.status);
    }
    EXPECT_NE(CTestDir::Read(folder.path() + "/out.pdf").find("%%EOF"), std::string::npos);
    EXPECT_EQ(CTestDir::Read(folder.path() + "/out2.pdf"), "");
}

// Outputs of every pair of input forms pass qpdf's check, have both files' pages, and show the
// first file's text before the second's.
TEST(AppendRun, RoundTripsThroughPdfTools)
{
    if (FindTool("qpdf").empty() || FindTool("pdftotext").empty())
        GTEST_SKIP() << "qpdf or pdftotext is not installed";
    const Form forms[] = {Form::Classic, Form::Compressed, Form::Junk, Form::Generations};
    CTestDir dir;
    for (Form form1 : forms) {
        for (Form form2 : forms) {
            SCOPED_TRACE(std::to_string(static_cast<int>(form1)) + " + " + std::to_string(static_cast<int>(form2)));
            const std::string first = dir.Write("a.pdf", Document("first", 3, form1));
            const std::string second = dir.Write("b.pdf", Document("second", 2, form2));
            const std::string output = dir.PathOf("out.pdf");
            AppendPaths(first, second, output, {"-quiet"});
            const ProgramResult check = RunTool("qpdf", {"--check", output});
            EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
            EXPECT_EQ(RunTool("qpdf", {"--show-npages", output}).out, "5\n");
            EXPECT_EQ(RunTool("pdftotext", {output, "-"}).out, ExpectedText("first", 3) + ExpectedText("second", 2));
        }
    }
}

TEST(PageCount, Rows)
{
    CTestPdf indirect("1.4");
    indirect.Add(1, "<< /Type /Catalog /Pages 3 0 R >>");
    indirect.Add(3, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 9 0 R >>");
    indirect.Add(9, "2");
    CTestPdf noPages("1.4");
    noPages.Add(1, "<< /Type /Catalog /PageMode /UseNone >>");
    CTestPdf direct("1.4");
    direct.Add(1, "<< /Type /Catalog /Pages 3 0 R >>");
    direct.Add(3, "<< /Type /Pages /Kids [ 4 0 R 5 0 R ] /Count 2 >>");
    const struct {
        const char* name;
        std::string bytes;
        uint32_t pages;
    } rows[] = {
        {"direct count", direct.ClassicXRef("/Root 1 0 R"), 2},
        {"indirect count", indirect.ClassicXRef("/Root 1 0 R"), 2},
        {"catalog without /Pages", noPages.ClassicXRef("/Root 1 0 R"), 0},
        {"compressed catalog", Document("c", 3, Form::Compressed), 3},
        {"generations", Document("g", 4, Form::Generations), 4},
    };
    CTestDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CFoliobind job;
        EXPECT_EQ(job.CountPages(dir.Write("in.pdf", row.bytes).c_str()), row.pages);
    }
    CFoliobind job;
    try {
        job.CountPages(dir.PathOf("missing.pdf").c_str());
        FAIL() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_EQ(error.what(), "Can't open file: '" + dir.PathOf("missing.pdf") + "', err no: 2");
    }
}

} // namespace
