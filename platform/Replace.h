// Putting a finished file in the place of another without a moment in which the other is
// missing: a rename over the existing file, which the system performs atomically.
#pragma once

#include <cstdint>
#include <string>

// What one look-up of a path tells: whether it names a file, which one, its kind and size.
struct CFileIdentity {
    bool exists = false;
    bool isRegular = false;
    uint64_t size = 0;
#ifdef _WIN32
    std::string fullPath;
#else
    uint64_t device = 0;
    uint64_t inode = 0;
#endif

    // True when both name one existing file (same device and inode; on Windows the same full path).
    bool IsSameFile(const CFileIdentity& other) const;
};

CFileIdentity PlatformIdentify(const std::string& path);

// True when both paths name one existing file.
bool PlatformSameFile(const std::string& path1, const std::string& path2);

// How many renames this process has made with PlatformReplace: a path looked up before the
// last of them may name another file now.
uint64_t PlatformReplaceCount();

// The folder part of path, with its trailing separator; "" for a name in the current folder.
std::string PlatformFolderOf(const std::string& path);

// 0 when path may be replaced now; otherwise the errno that removing it would give: ENOENT
// when it does not exist, EACCES (or EROFS) when the file or its folder is read-only. A file
// without any write permission counts as read-only even for a user who could override it.
int PlatformReplaceBlocker(const std::string& path);

// Renames from onto to, replacing to atomically and giving from the permissions of to (and
// its owner and group where permitted); a file made afresh gets the permissions the umask allows.
// 0, or the errno of the failure (EXDEV when the two lie on different file systems).
int PlatformReplace(const std::string& from, const std::string& to);

// While one lives, a file that PlatformReplace replaces is let go on a thread of its own: freeing
// the blocks of a file's last link waits for the disk where the file system discards them, and
// a run that replaces its output again and again need not wait for that. The last scope to end
// waits for the files it let go (POSIX only; elsewhere nothing changes).
class CLateReleaseScope {
public:
    CLateReleaseScope();
    ~CLateReleaseScope();
    CLateReleaseScope(const CLateReleaseScope&) = delete;
    CLateReleaseScope& operator=(const CLateReleaseScope&) = delete;
};

// Makes a finished rename durable by syncing the folder that holds path (POSIX only).
void PlatformSyncFolderOf(const std::string& path);

// Test hook: the next PlatformReplace fails with error instead of renaming (0 switches it off).
void PlatformSetReplaceFailure(int error);
