#include "cli/ListReadAhead.h"

#include <system_error>
#include <utility>

#include "pdf/Document.h"
#include "platform/File.h"
#include "platform/Safety.h"

namespace {

// Decoded object streams kept ahead for one file at most; the line decodes any others itself.
constexpr size_t kDecodedAheadBytes = size_t(8) << 20;

} // namespace

CListReadAhead::CListReadAhead(size_t maxBytes) : m_maxBytes(maxBytes) {}

CListReadAhead::~CListReadAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_isStopping = true;
    }
    m_wakeReader.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void CListReadAhead::Queue(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_toRead.insert(m_toRead.end(), paths.begin(), paths.end());
    }
    m_pending += paths.size();
    if (m_thread.joinable()) {
        m_wakeReader.notify_one(); // no system call unless the thread waits
        return;
    }
    try {
        m_thread = PlatformStartHelperThread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to be had: Take reads each file itself when its turn comes.
    }
}

bool CListReadAhead::Take(CReadAheadFile& out)
{
    if (m_pending == 0)
        return false;
    --m_pending;
    std::unique_lock<std::mutex> lock(m_mutex);
    // A file the thread has not come to yet is read here rather than waited for.
    if (!m_thread.joinable() || (m_read.empty() && !m_isReading)) {
        const std::string path = std::move(m_toRead.front());
        m_toRead.pop_front();
        lock.unlock();
        out = Read(path);
        return true;
    }
    m_wakeTaker.wait(lock, [this] { return !m_read.empty(); });
    out = std::move(m_read.front());
    m_read.pop_front();
    const bool wasFull = m_readBytes >= m_maxBytes;
    m_readBytes -= HeldBy(out);
    // The thread is woken only when it may wait for room: waking it for nothing costs a system call.
    if (wasFull && m_readBytes < m_maxBytes)
        m_wakeReader.notify_one();
    return true;
}

void CListReadAhead::GiveBack(CReadAheadFile file)
{
    if (!m_thread.joinable())
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_givenBack.push_back(std::move(file));
}

void CListReadAhead::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wakeReader.wait(lock, [this] {
            return m_isStopping || (!m_toRead.empty() && (m_read.empty() || m_readBytes < m_maxBytes));
        });
        if (m_isStopping)
            return;
        const std::string path = std::move(m_toRead.front());
        m_toRead.pop_front();
        m_isReading = true;
        m_toFree.swap(m_givenBack);
        lock.unlock();
        m_toFree.clear();
        CReadAheadFile file = Read(path);
        // Its table and object streams are most of what opening it costs its line.
        if (file.bytes)
            file.ahead = CPdfDocument::ReadAhead(file.bytes, kDecodedAheadBytes);
        lock.lock();
        m_isReading = false;
        m_readBytes += HeldBy(file);
        m_read.push_back(std::move(file));
        m_wakeTaker.notify_one();
    }
}

// The look-up a line would make, and the file's bytes when it is regular and small enough to be
// held whole; a file that is not the size its look-up gave is left to the line to read.
CReadAheadFile CListReadAhead::Read(const std::string& path)
{
    CReadAheadFile file;
    file.path = path;
    try {
        file.identity = PlatformIdentify(path);
        if (!file.identity.exists || !file.identity.isRegular || file.identity.size > kHeldFileSize)
            return file;
        CFileHandle handle;
        if (handle.Open(path, "rb"))
            file.bytes = CPdfDocument::ReadExpected(handle.get(), file.identity.size);
    } catch (const std::bad_alloc&) {
        file.bytes = nullptr; // the line reads the file itself, as it would have
    }
    return file;
}

size_t CListReadAhead::HeldBy(const CReadAheadFile& file)
{
    return (file.bytes ? file.bytes->size() : 0) + (file.ahead ? file.ahead->bytes : 0);
}
