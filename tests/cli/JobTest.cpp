// Append jobs run through the built program: page filters, the copy of a missing first file,
// in-place appends through a temporary file, named outputs and the names a job refuses. Every
// row checks the exact standard output, the exit status, what became of each file, and that
// no temporary file is left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/JobFixtures.h"
#include "tests/support/RunProgram.h"

namespace {

const std::string kBanner = "\r\nFoliobind 1.13 - appends PDF files\r\n\r\n";
const std::string kDone = ".\r\nDone.\r\n";

// The run announcement and progress line of an in-place job, as printed without "-quiet".
std::string InPlace(const std::string& file1, const std::string& file2)
{
    return "\r\nAppending file: '" + file2 + "' to output file: '" + file1 + "'\r\nProcessing";
}

// text with its first `from` replaced by `to`.
std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to)
{
    return text.replace(text.find(from), from.size(), to);
}

// The fixture files every row starts from. locked.pdf names an Encrypt dictionary; rebuilt.pdf
// points startxref at offset 0, so its table is rebuilt after a damaged-file failure is passed over.
const std::map<std::string, std::string>& Fixtures()
{
    static const std::string r2 = PagesPdf(2, "R");
    static const std::map<std::string, std::string> files = {{"a1.pdf", PagesPdf(1, "A")},
        {"b1.pdf", PagesPdf(1, "B")}, {"b3.pdf", PagesPdf(3, "B")}, {"b4.pdf", PagesPdf(4, "B")},
        {"b5.pdf", PagesPdf(5, "B")}, {"damaged.pdf", "%PDF-1.4\nstartxref\n0\n%%EOF\n"},
        {"locked.pdf", ReplaceFirst(PagesPdf(1, "E"), "/Root 1 0 R", "/Root 1 0 R /Encrypt 2 0 R")},
        {"rebuilt.pdf", r2.substr(0, r2.rfind("startxref")) + "startxref\n0\n%%EOF\n"}};
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

// What a file holds after the job; isPresent false for a file that must not exist. Fixture
// files that no outcome names must keep their bytes.
struct Outcome {
    std::string file;
    bool isPresent;
    std::string bytes;
};

Outcome CopyOf(const std::string& file, const std::string& source) { return {file, true, Fixtures().at(source)}; }
Outcome Missing(const std::string& file) { return {file, false, ""}; }
// file holds second appended onto first; first is file itself for an in-place job.
Outcome Appended(const std::string& file, const std::string& second, const std::string& first = "")
{
    return {file, true, AppendResult(first.empty() ? file : first, second)};
}

struct JobRow {
    const char* name;
    std::vector<std::string> args;
    std::string expectedOut;
    int expectedStatus; // as main returns it
    std::vector<Outcome> outcomes;
    std::function<void(const std::string& folder)> prepare = nullptr;
};

// The diagnostics on standard error, by row name ("{temp}" as in the output); "" for others.
using ErrorLines = std::map<std::string, std::string>;

std::string Diagnostic(const std::string& file, const std::string& what)
{
    return "foliobind: '" + file + "': " + what + "\n";
}

const std::string kNoFile = "No such file or directory (ENOENT)";

void CheckJobRows(const std::vector<JobRow>& rows, const ErrorLines& errors = {})
{
    for (const JobRow& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder folder;
        WriteFixtures(folder);
        if (row.prepare)
            row.prepare(folder.path());
        const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, folder.path());
        EXPECT_TRUE(OutputMatches(result.out, row.expectedOut)) << "output:\n" << result.out;
        const auto error = errors.find(row.name);
        EXPECT_TRUE(OutputMatches(result.err, error == errors.end() ? "" : error->second)) << result.err;
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitStatus, ShellStatus(row.expectedStatus));
        std::vector<Outcome> outcomes = row.outcomes;
        for (const auto& fixture : Fixtures()) {
            const auto named = [&fixture](const Outcome& outcome) { return outcome.file == fixture.first; };
            if (std::none_of(outcomes.begin(), outcomes.end(), named))
                outcomes.push_back({fixture.first, true, fixture.second});
        }
        for (const Outcome& outcome : outcomes) {
            bool exists = false;
            const std::string bytes = FileBytes(folder.path() + "/" + outcome.file, &exists);
            EXPECT_EQ(exists, outcome.isPresent) << outcome.file;
            EXPECT_FALSE(outcome.isPresent && outcome.bytes.empty()) << outcome.file << ": no reference bytes";
            EXPECT_TRUE(!outcome.isPresent || bytes == outcome.bytes) << outcome.file << ": other bytes";
        }
        EXPECT_TRUE(TemporaryFiles(folder.path()).empty()) << "a temporary file was left";
    }
}

} // namespace

