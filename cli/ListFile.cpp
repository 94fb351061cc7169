#include "cli/ListFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "cli/ColumnList.h"
#include "cli/Diagnostics.h"
#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "cli/ListReadAhead.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "platform/Replace.h"

namespace {

constexpr int kLineChunk = 255; // fgets limit: 254 characters and the terminating zero
constexpr int kNamesPerLine = 3; // first input, second input, output
constexpr size_t kShownNameLength = 60;

constexpr const char* kNoOutputText = "please specify -o for output filename, e.g. -oc:\\test.pdf\n";
constexpr const char* kNoListText = "Unable to open file list: '%s'\r\n";
constexpr const char* kExtraNamesText = "Too many columns specified\n";
constexpr const char* kTooFewNamesText = "Too few columns in list line %u (%d of 3 names), line skipped\r\n";
constexpr const char* kLongNameText =
    "Name too long (over 255 characters) in list line %u, line skipped: '%s...'\r\n";
constexpr const char* kOwnOutputText = "Output file is one of the input files, nothing written: '%s'\r\n";
constexpr const char* kNotAppendedText = "%u of %u listed files not appended to '%s'\r\n";
constexpr const char* kOutsideFolderText =
    "Output name leaves the -listout folder in list line %u, line skipped: '%s'\r\n";
constexpr const char* kListAsOutputText = "Output file is the list file in list line %u, line skipped: '%s'\r\n";
constexpr const char kByteOrderMark[] = "\xEF\xBB\xBF";
// A plain list's lines are read this many ahead, and their files read ahead up to this many
// bytes not yet taken: enough to keep the reading thread ahead, waking it once in a while.
constexpr size_t kLinesAhead = 32;
constexpr size_t kReadAheadBytes = 16 * 1024 * 1024;

// A line as read ends at its first CR, LF or zero byte.
std::string WithoutLineEnd(std::string line)
{
    const size_t end = line.find_first_of(std::string_view("\r\n\0", 3));
    if (end != std::string::npos)
        line.resize(end);
    return line;
}

// A list is named by its extension: ".tx" or ".cs" where a four-character extension starts
// (case-sensitive). Names of four characters or fewer have no room for "x" plus an extension
// and are taken as lists.
bool IsListName(const char* name)
{
    const size_t length = std::strlen(name);
    if (length < 5)
        return true;
    const char* extension = name + length - 4;
    return std::memcmp(extension, ".tx", 3) == 0 || std::memcmp(extension, ".cs", 3) == 0;
}

// A field names a PDF file unless it says so in one of the three usual spellings.
std::string WithPdfExtension(std::string_view field)
{
    std::string name(field);
    if (name.find(".pdf") == std::string::npos && name.find(".PDF") == std::string::npos &&
        name.find(".Pdf") == std::string::npos)
        name += ".pdf";
    return name;
}

// The start of an over-long name for a message, not cut inside a UTF-8 sequence.
std::string ShownName(const std::string& name)
{
    size_t length = std::min(name.size(), kShownNameLength);
    while (length > 0 && length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    return name.substr(0, length);
}

// The jobs of a plain list: each line a job of its own until one has appended onto the output;
// from then on one engine keeps the output and appends every line onto it.
class CPlainListJobs {
public:
    CPlainListJobs(int argc, char** argv, bool isOwnOutput) : m_argc(argc), m_argv(argv), m_isOwnOutput(isOwnOutput) {}

    JobOutcome Run(const char* file1, const char* file2, const char* outputArg)
    {
        if (m_kept && !outputArg) {
            m_kept->AppendOwn(file1, file2, m_argc, m_argv);
            const JobOutcome outcome = m_kept->LastOutcome();
            if (outcome == JobOutcome::Fatal) // the output could not be written: earlier lines are lost too
                m_lostLines += m_kept->FinishOwnOutput(nullptr);
            if (!m_kept->HasOwnOutput())
                m_kept.reset();
            return outcome;
        }
        auto job = std::make_unique<CFoliobind>();
        if (m_isOwnOutput && !outputArg)
            job->SetOwnOutput();
        job->Append(file1, file2, outputArg, m_argc, m_argv);
        const JobOutcome outcome = job->LastOutcome();
        if (outcome == JobOutcome::Done && job->HasAppended() && !outputArg && !m_isKeepRefused)
            Keep(file1);
        return outcome;
    }

    // Writes the kept output one last time; the appended lines whose result was lost.
    uint32_t Finish(const std::string& output)
    {
        return m_lostLines + (m_kept ? m_kept->FinishOwnOutput(output.c_str()) : 0);
    }

private:
    void Keep(const char* output)
    {
        auto kept = std::make_unique<CFoliobind>();
        if (m_isOwnOutput)
            kept->SetOwnOutput();
        if (kept->KeepOutput(output, m_argc, m_argv))
            m_kept = std::move(kept);
        else
            m_isKeepRefused = true;
    }

    int m_argc;
    char** m_argv;
    bool m_isOwnOutput;
    bool m_isKeepRefused = false;
    uint32_t m_lostLines = 0;
    std::unique_ptr<CFoliobind> m_kept;
};

JobOutcome RunFoliobindJob(const char* file1, const char* file2, const char* outputArg, int argc, char** argv)
{
    auto job = std::make_unique<CFoliobind>();
    job->Append(file1, file2, outputArg, argc, argv);
    return job->LastOutcome();
}

// An output field that climbs out of the output folder: absolute, or with a ".." part.
bool LeavesFolder(const std::string& field)
{
    if (field.empty())
        return false;
    if (field[0] == '/' || field[0] == '\\' || (field.size() >= 2 && field[1] == ':'))
        return true;
    const std::vector<std::string_view> parts = SplitFields(field, "/\\");
    return std::any_of(parts.begin(), parts.end(), [](std::string_view part) { return part == ".."; });
}

// True unless the file is certainly missing.
bool MayExist(const char* path)
{
    CFileHandle probe;
    return probe.Open(path, "rb") || errno != ENOENT;
}

} // namespace

int RunListFile(const char* listName, const char* secondArg, int argc, char** argv)
{
    if (!g_listDelim.empty()) {
        return RunListFile(listName, secondArg, [argc, argv](const char* file1, const char* file2,
                                                             const char* outputArg) {
            return RunFoliobindJob(file1, file2, outputArg, argc, argv);
        });
    }
    // A plain list's output that is missing now will be this run's own work: each line may
    // replace it without waiting for the disk, since the listed files can make it again.
    const bool isOwnOutput = std::strncmp(secondArg, "-o", 2) == 0 && !MayExist(secondArg + 2);
    CPlainListJobs jobs(argc, argv, isOwnOutput);
    const std::string output = std::strncmp(secondArg, "-o", 2) == 0 ? secondArg + 2 : "";
    return RunListFile(
        listName, secondArg,
        [&jobs](const char* file1, const char* file2, const char* outputArg) {
            return jobs.Run(file1, file2, outputArg);
        },
        [&jobs, &output]() { return jobs.Finish(output); });
}

int RunListFile(const char* listName, const char* secondArg, const ListJobRunner& runJob,
                const std::function<uint32_t()>& finish)
{
    if (!IsListName(listName))
        return 0;
    if (std::strncmp(secondArg, "-o", 2) != 0 && g_listDelim.empty()) {
        std::printf("%s", kNoOutputText);
        return 1;
    }
    // Only the last level is created; a folder that exists already does no harm.
    if (!g_listOut.empty())
        PlatformMakeFolder(g_listOut);
    CFileHandle list;
    if (!list.Open(listName, "rb")) {
        const int error = errno;
        std::printf(kNoListText, listName);
        DiagnoseError(listName, "cannot open the list", error);
        return 1;
    }
    // A plain list replaces its output again and again: the replaced versions are let go beside it.
    std::optional<CLateReleaseScope> lateRelease;
    if (g_listDelim.empty())
        lateRelease.emplace();
    CListDriver driver(secondArg, runJob);
    driver.SetListName(listName);
    if (finish)
        driver.SetFinisher(finish);
    driver.RunLines(list.get());
    return driver.Finish() ? kListLeftFilesOut : 2;
}

CListDriver::CListDriver(const char* secondArg, ListJobRunner runJob)
    : m_outputFolder(g_listOut), m_savedDelim(g_listDelim), m_runJob(std::move(runJob))
{
    if (std::strncmp(secondArg, "-o", 2) == 0)
        m_plainOutput = secondArg + 2;
}

CListDriver::~CListDriver()
{
    g_listDelim = m_savedDelim;
}

void CListDriver::RunLines(FILE* list)
{
    // A plain list's files are read ahead on a thread of their own, some lines at a time.
    std::unique_ptr<CListReadAhead> readAhead;
    if (m_savedDelim.empty())
        readAhead = std::make_unique<CListReadAhead>(kReadAheadBytes);
    std::deque<CReadLine> lines;
    std::string chunk(kLineChunk, '\0');
    bool isFirst = true;
    bool isListEnd = false;
    for (;;) {
        if (lines.size() <= kLinesAhead / 2 && !isListEnd) {
            std::vector<std::string> paths;
            while (lines.size() < kLinesAhead) {
                if (!std::fgets(chunk.data(), kLineChunk, list)) {
                    isListEnd = true;
                    break;
                }
                // Lists saved by common Windows editors begin with a byte-order mark.
                const bool hasMark = isFirst && chunk.compare(0, 3, kByteOrderMark) == 0;
                isFirst = false;
                // The chunk ends at the zero byte that fgets wrote; the line, at its first line end.
                lines.push_back({WithoutLineEnd(chunk.c_str() + (hasMark ? 3 : 0)), PlatformReplaceCount()});
                if (readAhead)
                    paths.push_back(lines.back().text);
            }
            if (readAhead)
                readAhead->Queue(paths);
        }
        if (lines.empty())
            return;
        CReadLine line = std::move(lines.front());
        lines.pop_front();
        CReadAheadFile file;
        const bool isRead = readAhead && readAhead->Take(file);
        RunLine(std::move(line.text), isRead ? &file : nullptr, line.replaceCount);
        if (isRead)
            readAhead->GiveBack(std::move(file));
    }
}

bool CListDriver::Finish()
{
    if (m_finish)
        m_notAppended += m_finish();
    if (!m_savedDelim.empty() || m_notAppended == 0)
        return false;
    std::printf(kNotAppendedText, m_notAppended, m_listedCount, m_plainOutput.c_str());
    return true;
}

void CListDriver::RunLine(std::string line)
{
    RunLine(WithoutLineEnd(std::move(line)), nullptr, 0);
}

void CListDriver::RunLine(std::string line, const CReadAheadFile* file, uint64_t replaceCount)
{
    ++m_lineNumber;
    g_listDelim = m_savedDelim;
    if (g_listDelim.empty())
        RunPlainLine(line, file, replaceCount);
    else
        RunColumnLine(std::move(line));
}

// A plain list runs a job for every line, an empty one included. A line that names the output
// itself is refused (the output would be appended onto itself); once the output could not be
// replaced, the lines left are only counted, so that no later file lands on an output that
// misses an earlier one.
void CListDriver::RunPlainLine(const std::string& line, const CReadAheadFile* read, uint64_t replaceCount)
{
    ++m_listedCount;
    if (m_isStopped) {
        ++m_notAppended;
        return;
    }
    const CListLineContext context(m_lineNumber);
    CFileIdentity file;
    CHeldBytes bytes;
    std::shared_ptr<CPdfReadAhead> ahead;
    if (read && read->path == line) {
        file = read->identity;
        bytes = read->bytes;
        ahead = read->ahead;
        // After a rename of this run the name may stand for the output: it is looked up again,
        // and the bytes are kept only when it still names the file they were read from.
        if (PlatformReplaceCount() != replaceCount) {
            const CFileIdentity now = PlatformIdentify(line);
            if (!now.IsSameFile(file) || now.size != file.size || now.isRegular != file.isRegular) {
                bytes = nullptr;
                ahead = nullptr;
            }
            file = now;
        }
    } else {
        file = PlatformIdentify(line);
    }
    if (file.IsSameFile(OutputIdentity())) {
        std::printf(kOwnOutputText, m_plainOutput.c_str());
        Diagnose(line, "is the output of this list");
        ++m_notAppended;
        return;
    }
    const CKnownRegularInput known(file.isRegular ? line : std::string(), file.size, std::move(bytes),
                                   std::move(ahead));
    const JobOutcome outcome = m_runJob(m_plainOutput.c_str(), line.c_str(), nullptr);
    if (outcome == JobOutcome::Failed || outcome == JobOutcome::Fatal)
        ++m_notAppended;
    m_isStopped = outcome == JobOutcome::Fatal;
}

// Only this run replaces the output while the list runs, and every replacement is a rename:
// the output is looked up again after one, and while it does not exist.
const CFileIdentity& CListDriver::OutputIdentity()
{
    const uint64_t replaced = PlatformReplaceCount();
    if (replaced != m_outputReplaceCount || !m_outputIdentity.exists) {
        m_outputIdentity = PlatformIdentify(m_plainOutput);
        m_outputReplaceCount = replaced;
    }
    return m_outputIdentity;
}

// The comma-separated rewrite may set the delimiter to "|" for this line only.
void CListDriver::RunColumnLine(std::string line)
{
    const CListLineContext context(m_lineNumber);
    RewriteCommaLine(line, g_listDelim);
    ParseColumnList();
    CNames names;
    if (!PickNames(SplitFields(line, g_listDelim.c_str()), names))
        return;
    m_runJob(names.file1.c_str(), names.file2.c_str(), names.outputArg.c_str());
}

// An output stays in the "-listout" folder and never overwrites the list being read.
bool CListDriver::IsSafeOutput(const std::string& field, const std::string& path) const
{
    const char* refusal = nullptr;
    if (LeavesFolder(field))
        refusal = kOutsideFolderText;
    else if (!m_listName.empty() && PlatformSameFile(path, m_listName))
        refusal = kListAsOutputText;
    if (!refusal)
        return true;
    std::printf(refusal, m_lineNumber, path.c_str());
    Diagnose(path, refusal == kOutsideFolderText ? "output outside the -listout folder" : "output is the list file");
    return false;
}

// Names are taken in the order of the column table, not of the fields. A slot whose field the
// line lacks picks nothing, and the next slot counts in its place. (A field above 0 is taken only
// when the table selects it, which the slot's own entry always does.) A line with fewer than
// three names is skipped rather than run with names left over from an earlier line.
bool CListDriver::PickNames(const std::vector<std::string_view>& fields, CNames& names) const
{
    int picked = 0;
    for (int32_t k = 0; k < g_columnCount; ++k) {
        const int32_t column = g_columns.at(static_cast<size_t>(k));
        if (column < 0 || static_cast<size_t>(column) >= fields.size())
            continue;
        if (++picked > kNamesPerLine) {
            std::printf("%s", kExtraNamesText);
            break;
        }
        if (!TakeName(picked, WithPdfExtension(fields.at(static_cast<size_t>(column))), names))
            return false;
    }
    if (picked < kNamesPerLine) {
        std::printf(kTooFewNamesText, m_lineNumber, picked);
        return false;
    }
    return true;
}

// A name that does not fit 255 characters is refused: cutting it would name another file.
bool CListDriver::TakeName(int position, std::string name, CNames& names) const
{
    const std::string field = name;
    if (position == kNamesPerLine)
        name = m_outputFolder + kFolderSeparator + name;
    if (name.size() > kMaxNameLength) {
        std::printf(kLongNameText, m_lineNumber, ShownName(name).c_str());
        Diagnose(ShownName(name) + "...", "name too long (over 255 characters)");
        return false;
    }
    if (position == kNamesPerLine && !IsSafeOutput(field, name))
        return false;
    if (position == 1)
        names.file1 = std::move(name);
    else if (position == 2)
        names.file2 = std::move(name);
    else
        names.outputArg = "-o" + name;
    return true;
}
