// End-to-end checks of the command line: the built program is run with argument lists and its
// standard output bytes and exit status are compared exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

namespace {

using Args = std::vector<std::string>;

const std::string kBanner = "\r\nFoliobind 1.13 - appends PDF files\r\n\r\n";
const std::string kTooMany =
    "\nError! too many parameters, you can append max 2 files at once!\n"
    "i.e. Foliobind 1.pdf 2.pdf -o3.pdf  or use a list to process many files!\n"
    "e.g. dir /B *.pdf > list.txt, then Foliobind list.txt -ooutputfile.pdf\n\n";
const std::string kWildcard =
    "\nError! Wildcards * are not permitted, if you want to process many files then do: "
    "dir /B *.pdf > list.txt, then Foliobind list.txt -ooutputfile.pdf\n\n";
const std::string kFirstOutput = "\nError! -o cannot be used in first parameter\n\n";
const std::string kSpacedOutput =
    "\nError! -o cannot have a space after o parameter, i.e. use -ooutput.pdf\n\n";
const std::string kLongTemp = "\nError! -temp folder name is longer than 255 characters\n\n";
const std::string kWrongOutput =
    "Wrong program parameteres in output file, must precede with -o\r\n";

const std::string& Usage()
{
    static const std::string text = [] {
        std::ifstream file(FOLIOBIND_SOURCE_DIR "/testdata/golden/usage.txt", std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }();
    return text;
}

std::string NeedsValue(const std::string& option)
{
    return Usage() + "\nError! " + option + " needs a value\n\n";
}

// An in-place job whose first file is missing and whose second cannot be copied either.
std::string MissingPair(const std::string& file1, const std::string& file2)
{
    return "File doesn't exist: '" + file1 + "'\r\nError opening input file: '" + file2 +
        "', err no: 2\n";
}

Args Repeat(const std::string& word, size_t count)
{
    return Args(count, word);
}

Args Join(Args head, const Args& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

ProgramResult RunFoliobind(const Args& args, const CScratchFolder& folder)
{
    return RunProgram(FOLIOBIND_EXE, args, folder.path());
}

struct ExactRow {
    const char* name;
    Args args;
    std::string expectedOut;
    int expectedStatus; // as main returns it
};

void CheckExactRows(const std::vector<ExactRow>& rows)
{
    for (const ExactRow& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder folder;
        folder.WriteFile("damaged.pdf", "%PDF-1.4\nstartxref\n0\n%%EOF\n");
        const ProgramResult result = RunFoliobind(row.args, folder);
        EXPECT_EQ(result.out, row.expectedOut);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitStatus, ShellStatus(row.expectedStatus));
    }
}

} // namespace

TEST(CommandLine, UsageGoldenStartsWithBanner)
{
    ASSERT_GT(Usage().size(), 2000u);
    EXPECT_EQ(Usage().compare(0, kBanner.size(), kBanner), 0);
}

// Every refusal the command line makes on its own, before any job runs.
TEST(CommandLine, RefusalsAndUsage)
{
    const std::string longName(256, 't');
    const std::vector<ExactRow> rows = {
        {"no arguments", {}, Usage(), 1},
        {"one argument: banner, then usage with its own banner", {"a.pdf"}, kBanner + Usage(), 0},
        {"one list name is not read", {"list.txt"}, kBanner + Usage(), 0},
        {"-quiet alone hides only the first banner", {"-quiet"}, Usage(), 0},
        {"nine arguments", Repeat("a.pdf", 9), Usage() + kTooMany, 1},
        {"argument count is checked before wildcards", Repeat("*.pdf", 9), Usage() + kTooMany, 1},
        {"wildcard alone", {"*"}, kWildcard, 1},
        {"wildcard in argument 1", {"c:\\docs\\*.pdf", "b.pdf"}, kWildcard, 1},
        {"wildcard in argument 2", {"a.pdf", "*.pdf"}, kWildcard, 1},
        {"wildcard in the output argument", {"a.pdf", "b.pdf", "-o*.pdf"}, kWildcard, 1},
        {"wildcard in argument 8", Join(Repeat("a.pdf", 7), {"x*"}), kWildcard, 1},
        {"wildcard in an option value", {"a.pdf", "b.pdf", "-temp", "/tmp/*"}, kWildcard, 1},
        {"wildcard before -o placement", {"-oout.pdf", "*.pdf"}, kWildcard, 1},
        {"wildcard before a missing value", {"a.pdf", "*.pdf", "-temp"}, kWildcard, 1},
        {"-o first", {"-ooutput.pdf", "in1.pdf"}, Usage() + kFirstOutput, 1},
        {"bare -o as the only argument", {"-o"}, Usage() + kFirstOutput, 1},
        {"-o first ignores -quiet", {"-oout.pdf", "b.pdf", "-quiet"}, Usage() + kFirstOutput, 1},
        {"-o as argument 2", {"in1.pdf", "-o", "out.pdf"}, Usage() + kSpacedOutput, 1},
        {"-o as the last of two", {"in1.pdf", "-o"}, Usage() + kSpacedOutput, 1},
        {"'-o ' as argument 3", {"in1.pdf", "in2.pdf", "-o "}, Usage() + kSpacedOutput, 1},
        {"'-o ' as argument 3 of eight", Join({"a", "b", "-o "}, Repeat("c", 5)),
            Usage() + kSpacedOutput, 1},
        {"-temp without value", {"a.pdf", "b.pdf", "-temp"}, NeedsValue("-temp"), 1},
        {"-listdelim without value", {"a.csv", "-listdelim"}, NeedsValue("-listdelim"), 1},
        {"-listusecol without value", {"a.csv", "-listusecol"}, NeedsValue("-listusecol"), 1},
        {"-listout without value", {"a.csv", "-ooutput.pdf", "-listout"},
            NeedsValue("-listout"), 1},
        {"a value that is itself -temp", {"a.pdf", "b.pdf", "-temp", "-temp"},
            NeedsValue("-temp"), 1},
        {"a valueless option as the only argument", {"-temp"}, NeedsValue("-temp"), 1},
        {"-temp of 256 characters", {"a.pdf", "b.pdf", "-temp", longName}, kLongTemp, 1},
        {"two -temp values adding to 256",
            {"a.pdf", "b.pdf", "-temp", std::string(200, 'a'), "-temp", std::string(56, 'b')},
            kLongTemp, 1},
        {"-temp length before -o placement", {"-oout.pdf", "b.pdf", "-temp", longName},
            kLongTemp, 1},
    };
    CheckExactRows(rows);
}

// Command lines that pass every check: the banner unless "-quiet" appears anywhere (option
// values included), never the usage text, never an argument error.
TEST(CommandLine, AcceptedCommandLines)
{
    struct Row {
        const char* name;
        Args args;
        bool hasBanner;
    };
    const std::string tempName(255, 't');
    const std::vector<Row> rows = {
        {"two files in place", {"a.pdf", "b.pdf"}, true},
        {"named output", {"a.pdf", "b.pdf", "-ooutput.pdf"}, true},
        {"-quiet as argument 3", {"a.pdf", "b.pdf", "-quiet"}, false},
        {"-quiet as argument 1", {"-quiet", "a.pdf", "b.pdf"}, false},
        {"-quiet as an option value", {"a.pdf", "b.pdf", "-listout", "-quiet"}, false},
        {"eight arguments", Repeat("a.pdf", 8), true},
        {"eight arguments with options",
            {"a.pdf", "b.pdf", "-ooutput.pdf", "-g1", "-l5", "-e1", "-nobookmarks", "-quiet"},
            false},
        {"argument 2 only begins with -o", {"a.pdf", "-o2.pdf"}, true},
        {"argument 3 is -o without a blank", {"a.pdf", "b.pdf", "-o", "out.pdf"}, true},
        {"-temp of 255 characters", {"a.pdf", "b.pdf", "-temp", tempName}, true},
        {"-temp quotes do not count", {"a.pdf", "b.pdf", "-temp", "\"" + tempName + "\""}, true},
        {"plain list", {"list.txt", "-ooutput.pdf", "-g1", "-l5"}, true},
        {"delimited list",
            {"list.csv", "-listdelim", ",", "-listusecol", "0,2,3", "-listout", "out"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder folder;
        const ProgramResult result = RunFoliobind(row.args, folder);
        const std::string expectedStart = row.hasBanner ? kBanner : "";
        EXPECT_EQ(result.out.compare(0, expectedStart.size(), expectedStart), 0) << result.out;
        EXPECT_EQ(result.out.find("Example usage:-"), std::string::npos);
        EXPECT_EQ(result.out.find("\nError! "), std::string::npos);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.signal, 0);
        EXPECT_NE(result.exitStatus, 1);
    }
}

// Which job each command line runs, seen through what the job reports for missing files:
// an in-place job names both files, a job with an output argument checks its "-o".
TEST(CommandLine, DispatchRoutesToJobs)
{
    const std::string inPlace = kBanner + MissingPair("in1.pdf", "in2.pdf");
    const std::vector<ExactRow> rows = {
        {"two arguments: argument 2 is the second file",
            {"in1.pdf", "-ooutput.pdf"}, kBanner + MissingPair("in1.pdf", "-ooutput.pdf"), 0},
        {"-temp as argument 3 appends in place", {"in1.pdf", "in2.pdf", "-temp", "t", "-oout.pdf"},
            inPlace, 0},
        {"-nobookmarks as argument 3 appends in place", {"in1.pdf", "in2.pdf", "-nobookmarks"},
            inPlace, 0},
        {"-listout as argument 3 appends in place", {"in1.pdf", "in2.pdf", "-listout", "o"},
            inPlace, 0},
        {"six arguments append in place", Join({"in1.pdf", "in2.pdf", "-oout.pdf"}, Repeat("x", 3)),
            inPlace, 0},
        {"-quiet as argument 3 is the output argument", {"in1.pdf", "in2.pdf", "-quiet"},
            kWrongOutput, -2},
        {"a plain argument 3 is the output argument", {"in1.pdf", "in2.pdf", "out.pdf"},
            kBanner + kWrongOutput, -2},
    };
    CheckExactRows(rows);
}

namespace {

// A well-formed classic file whose trailer names an Encrypt dictionary.
std::string LockedPdf()
{
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    offsets.push_back(pdf.size());
    pdf += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    offsets.push_back(pdf.size());
    pdf += "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
    const size_t xrefOffset = pdf.size();
    pdf += "xref\n0 3\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size 3 /Root 1 0 R /Encrypt 2 0 R >>\nstartxref\n";
    return pdf + std::to_string(xrefOffset) + "\n%%EOF\n";
}

} // namespace

// Failures inside a run reach the user as the message plus CR LF and a negative status.
TEST(CommandLine, RunFailuresSetTheExitStatus)
{
    const std::string cannotOpen = kBanner + "Can't open file: 'in1.pdf', err no: 2\r\n";
    const std::vector<ExactRow> rows = {
        {"missing input", {"in1.pdf", "in2.pdf", "-ooutput.pdf"}, cannotOpen, -2},
        {"'-o' as argument 3 is an empty output name", {"in1.pdf", "in2.pdf", "-o", "out.pdf"},
            cannotOpen, -2},
        {"damaged input", {"damaged.pdf", "in2.pdf", "-oout.pdf"},
            kBanner + "PDF file was damaged\r\n", -4},
    };
    CheckExactRows(rows);

    CScratchFolder folder;
    folder.WriteFile("locked.pdf", LockedPdf());
    const ProgramResult result = RunFoliobind({"locked.pdf", "in2.pdf", "-oout.pdf", "-quiet"},
        folder);
    EXPECT_EQ(result.out, "PDF file is encrypted\r\n");
    EXPECT_EQ(result.exitStatus, ShellStatus(-3));
}
