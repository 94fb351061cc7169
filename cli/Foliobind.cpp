#include "cli/Foliobind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/Globals.h"
#include "cli/InPlace.h"
#include "pdf/Exception.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "platform/Replace.h"

namespace {

// Reads "<prefix><integer>" as sscanf with "<prefix>%d" would: white space may follow the
// prefix, then an optional sign and digits; whatever follows them is ignored. Values beyond
// 32 bits saturate.
bool ReadOption(const char* argument, const char* prefix, int32_t& value)
{
    const size_t prefixLength = std::strlen(prefix);
    if (std::strncmp(argument, prefix, prefixLength) != 0)
        return false;
    const char* p = argument + prefixLength;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    int64_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        number = number > INT32_MAX ? number : number * 10 + (*p - '0');
    number = negative ? -number : number;
    value = static_cast<int32_t>(number > INT32_MAX ? INT32_MAX : (number < INT32_MIN ? INT32_MIN : number));
    return true;
}

constexpr const char* kNotEnoughPagesText = "Not enough pages in file: %s = %d\n";
constexpr const char* kTooManyPagesText = "Too many pages in file: %s = %d\n";
constexpr const char* kOtherPagesText = "Pages no equal to in file: %s = %d\n";
constexpr const char* kWrongOutputText = "Wrong program parameteres in output file, must precede with -o";
constexpr const char* kLongOutputText =
    "Output file name too long (over 255 characters), nothing written: '%s'\r\n";
constexpr const char* kLongTemporaryText =
    "Temporary file name too long (over 255 characters), nothing written: '%s'\r\n";
constexpr const char* kOutputIsInputText = "Output file is one of the input files, nothing written: '%s'\r\n";
constexpr const char* kUnreadableFirstText = "Unable to open file: '%s', err no: %d, nothing written\r\n";

// The temporary output of an in-place job: in the "-temp" folder, or the current one.
std::string TemporaryPath()
{
    const std::string name = TemporaryName();
    return g_tempPath.empty() ? name : g_tempPath + kFolderSeparator + name;
}

} // namespace

bool CFoliobind::Append(const char* file1, const char* file2, const char* outputArg, int argc, char** argv)
{
    ScanOptions(argc, argv);
    if (!PassesPageFilters(file1, file2, outputArg))
        return false;
    if (!outputArg)
        return AppendInPlace(file1, file2);
    if (std::strncmp(outputArg, "-o", 2) != 0)
        throw CPdfException(kWrongOutputText);
    const char* outputPath = outputArg + 2;
    if (std::strlen(outputPath) > kMaxNameLength) {
        std::printf(kLongOutputText, outputPath);
        return false;
    }
    // Writing over an input while it is read would destroy it; refused before anything opens.
    if (PlatformSameFile(outputPath, file1) || PlatformSameFile(outputPath, file2)) {
        std::printf(kOutputIsInputText, outputPath);
        return false;
    }
    RunAppend(file1, file2, outputPath);
    ReportDone();
    return true;
}

// The result goes to a temporary file first and takes file1's place only once complete. A
// missing file1 (and only a missing one) becomes a copy of file2.
bool CFoliobind::AppendInPlace(const char* file1, const char* file2)
{
    CFileHandle probe;
    if (!probe.Open(file1, "rb")) {
        const int error = errno;
        if (error != ENOENT) {
            std::printf(kUnreadableFirstText, file1, error);
            return false;
        }
        std::printf("File doesn't exist: '%s'\r\n", file1);
        return CopyFile(file1, file2);
    }
    probe.Close();
    const std::string temporaryPath = TemporaryPath();
    if (temporaryPath.size() > kMaxNameLength) {
        std::printf(kLongTemporaryText, temporaryPath.c_str());
        return false;
    }
    CTemporaryOutput temporary(temporaryPath, true);
    m_syncsOutput = !m_isOwnOutput;
    RunAppend(file1, file2, temporary.path().c_str());
    if (!PutInPlace(temporary, file1, m_syncsOutput))
        return false;
    ReportDone();
    return true;
}

void CFoliobind::ReportDone() const
{
    if (!m_quiet)
        std::printf(".\r\nDone.\r\n");
}

bool CFoliobind::ScanOptions(int argc, char** argv)
{
    m_noBookmarks = false;
    for (int index = 2; index < argc; ++index) {
        const char* argument = argv[index];
        if (ReadOption(argument, "-g", m_minPages) || ReadOption(argument, "-l", m_maxPages) ||
            ReadOption(argument, "-e", m_exactPages))
            continue;
        if (std::strcmp(argument, "-quiet") == 0)
            m_quiet = true;
        else if (std::strcmp(argument, "-nobookmarks") == 0)
            m_noBookmarks = true;
    }
    return true;
}

// A job runs only on files whose page counts pass "-g", "-l" and "-e": the second file, and
// the first too when the result goes to a named output.
bool CFoliobind::PassesPageFilters(const char* file1, const char* file2, const char* outputArg)
{
    if (m_minPages <= 0 && m_maxPages <= 0 && m_exactPages <= 0)
        return true;
    if (!PassesPageFilters(file2))
        return false;
    return !outputArg || PassesPageFilters(file1);
}

bool CFoliobind::PassesPageFilters(const char* fileName)
{
    const int64_t count = CountPages(fileName);
    const char* refusal = nullptr;
    if (m_minPages > 0 && count <= m_minPages)
        refusal = kNotEnoughPagesText;
    else if (m_maxPages > 0 && count >= m_maxPages)
        refusal = kTooManyPagesText;
    else if (m_exactPages > 0 && count != m_exactPages)
        refusal = kOtherPagesText;
    if (refusal)
        std::printf(refusal, fileName, static_cast<int>(count));
    return refusal == nullptr;
}

// The copy appears under destination only complete: written beside it, then renamed.
bool CFoliobind::CopyFile(const char* destination, const char* source) const
{
    CFileHandle input;
    if (!input.Open(source, "rb")) {
        std::printf("Error opening input file: '%s', err no: %d\n", source, errno);
        return false;
    }
    int error = 0;
    const CopyFailure failure = CopyBeside(input.get(), destination, error);
    if (failure == CopyFailure::Create)
        std::printf("Error opening output file: '%s', err no: %d\n", destination, error);
    else if (failure == CopyFailure::Read)
        std::printf("Error reading input file: '%s', err no: %d\n", source, error);
    else if (failure != CopyFailure::None)
        std::printf("Error writing output file: '%s', err no: %d\n", destination, error);
    if (failure != CopyFailure::None)
        return false;
    if (!m_quiet)
        std::printf("Copied file '%s' to '%s'\r\n", source, destination);
    return true;
}
