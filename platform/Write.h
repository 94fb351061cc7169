// Writing to output files: every byte the program writes to a PDF output or a copy goes
// through PlatformWrite, so that tests can make a write fail part-way through, as a full disk
// would, and check that no input is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// fwrite of length bytes; the number written (short, with errno set, when a write failed).
size_t PlatformWrite(const void* data, size_t length, FILE* file);

// Has the system copy length bytes of source from position to the end of destination, file to
// file, without passing them through this process. Returns how many it copied: fewer (0 where
// the system has no such copy, or the files are on different kinds of file system) leaves the
// rest to ordinary writes, which report any write error. Both files are left positioned for
// further writing and reading by position.
size_t PlatformCopyRange(FILE* source, uint64_t position, size_t length, FILE* destination);

// Test hook: once `bytes` more bytes have been written, PlatformWrite fails with ENOSPC.
void PlatformSetWriteFailureAfter(uint64_t bytes);
// Test hook: writes succeed again.
void PlatformClearWriteFailure();

// Flushes the C library's buffer and has the system put the file's data on disk; false, with
// errno set, when either fails.
bool PlatformSyncFile(FILE* file);

// Copies the rest of source to destination in blocks of 512 bytes. 0 when every byte was read
// and written; otherwise the errno of the failed read or write (readFailed tells which).
int PlatformCopyContents(FILE* source, FILE* destination, bool& readFailed);
