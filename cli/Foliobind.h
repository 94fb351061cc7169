// CFoliobind runs one append job: the second file appended onto the first, into a named
// output or in place through a temporary file. One object serves exactly one job.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/Document.h"

class CFoliobind {
public:
    CFoliobind() = default;
    virtual ~CFoliobind() = default;
    CFoliobind(const CFoliobind&) = delete;
    CFoliobind& operator=(const CFoliobind&) = delete;

    // outputArg is null or "-o" followed by the output name. True when the job finished.
    bool Append(const char* file1, const char* file2, const char* outputArg, int argc, char** argv);
    bool ScanOptions(int argc, char** argv);
    bool CopyFile(const char* destination, const char* source);
    // Page count of a file, read on its own; throws for unreadable, damaged or encrypted files.
    uint32_t CountPages(const char* fileName);
    // The whole append run into outputPath; every failure throws CPdfException.
    void RunAppend(const char* file1, const char* file2, const char* outputPath);

private:
    // Job options.
    CPdfDocument m_doc1;
    CPdfDocument m_doc2;
    int32_t m_minPages = 0;
    int32_t m_maxPages = 0;
    int32_t m_exactPages = 0;
    bool m_quiet = false;
    bool m_noBookmarks = false;
};
