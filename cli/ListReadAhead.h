// Reads the files of a plain list's coming lines on a thread of its own: while a line is
// appended, the files of the next ones are looked up, opened, read whole and closed, so that
// their lines find them in memory. The lines run in order on the caller's thread as before;
// only the system calls that fetch their files move beside them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ByteBuffer.h"
#include "platform/Replace.h"

struct CPdfReadAhead;

// One queued path as the thread found it: its look-up and, for a regular file small enough to
// be held, its bytes (null when it is larger, or changed size while it was read).
struct CReadAheadFile {
    std::string path;
    CFileIdentity identity;
    CHeldBytes bytes;
    // Its table and object streams as read from those bytes (see CPdfXRef::readAhead), or null.
    std::shared_ptr<CPdfReadAhead> ahead;
};

class CListReadAhead {
public:
    // At most maxBytes of files read and not yet taken (a larger single file is still read).
    explicit CListReadAhead(size_t maxBytes);
    ~CListReadAhead();
    CListReadAhead(const CListReadAhead&) = delete;
    CListReadAhead& operator=(const CListReadAhead&) = delete;

    // Paths to read, after those queued before; the thread starts with the first call.
    void Queue(const std::vector<std::string>& paths);
    // The file of the first queued path not taken yet, waiting for the thread when needed.
    // False when nothing is queued.
    bool Take(CReadAheadFile& out);
    // A file taken and done with. The thread frees what it allocated for it: freeing that here
    // would contend for the thread's heap.
    void GiveBack(CReadAheadFile file);
    // How many queued paths are not taken yet.
    size_t Pending() const { return m_pending; }

private:
    void Run();
    static CReadAheadFile Read(const std::string& path);
    static size_t HeldBy(const CReadAheadFile& file);

    const size_t m_maxBytes;
    size_t m_pending = 0; // the caller's count: queued and not taken
    std::mutex m_mutex;
    std::condition_variable m_wakeReader;
    std::condition_variable m_wakeTaker;
    std::deque<std::string> m_toRead;
    std::deque<CReadAheadFile> m_read;
    size_t m_readBytes = 0; // memory held by m_read: bytes and what was read ahead from them
    std::vector<CReadAheadFile> m_givenBack;
    std::vector<CReadAheadFile> m_toFree; // the thread's: swapped with m_givenBack, so neither is reallocated
    bool m_isReading = false; // the thread has taken a path off m_toRead and not yet put it in m_read
    bool m_isStopping = false;
    std::thread m_thread;
};
