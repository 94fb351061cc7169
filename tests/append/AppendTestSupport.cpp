#include "tests/append/AppendTestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "tests/support/PdfBuilder.h"

void CloseSharedFiles()
{
    g_fileIn1.Close();
    g_fileIn2.Close();
    g_fileOut.Close();
}

void AppendPaths(const std::string& path1, const std::string& path2, const std::string& outputPath,
                 const std::vector<std::string>& options, std::string* stdoutText)
{
    std::vector<std::string> arguments = {"foliobind", path1, path2};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    CFoliobind job;
    job.ScanOptions(static_cast<int>(argv.size()), argv.data());
    if (stdoutText)
        testing::internal::CaptureStdout();
    try {
        job.RunAppend(path1.c_str(), path2.c_str(), outputPath.c_str());
    } catch (...) {
        CloseSharedFiles();
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

std::string OutputObject(const std::string& pdf, uint32_t number)
{
    const std::string xref = OutputXref(pdf);
    const size_t firstEntry = xref.find('\r');
    const size_t count = std::strtoul(xref.c_str() + 7, nullptr, 10);
    if (firstEntry == std::string::npos || number == 0 || number >= count)
        return "";
    const std::string entry = xref.substr(firstEntry + 1 + 20 * size_t{number}, 20);
    if (entry.size() != 20 || entry[17] != 'n')
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
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

ProgramResult RunTool(const std::string& name, const std::vector<std::string>& args)
{
    const char* temp = std::getenv("TMPDIR");
    return RunProgram(FindTool(name), args, temp ? temp : "/tmp");
}
