// List driver checks: each list content goes through RunListFile with a recording job runner,
// and the jobs it asks for and every byte it prints are compared exactly.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/ColumnList.h"
#include "cli/Globals.h"
#include "cli/ListFile.h"
#include "cli/ListReadAhead.h"
#include "cli/JobOutcome.h"
#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "platform/Platform.h"
#include "tests/cli/JobFixtures.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/RunProgram.h"

namespace {

// Each job the driver asked for, as "{'file1', 'file2', 'outputArg'}" with null for no output.
using Jobs = std::vector<std::string>;

std::string JobText(const std::string& file1, const std::string& file2, const char* outputArg)
{
    return "{'" + file1 + "', '" + file2 + "', " + (outputArg ? "'" + std::string(outputArg) + "'" : "null") + "}";
}

std::string InPlace(const std::string& file2) { return JobText("out.pdf", file2, nullptr); }

// A column-mode job whose output lands in folder.
std::string Into(const std::string& folder, const std::string& file1, const std::string& file2,
    const std::string& output)
{
    return JobText(file1, file2, ("-o" + folder + kFolderSeparator + output).c_str());
}

ListJobRunner Recorder(Jobs& jobs)
{
    return [&jobs](const char* file1, const char* file2, const char* outputArg) {
        jobs.push_back(JobText(file1, file2, outputArg));
        return JobOutcome::Done;
    };
}

struct ListRun {
    int result = -1;
    Jobs jobs;
    std::string out;     // standard output
    std::string failure; // the CPdfException message, "" when none was raised
};

ListRun RunList(const std::string& listName, const std::string& secondArg)
{
    ListRun run;
    testing::internal::CaptureStdout();
    try {
        run.result = RunListFile(listName.c_str(), secondArg.c_str(), Recorder(run.jobs));
    } catch (const CPdfException& failure) {
        run.failure = failure.what();
    }
    run.out = testing::internal::GetCapturedStdout();
    return run;
}

// Each test starts with the list options cleared and leaves them cleared.
class ListFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetOptions("", "", ""); }
    void TearDown() override { SetOptions("", "", ""); }
    static void SetOptions(const std::string& delimiter, const std::string& useColumns, const std::string& outFolder)
    {
        g_listDelim = delimiter;
        g_listUseCol = useColumns;
        g_listOut = outFolder;
    }
    ListRun RunBytes(const std::string& bytes, const std::string& secondArg = "-oout.pdf")
    {
        return RunList(m_folder.WriteFile("list.txt", bytes), secondArg);
    }
    CScratchFolder m_folder;
};

std::string Repeat(const std::string& text, size_t count)
{
    std::string result;
    for (size_t i = 0; i < count; ++i)
        result += text;
    return result;
}

std::string TooFew(unsigned line, int names)
{
    return "Too few columns in list line " + std::to_string(line) + " (" + std::to_string(names) +
        " of 3 names), line skipped\r\n";
}

std::string TooLong(unsigned line, const std::string& name)
{
    return "Name too long (over 255 characters) in list line " + std::to_string(line) + ", line skipped: '" +
        name.substr(0, 60) + "...'\r\n";
}

const std::string kExtraNames = "Too many columns specified\n";

std::string Outside(unsigned line, const std::string& path)
{
    return "Output name leaves the -listout folder in list line " + std::to_string(line) + ", line skipped: '" + path +
        "'\r\n";
}

} // namespace

