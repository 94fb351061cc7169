// The list driver: turns a list file (plain or delimited) into one append job per line.
//
// Plain list, "Foliobind list.txt -oout.pdf": every line names a file appended onto out.pdf.
// Delimited list, "Foliobind list.csv -listdelim , -listusecol 2,0,5 -listout out": on every
// line field 2 is the first input, field 0 the second and field 5 the output name in out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/JobOutcome.h"
#include "cli/ListReadAhead.h"
#include "platform/Replace.h"

// Runs one job: the second file appended onto the first; outputArg is null (in place) or "-o"
// followed by the output name. The texts are valid only during the call.
using ListJobRunner = std::function<JobOutcome(const char* file1, const char* file2, const char* outputArg)>;

// listName is argument 1, secondArg argument 2; argc and argv are passed on to each job.
// Returns 0 when listName is not a list file (nothing done), 1 when the driver stopped with a
// message of its own, 2 when the list was processed, and kListLeftFilesOut when a plain list was
// processed but not all its files were appended (page filters aside): it then ends with a line
// that says how many were not, and the run with the exit status -2. A CPdfException from a job
// passes through.
constexpr int kListLeftFilesOut = 3;
int RunListFile(const char* listName, const char* secondArg, int argc, char** argv);
// The same, with each job handed to runJob instead of a fresh CFoliobind.
int RunListFile(const char* listName, const char* secondArg, const ListJobRunner& runJob,
                const std::function<uint32_t()>& finish = nullptr);

// The lines of one list turned into jobs. The delimiter in g_listDelim at construction is the
// list's own; a line may change g_listDelim for itself, and it is restored before every line and
// when the driver goes away.
class CListDriver {
public:
    // secondArg is argument 2: "-o" and the output name in plain mode.
    CListDriver(const char* secondArg, ListJobRunner runJob);
    ~CListDriver();
    CListDriver(const CListDriver&) = delete;
    CListDriver& operator=(const CListDriver&) = delete;

    // The list file itself, which no output of a column line may overwrite.
    void SetListName(std::string listName) { m_listName = std::move(listName); }
    // Every line of an open list, read in chunks of at most 254 characters: a longer line is
    // taken as several lines. A UTF-8 byte-order mark before the first line is skipped.
    void RunLines(FILE* list);
    // One line as read: it ends at its first CR, LF or zero byte.
    void RunLine(std::string line);
    // Runs when the lines are done, before the count: the lines whose result was lost.
    void SetFinisher(std::function<uint32_t()> finish) { m_finish = std::move(finish); }
    // A plain list that left files out says so, and true then: the run's status becomes -2.
    bool Finish();

private:
    struct CNames {
        std::string file1;
        std::string file2;
        std::string outputArg;
    };

    // A line read from the list (without its line end), and the count of this run's renames when it was.
    struct CReadLine {
        std::string text;
        uint64_t replaceCount = 0;
    };

    // A line without its line end, with the file that was read ahead for it (or null).
    void RunLine(std::string line, const CReadAheadFile* file, uint64_t replaceCount);
    void RunPlainLine(const std::string& line, const CReadAheadFile* read, uint64_t replaceCount);
    const CFileIdentity& OutputIdentity();
    void RunColumnLine(std::string line);
    bool IsSafeOutput(const std::string& field, const std::string& path) const;
    bool PickNames(const std::vector<std::string_view>& fields, CNames& names) const;
    bool TakeName(int position, std::string name, CNames& names) const;

    std::string m_plainOutput;  // the output name of a plain list
    CFileIdentity m_outputIdentity; // as looked up last, while no rename of this run came after
    uint64_t m_outputReplaceCount = UINT64_MAX;
    std::string m_outputFolder; // "-listout", as it was when the list started
    std::string m_savedDelim;
    std::string m_listName;
    ListJobRunner m_runJob;
    std::function<uint32_t()> m_finish;
    uint32_t m_lineNumber = 0;
    uint32_t m_listedCount = 0;  // plain lines, each naming one file
    uint32_t m_notAppended = 0;  // of them, files not appended for a reason other than a page filter
    bool m_isStopped = false;    // the output could not be replaced: later lines only count
};