// "-g", "-l" and "-e": the second file is counted, then the first when an output is named; the
// first failing test speaks, even in quiet mode, and nothing is written.
TEST(Job, PageFilters)
{
    const std::string notEnough1 = "Not enough pages in file: b1.pdf = 1\n";
    const std::string tooMany5 = "Too many pages in file: b5.pdf = 5\n";
    const std::vector<JobRow> rows = {
        {"-g1 refuses one page", {"a1.pdf", "b1.pdf", "-g1", "-quiet"}, notEnough1, 0, {}},
        {"the message is the only line besides the banner", {"a1.pdf", "b1.pdf", "-g1"}, kBanner + notEnough1, 0, {}},
        {"-g1 takes three pages", {"a1.pdf", "b3.pdf", "-g1", "-quiet"}, "", 0, {Appended("a1.pdf", "b3.pdf")}},
        {"-g0 is no filter", {"a1.pdf", "b1.pdf", "-g0", "-quiet"}, "", 0, {Appended("a1.pdf", "b1.pdf")}},
        {"-g-3 is no filter", {"a1.pdf", "b1.pdf", "-g-3", "-quiet"}, "", 0, {Appended("a1.pdf", "b1.pdf")}},
        {"-l5 refuses five pages", {"a1.pdf", "b5.pdf", "-l5", "-quiet"}, tooMany5, 0, {}},
        {"-l5 takes four pages", {"a1.pdf", "b4.pdf", "-l5", "-quiet"}, "", 0, {Appended("a1.pdf", "b4.pdf")}},
        {"-e2 refuses three pages", {"a1.pdf", "b3.pdf", "-e2", "-quiet"}, "Pages no equal to in file: b3.pdf = 3\n",
            0, {}},
        {"-e3 takes three pages", {"a1.pdf", "b3.pdf", "-e3", "-quiet"}, "", 0, {Appended("a1.pdf", "b3.pdf")}},
        {"-g before -l", {"a1.pdf", "b1.pdf", "-l1", "-g1", "-quiet"}, notEnough1, 0, {}},
        {"-l before -e", {"a1.pdf", "b5.pdf", "-e3", "-l5", "-g1", "-quiet"}, tooMany5, 0, {}},
        {"a later -g wins", {"a1.pdf", "b1.pdf", "-g5", "-g0", "-quiet"}, "", 0, {Appended("a1.pdf", "b1.pdf")}},
        {"in place the first file is not counted", {"a1.pdf", "b3.pdf", "-g2", "-quiet"}, "", 0,
            {Appended("a1.pdf", "b3.pdf")}},
        {"named output: the second file is counted first", {"a1.pdf", "b1.pdf", "-oout.pdf", "-g1", "-quiet"},
            notEnough1, 0, {Missing("out.pdf")}},
        {"named output: a passing second file, a failing first", {"a1.pdf", "b3.pdf", "-oout.pdf", "-g2", "-quiet"},
            "Not enough pages in file: a1.pdf = 1\n", 0, {Missing("out.pdf")}},
        {"named output: first file over -l", {"b5.pdf", "b1.pdf", "-oout.pdf", "-l5", "-quiet"}, tooMany5, 0,
            {Missing("out.pdf")}},
        {"a damaged second file ends the run while counting", {"a1.pdf", "damaged.pdf", "-g1", "-quiet"},
            "PDF file was damaged\r\n", -4, {}},
    };
    CheckJobRows(rows, {{"a damaged second file ends the run while counting",
        Diagnostic("damaged.pdf", "PDF file was damaged")}});
}

