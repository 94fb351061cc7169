// List driver fuzz target: bytes read as a delimited list, or given whole as one line, through
// column mode with a recording job runner. The first two bytes pick the delimiter, the column
// list, the output folder and the reading. Every job must carry names that fit 255 characters,
// hold no delimiter and name a PDF; only a bad column list may throw, and before any job.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/Globals.h"
#include "cli/ListFile.h"
#include "pdf/Exception.h"
#include "platform/File.h"

namespace {

constexpr size_t kMaxInput = 64 * 1024;

const char* const kDelimiters[] = {",", ";", "|", ",;", "\t", " \""};
const std::string kColumnLists[] = {
    "0,1,2", "2,0,5", "", "1,1,1,1", "-1,99999999999,0", " +3,x,,1", "7,0,3,2",
    "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19",
    "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20", // 21 entries: throws
    "0,1," + std::string(252, ' '),                            // 256 characters: throws
};
constexpr size_t kBadColumnLists = 2; // the last two
const std::string kFolders[] = {"", "out", std::string(240, 'd')};

template <typename T, size_t N>
constexpr size_t CountOf(const T (&)[N])
{
    return N;
}

bool HasPdfSpelling(const char* name)
{
    return std::strstr(name, ".pdf") || std::strstr(name, ".PDF") || std::strstr(name, ".Pdf");
}

bool IsGoodName(const char* name)
{
    return std::strlen(name) <= kMaxNameLength && HasPdfSpelling(name) &&
        std::strpbrk(name, g_listDelim.c_str()) == nullptr;
}

void CheckJob(const char* file1, const char* file2, const char* outputArg)
{
    if (!file1 || !file2 || !outputArg || std::strncmp(outputArg, "-o", 2) != 0)
        std::abort();
    if (!IsGoodName(file1) || !IsGoodName(file2))
        std::abort();
    if (std::strlen(outputArg + 2) > kMaxNameLength || !HasPdfSpelling(outputArg))
        std::abort();
}

// Runs the driver over body; returns the number of jobs, or -1 when it threw.
long RunDriver(const std::string& body, bool isWholeLine)
{
    long jobs = 0;
    try {
        CListDriver driver("-listdelim", [&jobs](const char* file1, const char* file2, const char* outputArg) {
            CheckJob(file1, file2, outputArg);
            ++jobs;
            return JobOutcome::Done;
        });
        if (isWholeLine) {
            driver.RunLine(body);
        } else {
            CFileHandle list(fmemopen(const_cast<char*>(body.data()), body.size(), "rb"));
            if (list)
                driver.RunLines(list.get());
        }
    } catch (const CPdfException&) {
        if (jobs != 0)
            std::abort();
        return -1;
    }
    return jobs;
}

} // namespace

// The driver's messages would flood the fuzzer's log.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 || size > kMaxInput)
        return 0;
    const std::string delimiter = kDelimiters[data[0] % CountOf(kDelimiters)];
    const size_t columnList = data[1] % CountOf(kColumnLists);
    const bool isWholeLine = (data[2] & 1) != 0;
    g_listDelim = delimiter;
    g_listUseCol = kColumnLists[columnList];
    g_listOut = kFolders[(data[2] >> 1) % CountOf(kFolders)];
    const std::string body(reinterpret_cast<const char*>(data) + 3, size - 3);

    const long jobs = RunDriver(body, isWholeLine);
    const bool isBadList = columnList >= CountOf(kColumnLists) - kBadColumnLists;
    if (g_listDelim != delimiter || (jobs < 0 && !isBadList) || (jobs > 0 && isBadList))
        std::abort();
    if (isWholeLine && jobs > 1)
        std::abort();
    return 0;
}
