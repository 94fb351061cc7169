#include "platform/Replace.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Safety.h"

#ifdef _WIN32
#include <cstdlib>
#include <cstring>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

int g_replaceFailure = 0; // injected by tests for the next PlatformReplace
uint64_t g_replaceCount = 0;

#ifndef _WIN32
// The replaced file's owner and group where this process may set them (root may; others keep
// their own), then its permission bits, which a change of owner may have cleared. A file made afresh
// gets the bits an ordinary creation would give it, not the private ones of its temporary.
void GiveModeOf(const std::string& from, const std::string& to)
{
    struct stat status {};
    if (stat(to.c_str(), &status) != 0) {
        const mode_t mask = umask(0);
        umask(mask);
        chmod(from.c_str(), 0666 & ~mask);
        return;
    }
    if (chown(from.c_str(), status.st_uid, status.st_gid) != 0)
        (void)!chown(from.c_str(), static_cast<uid_t>(-1), status.st_gid);
    chmod(from.c_str(), status.st_mode & 07777);
}
#endif

#ifndef _WIN32
// Replaced files held open until a thread of their own closes them (see CLateReleaseScope).
class CLateRelease {
public:
    ~CLateRelease() { Stop(); }

    bool IsOn() const { return m_scopes > 0; }
    void Enter() { ++m_scopes; }
    void Leave()
    {
        if (--m_scopes == 0)
            Stop();
    }
    // Closes descriptor on the thread, which starts with the first.
    void Hand(int descriptor)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_toClose.push_back(descriptor);
        }
        if (m_thread.joinable()) {
            m_wake.notify_one();
            return;
        }
        try {
            m_thread = PlatformStartHelperThread([this] { Run(); });
        } catch (const std::system_error&) {
            CloseAll(); // no thread to be had: released here, as without a scope
        }
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_isStopping || !m_toClose.empty(); });
            if (m_toClose.empty())
                return;
            const int descriptor = m_toClose.front();
            m_toClose.pop_front();
            lock.unlock();
            close(descriptor);
            lock.lock();
        }
    }
    void Stop()
    {
        if (m_thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_isStopping = true;
            }
            m_wake.notify_one();
            m_thread.join(); // the thread leaves nothing to close behind it
            m_isStopping = false;
        }
    }
    void CloseAll()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const int descriptor : m_toClose)
            close(descriptor);
        m_toClose.clear();
    }

    int m_scopes = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_toClose;
    bool m_isStopping = false;
    std::thread m_thread;
} g_lateRelease;
#endif

} // namespace

CLateReleaseScope::CLateReleaseScope()
{
#ifndef _WIN32
    g_lateRelease.Enter();
#endif
}

CLateReleaseScope::~CLateReleaseScope()
{
#ifndef _WIN32
    g_lateRelease.Leave();
#endif
}

bool CFileIdentity::IsSameFile(const CFileIdentity& other) const
{
#ifdef _WIN32
    return exists && other.exists && _stricmp(fullPath.c_str(), other.fullPath.c_str()) == 0;
#else
    return exists && other.exists && device == other.device && inode == other.inode;
#endif
}

CFileIdentity PlatformIdentify(const std::string& path)
{
    CFileIdentity identity;
#ifdef _WIN32
    char full[_MAX_PATH];
    struct _stat64 status {};
    if (!_fullpath(full, path.c_str(), sizeof full) || _stat64(full, &status) != 0)
        return identity;
    identity.fullPath = full;
    identity.isRegular = (status.st_mode & _S_IFREG) != 0;
#else
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return identity;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.isRegular = S_ISREG(status.st_mode);
#endif
    identity.exists = true;
    identity.size = status.st_size < 0 ? 0 : static_cast<uint64_t>(status.st_size);
    return identity;
}

bool PlatformSameFile(const std::string& path1, const std::string& path2)
{
    const CFileIdentity identity1 = PlatformIdentify(path1);
    return identity1.exists && identity1.IsSameFile(PlatformIdentify(path2));
}

uint64_t PlatformReplaceCount()
{
    return g_replaceCount;
}

std::string PlatformFolderOf(const std::string& path)
{
#ifdef _WIN32
    const size_t separator = path.find_last_of("\\/:");
#else
    const size_t separator = path.rfind('/');
#endif
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

int PlatformReplaceBlocker(const std::string& path)
{
#ifdef _WIN32
    if (_access(path.c_str(), 0) != 0)
        return errno;
    return _access(path.c_str(), 2) != 0 ? EACCES : 0;
#else
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return errno;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    if (access(path.c_str(), W_OK) != 0)
        return errno;
    const std::string folder = PlatformFolderOf(path);
    return access(folder.empty() ? "." : folder.c_str(), W_OK) != 0 ? errno : 0;
#endif
}

int PlatformReplace(const std::string& from, const std::string& to)
{
    if (g_replaceFailure != 0) {
        const int error = g_replaceFailure;
        g_replaceFailure = 0;
        return error;
    }
    ++g_replaceCount; // counted when tried: a failed rename may still have moved the file
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return GetLastError() == ERROR_NOT_SAME_DEVICE ? EXDEV : EACCES;
#else
    // The file replaced stays open here, so that its last close (and the freeing of its blocks)
    // can come later, on the releasing thread.
    const int replaced = g_lateRelease.IsOn() ? open(to.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1;
    GiveModeOf(from, to);
    const int error = std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    if (replaced >= 0 && error == 0)
        g_lateRelease.Hand(replaced);
    else if (replaced >= 0)
        close(replaced);
    return error;
#endif
}

void PlatformSyncFolderOf(const std::string& path)
{
#ifndef _WIN32
    const std::string folder = PlatformFolderOf(path);
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0)
        return;
    fsync(descriptor);
    close(descriptor);
#else
    (void)path;
#endif
}

void PlatformSetReplaceFailure(int error)
{
    g_replaceFailure = error;
}
