// End-to-end checks of the command line: the built program is run with argument lists and its
// standard output bytes and exit status are compared exactly.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/cli/JobFixtures.h"
#include "tests/support/PdfBuilder.h"
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
const std::string kSpacedOutput = "\nError! -o cannot have a space after o parameter, i.e. use -ooutput.pdf\n\n";
const std::string kLongTemp = "\nError! -temp folder name is longer than 255 characters\n\n";
const std::string kWrongOutput = "Wrong program parameteres in output file, must precede with -o\r\n";

const std::string& Usage()
{
    static const std::string text = FileBytes(FOLIOBIND_SOURCE_DIR "/testdata/golden/usage.txt");
    return text;
}

std::string NeedsValue(const std::string& option)
{
    return Usage() + "\nError! " + option + " needs a value\n\n";
}

// An in-place job whose first file is missing and whose second cannot be copied either.
std::string MissingPair(const std::string& file1, const std::string& file2)
{
    return "File doesn't exist: '" + file1 + "'\r\nError opening input file: '" + file2 + "', err no: 2\n";
}

Args Repeat(const std::string& word, size_t count, Args tail = {})
{
    tail.insert(tail.begin(), count, word);
    return tail;
}

// A well-formed classic file whose trailer names an Encrypt dictionary.
std::string LockedPdf()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    return pdf.ClassicXRef("/Root 1 0 R /Encrypt 2 0 R");
}

struct ExactRow {
    const char* name;
    Args args;
    std::string expectedOut;
    int expectedStatus; // as main returns it
};

// Runs each row in a folder holding a damaged and an encrypted file.
void CheckExactRows(const std::vector<ExactRow>& rows)
{
    for (const ExactRow& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder folder;
        folder.WriteFile("damaged.pdf", "%PDF-1.4\nstartxref\n0\n%%EOF\n");
        folder.WriteFile("locked.pdf", LockedPdf());
        const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, folder.path());
        EXPECT_EQ(result.out, row.expectedOut);
        // A failure that concerns a file adds one line naming it on standard error.
        static const std::regex diagnostics("(foliobind: '[^'\n]*': [^\n]+\n)?");
        EXPECT_TRUE(std::regex_match(result.err, diagnostics)) << result.err;
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitStatus, ShellStatus(row.expectedStatus));
    }
}

} // namespace

// Every refusal the command line makes on its own, before any job runs.
TEST(CommandLine, RefusalsAndUsage)
{
    ASSERT_EQ(Usage().compare(0, kBanner.size(), kBanner), 0) << "the usage text starts with the banner";
    const std::string t256(256, 't');
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
        {"wildcard in argument 8", Repeat("a.pdf", 7, {"x*"}), kWildcard, 1},
        {"wildcard in an option value", {"a.pdf", "b.pdf", "-temp", "/tmp/*"}, kWildcard, 1},
        {"wildcard before -o placement", {"-oout.pdf", "*.pdf"}, kWildcard, 1},
        {"wildcard before a missing value", {"a.pdf", "*.pdf", "-temp"}, kWildcard, 1},
        {"-o first", {"-ooutput.pdf", "in1.pdf"}, Usage() + kFirstOutput, 1},
        {"bare -o as the only argument", {"-o"}, Usage() + kFirstOutput, 1},
        {"-o first ignores -quiet", {"-oout.pdf", "b.pdf", "-quiet"}, Usage() + kFirstOutput, 1},
        {"-o as argument 2", {"in1.pdf", "-o", "out.pdf"}, Usage() + kSpacedOutput, 1},
        {"-o as the last of two", {"in1.pdf", "-o"}, Usage() + kSpacedOutput, 1},
        {"'-o ' as argument 3", {"in1.pdf", "in2.pdf", "-o "}, Usage() + kSpacedOutput, 1},
        {"'-o ' as argument 3 of eight", {"a", "b", "-o ", "c", "c", "c", "c", "c"}, Usage() + kSpacedOutput, 1},
        {"-temp without value", {"a.pdf", "b.pdf", "-temp"}, NeedsValue("-temp"), 1},
        {"-listdelim without value", {"a.csv", "-listdelim"}, NeedsValue("-listdelim"), 1},
        {"-listusecol without value", {"a.csv", "-listusecol"}, NeedsValue("-listusecol"), 1},
        {"-listout without value", {"a.csv", "-ooutput.pdf", "-listout"}, NeedsValue("-listout"), 1},
        {"a value that is itself -temp", {"a.pdf", "b.pdf", "-temp", "-temp"}, NeedsValue("-temp"), 1},
        {"a valueless option as the only argument", {"-temp"}, NeedsValue("-temp"), 1},
        {"-temp of 256 characters", {"a.pdf", "b.pdf", "-temp", t256}, kLongTemp, 1},
        {"two -temp values adding to 256", {"a.pdf", "b.pdf", "-temp", std::string(200, 'a'), "-temp",
            std::string(56, 'b')}, kLongTemp, 1},
        {"-temp length before -o placement", {"-oout.pdf", "b.pdf", "-temp", t256}, kLongTemp, 1},
    };
    CheckExactRows(rows);
}

