// Append jobs run through the built program: page filters, the copy of a missing first file,
// in-place appends through a temporary file, named outputs and the names a job refuses. Every
// row checks the exact standard output, the exit status, what became of each file, and that
// no temporary file is left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/JobFixtures.h"
#include "tests/support/RunProgram.h"

namespace {

using Args = std::vector<std::string>;

const std::string kBanner = "\r\nFoliobind 1.13 - appends PDF files\r\n\r\n";
const std::string kDone = ".\r\nDone.\r\n";

// The fixture files every row starts from.
const std::map<std::string, std::string>& Fixtures()
{
    static const std::map<std::string, std::string> files = {
        {"a1.pdf", PagesPdf(1, "A")},
        {"b1.pdf", PagesPdf(1, "B")},
        {"b3.pdf", PagesPdf(3, "B")},
        {"b4.pdf", PagesPdf(4, "B")},
        {"b5.pdf", PagesPdf(5, "B")},
        {"damaged.pdf", "%PDF-1.4\nstartxref\n0\n%%EOF\n"},
    };
    return files;
}

void WriteFixtures(const CScratchFolder& folder)
{
    for (const auto& [name, bytes] : Fixtures())
        folder.WriteFile(name, bytes);
}

// The result of appending file2 onto file1, made by a named-output run in a folder of its own.
const std::string& AppendResult(const std::string& file1, const std::string& file2)
{
    static std::map<std::string, std::string> results;
    const std::string key = file1 + "+" + file2;
    if (results.count(key) == 0) {
        CScratchFolder folder;
        WriteFixtures(folder);
        RunProgram(FOLIOBIND_EXE, {file1, file2, "-oresult.pdf", "-quiet"}, folder.path());
        results[key] = FileBytes(folder.path() + "/result.pdf");
    }
    return results[key];
}

// What a file holds after the job.
struct Outcome {
    enum Kind { Unchanged, Appended, CopyOf, Missing } kind;
    std::string file;
    std::string source; // Appended: the second file; CopyOf: the file copied
};

Outcome Unchanged(const std::string& file) { return {Outcome::Unchanged, file, ""}; }
Outcome Appended(const std::string& file, const std::string& second) { return {Outcome::Appended, file, second}; }
Outcome CopyOf(const std::string& file, const std::string& source) { return {Outcome::CopyOf, file, source}; }
Outcome Missing(const std::string& file) { return {Outcome::Missing, file, ""}; }

void CheckOutcome(const Outcome& outcome, const std::string& folder)
{
    SCOPED_TRACE(outcome.file);
    bool exists = false;
    const std::string bytes = FileBytes(folder + "/" + outcome.file, &exists);
    switch (outcome.kind) {
    case Outcome::Unchanged:
        EXPECT_TRUE(exists);
        EXPECT_TRUE(bytes == Fixtures().at(outcome.file)) << "the file changed";
        break;
    case Outcome::Appended:
        ASSERT_FALSE(AppendResult(outcome.file, outcome.source).empty());
        EXPECT_TRUE(bytes == AppendResult(outcome.file, outcome.source)) << "not the append result";
        break;
    case Outcome::CopyOf:
        EXPECT_TRUE(bytes == Fixtures().at(outcome.source)) << "not a copy";
        break;
    case Outcome::Missing:
        EXPECT_FALSE(exists);
        break;
    }
}

struct JobRow {
    const char* name;
    Args args;
    std::string expectedOut;
    int expectedStatus; // as main returns it
    std::vector<Outcome> outcomes;
    std::function<void(const std::string& folder)> prepare = nullptr;
};

void CheckJobRows(const std::vector<JobRow>& rows)
{
    for (const JobRow& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder folder;
        WriteFixtures(folder);
        if (row.prepare)
            row.prepare(folder.path());
        const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, folder.path());
        EXPECT_TRUE(OutputMatches(result.out, row.expectedOut)) << "output:\n" << result.out;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitStatus, ShellStatus(row.expectedStatus));
        for (const Outcome& outcome : row.outcomes)
            CheckOutcome(outcome, folder.path());
        EXPECT_TRUE(TemporaryFiles(folder.path()).empty()) << "a temporary file was left";
    }
}

void MakeFolder(const std::string& path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}

} // namespace

