#include "platform/Write.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Bytes left before an injected failure; only meaningful while g_failWrites is set.
bool g_failWrites = false;
uint64_t g_bytesBeforeFailure = 0;

} // namespace

size_t PlatformWrite(const void* data, size_t length, FILE* file)
{
    if (!g_failWrites)
        return std::fwrite(data, 1, length, file);
    const size_t allowed = g_bytesBeforeFailure < length ? static_cast<size_t>(g_bytesBeforeFailure) : length;
    const size_t written = allowed > 0 ? std::fwrite(data, 1, allowed, file) : 0;
    g_bytesBeforeFailure -= written;
    if (written < length && written == allowed)
        errno = ENOSPC;
    return written;
}

size_t PlatformCopyRange(FILE* source, uint64_t position, size_t length, FILE* destination)
{
#ifdef _WIN32
    (void)source, (void)position, (void)length, (void)destination;
    return 0;
#else
    // An injected failure must hit an ordinary write, so the system copy stands aside.
    if (g_failWrites || std::fflush(destination) != 0)
        return 0;
    size_t done = 0;
    off_t from = static_cast<off_t>(position);
    while (done < length) {
        const ssize_t copied = copy_file_range(fileno(source), &from, fileno(destination), nullptr, length - done, 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied <= 0)
            break;
        done += static_cast<size_t>(copied);
    }
    // The C library's idea of the position follows the copy; the system's is right already.
    if (done > 0)
        (void)fseeko(destination, 0, SEEK_END);
    return done;
#endif
}

void PlatformSetWriteFailureAfter(uint64_t bytes)
{
    g_failWrites = true;
    g_bytesBeforeFailure = bytes;
}

void PlatformClearWriteFailure()
{
    g_failWrites = false;
    g_bytesBeforeFailure = 0;
}

bool PlatformSyncFile(FILE* file)
{
    if (std::fflush(file) != 0)
        return false;
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

int PlatformCopyContents(FILE* source, FILE* destination, bool& readFailed)
{
    char block[512];
    readFailed = false;
    for (;;) {
        const size_t count = std::fread(block, 1, sizeof block, source);
        if (count == 0)
            break;
        errno = 0;
        if (PlatformWrite(block, count, destination) != count)
            return errno != 0 ? errno : EIO;
    }
    if (std::ferror(source)) {
        readFailed = true;
        return errno != 0 ? errno : EIO;
    }
    return 0;
}