// Plain mode: every line, the empty ones included, is appended onto the "-o" output in place.
TEST_F(ListFileTest, PlainLists)
{
    const std::string x254(254, 'x');
    std::string thousand;
    Jobs thousandJobs;
    for (int i = 0; i < 1000; ++i) {
        thousand += "file" + std::to_string(i) + ".pdf\r\n";
        thousandJobs.push_back(InPlace("file" + std::to_string(i) + ".pdf"));
    }
    const std::vector<std::pair<std::string, Jobs>> rows = { // list bytes, jobs
        {"a.pdf\nb.pdf\nc.pdf\n", {InPlace("a.pdf"), InPlace("b.pdf"), InPlace("c.pdf")}},
        {"a.pdf\r\nb.pdf\r\n", {InPlace("a.pdf"), InPlace("b.pdf")}},
        {"a.pdf\nb.pdf", {InPlace("a.pdf"), InPlace("b.pdf")}}, // no final line end
        {"", {}},
        {"a.pdf\n\n\r\nb.pdf\n", {InPlace("a.pdf"), InPlace(""), InPlace(""), InPlace("b.pdf")}},
        {"a.pdf\rrest\nb.pdf\n", {InPlace("a.pdf"), InPlace("b.pdf")}}, // a lone CR ends the line
        {std::string("a.pdf\0rest\nb.pdf\n", 16), {InPlace("a.pdf"), InPlace("b.pdf")}},
        {" a b.pdf \n", {InPlace(" a b.pdf ")}},
        {"a,b.pdf\n", {InPlace("a,b.pdf")}},
        // A line is read in chunks of 254 characters: a line end after a full chunk is a line of its own.
        {std::string(300, 'y') + "\n", {InPlace(std::string(254, 'y')), InPlace(std::string(46, 'y'))}},
        {std::string(253, 'x') + "\n", {InPlace(std::string(253, 'x'))}},
        {x254 + "\n", {InPlace(x254), InPlace("")}},
        {x254 + "\r\nb.pdf\n", {InPlace(x254), InPlace(""), InPlace("b.pdf")}},
        {x254, {InPlace(x254)}},
        {thousand, thousandJobs},
        // A UTF-8 byte-order mark is skipped before the first name only.
        {"\xEF\xBB\xBF" "a.pdf\r\nb.pdf\r\n", {InPlace("a.pdf"), InPlace("b.pdf")}},
        {"a.pdf\n\xEF\xBB\xBF" "b.pdf\n", {InPlace("a.pdf"), InPlace("\xEF\xBB\xBF" "b.pdf")}},
        {"\xEF\xBB" "a.pdf\n", {InPlace("\xEF\xBB" "a.pdf")}},
    };
    for (const auto& [bytes, jobs] : rows) {
        SCOPED_TRACE(testing::PrintToString(bytes.substr(0, 40)));
        const ListRun run = RunBytes(bytes);
        EXPECT_EQ(run.result, 2);
        EXPECT_EQ(run.jobs, jobs);
        EXPECT_EQ(run.out, "");
    }
}

// The files of a plain list's coming lines, read on a thread of their own: each queued path
// comes back in turn with its look-up, and its bytes when it is a regular file small enough to
// be held, however few bytes the thread may hold at once. A FIFO is never opened (it would block).
TEST(ListReadAhead, EachQueuedFileInTurn)
{
    CTestDir dir;
    const std::string small = dir.Write("small.pdf", "%PDF-1.4 small");
    const std::string big = dir.Write("big.pdf", "%PDF-1.4");
    std::filesystem::resize_file(big, kHeldFileSize + 1); // sparse
    ASSERT_EQ(mkdir(dir.PathOf("folder").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir.PathOf("fifo").c_str(), 0644), 0);
    struct Row {
        std::string path;
        bool exists;
        bool isRegular;
        const char* bytes; // null: none read
    };
    const std::vector<Row> rows = {
        {small, true, true, "%PDF-1.4 small"},
        {dir.PathOf("missing.pdf"), false, false, nullptr},
        {dir.PathOf("folder"), true, false, nullptr},
        {dir.PathOf("fifo"), true, false, nullptr},
        {big, true, true, nullptr},
        {dir.Write("empty.pdf", ""), true, true, ""},
        {small, true, true, "%PDF-1.4 small"},
    };
    for (const size_t maxBytes : {size_t{1}, size_t{1} << 20}) {
        SCOPED_TRACE(maxBytes);
        CListReadAhead readAhead(maxBytes);
        CReadAheadFile file;
        EXPECT_FALSE(readAhead.Take(file));
        readAhead.Queue({rows[0].path, rows[1].path, rows[2].path});
        readAhead.Queue({rows[3].path, rows[4].path, rows[5].path, rows[6].path});
        EXPECT_EQ(readAhead.Pending(), rows.size());
        for (const Row& row : rows) {
            SCOPED_TRACE(row.path);
            ASSERT_TRUE(readAhead.Take(file));
            EXPECT_EQ(file.path, row.path);
            EXPECT_EQ(file.identity.exists, row.exists);
            EXPECT_EQ(file.identity.isRegular, row.isRegular);
            ASSERT_EQ(file.bytes != nullptr, row.bytes != nullptr);
            if (row.bytes) {
                EXPECT_EQ(std::string(file.bytes->data(), file.bytes->size()), row.bytes);
            }
        }
        EXPECT_FALSE(readAhead.Take(file));
    }
}

