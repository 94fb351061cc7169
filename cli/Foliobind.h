// CFoliobind runs one append job: the second file appended onto the first, into a named
// output or in place through a temporary file, with the page filters and the safety of the
// files around the engine's run. One object serves exactly one job, or the lines of a plain
// list that keeps its output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "append/Engine.h"
#include "cli/InPlace.h"
#include "cli/JobOutcome.h"
#include "platform/Safety.h"

// The file of a plain list's line, which the list driver found to be a regular file of size
// bytes while it lives: the line's job refuses irregular inputs without looking that one up
// again, and reads it whole at once when the size still holds. bytes, when given, are the whole
// file as the driver has just read it: the job then does not read it again.
class CKnownRegularInput {
public:
    CKnownRegularInput(std::string path, uint64_t size, CHeldBytes bytes = nullptr,
                       std::shared_ptr<CPdfReadAhead> ahead = nullptr);
    ~CKnownRegularInput();
    CKnownRegularInput(const CKnownRegularInput&) = delete;
    CKnownRegularInput& operator=(const CKnownRegularInput&) = delete;

    static bool Covers(const char* path);
    // The size found for path, or kUnknownFileSize.
    static uint64_t SizeOf(const char* path);
    // The bytes read for path, or null.
    static CHeldBytes BytesOf(const char* path);
    // The table read ahead from those bytes, or null.
    static std::shared_ptr<CPdfReadAhead> ReadAheadOf(const char* path);
};

class CFoliobind {
public:
    CFoliobind() = default;
    virtual ~CFoliobind() = default;
    CFoliobind(const CFoliobind&) = delete;
    CFoliobind& operator=(const CFoliobind&) = delete;

    // outputArg is null or "-o" followed by the output name. True when the job finished.
    bool Append(const char* file1, const char* file2, const char* outputArg, int argc, char** argv);
    // file1 of an in-place job is a plain list's output that this run of the program made: the
    // listed files can make it again, so its next version replaces it without a wait for the disk.
    void SetOwnOutput() { m_isOwnOutput = true; }
    // How the last Append ended, for the list driver.
    JobOutcome LastOutcome() const { return m_outcome; }
    bool HasAppended() const { return m_hasAppended; }
    bool ScanOptions(int argc, char** argv);

    // A plain list's own output: after a line that appended onto outputPath, the lines that
    // follow append onto what the engine keeps of it. False when the output cannot be kept so;
    // the list then goes on with a job per line.
    bool KeepOutput(const char* outputPath, int argc, char** argv);
    bool HasOwnOutput() const { return m_engine.HasOwnOutput(); }
    // One line appended onto the kept output; the output is written when enough has changed.
    bool AppendOwn(const char* file1, const char* file2, int argc, char** argv);
    // Writes the kept output over file1 when lines changed it; the number of appended lines
    // whose result could not be written. Ends the kept output.
    uint32_t FinishOwnOutput(const char* file1);

private:
    bool PassesPageFilters(const char* file1, const char* file2, const char* outputArg);
    bool PassesPageFilters(const char* fileName);
    bool AppendInPlace(const char* file1, const char* file2);
    bool AppendNamed(const char* file1, const char* file2, const char* outputPath);
    bool CopyMissingFirst(const char* file1, const char* file2);
    void RunSafely(const char* file1, const char* file2, const std::string& outputPath);
    void ReportDone() const;
    void AimAtFirstFile(const char* file1);
    bool WriteOwnCheckpoint(const char* file1);
    void EndOwnOutput();

    CAppendEngine m_engine;

    // Job options.
    int32_t m_minPages = 0;
    int32_t m_maxPages = 0;
    int32_t m_exactPages = 0;
    bool m_isOwnOutput = false; // file1 is a plain list's output that this run made
    // How the job ended.
    JobOutcome m_outcome = JobOutcome::Failed;
    bool m_hasAppended = false; // the last job appended (rather than copied or refused)
    // A plain list's kept output: the lock on it and the journal beside it.
    CDestinationLock m_ownLock;
    std::unique_ptr<CTemporaryOutput> m_journal;
};
