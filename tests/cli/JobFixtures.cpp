#include "tests/cli/JobFixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

std::string PagesPdf(uint32_t pages, const std::string& label)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (uint32_t page = 0; page < pages; ++page) {
        const uint32_t pageNumber = 3 + 2 * page;
        kids += std::to_string(pageNumber) + " 0 R ";
        pdf.Add(pageNumber, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents " +
            std::to_string(pageNumber + 1) + " 0 R >>");
        pdf.AddStream(pageNumber + 1, "<< >>", "BT 10 10 Td (" + label + " " + std::to_string(page + 1) + ") Tj ET");
    }
    pdf.Add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    return pdf.ClassicXRef("/Root 1 0 R");
}

std::string FileBytes(const std::string& path, bool* exists)
{
    std::ifstream file(path, std::ios::binary);
    if (exists)
        *exists = file.is_open();
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::string> TemporaryFiles(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, 5, "temp_") == 0)
            names.push_back(name);
    }
    return names;
}

bool OutputMatches(const std::string& actual, const std::string& expected)
{
    std::string pattern;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected.compare(i, 6, "{temp}") == 0) {
            pattern += "temp_[0-9a-f]+\\.tmp";
            i += 5;
        } else if (std::string("\\^$.|?*+()[]{}").find(expected[i]) != std::string::npos) {
            pattern += std::string("\\") + expected[i];
        } else {
            pattern += expected[i];
        }
    }
    return std::regex_match(actual, std::regex(pattern));
}

int QpdfPages(const std::string& path)
{
    if (FindTool("qpdf").empty())
        return -1;
    const ProgramResult result = RunTool("qpdf", {"--show-npages", path});
    if (result.exitStatus == 0)
        return std::atoi(result.out.c_str());
    ADD_FAILURE() << "qpdf does not read " << path << ": " << result.err;
    return -1;
}

bool RunUnprivileged(const std::vector<std::string>& args, const std::string& folder, ProgramResult& result)
{
    if (geteuid() != 0) {
        result = RunProgram(FOLIOBIND_EXE, args, folder);
        return true;
    }
    const std::string setpriv = "/usr/bin/setpriv";
    if (access(setpriv.c_str(), X_OK) != 0)
        return false;
    std::vector<std::string> wrapped = {"--reuid=65534", "--regid=65534", "--clear-groups", FOLIOBIND_EXE};
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    result = RunProgram(setpriv, wrapped, folder);
    return true;
}
