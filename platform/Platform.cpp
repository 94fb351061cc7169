#include "platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

bool PlatformIsTerminal(FILE* file)
{
#ifdef _WIN32
    return _isatty(_fileno(file)) != 0;
#else
    return isatty(fileno(file)) != 0;
#endif
}

bool PlatformSeek(FILE* file, uint64_t position)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(position), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

size_t PlatformReadAt(FILE* file, uint64_t position, char* destination, size_t length)
{
#ifdef _WIN32
    if (!PlatformSeek(file, position))
        return 0;
    return std::fread(destination, 1, length, file);
#else
    // One system call instead of a seek and a read; the handle has no buffer that could go stale.
    // A stream without a descriptor (one in memory) is read as a stream.
    if (fileno(file) < 0) {
        if (!PlatformSeek(file, position))
            return 0;
        return std::fread(destination, 1, length, file);
    }
    size_t done = 0;
    while (done < length) {
        const size_t asked = length - done;
        const ssize_t got = pread(fileno(file), destination + done, asked, static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
        if (static_cast<size_t>(got) < asked)
            break; // a regular file reads short only at its end: no second call to be told so
    }
    return done;
#endif
}

uint64_t PlatformFileSize(FILE* file)
{
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return 0;
    long long size = _ftelli64(file);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
#else
    // One system call: a seek to the end would also read the last block into the C library's
    // buffer, and every reader seeks or reads at a given position anyway. A stream without a
    // descriptor (one over memory) is measured by a seek.
    struct stat status {};
    if (fileno(file) >= 0)
        return fstat(fileno(file), &status) == 0 && status.st_size > 0 ? static_cast<uint64_t>(status.st_size) : 0;
    if (fseeko(file, 0, SEEK_END) != 0)
        return 0;
    const off_t size = ftello(file);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
#endif
}

bool PlatformMakeFolder(const std::string& path)
{
#ifdef _WIN32
    return _mkdir(path.c_str()) == 0;
#else
    return mkdir(path.c_str(), 0777) == 0;
#endif
}

std::string PlatformUniqueName()
{
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    unsigned long pid = static_cast<unsigned long>(_getpid());
#else
    unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char text[64];
    std::snprintf(text, sizeof text, "%lx%llx%x", pid, ticks & 0xFFFFFFFFFFull, counter++);
    return text;
}
