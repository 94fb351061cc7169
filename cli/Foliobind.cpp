#include "cli/Foliobind.h"

#include <cstdio>
#include <cstring>

#include "pdf/Exception.h"

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

} // namespace

bool CFoliobind::Append(const char* file1, const char* file2, const char* outputArg, int argc, char** argv)
{
    ScanOptions(argc, argv);
    if (!PassesPageFilters(file1, file2, outputArg))
        return false;
    if (!outputArg)
        return false; // appending in place through a temporary file is not supported yet
    if (std::strncmp(outputArg, "-o", 2) != 0)
        throw CPdfException("Wrong program parameteres in output file, must precede with -o");
    RunAppend(file1, file2, outputArg + 2);
    if (!m_quiet)
        std::printf(".\r\nDone.\r\n");
    return true;
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

// The page-count filters ("-g", "-l", "-e") are not applied yet: every job runs.
bool CFoliobind::PassesPageFilters(const char*, const char*, const char*)
{
    return true;
}

// Copying the second file under the first file's name is not supported yet.
bool CFoliobind::CopyFile(const char*, const char*)
{
    return false;
}
