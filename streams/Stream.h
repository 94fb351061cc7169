// Read-only byte streams over input files. One CPdfFileStream covers the whole file; ranges of
// it are opened for each parse and each stream object's data; CPdfEmbedStream cuts windows out
// of another stream (the members of an object stream). Streams are reference counted: hold them
// through CPdfRef<CPdfStream>; a CPdfElement of kind Stream holds one reference too.
#pragma once

#include <memory>
#include <string>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "pdf/Element.h"
#include "pdf/RefHolder.h"
#include "platform/ByteBuffer.h"
#include "platform/RecentBytes.h"

class CPdfStream {
public:
    CPdfStream() = default;
    virtual ~CPdfStream() = default;
    CPdfStream(const CPdfStream&) = delete;
    CPdfStream& operator=(const CPdfStream&) = delete;

    virtual void addRef() { ++m_refCount; }
    virtual void release();
    virtual void rewind() = 0;
    // Next byte (0..255) and consume it, or -1 at the end of data.
    virtual int getChar() = 0;
    // Up to length next bytes into buffer, as getChar would give them; fewer only at the end.
    virtual size_t readBlock(char* buffer, size_t length);
    // The next bytes as they lie in memory, consumed: the position moves past them. False for a
    // stream that holds none (read it through readBlock); true with length 0 at the end. The
    // bytes stay valid until the stream is next read, moved or destroyed.
    virtual bool lendBytes(const unsigned char*& data, size_t& length);
    // All the bytes readBlock would give from here on, at once, into out (replacing what it
    // held) when they number at most limit; false, with nothing read, for a stream that cannot
    // or bytes that do not fit: read it through readBlock then.
    virtual bool readWhole(CByteBuffer& out, uint64_t limit);
    // Next decompressed byte before any predictor; only a flate stream has one.
    virtual int getRawChar();
    virtual int peekChar() = 0;
    // The stream object's dictionary (borrowed), or null for a stream without one.
    virtual CPdfDictionary* getDict() = 0;
    // Absolute file offset of the next byte.
    virtual uint32_t getPos() = 0;
    // origin 0: from the file's start; 2: from its end. Offsets are absolute, not range-relative.
    virtual void seek(int32_t offset, int origin) = 0;
    virtual uint32_t getStart() = 0;
    virtual void shiftStart(uint32_t delta) = 0;
    virtual uint32_t getLength() = 0;
    // Another stream over (start, length) of the same file; empty for streams that cannot.
    virtual CPdfRef<CPdfStream> openRange(uint32_t start, uint32_t length, const CPdfElement& dictionary) = 0;

private:
    int32_t m_refCount = 1;
};

// A byte range of a FILE that many streams share: every refill seeks before it reads,
// so no stream relies on where another left the handle.
class CPdfFileStream : public CPdfStream {
public:
    // length 0: the range runs to the end of the file. The file is borrowed.
    CPdfFileStream(FILE* file, uint32_t start, uint32_t length, const CPdfElement& dictionary);
    // A file of size bytes, at most limit, is read once into memory, which this stream and every range
    // opened from it then read instead of the file: a small document's many fetches cost no
    // system call each.
    void holdWholeFile(uint64_t size, uint64_t limit);
    // The same with the whole file read already.
    void holdBytes(CHeldBytes whole);
    // The whole file when it is held, else null.
    const CHeldBytes& heldBytes() const { return m_whole; }
    // For a file the run is still writing: its last bytes are copied from recent rather than
    // read, by this stream and every range opened from it.
    void readRecent(const CRecentBytes* recent) { m_recent = recent; }
    size_t readBlock(char* buffer, size_t length) override;
    bool lendBytes(const unsigned char*& data, size_t& length) override;

    // Not through seek: its signed offset would send a start past 2 GiB to the file's first byte.
    void rewind() override { emptyBuffer(m_start); }
    int getChar() override
    {
        if (m_read == m_end && !refill())
            return -1;
        return m_window[m_read++];
    }
    int peekChar() override
    {
        if (m_read == m_end && !refill())
            return -1;
        return m_window[m_read];
    }
    CPdfDictionary* getDict() override { return m_dictionary.dictionary(); }
    uint32_t getPos() override { return m_bufferPos + m_read; }
    void seek(int32_t offset, int origin) override;
    uint32_t getStart() override { return m_start; }
    void shiftStart(uint32_t delta) override;
    uint32_t getLength() override { return m_length; }
    CPdfRef<CPdfStream> openRange(uint32_t start, uint32_t length, const CPdfElement& dictionary) override;

private:
    static constexpr uint32_t kBufferSize = 4096;

    bool refill();
    void emptyBuffer(uint32_t position);

    CPdfElement m_dictionary;
    CHeldBytes m_whole; // the whole file, when it is held
    const CRecentBytes* m_recent = nullptr;
    FILE* m_file;
    uint32_t m_start;
    uint32_t m_length;
    // The bytes at hand, m_window[m_read..m_end) from file position m_bufferPos + m_read on: the
    // rest of the range in the held file, or the buffer.
    const unsigned char* m_window = nullptr;
    uint32_t m_bufferPos = 0;
    uint32_t m_read = 0;
    uint32_t m_end = 0;
    CByteBuffer m_buffer; // made at the first read of a file not held, its bytes unset until read
};

// A window that counts bytes passed through from another stream's current position. The
// underlying stream is borrowed: its owner keeps it alive while the window is read.
class CPdfEmbedStream : public CPdfStream {
public:
    CPdfEmbedStream(CPdfStream* underlying, const CPdfElement& dictionary, bool isLimited, uint32_t length);

    void rewind() override {}
    int getChar() override;
    int peekChar() override;
    CPdfDictionary* getDict() override { return m_dictionary.dictionary(); }
    uint32_t getPos() override { return m_underlying->getPos(); }
    void seek(int32_t, int) override {}
    uint32_t getStart() override { return 0; }
    void shiftStart(uint32_t) override {}
    uint32_t getLength() override { return 0; }
    CPdfRef<CPdfStream> openRange(uint32_t, uint32_t, const CPdfElement&) override { return {}; }

private:
    CPdfElement m_dictionary;
    CPdfStream* m_underlying;
    bool m_isLimited;
    uint32_t m_remaining;
};
