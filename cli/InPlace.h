// The in-place side of an append job: the temporary output, and how a finished file takes the
// place of another. The first file is replaced by one atomic rename once the fresh file is
// complete and on disk, so at every moment it holds either its old bytes or the whole result.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "append/OutputFile.h"

// "temp_" + a name unique to this process and moment + ".tmp", with no folder part.
std::string TemporaryName();

// Why a copy beside its target failed.
enum class CopyFailure { None, Create, Read, Write, Rename };

// Copies the rest of source into a fresh temporary file in target's folder, puts it on disk
// (unless syncs is false) and renames it onto target, so target appears (or changes) only
// complete. On failure the temporary file is removed, error holds the errno and target is
// untouched.
CopyFailure CopyBeside(FILE* source, const std::string& target, bool syncs, int& error);

// A temporary file that is removed again unless it was renamed away: after a failed run, a
// refused replacement, a failed copy, or a terminating signal. The run's own output may still
// be open in its writer when the run failed; the writer closes it first.
class CTemporaryOutput {
public:
    CTemporaryOutput(std::string path, COutputFile* writer) : m_path(std::move(path)), m_writer(writer) {}
    ~CTemporaryOutput();
    CTemporaryOutput(const CTemporaryOutput&) = delete;
    CTemporaryOutput& operator=(const CTemporaryOutput&) = delete;

    // Creates the file, private to this user and not there before (a name taken by another file is given
    // up for a fresh one in the same folder). 0, or the errno: nothing is then ours to remove.
    int Create();
    const std::string& path() const { return m_path; }
    // The file has been renamed away; nothing is left to remove.
    void Release();

private:
    std::string m_path;
    COutputFile* m_writer; // borrowed; null for a file no run writes
    bool m_isReleased = false;
    int m_cleanupSlot = -1;
};

// Puts the finished temporary output in the place of file1, across file systems too. Prints
// the remove or rename message and returns false when file1 cannot be replaced; file1 is then
// unchanged.
// With syncsFolder, the rename itself is put on disk before it returns.
bool PutInPlace(CTemporaryOutput& temporary, const std::string& file1, bool syncsFolder);
// The same for a destination that may not exist yet: no remove check, only the rename.
bool MoveIntoPlace(CTemporaryOutput& temporary, const std::string& destination, bool syncsFolder);
