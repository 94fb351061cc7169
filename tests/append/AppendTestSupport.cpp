#include "tests/append/AppendTestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

#include "append/Engine.h"
#include "pdf/Exception.h"
#include "tests/support/PdfBuilder.h"

void AppendPaths(const std::string& path1, const std::string& path2, const std::string& outputPath,
                 const std::vector<std::string>& options, std::string* stdoutText)
{
    CAppendEngine engine;
    for (const std::string& option : options) {
        engine.SetQuiet(engine.IsQuiet() || option == "-quiet");
        if (option == "-nobookmarks")
            engine.SetNoBookmarks(true);
    }
    if (stdoutText)
        testing::internal::CaptureStdout();
    try {
        engine.RunAppend(path1.c_str(), path2.c_str(), outputPath.c_str());
    } catch (...) {
        if (stdoutText)
            *stdoutText = testing::internal::GetCapturedStdout();
        throw;
    }
    if (stdoutText)
        *stdoutText = testing::internal::GetCapturedStdout();
}

std::string AppendBytes(const std::string& pdf1, const std::string& pdf2, const std::vector<std::string>& options)
{
    CTestDir dir;
    std::vector<std::string> all = options;
    all.push_back("-quiet");
    const std::string output = dir.PathOf("out.pdf");
    AppendPaths(dir.Write("a.pdf", pdf1), dir.Write("b.pdf", pdf2), output, all);
    return CTestDir::Read(output);
}

std::string OutputXref(const std::string& pdf)
{
    const size_t startxref = pdf.rfind("startxref\n");
    if (startxref == std::string::npos)
        return "";
    const size_t position = std::strtoul(pdf.c_str() + startxref + 10, nullptr, 10);
    const size_t trailer = pdf.find("trailer\n", position);
    if (position >= pdf.size() || trailer == std::string::npos)
        return "";
    return pdf.substr(position, trailer - position);
}

// The 20-byte table entry of number, or "" past the table.
static std::string OutputEntry(const std::string& pdf, uint32_t number)
{
    const std::string xref = OutputXref(pdf);
    const size_t firstEntry = xref.find('\r');
    if (firstEntry == std::string::npos || number >= std::strtoul(xref.c_str() + 7, nullptr, 10))
        return "";
    const std::string entry = xref.substr(firstEntry + 1 + 20 * size_t{number}, 20);
    return entry.size() == 20 ? entry : "";
}

std::string OutputObject(const std::string& pdf, uint32_t number)
{
    const std::string entry = OutputEntry(pdf, number);
    if (number == 0 || entry.empty() || entry[17] != 'n')
        return "";
    const size_t position = std::strtoul(entry.c_str(), nullptr, 10);
    const size_t end = pdf.find("endobj", position);
    return end == std::string::npos ? "" : pdf.substr(position, end + 7 - position);
}

size_t CountOf(const std::string& text, const std::string& pattern)
{
    size_t count = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1))
        ++count;
    return count;
}

std::string FindTool(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

ProgramResult RunTool(const std::string& name, const std::vector<std::string>& args)
{
    const char* temp = std::getenv("TMPDIR");
    return RunProgram(FindTool(name), args, temp ? temp : "/tmp");
}

std::string ClassicPdf(const std::vector<std::pair<uint32_t, std::string>>& objects, const std::string& trailerExtras,
                       const std::string& version)
{
    CTestPdf pdf(version);
    for (const auto& [number, body] : objects)
        pdf.Add(number, body);
    return pdf.ClassicXRef(trailerExtras);
}

std::string StreamBody(const std::string& dict, const std::string& data)
{
    std::string text = dict;
    if (text.find("/Length") == std::string::npos)
        text.insert(text.rfind(">>"), " /Length " + std::to_string(data.size()) + " ");
    return text + "\nstream\n" + data + "\nendstream";
}

// The frame every output's table must have.
static void CheckTableFrame(const std::string& output)
{
    const std::string xref = OutputXref(output);
    ASSERT_GT(xref.size(), 7u);
    const size_t size = std::strtoul(xref.c_str() + 7, nullptr, 10);
    const std::string header = "xref\n0 " + std::to_string(size) + "\r";
    EXPECT_EQ(xref.substr(0, header.size()), header);
    EXPECT_EQ(xref.substr(header.size(), 20), "0000000000 65535 f \r");
    EXPECT_EQ(xref.size(), header.size() + 20 * size);
    EXPECT_EQ(CountOf(output, "trailer\n<<\n/Size " + std::to_string(size) + "\n"), 1u);
    EXPECT_EQ(output.substr(output.size() - 6), "\n%%EOF");
}

void CheckAppendRows(const std::vector<AppendRow>& rows)
{
    for (const AppendRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string output = AppendBytes(row.first, row.second, row.options);
        CheckTableFrame(output);
        for (const auto& [number, text] : row.objects) {
            EXPECT_EQ(OutputObject(output, number), text) << "object " << number;
            if (!text.empty()) {
                EXPECT_EQ(OutputEntry(output, number).substr(11, 5), "0000" + text.substr(text.find(' ') + 1, 1));
            }
        }
        for (const auto& [pattern, count] : row.counts)
            EXPECT_EQ(CountOf(output, pattern), count) << pattern;
        for (size_t k = 1; k < row.order.size(); ++k)
            EXPECT_LT(output.find(row.order[k - 1]), output.find(row.order[k])) << row.order[k];
        if (!row.order.empty()) {
            EXPECT_NE(output.find(row.order.back()), std::string::npos) << row.order.back();
        }
        EXPECT_EQ(output.substr(0, row.start.size()), row.start);
    }
}

void ExpectDamaged(const std::string& pdf1, const std::string& pdf2)
{
    try {
        AppendBytes(pdf1, pdf2);
        ADD_FAILURE() << "no exception";
    } catch (const CPdfException& error) {
        EXPECT_STREQ(error.what(), "PDF file was damaged");
        EXPECT_EQ(error.status(), kDamagedStatus);
    }
}