// How each job of a plain list ended decides the run's status: a file not appended for any
// reason but a page filter is counted in a last line and makes the result 3 (the status -2); an
// output that could not be replaced ends the list at once, and the lines after it are counted, not run.
TEST_F(ListFileTest, PlainListOutcomes)
{
    using O = JobOutcome;
    const struct {
        const char* name;
        std::vector<O> outcomes; // of the jobs, in order
        size_t jobCount;
        std::string delimiter, out;
        int result; // 3 is kListLeftFilesOut
    } rows[] = {
        {"all appended", {O::Done, O::Done, O::Done}, 3, "", "", 2},
        {"filtered lines are no failure", {O::Filtered, O::Done, O::Filtered}, 3, "", "", 2},
        {"a failed line is counted", {O::Done, O::Failed, O::Done}, 3, "", "1 of 3 listed files not appended to 'out.pdf'\r\n",
            3},
        {"every line failed", {O::Failed, O::Failed, O::Failed}, 3, "", "3 of 3 listed files not appended to 'out.pdf'\r\n",
            3},
        {"a fatal line ends the list", {O::Done, O::Fatal, O::Done}, 2, "",
            "2 of 3 listed files not appended to 'out.pdf'\r\n", 3},
        {"a fatal first line", {O::Fatal, O::Done, O::Done}, 1, "", "3 of 3 listed files not appended to 'out.pdf'\r\n",
            3},
        {"column mode keeps its lines apart", {O::Failed, O::Fatal, O::Done}, 3, ";", "", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(row.delimiter, "0,1,2", "");
        size_t jobCount = 0;
        const auto runJob = [&](const char*, const char*, const char*) {
            return row.outcomes.at(jobCount++);
        };
        testing::internal::CaptureStdout();
        const int result =
            RunListFile(m_folder.WriteFile("list.txt", "a;b;c\nd;e;f\ng;h;i\n").c_str(), "-oout.pdf", runJob);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.out);
        EXPECT_EQ(jobCount, row.jobCount);
        EXPECT_EQ(result, row.result);
    }
}