// "-g", "-l" and "-e": the second file is counted, then the first when an output is named; the
// first failing test speaks, even in quiet mode, and nothing is written.
TEST(Job, PageFilters)
{
    const std::vector<JobRow> rows = {
        {"-g1 refuses a one-page second file", {"a1.pdf", "b1.pdf", "-g1", "-quiet"},
            "Not enough pages in file: b1.pdf = 1\n", 0, {Unchanged("a1.pdf")}},
        {"the message is the job's only line besides the banner", {"a1.pdf", "b1.pdf", "-g1"},
            kBanner + "Not enough pages in file: b1.pdf = 1\n", 0, {Unchanged("a1.pdf")}},
        {"-g1 takes a three-page second file", {"a1.pdf", "b3.pdf", "-g1", "-quiet"}, "", 0,
            {Appended("a1.pdf", "b3.pdf")}},
        {"-g0 is no filter", {"a1.pdf", "b1.pdf", "-g0", "-quiet"}, "", 0, {Appended("a1.pdf", "b1.pdf")}},
        {"-g-3 is no filter", {"a1.pdf", "b1.pdf", "-g-3", "-quiet"}, "", 0, {Appended("a1.pdf", "b1.pdf")}},
        {"-l5 refuses five pages", {"a1.pdf", "b5.pdf", "-l5", "-quiet"},
            "Too many pages in file: b5.pdf = 5\n", 0, {Unchanged("a1.pdf")}},
        {"-l5 takes four pages", {"a1.pdf", "b4.pdf", "-l5", "-quiet"}, "", 0, {Appended("a1.pdf", "b4.pdf")}},
        {"-e2 refuses three pages", {"a1.pdf", "b3.pdf", "-e2", "-quiet"},
            "Pages no equal to in file: b3.pdf = 3\n", 0, {Unchanged("a1.pdf")}},
        {"-e3 takes three pages", {"a1.pdf", "b3.pdf", "-e3", "-quiet"}, "", 0, {Appended("a1.pdf", "b3.pdf")}},
        {"-g before -l", {"a1.pdf", "b1.pdf", "-l1", "-g1", "-quiet"},
            "Not enough pages in file: b1.pdf = 1\n", 0, {Unchanged("a1.pdf")}},
        {"-l before -e", {"a1.pdf", "b5.pdf", "-e3", "-l5", "-g1", "-quiet"},
            "Too many pages in file: b5.pdf = 5\n", 0, {Unchanged("a1.pdf")}},
        {"a later -g replaces an earlier one", {"a1.pdf", "b1.pdf", "-g5", "-g0", "-quiet"}, "", 0,
            {Appended("a1.pdf", "b1.pdf")}},
        {"in place the first file is not counted", {"a1.pdf", "b3.pdf", "-g2", "-quiet"}, "", 0,
            {Appended("a1.pdf", "b3.pdf")}},
        {"named output: the second file is counted first", {"a1.pdf", "b1.pdf", "-oout.pdf", "-g1", "-quiet"},
            "Not enough pages in file: b1.pdf = 1\n", 0, {Missing("out.pdf")}},
        {"named output: a passing second file, a failing first", {"a1.pdf", "b3.pdf", "-oout.pdf", "-g2", "-quiet"},
            "Not enough pages in file: a1.pdf = 1\n", 0, {Missing("out.pdf"), Unchanged("a1.pdf")}},
        {"named output: first file over -l", {"b5.pdf", "b1.pdf", "-oout.pdf", "-l5", "-quiet"},
            "Too many pages in file: b5.pdf = 5\n", 0, {Missing("out.pdf")}},
        {"a damaged second file ends the run while counting", {"a1.pdf", "damaged.pdf", "-g1", "-quiet"},
            "PDF file was damaged\r\n", -4, {Unchanged("a1.pdf")}},
    };
    CheckJobRows(rows);
}

// A first file that does not exist becomes a copy of the second; only a missing one does.
TEST(Job, MissingFiles)
{
    const std::vector<JobRow> rows = {
        {"missing first file: copy of the second", {"m.pdf", "b3.pdf"},
            kBanner + "File doesn't exist: 'm.pdf'\r\nCopied file 'b3.pdf' to 'm.pdf'\r\n", 0,
            {CopyOf("m.pdf", "b3.pdf"), Unchanged("b3.pdf")}},
        {"with -quiet only the first line", {"m.pdf", "b3.pdf", "-nobookmarks", "-quiet"},
            "File doesn't exist: 'm.pdf'\r\n", 0, {CopyOf("m.pdf", "b3.pdf")}},
        {"a copy is not a run: page filters still apply first", {"m.pdf", "b1.pdf", "-g1", "-quiet"},
            "Not enough pages in file: b1.pdf = 1\n", 0, {Missing("m.pdf")}},
        {"both files missing", {"m.pdf", "n.pdf"},
            kBanner + "File doesn't exist: 'm.pdf'\r\nError opening input file: 'n.pdf', err no: 2\n", 0,
            {Missing("m.pdf")}},
        {"the copy's folder is missing", {"nofolder/m.pdf", "b3.pdf", "-temp", ".", "-quiet"},
            "File doesn't exist: 'nofolder/m.pdf'\r\nError opening output file: 'nofolder/m.pdf', err no: 2\n",
            0, {Unchanged("b3.pdf")}},
        {"a first file that cannot be opened for another reason is not overwritten",
            {"b3.pdf/a.pdf", "b1.pdf", "-nobookmarks", "-quiet"},
            "Unable to open file: 'b3.pdf/a.pdf', err no: 20, nothing written\r\n", 0, {Unchanged("b3.pdf")}},
        {"a first file name too long to open is not overwritten",
            {std::string(300, 'n') + ".pdf", "b1.pdf", "-nobookmarks", "-quiet"},
            "Unable to open file: '" + std::string(300, 'n') + ".pdf', err no: 36, nothing written\r\n", 0, {}},
        {"missing second file: the run's exception", {"a1.pdf", "n.pdf"},
            kBanner + "Can't open file: 'n.pdf', err no: 2\r\n", -2, {Unchanged("a1.pdf")}},
        {"damaged second file", {"a1.pdf", "damaged.pdf", "-nobookmarks", "-quiet"}, "PDF file was damaged\r\n", -4,
            {Unchanged("a1.pdf")}},
        {"damaged first file", {"damaged.pdf", "b1.pdf", "-nobookmarks", "-quiet"}, "PDF file was damaged\r\n", -4,
            {Unchanged("damaged.pdf")}},
    };
    CheckJobRows(rows);
}

