#include "streams/Stream.h"

#include <cstring>

#include <algorithm>

#include "pdf/Exception.h"
#include "platform/Platform.h"

void CPdfStream::release()
{
    if (--m_refCount == 0)
        delete this;
}

size_t CPdfStream::readBlock(char* buffer, size_t length)
{
    size_t count = 0;
    for (int c = 0; count < length && (c = getChar()) >= 0; ++count)
        buffer[count] = static_cast<char>(c);
    return count;
}

bool CPdfStream::lendBytes(const unsigned char*&, size_t&)
{
    return false;
}

bool CPdfStream::readWhole(CByteBuffer&, uint64_t)
{
    return false;
}

int CPdfStream::getRawChar()
{
    throw CPdfException("Internal: called getRawChar() on non-predictor stream");
}

CPdfFileStream::CPdfFileStream(FILE* file, uint32_t start, uint32_t length, const CPdfElement& dictionary)
    : m_dictionary(dictionary), m_file(file), m_start(start), m_length(length), m_bufferPos(start)
{
    rewind();
}

void CPdfFileStream::emptyBuffer(uint32_t position)
{
    m_bufferPos = position;
    m_read = 0;
    m_end = 0;
}

bool CPdfFileStream::refill()
{
    emptyBuffer(m_bufferPos + m_end);
    // The range end is computed in 64 bits: start + length may pass 4 GiB on hostile input.
    uint64_t rangeEnd = m_length != 0 ? uint64_t(m_start) + m_length : UINT64_MAX;
    if (m_whole) {
        // The held file is the window itself: the rest of the range, no copy.
        rangeEnd = std::min<uint64_t>(rangeEnd, m_whole->size());
        if (m_bufferPos >= rangeEnd)
            return false;
        m_window = reinterpret_cast<const unsigned char*>(m_whole->data()) + m_bufferPos;
        m_end = static_cast<uint32_t>(rangeEnd - m_bufferPos); // a held file is at most 4 GiB
        return true;
    }
    if (m_bufferPos >= rangeEnd)
        return false;
    const uint32_t amount = static_cast<uint32_t>(std::min<uint64_t>(kBufferSize, rangeEnd - m_bufferPos));
    if (m_buffer.empty())
        m_buffer.resize(kBufferSize);
    const size_t got = ReadAtOrRecent(m_file, m_recent, m_bufferPos, m_buffer.data(), amount);
    m_window = reinterpret_cast<const unsigned char*>(m_buffer.data());
    m_end = static_cast<uint32_t>(got);
    return got != 0;
}

void CPdfFileStream::seek(int32_t offset, int origin)
{
    // A seek before the file's start lands on its first byte, so that a search of the last
    // 1023 bytes of a shorter file reads the whole file.
    int64_t target = offset;
    if (origin == 2)
        target += static_cast<int64_t>(m_whole ? m_whole->size() : PlatformFileSize(m_file));
    if (target < 0)
        target = 0;
    if (target > UINT32_MAX)
        target = UINT32_MAX;
    emptyBuffer(static_cast<uint32_t>(target));
}

void CPdfFileStream::shiftStart(uint32_t delta)
{
    m_start += delta;
    emptyBuffer(m_start);
}

CPdfRef<CPdfStream> CPdfFileStream::openRange(uint32_t start, uint32_t length, const CPdfElement& dictionary)
{
    CPdfRef<CPdfStream> range = CPdfRef<CPdfStream>::create<CPdfFileStream>(m_file, start, length, dictionary);
    static_cast<CPdfFileStream*>(range.get())->m_whole = m_whole;
    static_cast<CPdfFileStream*>(range.get())->m_recent = m_recent;
    return range;
}

void CPdfFileStream::holdWholeFile(uint64_t size, uint64_t limit)
{
    if (size > limit)
        return;
    auto whole = std::make_shared<CByteBuffer>(static_cast<size_t>(size)); // its bytes are read next
    if (PlatformReadAt(m_file, 0, whole->data(), whole->size()) == whole->size())
        holdBytes(std::move(whole));
}

void CPdfFileStream::holdBytes(CHeldBytes whole)
{
    m_whole = std::move(whole);
    emptyBuffer(m_bufferPos);
}

size_t CPdfFileStream::readBlock(char* buffer, size_t length)
{
    size_t done = 0;
    while (done < length && (m_read < m_end || refill())) {
        const size_t take = std::min<size_t>(length - done, m_end - m_read);
        std::memcpy(buffer + done, m_window + m_read, take);
        m_read += static_cast<uint32_t>(take);
        done += take;
    }
    return done;
}

bool CPdfFileStream::lendBytes(const unsigned char*& data, size_t& length)
{
    data = nullptr;
    length = 0;
    if (m_read == m_end && !refill())
        return true;
    data = m_window + m_read;
    length = m_end - m_read;
    m_read = m_end;
    return true;
}

CPdfEmbedStream::CPdfEmbedStream(CPdfStream* underlying, const CPdfElement& dictionary, bool isLimited,
                                 uint32_t length)
    : m_dictionary(dictionary), m_underlying(underlying), m_isLimited(isLimited), m_remaining(length)
{
}

int CPdfEmbedStream::getChar()
{
    if (m_isLimited && m_remaining == 0)
        return -1;
    --m_remaining;
    return m_underlying->getChar();
}

int CPdfEmbedStream::peekChar()
{
    if (m_isLimited && m_remaining == 0)
        return -1;
    return m_underlying->peekChar();
}
