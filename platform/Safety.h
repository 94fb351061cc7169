// Operating-system services behind the job's safety guarantees: private temporary files, the
// lock that makes concurrent runs onto one destination take turns, the refusal of inputs that
// are not plain files, cleanup on a terminating signal, and readable names for errno values.
#pragma once

#include <functional>
#include <string>
#include <thread>

// Creates path as a new, empty file only this user can read (O_EXCL, mode 0600). 0, or errno.
int PlatformCreatePrivate(const std::string& path);

// nullptr for a regular file or a path that cannot be opened (its opener reports that);
// otherwise what it is ("a directory", "a FIFO", "a device", "a socket"). Opened without
// blocking, so a FIFO with no writer cannot hold the run.
const char* PlatformIrregularKind(const std::string& path);

// True when path names something that exists (a dangling link counts as missing).
bool PlatformExists(const std::string& path);

// "No space left on device (ENOSPC)": the system's text and the errno's symbolic name.
std::string PlatformErrorText(int error);

// Exclusive advisory lock of one destination, held through a lock file beside it
// (".foliobind-<hash>.lock", removed on release). Runs that would replace the same file take
// turns: a second one waits. In a folder where no lock file can be made the job goes on
// unlocked, since it could not replace a file there either.
class CDestinationLock {
public:
    CDestinationLock() = default;
    ~CDestinationLock() { Release(); }
    CDestinationLock(const CDestinationLock&) = delete;
    CDestinationLock& operator=(const CDestinationLock&) = delete;

    // Blocks until the lock is held; onWait runs once before a wait. False when unlocked.
    bool Acquire(const std::string& destination, const std::function<void()>& onWait);
    void Release();

private:
    int m_descriptor = -1;
    int m_cleanupSlot = -1;
    std::string m_path;
};

// Ignores SIGPIPE (a closed standard output must not end a run half way) and has SIGINT,
// SIGTERM and SIGHUP remove the registered files and end the process with 128 + signal.
void PlatformInstallSignalCleanup();
// Starts work on a thread of its own with every signal blocked there, so that a signal always
// finds the main thread, which keeps the cleanup handler out while it changes what it removes.
std::thread PlatformStartHelperThread(std::function<void()> work);
// Registers a file to remove on such a signal; the slot, or -1 when none is free.
int PlatformAddSignalCleanup(const std::string& path);
void PlatformRemoveSignalCleanup(int slot);