// In-place appends, named outputs and the names a job refuses before it writes anything.
TEST(Job, OutputsAndNames)
{
    const std::string longFolder(240, 'f');
    const std::string name255 = std::string(251, 'o') + ".pdf";
    const std::string name256 = std::string(252, 'o') + ".pdf";
    const auto readOnly = [](const std::string& folder) { chmod((folder + "/a1.pdf").c_str(), 0444); };
    const auto makeTempFolder = [](const std::string& folder) { MakeFolder(folder + "/t"); };
    const std::vector<JobRow> rows = {
        {"in place", {"a1.pdf", "b1.pdf"}, kBanner + InPlaceAnnouncement("a1.pdf", "b1.pdf") + kDone, 0,
            {Appended("a1.pdf", "b1.pdf"), Unchanged("b1.pdf")}},
        {"in place through a -temp folder", {"a1.pdf", "b3.pdf", "-temp", "t", "-quiet"}, "", 0,
            {Appended("a1.pdf", "b3.pdf")}, makeTempFolder},
        {"named output", {"a1.pdf", "b1.pdf", "-oout.pdf"},
            kBanner + "\r\nAppending file: a1.pdf and file: 'b1.pdf' to output file: 'out.pdf'\r\nProcessing" + kDone,
            0, {Unchanged("a1.pdf"), Unchanged("b1.pdf")}},
        {"read-only first file: the remove message", {"a1.pdf", "b1.pdf", "-nobookmarks", "-quiet"},
            "Unable to remove file: 'a1.pdf', code: -1 - The path specifies a read-only file.\n", 0,
            {Unchanged("a1.pdf")}, readOnly},
        {"read-only first file after the run's lines", {"a1.pdf", "b1.pdf"},
            kBanner + InPlaceAnnouncement("a1.pdf", "b1.pdf") +
                "Unable to remove file: 'a1.pdf', code: -1 - The path specifies a read-only file.\n",
            0, {Unchanged("a1.pdf")}, readOnly},
        {"-temp folder missing", {"a1.pdf", "b1.pdf", "-temp", "nofolder", "-quiet"},
            "File output error: 'nofolder/{temp}', err no: 2\r\n", -2, {Unchanged("a1.pdf")}},
        {"-o alone: empty output name", {"a1.pdf", "b1.pdf", "-o"},
            kBanner + "\r\nAppending file: a1.pdf and file: 'b1.pdf' to output file: ''\r\n"
                "File output error: '', err no: 2\r\n", -2, {Unchanged("a1.pdf")}},
        {"output naming the first input", {"a1.pdf", "b1.pdf", "-oa1.pdf"},
            kBanner + "Output file is one of the input files, nothing written: 'a1.pdf'\r\n", 0,
            {Unchanged("a1.pdf"), Unchanged("b1.pdf")}},
        {"output naming the second input by another path", {"a1.pdf", "b1.pdf", "-o./b1.pdf", "-quiet"},
            "Output file is one of the input files, nothing written: './b1.pdf'\r\n", 0,
            {Unchanged("a1.pdf"), Unchanged("b1.pdf")}},
        {"output name of 255 characters", {"a1.pdf", "b1.pdf", "-o" + name255, "-quiet"}, "", 0,
            {Unchanged("a1.pdf")}},
        {"output name of 256 characters", {"a1.pdf", "b1.pdf", "-o" + name256, "-quiet"},
            "Output file name too long (over 255 characters), nothing written: '" + name256 + "'\r\n", 0,
            {Missing(name256)}},
        {"temporary path over 255 characters", {"a1.pdf", "b1.pdf", "-temp", longFolder, "-quiet"},
            "Temporary file name too long (over 255 characters), nothing written: '" + longFolder + "/{temp}'\r\n",
            0, {Unchanged("a1.pdf")}},
        {"output argument without -o", {"a1.pdf", "b1.pdf", "out.pdf"},
            kBanner + "Wrong program parameteres in output file, must precede with -o\r\n", -2,
            {Unchanged("a1.pdf"), Missing("out.pdf")}},
    };
    CheckJobRows(rows);
}

// The named output of 255 characters is the complete append result.
TEST(Job, LongestOutputNameIsWritten)
{
    CScratchFolder folder;
    WriteFixtures(folder);
    const std::string name = std::string(251, 'o') + ".pdf";
    const ProgramResult result = RunProgram(FOLIOBIND_EXE, {"a1.pdf", "b1.pdf", "-o" + name, "-quiet"}, folder.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(FileBytes(folder.path() + "/" + name) == AppendResult("a1.pdf", "b1.pdf"));
}
