// Files and checks shared by the job and list tests: PDFs of a given page count, the temporary
// files a job leaves in a folder, qpdf's page count, and running the program as an ordinary user
// so that file permissions hold even when the tests run as root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

// A classic PDF of `pages` pages, each with a small content stream naming label and its number.
std::string PagesPdf(uint32_t pages, const std::string& label);

// The bytes of a file; "" when it cannot be read. Sets *exists when given.
std::string FileBytes(const std::string& path, bool* exists = nullptr);

// Names in folder that begin with "temp_" (temporary outputs and copies).
std::vector<std::string> TemporaryFiles(const std::string& folder);

// Whether actual is expected, where "{temp}" in expected stands for "temp_", hex digits, ".tmp".
bool OutputMatches(const std::string& actual, const std::string& expected);

// The page count qpdf reads from path; -1 when qpdf is not installed. A file qpdf does not read
// cleanly fails the test (and gives -1), so a caller cannot mistake it for a missing qpdf.
int QpdfPages(const std::string& path);

// Runs the program with args in folder as an ordinary user: as root, through setpriv as uid and
// gid 65534; otherwise directly. False (and nothing run) when root but setpriv is missing.
bool RunUnprivileged(const std::vector<std::string>& args, const std::string& folder, ProgramResult& result);