// Command lines that pass every check, and which job each runs, seen through what the job
// reports for missing files: an in-place job names both files, a job with an output argument
// checks its "-o", a list is opened. The banner shows unless "-quiet" appears anywhere (option
// values included). Failures inside a run: the message plus CR LF and a negative status.
TEST(CommandLine, DispatchAndRunFailures)
{
    const std::string inPlace = kBanner + MissingPair("in1.pdf", "in2.pdf");
    const std::string cannotOpen = kBanner + "Can't open file: 'in1.pdf', err no: 2\r\n";
    const std::string t255(255, 't');
    const std::vector<ExactRow> rows = {
        {"two arguments: argument 2 is the second file", {"in1.pdf", "-ooutput.pdf"},
            kBanner + MissingPair("in1.pdf", "-ooutput.pdf"), 0},
        {"-temp as argument 3 appends in place", {"in1.pdf", "in2.pdf", "-temp", "t", "-oout.pdf"}, inPlace, 0},
        {"-nobookmarks as argument 3 appends in place", {"in1.pdf", "in2.pdf", "-nobookmarks"}, inPlace, 0},
        {"-listout as argument 3 appends in place", {"in1.pdf", "in2.pdf", "-listout", "o"}, inPlace, 0},
        {"-quiet as an option value hides the banner", {"a.pdf", "b.pdf", "-listout", "-quiet"},
            MissingPair("a.pdf", "b.pdf"), 0},
        {"six arguments append in place", {"in1.pdf", "in2.pdf", "-oout.pdf", "x", "x", "x"}, inPlace, 0},
        {"eight arguments", Repeat("a.pdf", 8), kBanner + MissingPair("a.pdf", "a.pdf"), 0},
        {"-temp of 255 characters", {"a.pdf", "b.pdf", "-temp", t255}, kBanner + MissingPair("a.pdf", "b.pdf"), 0},
        {"-temp quotes do not count", {"a.pdf", "b.pdf", "-temp", "\"" + t255 + "\""},
            kBanner + MissingPair("a.pdf", "b.pdf"), 0},
        {"-quiet as argument 3 is the output argument", {"in1.pdf", "in2.pdf", "-quiet"}, kWrongOutput, -2},
        {"-quiet as argument 1 makes argument 3 the output argument", {"-quiet", "a.pdf", "b.pdf"}, kWrongOutput, -2},
        {"a plain argument 3 is the output argument", {"in1.pdf", "in2.pdf", "out.pdf"}, kBanner + kWrongOutput, -2},
        {"plain list", {"list.txt", "-ooutput.pdf", "-g1", "-l5"}, kBanner + "Unable to open file list: 'list.txt'\r\n",
            0},
        {"delimited list", {"list.csv", "-listdelim", ",", "-listusecol", "0,2,3", "-listout", "out"},
            kBanner + "Unable to open file list: 'list.csv'\r\n", 0},
        {"missing input", {"in1.pdf", "in2.pdf", "-ooutput.pdf"}, cannotOpen, -2},
        {"eight arguments with options: the second file is counted first",
            {"a.pdf", "b.pdf", "-ooutput.pdf", "-g1", "-l5", "-e1", "-nobookmarks", "-quiet"},
            "Can't open file: 'b.pdf', err no: 2\r\n", -2},
        {"'-o' as argument 3 is an empty output name", {"in1.pdf", "in2.pdf", "-o", "out.pdf"}, cannotOpen, -2},
        {"damaged input", {"damaged.pdf", "in2.pdf", "-oout.pdf"}, kBanner + "PDF file was damaged\r\n", -4},
        {"encrypted input", {"locked.pdf", "in2.pdf", "-oout.pdf", "-quiet"}, "PDF file is encrypted\r\n", -3},
    };
    CheckExactRows(rows);
}
