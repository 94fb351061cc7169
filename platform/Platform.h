// The few services the program needs from the operating system, in one place, so that the
// rest of the code reads the same on Windows and POSIX systems.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

// Moves a file to an absolute position; false when the system refuses.
bool PlatformSeek(FILE* file, uint64_t position);
// Reads up to length bytes at an absolute position of a regular file that is only read;
// returns how many were read (fewer at the end of the file or on an error). It passes by the C
// library's buffer where it can, and leaves the stream position unspecified. A read that comes
// back short is taken to have met the end, as it has on a regular file.
size_t PlatformReadAt(FILE* file, uint64_t position, char* destination, size_t length);
// Length of an open file in bytes (0 when it cannot be measured). Leaves the position unspecified.
uint64_t PlatformFileSize(FILE* file);
// True when the file is a terminal, where progress is shown as it happens.
bool PlatformIsTerminal(FILE* file);
// Creates one folder level; the result is ignored by callers that only want it to exist.
bool PlatformMakeFolder(const std::string& path);
// A name unique to this process and moment, without any folder part (stands in for tmpnam).
std::string PlatformUniqueName();
