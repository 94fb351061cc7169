#include "platform/Safety.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/Replace.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct CErrorName {
    int error;
    const char* name;
};

const CErrorName kErrorNames[] = {
    {EPERM, "EPERM"}, {ENOENT, "ENOENT"}, {EIO, "EIO"}, {EACCES, "EACCES"}, {EBUSY, "EBUSY"},
    {EEXIST, "EEXIST"}, {EXDEV, "EXDEV"}, {ENOTDIR, "ENOTDIR"}, {EISDIR, "EISDIR"}, {EINVAL, "EINVAL"},
    {ENFILE, "ENFILE"}, {EMFILE, "EMFILE"}, {EFBIG, "EFBIG"}, {ENOSPC, "ENOSPC"}, {EROFS, "EROFS"},
    {ENAMETOOLONG, "ENAMETOOLONG"}, {ELOOP, "ELOOP"},
#ifndef _WIN32
    {EDQUOT, "EDQUOT"}, {ETXTBSY, "ETXTBSY"},
#endif
};

// Lock file of a destination: beside it, named after a hash of its last path component, so
// that it fits any name the destination may have.
std::string LockPathOf(const std::string& destination)
{
    const std::string folder = PlatformFolderOf(destination);
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (size_t i = folder.size(); i < destination.size(); ++i)
        hash = (hash ^ static_cast<unsigned char>(destination[i])) * 1099511628211ull;
    char name[48];
    std::snprintf(name, sizeof name, ".foliobind-%016llx.lock", static_cast<unsigned long long>(hash));
    return folder + name;
}

#ifndef _WIN32
// Paths removed by a terminating signal: fixed buffers, so the handler needs no allocation.
constexpr int kCleanupSlots = 4;
constexpr size_t kCleanupPathBytes = 4096;
char g_cleanupPaths[kCleanupSlots][kCleanupPathBytes];
volatile sig_atomic_t g_cleanupUsed[kCleanupSlots];

extern "C" void RemoveFilesAndExit(int signalNumber)
{
    for (int slot = 0; slot < kCleanupSlots; ++slot) {
        if (g_cleanupUsed[slot])
            unlink(g_cleanupPaths[slot]);
    }
    _exit(128 + signalNumber);
}

// Keeps the handler out while a slot changes.
class CSignalBlock {
public:
    CSignalBlock()
    {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &m_saved);
    }
    ~CSignalBlock() { sigprocmask(SIG_SETMASK, &m_saved, nullptr); }
    CSignalBlock(const CSignalBlock&) = delete;
    CSignalBlock& operator=(const CSignalBlock&) = delete;

private:
    sigset_t m_saved{};
};

// Takes the lock of an open lock file, after one notice when another run holds it.
bool LockDescriptor(int descriptor, const std::function<void()>& onWait, bool& hasWaited)
{
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK)
        return false;
    if (!hasWaited && onWait)
        onWait();
    hasWaited = true;
    while (flock(descriptor, LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}
#endif

} // namespace

int PlatformCreatePrivate(const std::string& path)
{
#ifdef _WIN32
    const int descriptor = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0)
        return errno;
    _close(descriptor);
#else
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return errno;
    close(descriptor);
#endif
    return 0;
}

const char* PlatformIrregularKind(const std::string& path)
{
#ifdef _WIN32
    struct _stat64 status {};
    if (_stat64(path.c_str(), &status) != 0)
        return nullptr;
    return (status.st_mode & _S_IFDIR) ? "a directory" : ((status.st_mode & _S_IFREG) ? nullptr : "a device");
#else
    // A regular file, the common case, costs one call; anything else is asked through an open
    // handle, as a reader would meet it.
    struct stat named {};
    if (stat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode))
        return nullptr;
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return nullptr;
    struct stat status {};
    const bool isKnown = fstat(descriptor, &status) == 0;
    close(descriptor);
    if (!isKnown || S_ISREG(status.st_mode))
        return nullptr;
    if (S_ISDIR(status.st_mode))
        return "a directory";
    if (S_ISFIFO(status.st_mode))
        return "a FIFO";
    if (S_ISSOCK(status.st_mode))
        return "a socket";
    return "a device";
#endif
}

bool PlatformExists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

std::string PlatformErrorText(int error)
{
    std::string text = std::strerror(error);
    for (const CErrorName& known : kErrorNames) {
        if (known.error == error)
            return text + " (" + known.name + ")";
    }
    return text + " (errno " + std::to_string(error) + ")";
}

bool CDestinationLock::Acquire(const std::string& destination, const std::function<void()>& onWait)
{
    Release();
#ifdef _WIN32
    (void)destination, (void)onWait;
    return false;
#else
    const std::string path = LockPathOf(destination);
    bool hasWaited = false;
    for (;;) {
        const int descriptor = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (descriptor < 0)
            return false;
        if (!LockDescriptor(descriptor, onWait, hasWaited)) {
            close(descriptor);
            return false;
        }
        // The holder before us removed the file it locked: ours must still be the one named.
        struct stat held {};
        struct stat named {};
        if (fstat(descriptor, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            m_descriptor = descriptor;
            m_path = path;
            m_cleanupSlot = PlatformAddSignalCleanup(path);
            return true;
        }
        close(descriptor);
    }
#endif
}

void CDestinationLock::Release()
{
#ifndef _WIN32
    if (m_descriptor < 0)
        return;
    PlatformRemoveSignalCleanup(m_cleanupSlot);
    m_cleanupSlot = -1;
    unlink(m_path.c_str()); // while still held, so that a waiter sees it gone and starts over
    close(m_descriptor);
    m_descriptor = -1;
#endif
}

void PlatformInstallSignalCleanup()
{
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveFilesAndExit;
    sigfillset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
#endif
}

std::thread PlatformStartHelperThread(std::function<void()> work)
{
#ifndef _WIN32
    const CSignalBlock block; // the new thread starts with the mask it is created under
#endif
    return std::thread(std::move(work));
}

int PlatformAddSignalCleanup(const std::string& path)
{
#ifndef _WIN32
    if (path.size() >= kCleanupPathBytes)
        return -1;
    const CSignalBlock block;
    for (int slot = 0; slot < kCleanupSlots; ++slot) {
        if (!g_cleanupUsed[slot]) {
            std::memcpy(g_cleanupPaths[slot], path.c_str(), path.size() + 1);
            g_cleanupUsed[slot] = 1;
            return slot;
        }
    }
#else
    (void)path;
#endif
    return -1;
}

void PlatformRemoveSignalCleanup(int slot)
{
#ifndef _WIN32
    if (slot < 0 || slot >= kCleanupSlots)
        return;
    const CSignalBlock block;
    g_cleanupUsed[slot] = 0;
#else
    (void)slot;
#endif
}
