// One-line diagnostics on standard error for every failure that concerns a file, such as
//   foliobind: list line 7: 'scan-0042.pdf': PDF file was damaged
// Standard output keeps the program's own messages byte for byte; these lines say which file
// and which list line a failure was about, and name system errors (ENOSPC, EACCES) as such.
#pragma once

#include <cstdint>
#include <string>

// The list line whose job runs now, named by every diagnostic until it goes; 0 outside lists.
class CListLineContext {
public:
    explicit CListLineContext(uint32_t line);
    ~CListLineContext();
    CListLineContext(const CListLineContext&) = delete;
    CListLineContext& operator=(const CListLineContext&) = delete;

private:
    uint32_t m_saved;
};

// "foliobind: [list line N: ]'file': what" on standard error.
void Diagnose(const std::string& file, const std::string& what);
// The same for a system error: "what: No space left on device (ENOSPC)".
void DiagnoseError(const std::string& file, const std::string& what, int error);
// A failure message as raised: a trailing "err no: N" is named as the system error it is.
void DiagnoseFailure(const std::string& file, const std::string& message);
