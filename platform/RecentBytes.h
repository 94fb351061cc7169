// The last bytes a writer wrote to a file, still held in its memory, whether or not they have
// reached the file. A run that reads back a file it is still writing (a list's journal) copies
// them from here rather than asking the system for bytes it has just written.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/Platform.h"

class CRecentBytes {
public:
    // Where the held bytes begin; they run to the end of what was written.
    virtual uint64_t RecentStart() const = 0;
    // Copies up to length held bytes from position (at least RecentStart()); returns how many.
    virtual size_t CopyRecent(uint64_t position, char* destination, size_t length) const = 0;

protected:
    ~CRecentBytes() = default;
};

// PlatformReadAt, with the bytes that recent holds copied from it when it is given.
inline size_t ReadAtOrRecent(FILE* file, const CRecentBytes* recent, uint64_t position, char* destination,
                             size_t length)
{
    if (!recent)
        return PlatformReadAt(file, position, destination, length);
    const uint64_t start = recent->RecentStart();
    size_t done = 0;
    if (position < start) {
        const size_t inFile = length < start - position ? length : static_cast<size_t>(start - position);
        done = PlatformReadAt(file, position, destination, inFile);
        if (done < inFile)
            return done;
    }
    if (done < length)
        done += recent->CopyRecent(position + done, destination + done, length - done);
    return done;
}
