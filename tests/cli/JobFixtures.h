// Files and checks shared by the append-job tests: PDFs of a given page count, the temporary
// files a job leaves in a folder, and running the program as an unprivileged user so that
// file permissions hold even when the tests run as root.
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

// Whether actual is expected, where "{temp}" in expected stands for a temporary name: "temp_",
// hex digits, ".tmp".
bool OutputMatches(const std::string& actual, const std::string& expected);

// The run announcement and progress line of an in-place job, as printed without "-quiet".
std::string InPlaceAnnouncement(const std::string& file1, const std::string& file2);

// Runs the program with args in folder as an ordinary user: as root, through setpriv as uid and
// gid 65534; otherwise directly. False (and nothing run) when root but setpriv is missing.
bool RunUnprivileged(const std::vector<std::string>& args, const std::string& folder, ProgramResult& result);
