// Shared by the append fuzz targets: one whole append run, quiet, with the fuzzed bytes as the
// first or the second input and a small valid one-page PDF as the other, into a scratch output.
// Files live under /dev/shm when it exists (else TMPDIR or /tmp), named by process id so
// parallel fuzzing jobs do not meet.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "pdf/Exception.h"

namespace appendfuzz {

constexpr size_t kMaxInput = 256 * 1024;

// A copy of testdata/samples/sample-c-plain.pdf, so the targets run from any folder.
constexpr char kSample[] =
    "%PDF-1.4\n"
    "%\342\343\317\323\n"
    "1 0 obj\n"
    "<< /Type /Catalog /Pages 2 0 R >>\n"
    "endobj\n"
    "2 0 obj\n"
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>\n"
    "endobj\n"
    "3 0 obj\n"
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>\n"
    "endobj\n"
    "4 0 obj\n"
    "<<  /Length 46 >>\n"
    "stream\n"
    "BT /F1 24 Tf 72 720 Td (Sample C page 1) Tj ET\n"
    "endstream\n"
    "endobj\n"
    "5 0 obj\n"
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>\n"
    "endobj\n"
    "xref\n"
    "0 6\n"
    "0000000000 65535 f\r\n"
    "0000000015 00000 n\r\n"
    "0000000064 00000 n\r\n"
    "0000000121 00000 n\r\n"
    "0000000247 00000 n\r\n"
    "0000000344 00000 n\r\n"
    "trailer\n"
    "<< /Size 6 /Root 1 0 R >>\n"
    "startxref\n"
    "414\n"
    "%%EOF\n";

inline std::string ScratchPath(const char* suffix)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp && *tmp ? tmp : "/tmp");
    return folder + "/foliobind-fuzz-" + std::to_string(getpid()) + suffix;
}

inline bool WriteFile(const std::string& path, const void* data, size_t size)
{
    CFileHandle file;
    if (!file.Open(path, "wb"))
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file.get()) == size;
    return file.Close() && written;
}

inline void RemoveScratchFiles()
{
    for (const char* suffix : {"-sample.pdf", "-input.pdf", "-output.pdf"})
        std::remove(ScratchPath(suffix).c_str());
}

inline int Run(const uint8_t* data, size_t size, bool fuzzedFirst)
{
    if (size > kMaxInput)
        return 0;
    static const std::string samplePath = ScratchPath("-sample.pdf");
    static const bool sampleWritten =
        WriteFile(samplePath, kSample, sizeof kSample - 1) && std::atexit(RemoveScratchFiles) == 0;
    const std::string fuzzedPath = ScratchPath("-input.pdf");
    const std::string outputArg = "-o" + ScratchPath("-output.pdf");
    if (!sampleWritten || !WriteFile(fuzzedPath, data, size))
        std::abort();
    const std::string& file1 = fuzzedFirst ? fuzzedPath : samplePath;
    const std::string& file2 = fuzzedFirst ? samplePath : fuzzedPath;
    char* argv[] = {const_cast<char*>("Foliobind"), const_cast<char*>(file1.c_str()),
                    const_cast<char*>(file2.c_str()), const_cast<char*>(outputArg.c_str()),
                    const_cast<char*>("-quiet"), nullptr};
    try {
        CFoliobind job;
        job.Append(file1.c_str(), file2.c_str(), outputArg.c_str(), 5, argv);
    } catch (const CPdfException&) {
    }
    return 0;
}

} // namespace appendfuzz
