// The append run from the outside: what it prints, the errors it raises, the job's named-output
// path through the built program, round trips through PDF tools, and page counting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "append/Engine.h"
#include "cli/Globals.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

// pages one-page objects showing "<label> <n>" in Helvetica, laid out as a classic table, a
// cross-reference stream with the pages in an object stream, after leading junk, or with
// generation 3 throughout.
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
        const uint32_t number = 10 + 2 * page;
        kids += std::to_string(number) + " " + (form == Form::Compressed ? "0" : g) + " R ";
        const std::string text = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents " +
                                 std::to_string(number + 1) + " 0 R /Resources << /Font << /F1 3 " + g + " R >> >> >>";
        if (form == Form::Compressed)
            compressed.emplace_back(number, text);
        else
            pdf.Add(number, text, generation);
        // "endobj" and "endstream" inside the data must not cut the stream short.
        pdf.AddStream(number + 1, "<< >>",
                      "BT /F1 20 Tf 30 150 Td (" + label + " " + std::to_string(page + 1) + ") Tj ET\n% endobj endstream");
    }
    const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>";
    const std::string root = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    if (form != Form::Compressed) {
        pdf.Add(1, catalog);
        pdf.Add(2, root);
        return pdf.ClassicXRef("/Root 1 0 R");
    }
    compressed.emplace_back(1, catalog);
    compressed.emplace_back(2, root);
    pdf.AddObjectStream(5, compressed);
    CTestXRefStreamOptions options;
    options.compress = true;
    options.pngUp = true;
    return pdf.XRefStream(6, options, "/Root 1 0 R");
}

// An input that cannot be opened, an output that cannot be created or would overwrite an input:
// the exact message, the shared files closed, no input changed and no output left.
TEST(AppendRun, Failures)
{
    CTestDir dir;
    const std::string first = dir.Write("a.pdf", Document("a", 1, Form::Classic));
    const std::string second = dir.Write("b.pdf", Document("b", 1, Form::Classic));
    const std::string none = dir.PathOf("none.pdf"), missing = dir.PathOf("missing/out.pdf");
    const std::string dotted = dir.Path() + "/./b.pdf";
    const struct { std::string first, output, message; } rows[] = {
        {none, dir.PathOf("out.pdf"), "Can't open file: '" + none + "', err no: 2"},
        {first, missing, "File output error: '" + missing + "', err no: 2"},
        {first, first, "File output error: '" + first + "', err no: 22"},
        {first, dotted, "File output error: '" + dotted + "', err no: 22"},
    };
    const std::string before = CTestDir::Read(first) + CTestDir::Read(second);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.output);
        try {
            AppendPaths(row.first, second, row.output, {"-quiet"});
            ADD_FAILURE() << "no exception";
        } catch (const CPdfException& error) {
            EXPECT_EQ(error.what(), row.message);
        }
        EXPECT_EQ(CTestDir::Read(first) + CTestDir::Read(second), before);
        EXPECT_EQ(CTestDir::Read(dir.PathOf("out.pdf")) + CTestDir::Read(missing), "");
    }
}

// The built program: an output named like a temporary file appends in place, and a damaged
// second file ends the run with its message and status and no output.
TEST(AppendRun, NamedOutputJob)
{
    CScratchFolder folder;
    folder.WriteFile("a.pdf", Document("a", 2, Form::Classic));
    folder.WriteFile("b.pdf", Document("b", 1, Form::Compressed));
    folder.WriteFile("bad.pdf", "%PDF-1.4\nnothing here\n");
    const struct { std::vector<std::string> args; std::string out; int status; } rows[] = {
        {{"a.pdf", "b.pdf", "-otemp_x.pdf"},
         "\r\nFoliobind 1.13 - appends PDF files\r\n\r\n\r\nAppending file: 'b.pdf' to output file: 'a.pdf'\r\n"
         "Processing.\r\nDone.\r\n", 0},
        {{"a.pdf", "bad.pdf", "-oout2.pdf", "-quiet"}, "PDF file was damaged\r\n", ShellStatus(-4)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.back());
        const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, folder.path());
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.exitStatus, row.status);
    }
    EXPECT_EQ(CTestDir::Read(folder.path() + "/out2.pdf"), "");
}

// Outputs of every pair of input forms pass qpdf's check, have both files' pages, and show the
// first file's text before the second's.
TEST(AppendRun, RoundTripsThroughPdfTools)
{
    if (FindTool("qpdf").empty() || FindTool("pdftotext").empty())
        GTEST_SKIP() << "qpdf or pdftotext is not installed";
    const auto text = [](const std::string& label, uint32_t pages) {
        std::string lines;
        for (uint32_t page = 1; page <= pages; ++page)
            lines += label + " " + std::to_string(page) + "\n\n\f";
        return lines;
    };
    CTestDir dir;
    for (Form form1 : {Form::Classic, Form::Compressed, Form::Junk, Form::Generations}) {
        for (Form form2 : {Form::Classic, Form::Compressed, Form::Junk, Form::Generations}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(form1)) + " + " + std::to_string(static_cast<int>(form2)));
            const std::string output = dir.PathOf("out.pdf");
            AppendPaths(dir.Write("a.pdf", Document("first", 3, form1)), dir.Write("b.pdf", Document("second", 2, form2)),
                        output, {"-quiet"});
            const ProgramResult check = RunTool("qpdf", {"--check", output});
            EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
            EXPECT_EQ(RunTool("qpdf", {"--show-npages", output}).out, "5\n");
            EXPECT_EQ(RunTool("pdftotext", {output, "-"}).out, text("first", 3) + text("second", 2));
        }
    }
}

// Page counts read from /Count, directly or through a reference, in either table form; a
// catalog without /Pages has none.
TEST(PageCount, Rows)
{
    const struct { const char* name; std::string bytes; uint32_t pages; } rows[] = {
        {"direct count", ClassicPdf({{1, "<< /Type /Catalog /Pages 3 0 R >>"},
                                     {3, "<< /Type /Pages /Kids [ 4 0 R 5 0 R ] /Count 2 >>"}}), 2},
        {"indirect count", ClassicPdf({{1, "<< /Type /Catalog /Pages 3 0 R >>"},
                                       {3, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 9 0 R >>"}, {9, "2"}}), 2},
        {"catalog without /Pages", ClassicPdf({{1, "<< /Type /Catalog /PageMode /UseNone >>"}}), 0},
        {"compressed catalog", Document("c", 3, Form::Compressed), 3},
        {"generations", Document("g", 4, Form::Generations), 4},
    };
    CTestDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CAppendEngine().CountPages(dir.Write("in.pdf", row.bytes).c_str()), row.pages);
    }
}

} // namespace