// What the driver decides before reading a line: the list name, "-o", the list file itself.
TEST_F(ListFileTest, ListNamesAndRefusals)
{
    struct Row { // listName is in the scratch folder when it exists; "%s" in out stands for its path
        const char* name;
        std::string listName;
        bool exists;
        std::string delimiter, secondArg;
        int result;
        std::string out;
    };
    const std::string noOutput = "please specify -o for output filename, e.g. -oc:\\test.pdf\n";
    const std::string noList = "Unable to open file list: '%s'\r\n";
    const std::vector<Row> rows = {
        {"upper-case extension is no list", "LIST.TXT", true, "", "-oout.pdf", 0, ""},
        {"upper-case .CSV is no list", "list.CSV", true, ",", "-oout.pdf", 0, ""},
        {"a PDF is no list", "a.pdf", true, "", "-oout.pdf", 0, ""},
        {"only three characters are compared", "list.txtx", true, "", "-oout.pdf", 0, ""},
        {".tx plus anything", "list.txq", true, "", "-oout.pdf", 2, ""},
        {".csv", "list.csv", true, "", "-oout.pdf", 2, ""},
        {"four characters are always a list", "a.pd", false, "", "-oout.pdf", 1, noList},
        {"missing list", "no-such-list.txt", false, "", "-oout.pdf", 1, noList},
        {"missing short name", "abc", false, "", "-oout.pdf", 1, noList},
        {"plain list without -o", "list.txt", true, "", "out.pdf", 1, noOutput},
        {"-o is checked before the list is opened", "no-such-list.txt", false, "", "-listdelim", 1, noOutput},
        {"a delimited list needs no -o", "list.csv", true, ";", "-listdelim", 2, ""},
        {"no list name is checked for -o", "x.pdf", false, "", "out.pdf", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder folder;
        const std::string path = row.exists ? folder.WriteFile(row.listName, "") : row.listName;
        SetOptions(row.delimiter, "", "");
        const ListRun run = RunList(path, row.secondArg);
        EXPECT_EQ(run.result, row.result);
        EXPECT_EQ(run.jobs, Jobs{});
        std::string expected = row.out;
        const size_t mark = expected.find("%s");
        if (mark != std::string::npos)
            expected.replace(mark, 2, path);
        EXPECT_EQ(run.out, expected);
    }
}

// Column mode read from a list file: names in the order of "-listusecol", ".pdf" added, the
// output in the "-listout" folder ("out" unless the row says otherwise). A column table that
// cannot be built ends the run at the first line, before its job.
TEST_F(ListFileTest, ColumnLists)
{
    struct Row {
        const char* name;
        std::string delimiter, useColumns, bytes;
        Jobs jobs;
        std::string out;
        std::string outFolder = "out"; // under the scratch folder; "" for no "-listout"
        std::string failure = "";
    };
    const std::string tooMany = "Too many columns specified in csv/txt file.  max is 20";
    const std::string tooLong = "Column list of -listusecol is longer than 255 characters";
    const std::string out = m_folder.path() + "/out";
    const auto J = [&out](const char* a, const char* b, const char* c) { return Into(out, a, b, c); };
    const std::string z251(251, 'z');
    const std::vector<Row> rows = {
        {"three columns", ",", "0,1,2", "a.pdf,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"quoted comma", ",", "0,1,2", "\"x, y\",b.pdf,c.pdf\r\n", {J("x, y.pdf", "b.pdf", "c.pdf")}, ""},
        {"quoted field in the middle", ",", "0,1,2", "a,\"b,c\",d\n", {J("a.pdf", "b,c.pdf", "d.pdf")}, ""},
        {"four adjacent quotes keep two", ",", "0,1,2", "a,\"\"\"\",b\n", {J("a.pdf", "\"\".pdf", "b.pdf")}, ""},
        {"doubled quote leaves the rest quoted", ",", "0,1,2", "\"a\"\"b\",c,d\n", {}, TooFew(1, 1)},
        {"empty field becomes a blank", ",", "0,1,2", "a.pdf,,c.pdf,d.pdf\n", {J("a.pdf", " .pdf", "c.pdf")}, ""},
        {"empty field keeps the numbering", ",", "0,2,3", "a.pdf,,c.pdf,d.pdf\n", {J("a.pdf", "c.pdf", "d.pdf")}, ""},
        {"empty fields with quotes", ",", "0,3,4", "\"a\",,,c,d\n", {J("a.pdf", "c.pdf", "d.pdf")}, ""},
        {"leading delimiter is not a field", ",", "0,1,2", ",a,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"';' gets no comma treatment", ";", "0,1,2", "a;;b;\"c,d\"\n", {J("a.pdf", "b.pdf", "\"c,d\".pdf")}, ""},
        {"';' leaves quotes alone", ";", "0,1,2", "\"x;y\";b\n", {J("\"x.pdf", "y\".pdf", "b.pdf")}, ""},
        {"every delimiter character splits", ";|", "0,1,2", "a;b|c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"order 2,0,5", ",", "2,0,5", "f0,f1,f2,f3,f4,f5\n", {J("f2.pdf", "f0.pdf", "f5.pdf")}, ""},
        {"missing field: next slot counts", ",", "0,9,1,2", "a,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"missing field: too few names", ",", "0,1,9", "a,b,c\n", {}, TooFew(1, 2)},
        {"negative index picks nothing", ",", "-1,0,1,2", "a,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"repeated index", ",", "0,0,0", "a\n", {J("a.pdf", "a.pdf", "a.pdf")}, ""},
        {"fourth name: message, job with three", ",", "0,1,2,3", "a,b,c,d\n", {J("a.pdf", "b.pdf", "c.pdf")},
            kExtraNames},
        {"no -listusecol: every line skipped", ",", "", "a,b,c\nd,e,f\n", {}, TooFew(1, 0) + TooFew(2, 0)},
        {"extensions kept", ",", "0,1,2", "A.PDF,b.Pdf,c.pdf.bak\n", {J("A.PDF", "b.Pdf", "c.pdf.bak")}, ""},
        {"other spellings get .pdf", ",", "0,1,2", "a.pDf,b.PDf,c.txt\n", {J("a.pDf.pdf", "b.PDf.pdf", "c.txt.pdf")},
            ""},
        {"names are not carried over", ",", "0,1,2", "a,b,c\nd,e\nf,g,h\n",
            {J("a.pdf", "b.pdf", "c.pdf"), J("f.pdf", "g.pdf", "h.pdf")}, TooFew(2, 2)},
        {"empty line is skipped", ",", "0,1,2", "\na,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, TooFew(1, 0)},
        {"delimiter restored after a quoted line", ",", "0,1,2", "\"a,1\",b,c\nx|y,b,c\n",
            {J("a,1.pdf", "b.pdf", "c.pdf"), J("x|y.pdf", "b.pdf", "c.pdf")}, ""},
        {"'|' inside quotes splits", ",", "0,1,2", "\"a|b\",c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"over-long line: its rest is a line", ",", "0,1,2", "a," + z251 + ",c,d\n", {}, TooFew(1, 2) + TooFew(2, 2)},
        {"20 entries", ",", "0,1,2" + Repeat(",0", 17), "a,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, kExtraNames},
        {"a 252-character field cannot take .pdf", ",", "0,0,0", std::string(252, 'x') + "\r\na,b,c\n",
            {Into("", "a.pdf", "a.pdf", "a.pdf")}, TooLong(1, std::string(252, 'x')), ""},
        {"10,000 fields: chunks of 254 characters are lines", ",", "1,2,3", Repeat("ab,", 9999) + "ab\n",
            Jobs(119, J("ab.pdf", "ab.pdf", "ab.pdf")), ""}, // 29,999 characters
        {"21 entries", ",", "0,1,2" + Repeat(",3", 18), "a,b,c\nd,e,f\n", {}, "", "", tooMany},
        {"21 entries after a quoted line's change of delimiter", ",", Repeat("1,", 20) + "1", "\"a\",b,c\n", {}, "", "",
            tooMany},
        {"21 entries, empty list", ",", Repeat("1,", 20) + "1", "", {}, "", ""},
        {"-listusecol of 256 characters", ",", "0,1,2," + std::string(250, ' '), "a,b,c\n", {}, "", "", tooLong},
        {"-listusecol of 256 commas", ",", std::string(256, ','), "a,b,c\n", {}, "", "", tooLong},
        {"-listusecol of 255 characters", ",", "0,1," + std::string(250, ' ') + "2", "a,b,c\n",
            {Into("", "a.pdf", "b.pdf", "c.pdf")}, "", ""},
        // An output stays inside the -listout folder; the list goes on after a refused line.
        {"output climbing out by ..", ",", "0,1,2", "a,b,../c\nd,e,f\n", {J("d.pdf", "e.pdf", "f.pdf")},
            Outside(1, out + "/../c.pdf")},
        {"output climbing out deeper", ",", "0,1,2", "a,b,x/../../c\n", {}, Outside(1, out + "/x/../../c.pdf")},
        {"output climbing out by backslashes", ",", "0,1,2", "a,b,x\\..\\c\n", {},
            Outside(1, out + "/x\\..\\c.pdf")},
        {"absolute output", ",", "0,1,2", "a,b,/etc/c\n", {}, Outside(1, out + "//etc/c.pdf")},
        {"output with a drive letter", ",", "0,1,2", "a,b,C:x\n", {}, Outside(1, out + "/C:x.pdf")},
        {"two dots inside a name stay", ",", "0,1,2", "a,b,c..d/..e\n", {J("a.pdf", "b.pdf", "c..d/..e.pdf")}, ""},
        {"inputs may lie anywhere", ",", "0,1,2", "../a,/b,c\n", {J("../a.pdf", "/b.pdf", "c.pdf")}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(row.delimiter, row.useColumns, row.outFolder.empty() ? "" : m_folder.path() + "/" + row.outFolder);
        const ListRun run = RunBytes(row.bytes, "-listdelim");
        EXPECT_EQ(run.failure, row.failure);
        EXPECT_EQ(run.result, row.failure.empty() ? 2 : -1);
        EXPECT_EQ(run.jobs, row.jobs);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(g_listDelim, row.delimiter);
    }
}

// Whole lines given to the driver with "-listdelim ,": names that would not fit 255 characters
// are refused, never cut, and the list goes on; a line of 10,000 fields is split once and every
// index finds its field.
TEST_F(ListFileTest, WholeLines)
{
    struct Row {
        const char* name;
        std::string useColumns, outFolder;
        std::vector<std::string> lines;
        Jobs jobs;
        std::string out;
    };
    const std::string folder = m_folder.path() + "/o";
    const size_t fitting = kMaxNameLength - folder.size() - 1 - 4; // output name that just fits
    const std::string x251(251, 'x');
    const std::string x252(252, 'x');
    const std::string r250(250, 'r');
    const std::string accented = "a" + Repeat("\xC3\xA9", 130);
    const auto J = [&folder](const std::string& a, const std::string& b, const std::string& c) {
        return Into(folder, a, b, c);
    };
    std::string numbered = "f0";
    for (int i = 1; i < 10000; ++i)
        numbered += ",f" + std::to_string(i);
    const std::vector<Row> rows = {
        {"input of 255, .pdf added", "0,1,2", folder, {x251 + ",b,c"}, {J(x251 + ".pdf", "b.pdf", "c.pdf")}, ""},
        {"input of 256, .pdf added", "0,1,2", folder, {x252 + ",b,c"}, {}, TooLong(1, x252)},
        {"input of 255, its own .pdf", "0,1,2", folder, {x251 + ".pdf,b,c"}, {J(x251 + ".pdf", "b.pdf", "c.pdf")}, ""},
        {"second input of 256", "0,1,2", folder, {"a," + x252 + ",c"}, {}, TooLong(1, x252)},
        {"output of 255", "0,1,2", folder, {"a,b," + std::string(fitting, 'o')},
            {J("a.pdf", "b.pdf", std::string(fitting, 'o') + ".pdf")}, ""},
        {"output of 256", "0,1,2", folder, {"a,b," + std::string(fitting + 1, 'o')}, {},
            TooLong(1, folder + "/" + std::string(fitting + 1, 'o'))},
        {"output of 255 without -listout", "0,0,0", "", {r250}, {Into("", r250 + ".pdf", r250 + ".pdf", r250 + ".pdf")},
            ""},
        {"output of 256 without -listout", "0,0,0", "", {x251}, {}, TooLong(1, "/" + x251)},
        {"list goes on", "0,1,2", folder, {x252 + ",b,c", "a,b,c"}, {J("a.pdf", "b.pdf", "c.pdf")}, TooLong(1, x252)},
        {"a fourth name is never checked", "0,1,2,3", folder, {"a,b,c," + std::string(300, 'q')},
            {J("a.pdf", "b.pdf", "c.pdf")}, kExtraNames},
        {"message not cut inside a character", "0,1,2", folder, {accented + ",b,c"}, {},
            "Name too long (over 255 characters) in list line 1, line skipped: 'a" + Repeat("\xC3\xA9", 29) +
                "...'\r\n"},
        {"10,000 numbered fields", "9999,0,5000", "", {numbered}, {Into("", "f9999.pdf", "f0.pdf", "f5000.pdf")}, ""},
        {"10,000 commas: 9,999 blank fields", "0,5000,9998", "", {std::string(10000, ',')},
            {Into("", " .pdf", " .pdf", " .pdf")}, ""},
        {"10,000 quoted fields", "0,9999,1", "", {"\"q,0\"," + Repeat("\"a\",", 9998) + "\"z,9\""},
            {Into("", "q,0.pdf", "z,9.pdf", "a.pdf")}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(",", row.useColumns, row.outFolder);
        Jobs jobs;
        testing::internal::CaptureStdout();
        {
            CListDriver driver("-listdelim", Recorder(jobs));
            for (const std::string& line : row.lines)
                driver.RunLine(line);
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.out);
        EXPECT_EQ(jobs, row.jobs);
    }
}

// The column table read from "-listusecol", and which field indexes it selects: exactly those
// it holds, probed from -3 to 21 and at both ends of the 32-bit range.
TEST_F(ListFileTest, ColumnTable)
{
    constexpr int32_t kMax = 2147483647;
    constexpr int32_t kMin = -kMax - 1;
    const std::vector<std::pair<std::string, std::vector<int32_t>>> rows = { // text, columns
        {"", {}},
        {"0,1,2", {0, 1, 2}},
        {"2,0,5", {2, 0, 5}},
        {",,1,,2,", {1, 2}}, // empty pieces do not count
        {",", {}},
        {"x,3", {0, 3}}, // no number is 0
        {" 7,\t\v\f\r\n8", {7, 8}},
        {"+4", {4}},
        {"-1", {-1}},
        {"12abc", {12}},
        {"1 2", {1}},
        {"--5,+-5,- 5", {0, 0, 0}},
        {"2147483647", {kMax}},
        {"2147483648", {kMax}}, // saturates
        {"-2147483648", {kMin}},
        {"-2147483649", {kMin}},
        {"99999999999999999999999999", {kMax}},
        {"0000000000000000000000000007", {7}},
        {"0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
            16, 17, 18, 19}},
    };
    for (const auto& [text, columns] : rows) {
        SCOPED_TRACE(text);
        g_listUseCol = text;
        ParseColumnList();
        ASSERT_EQ(g_columnCount, static_cast<int32_t>(columns.size()));
        EXPECT_EQ(std::vector<int32_t>(g_columns.begin(), g_columns.begin() + g_columnCount), columns);
    }
}

// The "-listout" folder is created one level deep before the list is opened, in either mode.
TEST_F(ListFileTest, OutputFolderIsCreated)
{
    const struct {
        const char* name;
        std::string delimiter, outFolder; // outFolder is under the scratch folder
        bool listExists;
        int result;
        bool isCreated;
    } rows[] = {
        {"column mode", ",", "made", true, 2, true},
        {"plain mode", "", "plain", true, 2, true},
        {"before a missing list", ",", "early", false, 1, true},
        {"one level only", ",", "a/b", true, 2, false},
        {"existing folder", ",", "made", true, 2, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string folder = m_folder.path() + "/" + row.outFolder;
        SetOptions(row.delimiter, "", folder);
        const std::string list = row.listExists ? m_folder.WriteFile("list.txt", "") : m_folder.path() + "/none.txt";
        EXPECT_EQ(RunList(list, "-oout.pdf").result, row.result);
        struct stat info {};
        EXPECT_EQ(stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode), row.isCreated);
    }
}

namespace {

// Runs the built program in column mode on a list beside the three sample PDFs.
ProgramResult RunSampleList(const CScratchFolder& folder, const std::string& list)
{
    for (const char* name : {"sample-a-classic.pdf", "sample-b-xrefstream.pdf", "sample-c-plain.pdf"})
        folder.WriteFile(name, FileBytes(std::string(FOLIOBIND_SOURCE_DIR "/testdata/samples/") + name));
    folder.WriteFile("list.csv", list);
    return RunProgram(FOLIOBIND_EXE, {"list.csv", "-listdelim", ",", "-listusecol", "0,1,2", "-listout", "out",
        "-quiet"}, folder.path());
}

} // namespace

// The built program in column mode: one output per line, a short line skipped on the way.
TEST(ListFileProgram, ColumnModeWritesOneOutputPerLine)
{
    CScratchFolder folder;
    const ProgramResult result = RunSampleList(folder, "sample-a-classic.pdf,sample-b-xrefstream,ab\r\n"
        "only-one\r\n\"sample-c-plain\",sample-a-classic,ca.PDF\r\n");
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_NE(result.out.find(TooFew(2, 1)), std::string::npos) << result.out;
    const std::string out = folder.path() + "/out/";
    EXPECT_EQ(FileBytes(out + "ab.pdf").compare(0, 5, "%PDF-"), 0);
    EXPECT_EQ(FileBytes(out + "ca.PDF").compare(0, 5, "%PDF-"), 0);
    if (QpdfPages(out + "ab.pdf") < 0)
        GTEST_SKIP() << "qpdf not installed: page counts not checked";
    EXPECT_EQ(QpdfPages(out + "ab.pdf"), 5);
    EXPECT_EQ(QpdfPages(out + "ca.PDF"), 4);
}

// A job that fails with an exception ends the run; the lines after it are not processed.
TEST(ListFileProgram, FailingJobEndsTheList)
{
    CScratchFolder folder;
    const ProgramResult result = RunSampleList(folder, "missing,sample-a-classic,first\n"
        "sample-a-classic,sample-b-xrefstream,later\n");
    EXPECT_EQ(result.exitStatus, ShellStatus(-2)) << result.out;
    bool exists = true;
    FileBytes(folder.path() + "/out/later.pdf", &exists);
    EXPECT_FALSE(exists);
}
