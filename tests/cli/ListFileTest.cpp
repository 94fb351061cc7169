// List driver checks: each list content goes through RunListFile with a recording job runner,
// and the jobs it asks for and every byte it prints are compared exactly.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ColumnList.h"
#include "cli/Globals.h"
#include "cli/ListFile.h"
#include "pdf/Exception.h"
#include "platform/Platform.h"
#include "tests/support/RunProgram.h"

namespace {

// One job as the driver asked for it; hasOutput false stands for a null output argument.
struct Job {
    std::string file1;
    std::string file2;
    std::string outputArg;
    bool hasOutput = false;

    bool operator==(const Job& other) const
    {
        return file1 == other.file1 && file2 == other.file2 && outputArg == other.outputArg &&
            hasOutput == other.hasOutput;
    }
};

void PrintTo(const Job& job, std::ostream* out)
{
    *out << "{'" << job.file1 << "', '" << job.file2 << "', "
         << (job.hasOutput ? "'" + job.outputArg + "'" : std::string("null")) << "}";
}

using Jobs = std::vector<Job>;

Job InPlace(const std::string& file2)
{
    return {"out.pdf", file2, "", false};
}

// A column-mode job whose output lands in folder.
Job Into(const std::string& folder, const std::string& file1, const std::string& file2, const std::string& output)
{
    return {file1, file2, "-o" + folder + kFolderSeparator + output, true};
}

// Standard output of the current process sent to a temporary file until Finish.
class CStdoutCapture {
public:
    CStdoutCapture() : m_file(std::tmpfile())
    {
        std::fflush(stdout);
        m_saved = dup(fileno(stdout));
        dup2(fileno(m_file), fileno(stdout));
    }
    ~CStdoutCapture()
    {
        if (m_saved >= 0)
            Finish();
        std::fclose(m_file);
    }
    std::string Finish()
    {
        std::fflush(stdout);
        dup2(m_saved, fileno(stdout));
        close(m_saved);
        m_saved = -1;
        std::string bytes;
        std::rewind(m_file);
        for (int c; (c = std::fgetc(m_file)) != EOF;)
            bytes.push_back(static_cast<char>(c));
        return bytes;
    }

private:
    FILE* m_file;
    int m_saved = -1;
};

struct ListRun {
    int result = -1;
    Jobs jobs;
    std::string out;
};

ListJobRunner Recorder(Jobs& jobs)
{
    return [&jobs](const char* file1, const char* file2, const char* outputArg) {
        jobs.push_back({file1, file2, outputArg ? outputArg : "", outputArg != nullptr});
    };
}

ListRun RunList(const std::string& listName, const std::string& secondArg)
{
    ListRun run;
    CStdoutCapture capture;
    run.result = RunListFile(listName.c_str(), secondArg.c_str(), Recorder(run.jobs));
    run.out = capture.Finish();
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
    return "Name too long (over 255 characters) in list line " + std::to_string(line) +
        ", line skipped: '" + name.substr(0, 60) + "...'\r\n";
}

const std::string kExtraNames = "Too many columns specified\n";

} // namespace