// A first file that does not exist becomes a copy of the second; only a missing one does.
TEST(Job, MissingFiles)
{
    const std::string n300 = std::string(300, 'n') + ".pdf";
    const std::string noM = "File doesn't exist: 'm.pdf'\r\n";
    const std::string damaged = "PDF file was damaged\r\n";
    const std::vector<JobRow> rows = {
        {"missing first file: copy of the second", {"m.pdf", "b3.pdf"},
            kBanner + noM + "Copied file 'b3.pdf' to 'm.pdf'\r\n", 0, {CopyOf("m.pdf", "b3.pdf")}},
        {"with -quiet only the first line", {"m.pdf", "b3.pdf", "-nobookmarks", "-quiet"}, noM, 0,
            {CopyOf("m.pdf", "b3.pdf")}},
        {"a copy is not a run: page filters still apply first", {"m.pdf", "b1.pdf", "-g1", "-quiet"},
            "Not enough pages in file: b1.pdf = 1\n", 0, {Missing("m.pdf")}},
        {"both files missing", {"m.pdf", "n.pdf"},
            kBanner + noM + "Error opening input file: 'n.pdf', err no: 2\n", 0, {Missing("m.pdf")}},
        {"the copy's folder is missing", {"nofolder/m.pdf", "b3.pdf", "-temp", ".", "-quiet"},
            "File doesn't exist: 'nofolder/m.pdf'\r\nError opening output file: 'nofolder/m.pdf', err no: 2\n", 0, {}},
        {"a first file that cannot be opened for another reason", {"b3.pdf/a.pdf", "b1.pdf", "-nobookmarks", "-quiet"},
            "Unable to open file: 'b3.pdf/a.pdf', err no: 20, nothing written\r\n", 0, {}},
        {"a first file name too long to open", {n300, "b1.pdf", "-nobookmarks", "-quiet"},
            "Unable to open file: '" + n300 + "', err no: 36, nothing written\r\n", 0, {}},
        {"missing second file: the run's exception", {"a1.pdf", "n.pdf"},
            kBanner + "Can't open file: 'n.pdf', err no: 2\r\n", -2, {}},
        {"damaged second file", {"a1.pdf", "damaged.pdf", "-nobookmarks", "-quiet"}, damaged, -4, {}},
        {"damaged first file", {"damaged.pdf", "b1.pdf", "-nobookmarks", "-quiet"}, damaged, -4, {}},
    };
    CheckJobRows(rows, {
        {"both files missing", Diagnostic("n.pdf", "cannot open: " + kNoFile)},
        {"the copy's folder is missing", Diagnostic("nofolder/m.pdf", "cannot create: " + kNoFile)},
        {"a first file that cannot be opened for another reason",
            Diagnostic("b3.pdf/a.pdf", "cannot open: Not a directory (ENOTDIR)")},
        {"a first file name too long to open", Diagnostic(n300, "cannot open: File name too long (ENAMETOOLONG)")},
        {"missing second file: the run's exception", Diagnostic("n.pdf", "cannot open: " + kNoFile)},
        {"damaged second file", Diagnostic("damaged.pdf", "PDF file was damaged")},
        {"damaged first file", Diagnostic("damaged.pdf", "PDF file was damaged")},
    });
}