// Plain mode: every line, the empty ones included, is appended onto the "-o" output in place.
TEST_F(ListFileTest, PlainLists)
{
    struct Row {
        const char* name;
        std::string bytes;
        Jobs jobs;
    };
    const std::string x254(254, 'x');
    const std::vector<Row> rows = {
        {"LF", "a.pdf\nb.pdf\nc.pdf\n", {InPlace("a.pdf"), InPlace("b.pdf"), InPlace("c.pdf")}},
        {"CRLF", "a.pdf\r\nb.pdf\r\n", {InPlace("a.pdf"), InPlace("b.pdf")}},
        {"no final line end", "a.pdf\nb.pdf", {InPlace("a.pdf"), InPlace("b.pdf")}},
        {"empty file", "", {}},
        {"empty lines run jobs", "a.pdf\n\n\r\nb.pdf\n", {InPlace("a.pdf"), InPlace(""), InPlace(""), InPlace("b.pdf")}},
        {"lone CR ends the line", "a.pdf\rrest\nb.pdf\n", {InPlace("a.pdf"), InPlace("b.pdf")}},
        {"zero byte ends the line", std::string("a.pdf\0rest\nb.pdf\n", 16), {InPlace("a.pdf"), InPlace("b.pdf")}},
        {"blanks kept", " a b.pdf \n", {InPlace(" a b.pdf ")}},
        {"commas are part of a plain name", "a,b.pdf\n", {InPlace("a,b.pdf")}},
        {"300 characters: two lines", std::string(300, 'y') + "\n",
            {InPlace(std::string(254, 'y')), InPlace(std::string(46, 'y'))}},
        {"253 characters: one line", std::string(253, 'x') + "\n", {InPlace(std::string(253, 'x'))}},
        {"254 characters: the line end is a line of its own", x254 + "\n", {InPlace(x254), InPlace("")}},
        {"254 characters and CRLF", x254 + "\r\nb.pdf\n", {InPlace(x254), InPlace(""), InPlace("b.pdf")}},
        {"254 characters, no line end", x254, {InPlace(x254)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ListRun run = RunBytes(row.bytes);
        EXPECT_EQ(run.result, 2);
        EXPECT_EQ(run.jobs, row.jobs);
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(ListFileTest, PlainListOfAThousandFiles)
{
    std::string bytes;
    Jobs expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "file" + std::to_string(i) + ".pdf";
        bytes += name + "\r\n";
        expected.push_back(InPlace(name));
    }
    const ListRun run = RunBytes(bytes);
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.jobs, expected);
    EXPECT_EQ(run.out, "");
}

// What the driver decides before reading a line: the list name, "-o", the list file itself.
TEST_F(ListFileTest, ListNamesAndRefusals)
{
    struct Row {
        const char* name;
        std::string listName; // inside the scratch folder when it exists, else as it stands
        bool exists;
        std::string delimiter;
        std::string secondArg;
        int result;
        std::string out; // "%s" stands for the list's path
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

// Column mode: names in the order of "-listusecol", ".pdf" added, the output in the folder.
TEST_F(ListFileTest, ColumnLists)
{
    struct Row {
        const char* name;
        std::string delimiter;
        std::string useColumns;
        std::string bytes;
        Jobs jobs; // output folder "out"
        std::string out;
    };
    const std::string out = m_folder.path() + "/out";
    const auto J = [&out](const char* a, const char* b, const char* c) { return Into(out, a, b, c); };
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
        {"fourth name: message, job with three", ",", "0,1,2,3", "a,b,c,d\n", {J("a.pdf", "b.pdf", "c.pdf")}, kExtraNames},
        {"no -listusecol: every line skipped", ",", "", "a,b,c\nd,e,f\n", {}, TooFew(1, 0) + TooFew(2, 0)},
        {"extensions kept", ",", "0,1,2", "A.PDF,b.Pdf,c.pdf.bak\n", {J("A.PDF", "b.Pdf", "c.pdf.bak")}, ""},
        {"other spellings get .pdf", ",", "0,1,2", "a.pDf,b.PDf,c.txt\n", {J("a.pDf.pdf", "b.PDf.pdf", "c.txt.pdf")}, ""},
        {"names are not carried over", ",", "0,1,2", "a,b,c\nd,e\nf,g,h\n",
            {J("a.pdf", "b.pdf", "c.pdf"), J("f.pdf", "g.pdf", "h.pdf")}, TooFew(2, 2)},
        {"empty line is skipped", ",", "0,1,2", "\na,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, TooFew(1, 0)},
        {"delimiter restored after a quoted line", ",", "0,1,2", "\"a,1\",b,c\nx|y,b,c\n",
            {J("a,1.pdf", "b.pdf", "c.pdf"), J("x|y.pdf", "b.pdf", "c.pdf")}, ""},
        {"'|' inside quotes splits", ",", "0,1,2", "\"a|b\",c\n", {J("a.pdf", "b.pdf", "c.pdf")}, ""},
        {"over-long line: its rest is a line", ",", "0,1,2", "a," + std::string(251, 'z') + ",c,d\n",
            {}, TooFew(1, 2) + TooFew(2, 2)},
        {"20 entries", ",", "0,1,2" + Repeat(",0", 17), "a,b,c\n", {J("a.pdf", "b.pdf", "c.pdf")}, kExtraNames},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(row.delimiter, row.useColumns, out);
        const ListRun run = RunBytes(row.bytes, "-listdelim");
        EXPECT_EQ(run.result, 2);
        EXPECT_EQ(run.jobs, row.jobs);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(g_listDelim, row.delimiter);
    }
}

// Names that would not fit 255 characters are refused, never cut; the list goes on.
TEST_F(ListFileTest, LongNamesAreRefused)
{
    struct Row {
        const char* name;
        std::string useColumns;
        std::string outFolder;
        std::vector<std::string> lines;
        Jobs jobs;
        std::string out;
    };
    const std::string folder = m_folder.path() + "/o";
    const size_t fitting = kMaxNameLength - folder.size() - 1 - 4; // output name that just fits
    const std::string x251(251, 'x');
    const std::string x252(252, 'x');
    const std::string accented = "a" + Repeat("\xC3\xA9", 130);
    const std::vector<Row> rows = {
        {"input of 255 with .pdf added", "0,1,2", folder, {x251 + ",b,c"}, {Into(folder, x251 + ".pdf", "b.pdf", "c.pdf")}, ""},
        {"input of 256 with .pdf added", "0,1,2", folder, {x252 + ",b,c"}, {}, TooLong(1, x252)},
        {"input of 255 with its own .pdf", "0,1,2", folder, {x251 + ".pdf,b,c"}, {Into(folder, x251 + ".pdf", "b.pdf", "c.pdf")}, ""},
        {"second input of 256", "0,1,2", folder, {"a," + x252 + ",c"}, {}, TooLong(1, x252)},
        {"output of 255", "0,1,2", folder, {"a,b," + std::string(fitting, 'o')},
            {Into(folder, "a.pdf", "b.pdf", std::string(fitting, 'o') + ".pdf")}, ""},
        {"output of 256", "0,1,2", folder, {"a,b," + std::string(fitting + 1, 'o')}, {},
            TooLong(1, folder + "/" + std::string(fitting + 1, 'o'))},
        {"output of 255 without -listout", "0,0,0", "", {std::string(250, 'r')},
            {Into("", std::string(250, 'r') + ".pdf", std::string(250, 'r') + ".pdf", std::string(250, 'r') + ".pdf")}, ""},
        {"output of 256 without -listout", "0,0,0", "", {x251}, {}, TooLong(1, "/" + x251)},
        {"the list goes on", "0,1,2", folder, {x252 + ",b,c", "a,b,c"}, {Into(folder, "a.pdf", "b.pdf", "c.pdf")}, TooLong(1, x252)},
        {"a fourth name is never checked", "0,1,2,3", folder, {"a,b,c," + std::string(300, 'q')},
            {Into(folder, "a.pdf", "b.pdf", "c.pdf")}, kExtraNames},
        {"message not cut inside a character", "0,1,2", folder, {accented + ",b,c"}, {},
            "Name too long (over 255 characters) in list line 1, line skipped: 'a" + Repeat("\xC3\xA9", 29) + "...'\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(",", row.useColumns, row.outFolder);
        Jobs jobs;
        CStdoutCapture capture;
        {
            CListDriver driver("-listdelim", Recorder(jobs));
            for (const std::string& line : row.lines)
                driver.RunLine(line);
        }
        const std::string out = capture.Finish();
        EXPECT_EQ(jobs, row.jobs);
        EXPECT_EQ(out, row.out);
    }
}

// Read from a file, a 252-character field cannot take ".pdf" either.
TEST_F(ListFileTest, LongNameFromAListFile)
{
    SetOptions(",", "0,0,0", "");
    const ListRun run = RunBytes(std::string(252, 'x') + "\r\na,b,c\n", "-listdelim");
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.jobs, (Jobs{Into("", "a.pdf", "a.pdf", "a.pdf")}));
    EXPECT_EQ(run.out, TooLong(1, std::string(252, 'x')));
}

// A line of 10,000 fields is read in chunks of 254 characters; each chunk is a line of its own.
TEST_F(ListFileTest, CsvLineOfTenThousandFields)
{
    const std::string out = m_folder.path() + "/out";
    SetOptions(",", "1,2,3", out);
    const ListRun run = RunBytes(Repeat("ab,", 9999) + "ab\n", "-listdelim");
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.jobs, Jobs(119, Into(out, "ab.pdf", "ab.pdf", "ab.pdf"))); // 29,999 characters
    EXPECT_EQ(run.out, "");
}

// Given whole, such a line is split once and every index finds its field.
TEST_F(ListFileTest, WholeLineOfTenThousandFields)
{
    struct Row {
        const char* name;
        std::string useColumns;
        std::string line;
        Job job;
    };
    std::string numbered = "f0";
    for (int i = 1; i < 10000; ++i)
        numbered += ",f" + std::to_string(i);
    const std::vector<Row> rows = {
        {"numbered fields", "9999,0,5000", numbered, Into("", "f9999.pdf", "f0.pdf", "f5000.pdf")},
        {"10,000 commas: 9,999 blank fields", "0,5000,9998", std::string(10000, ','), Into("", " .pdf", " .pdf", " .pdf")},
        {"quoted fields", "0,9999,1", "\"q,0\"," + Repeat("\"a\",", 9998) + "\"z,9\"", Into("", "q,0.pdf", "z,9.pdf", "a.pdf")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(",", row.useColumns, "");
        Jobs jobs;
        CStdoutCapture capture;
        CListDriver("-listdelim", Recorder(jobs)).RunLine(row.line);
        EXPECT_EQ(capture.Finish(), "");
        EXPECT_EQ(jobs, Jobs{row.job});
    }
}

// A column table that cannot be built ends the run at the first line, before its job.
TEST_F(ListFileTest, ColumnTableFailuresEndTheRun)
{
    struct Row {
        const char* name;
        std::string useColumns;
        std::string bytes;
        std::string message; // empty: no failure
    };
    const std::string tooMany = "Too many columns specified in csv/txt file.  max is 20";
    const std::string tooLong = "Column list of -listusecol is longer than 255 characters";
    const std::vector<Row> rows = {
        {"21 entries", "0,1,2" + Repeat(",3", 18), "a,b,c\nd,e,f\n", tooMany},
        {"21 entries after a quoted line's change of delimiter", Repeat("1,", 20) + "1", "\"a\",b,c\n", tooMany},
        {"21 entries, empty list", Repeat("1,", 20) + "1", "", ""},
        {"256 characters", "0,1,2," + std::string(250, ' '), "a,b,c\n", tooLong},
        {"256 commas", std::string(256, ','), "a,b,c\n", tooLong},
        {"255 characters", "0,1," + std::string(250, ' ') + "2", "a,b,c\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetOptions(",", row.useColumns, "");
        const std::string path = m_folder.WriteFile("list.csv", row.bytes);
        Jobs jobs;
        std::string message;
        int result = 0;
        CStdoutCapture capture;
        try {
            result = RunListFile(path.c_str(), "-listdelim", Recorder(jobs));
        } catch (const CPdfException& failure) {
            message = failure.what();
        }
        EXPECT_EQ(capture.Finish(), "");
        EXPECT_EQ(result, row.message.empty() ? 2 : 0);
        EXPECT_EQ(message, row.message);
        EXPECT_EQ(jobs.empty(), !row.message.empty() || row.bytes.empty());
        EXPECT_EQ(g_listDelim, ",");
    }
}

TEST_F(ListFileTest, ColumnTable)
{
    struct Row {
        const char* name;
        std::string text;
        std::vector<int32_t> columns;
    };
    constexpr int32_t kMax = 2147483647;
    constexpr int32_t kMin = -kMax - 1;
    const std::vector<Row> rows = {
        {"empty", "", {}},
        {"three", "0,1,2", {0, 1, 2}},
        {"order kept", "2,0,5", {2, 0, 5}},
        {"empty pieces do not count", ",,1,,2,", {1, 2}},
        {"commas only", ",", {}},
        {"no number is 0", "x,3", {0, 3}},
        {"leading white space", " 7,\t\v\f\r\n8", {7, 8}},
        {"plus sign", "+4", {4}},
        {"negative", "-1", {-1}},
        {"digits up to a letter", "12abc", {12}},
        {"digits up to a blank", "1 2", {1}},
        {"two signs", "--5,+-5,- 5", {0, 0, 0}},
        {"largest", "2147483647", {kMax}},
        {"one past the largest saturates", "2147483648", {kMax}},
        {"smallest", "-2147483648", {kMin}},
        {"one past the smallest saturates", "-2147483649", {kMin}},
        {"far past 64 bits", "99999999999999999999999999", {kMax}},
        {"leading zeros", "0000000000000000000000000007", {7}},
        {"20 entries", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19",
            {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_listUseCol = row.text;
        ParseColumnList();
        ASSERT_EQ(g_columnCount, static_cast<int32_t>(row.columns.size()));
        EXPECT_EQ(std::vector<int32_t>(g_columns.begin(), g_columns.begin() + g_columnCount), row.columns);
    }
}

TEST_F(ListFileTest, ColumnSelection)
{
    struct Row {
        const char* name;
        std::string text;
        int32_t field;
        bool isSelected;
    };
    const std::vector<Row> rows = {
        {"listed", "3,0,-2", 3, true},
        {"listed 0", "3,0,-2", 0, true},
        {"listed negative", "3,0,-2", -2, true},
        {"not listed", "3,0,-2", 1, false},
        {"empty table selects nothing", "", 0, false},
        {"20th entry", Repeat("1,", 19) + "7", 7, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_listUseCol = row.text;
        ParseColumnList();
        EXPECT_EQ(IsColumnSelected(row.field), row.isSelected);
    }
}

// The "-listout" folder is created one level deep before the list is opened, in either mode.
TEST_F(ListFileTest, OutputFolderIsCreated)
{
    struct Row {
        const char* name;
        std::string delimiter;
        std::string outFolder; // under the scratch folder
        bool listExists;
        int result;
        bool isCreated;
    };
    const std::vector<Row> rows = {
        {"column mode", ",", "made", true, 2, true},
        {"plain mode", "", "plain", true, 2, true},
        {"before a missing list", ",", "early", false, 1, true},
        {"one level only", ",", "a/b", true, 2, false},
        {"existing folder", ",", "made", true, 2, true},
    };
    for (const Row& row : rows) {
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

std::string ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool HasQpdf()
{
    return std::system("qpdf --version > /dev/null 2>&1") == 0;
}

int PageCount(const std::string& path)
{
    const ProgramResult result = RunProgram("/usr/bin/env", {"qpdf", "--show-npages", path}, ".");
    return static_cast<int>(std::strtol(result.out.c_str(), nullptr, 10));
}

// A folder holding the three sample PDFs and a delimited list.
struct CSampleList {
    explicit CSampleList(const std::string& bytes)
    {
        for (const char* name : {"sample-a-classic.pdf", "sample-b-xrefstream.pdf", "sample-c-plain.pdf"})
            folder.WriteFile(name, ReadBytes(std::string(FOLIOBIND_SOURCE_DIR "/testdata/samples/") + name));
        folder.WriteFile("list.csv", bytes);
    }
    ProgramResult Run() const
    {
        return RunProgram(FOLIOBIND_EXE,
            {"list.csv", "-listdelim", ",", "-listusecol", "0,1,2", "-listout", "out", "-quiet"}, folder.path());
    }
    CScratchFolder folder;
};

} // namespace

// The built program in column mode: one output per line, a short line skipped on the way.
TEST(ListFileProgram, ColumnModeWritesOneOutputPerLine)
{
    const CSampleList samples("sample-a-classic.pdf,sample-b-xrefstream,ab\r\n"
                              "only-one\r\n"
                              "\"sample-c-plain\",sample-a-classic,ca.PDF\r\n");
    const ProgramResult result = samples.Run();
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_NE(result.out.find(TooFew(2, 1)), std::string::npos) << result.out;
    const std::string out = samples.folder.path() + "/out/";
    EXPECT_EQ(ReadBytes(out + "ab.pdf").compare(0, 5, "%PDF-"), 0);
    EXPECT_EQ(ReadBytes(out + "ca.PDF").compare(0, 5, "%PDF-"), 0);
    if (!HasQpdf())
        GTEST_SKIP() << "qpdf not installed: page counts not checked";
    EXPECT_EQ(PageCount(out + "ab.pdf"), 5);
    EXPECT_EQ(PageCount(out + "ca.PDF"), 4);
}

// A job that fails with an exception ends the run; the lines after it are not processed.
TEST(ListFileProgram, FailingJobEndsTheList)
{
    const CSampleList samples("missing,sample-a-classic,first\n"
                              "sample-a-classic,sample-b-xrefstream,later\n");
    const ProgramResult result = samples.Run();
    EXPECT_EQ(result.exitStatus, ShellStatus(-2)) << result.out;
    std::ifstream later(samples.folder.path() + "/out/later.pdf");
    EXPECT_FALSE(later.good());
}