// In-place appends, named outputs and the names a job refuses before it writes anything.
TEST(Job, OutputsAndNames)
{
    const std::string longFolder(240, 'f');
    const std::string name255 = std::string(251, 'o') + ".pdf";
    const std::string name256 = std::string(252, 'o') + ".pdf";
    const std::string readOnlyMessage =
        "Unable to remove file: 'a1.pdf', code: -1 - The path specifies a read-only file.\n";
    const std::string sameName = "Output file is one of the input files, nothing written: ";
    const std::string named = "\r\nAppending file: a1.pdf and file: 'b1.pdf' to output file: ";
    const auto readOnly = [](const std::string& folder) { chmod((folder + "/a1.pdf").c_str(), 0444); };
    const auto makeTemp = [](const std::string& folder) { ASSERT_EQ(mkdir((folder + "/t").c_str(), 0755), 0); };
    const std::vector<JobRow> rows = {
        {"in place", {"a1.pdf", "b1.pdf"}, kBanner + InPlace("a1.pdf", "b1.pdf") + kDone, 0,
            {Appended("a1.pdf", "b1.pdf")}},
        {"in place through a -temp folder", {"a1.pdf", "b3.pdf", "-temp", "t", "-quiet"}, "", 0,
            {Appended("a1.pdf", "b3.pdf")}, makeTemp},
        {"named output", {"a1.pdf", "b1.pdf", "-oout.pdf"}, kBanner + named + "'out.pdf'\r\nProcessing" + kDone, 0,
            {Appended("out.pdf", "b1.pdf", "a1.pdf")}},
        {"read-only first file: the remove message", {"a1.pdf", "b1.pdf", "-nobookmarks", "-quiet"}, readOnlyMessage,
            0, {}, readOnly},
        {"read-only first file after the run's lines", {"a1.pdf", "b1.pdf"},
            kBanner + InPlace("a1.pdf", "b1.pdf") + readOnlyMessage, 0, {}, readOnly},
        {"-temp folder missing", {"a1.pdf", "b1.pdf", "-temp", "nofolder", "-quiet"},
            "File output error: 'nofolder/{temp}', err no: 2\r\n", -2, {}},
        {"-o alone: empty output name", {"a1.pdf", "b1.pdf", "-o"},
            kBanner + named + "''\r\nFile output error: '', err no: 2\r\n", -2, {}},
        {"output naming the first input", {"a1.pdf", "b1.pdf", "-oa1.pdf"}, kBanner + sameName + "'a1.pdf'\r\n", 0,
            {}},
        {"output naming the second input by another path", {"a1.pdf", "b1.pdf", "-o./b1.pdf", "-quiet"},
            sameName + "'./b1.pdf'\r\n", 0, {}},
        {"output name of 255 characters: the complete result", {"a1.pdf", "b1.pdf", "-o" + name255, "-quiet"}, "", 0,
            {Appended(name255, "b1.pdf", "a1.pdf")}},
        {"output name of 256 characters", {"a1.pdf", "b1.pdf", "-o" + name256, "-quiet"},
            "Output file name too long (over 255 characters), nothing written: '" + name256 + "'\r\n", 0,
            {Missing(name256)}},
        {"temporary path over 255 characters", {"a1.pdf", "b1.pdf", "-temp", longFolder, "-quiet"},
            "Temporary file name too long (over 255 characters), nothing written: '" + longFolder + "/{temp}'\r\n", 0,
            {}},
        {"output argument without -o", {"a1.pdf", "b1.pdf", "out.pdf"},
            kBanner + "Wrong program parameteres in output file, must precede with -o\r\n", -2, {Missing("out.pdf")}},
    };
    const std::string notReplaced = Diagnostic("a1.pdf", "cannot be replaced: Permission denied (EACCES)");
    const std::string tooLong = "name too long (over 255 characters)";
    CheckJobRows(rows, {
        {"read-only first file: the remove message", notReplaced},
        {"read-only first file after the run's lines", notReplaced},
        {"-temp folder missing", Diagnostic("nofolder/{temp}", "cannot write: " + kNoFile)},
        {"-o alone: empty output name", Diagnostic("", "cannot write: " + kNoFile)},
        {"output naming the first input", Diagnostic("a1.pdf", "is one of the input files")},
        {"output naming the second input by another path", Diagnostic("./b1.pdf", "is one of the input files")},
        {"output name of 256 characters", Diagnostic(name256, tooLong)},
        {"temporary path over 255 characters", Diagnostic(longFolder + "/{temp}", tooLong)},
    });
}

// The status of a run is the one its ending failure carries (-4 damaged, -3 encrypted, -2 any
// other), whichever file or list line raised it; a damaged table passed over while it is rebuilt
// leaves no trace. A plain list that only left files out ends with -2.
TEST(Job, FailureStatuses)
{
    const std::string damaged = "PDF file was damaged\r\n";
    const std::string locked = "PDF file is encrypted\r\n";
    const std::string noAll = "File doesn't exist: 'all.pdf'\r\n";
    const std::vector<std::string> plain = {"list.txt", "-oall.pdf", "-nobookmarks", "-quiet"};
    const std::vector<std::string> columns = {"list.csv", "-listdelim", ",", "-listusecol", "0,1,2", "-listout", "o",
        "-quiet"};
    const auto list = [](const std::string& name, const std::string& lines) {
        return [name, lines](const std::string& folder) { std::ofstream(folder + "/" + name) << lines; };
    };
    const std::vector<JobRow> rows = {
        {"encrypted second file", {"a1.pdf", "locked.pdf", "-nobookmarks", "-quiet"}, locked, -3, {}},
        {"encrypted first file", {"locked.pdf", "b1.pdf", "-nobookmarks", "-quiet"}, locked, -3, {}},
        {"damaged first, encrypted second", {"damaged.pdf", "locked.pdf", "-nobookmarks", "-quiet"}, damaged, -4, {}},
        {"encrypted first, damaged second", {"locked.pdf", "damaged.pdf", "-nobookmarks", "-quiet"}, locked, -3, {}},
        {"named output, encrypted second", {"a1.pdf", "locked.pdf", "-oout.pdf", "-quiet"}, locked, -3,
            {Missing("out.pdf")}},
        {"named output, damaged second", {"a1.pdf", "damaged.pdf", "-oout.pdf", "-quiet"}, damaged, -4,
            {Missing("out.pdf")}},
        {"a rebuilt table is no failure", {"a1.pdf", "rebuilt.pdf", "-nobookmarks", "-quiet"}, "", 0,
            {Appended("a1.pdf", "rebuilt.pdf")}},
        {"a rebuilt table, then an encrypted file", {"rebuilt.pdf", "locked.pdf", "-oout.pdf", "-quiet"}, locked, -3,
            {Missing("out.pdf")}},
        {"a rebuilt table, then a missing file", {"rebuilt.pdf", "n.pdf", "-nobookmarks", "-quiet"},
            "Can't open file: 'n.pdf', err no: 2\r\n", -2, {}},
        {"list: an encrypted line", plain, noAll + locked, -3, {CopyOf("all.pdf", "b1.pdf")},
            list("list.txt", "b1.pdf\nlocked.pdf\nb3.pdf\n")},
        {"list: a damaged line", plain, noAll + damaged, -4, {CopyOf("all.pdf", "b1.pdf")},
            list("list.txt", "b1.pdf\ndamaged.pdf\nb3.pdf\n")},
        {"list: a rebuilt line, then a missing file", plain, noAll + "Can't open file: 'n.pdf', err no: 2\r\n", -2,
            {Appended("all.pdf", "rebuilt.pdf", "b1.pdf")}, list("list.txt", "b1.pdf\nrebuilt.pdf\nn.pdf\n")},
        {"list: a rebuilt line, then the output itself", plain,
            noAll + "Output file is one of the input files, nothing written: 'all.pdf'\r\n"
                "1 of 3 listed files not appended to 'all.pdf'\r\n",
            -2, {Appended("all.pdf", "rebuilt.pdf", "b1.pdf")}, list("list.txt", "b1.pdf\nrebuilt.pdf\nall.pdf\n")},
        {"list: a rebuilt line", plain, noAll, 0, {Appended("all.pdf", "rebuilt.pdf", "b1.pdf")},
            list("list.txt", "b1.pdf\nrebuilt.pdf\n")},
        {"column list: an encrypted line", columns, locked, -3, {Appended("o/x.pdf", "b1.pdf", "a1.pdf")},
            list("list.csv", "a1,b1,x\na1,locked,y\na1,b3,z\n")},
        {"column list: a damaged line", columns, damaged, -4, {Missing("o/x.pdf")},
            list("list.csv", "a1,damaged,x\na1,b3,z\n")},
    };
    const std::string rebuilt = Diagnostic("rebuilt.pdf", "cross-reference rebuilt");
    CheckJobRows(rows, {
        {"encrypted second file", Diagnostic("locked.pdf", "PDF file is encrypted")},
        {"encrypted first file", Diagnostic("locked.pdf", "PDF file is encrypted")},
        {"damaged first, encrypted second", Diagnostic("damaged.pdf", "PDF file was damaged")},
        {"encrypted first, damaged second", Diagnostic("locked.pdf", "PDF file is encrypted")},
        {"named output, encrypted second", Diagnostic("locked.pdf", "PDF file is encrypted")},
        {"named output, damaged second", Diagnostic("damaged.pdf", "PDF file was damaged")},
        {"a rebuilt table is no failure", rebuilt},
        {"a rebuilt table, then an encrypted file", rebuilt + Diagnostic("locked.pdf", "PDF file is encrypted")},
        {"a rebuilt table, then a missing file", rebuilt + Diagnostic("n.pdf", "cannot open: " + kNoFile)},
        {"list: an encrypted line", "foliobind: list line 2: 'locked.pdf': PDF file is encrypted\n"},
        {"list: a damaged line", "foliobind: list line 2: 'damaged.pdf': PDF file was damaged\n"},
        {"list: a rebuilt line, then a missing file",
            rebuilt + "foliobind: list line 3: 'n.pdf': cannot open: " + kNoFile + "\n"},
        {"list: a rebuilt line, then the output itself",
            rebuilt + "foliobind: list line 3: 'all.pdf': is the output of this list\n"},
        {"list: a rebuilt line", rebuilt},
        {"column list: an encrypted line", "foliobind: list line 2: 'locked.pdf': PDF file is encrypted\n"},
        {"column list: a damaged line", "foliobind: list line 1: 'damaged.pdf': PDF file was damaged\n"},
    });
}
