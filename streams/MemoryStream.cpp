#include "streams/MemoryStream.h"

#include <algorithm>

CPdfMemoryStream::CPdfMemoryStream(std::string bytes)
    : CPdfMemoryStream(std::make_shared<const std::string>(std::move(bytes)), 0, 0, CPdfElement())
{
    m_dictionary.setNull();
}

CPdfMemoryStream::CPdfMemoryStream(std::shared_ptr<const std::string> bytes, uint32_t start, uint32_t length,
                                   const CPdfElement& dictionary)
    : m_bytes(std::move(bytes)), m_dictionary(dictionary), m_start(start), m_length(length), m_pos(start)
{
}

uint64_t CPdfMemoryStream::endOffset() const
{
    uint64_t size = m_bytes->size();
    if (m_length == 0)
        return size;
    return std::min<uint64_t>(size, uint64_t(m_start) + m_length); // 64 bits: start + length may pass 4 GiB
}

int CPdfMemoryStream::getChar()
{
    if (m_pos >= endOffset())
        return -1;
    return static_cast<unsigned char>((*m_bytes)[m_pos++]);
}

int CPdfMemoryStream::peekChar()
{
    if (m_pos >= endOffset())
        return -1;
    return static_cast<unsigned char>((*m_bytes)[m_pos]);
}

bool CPdfMemoryStream::lendBytes(const unsigned char*& data, size_t& length)
{
    const uint64_t end = endOffset();
    data = reinterpret_cast<const unsigned char*>(m_bytes->data()) + std::min<uint64_t>(m_pos, m_bytes->size());
    length = m_pos < end ? static_cast<size_t>(end - m_pos) : 0;
    m_pos += static_cast<uint32_t>(length);
    return true;
}

void CPdfMemoryStream::seek(int32_t offset, int origin)
{
    // As for a file stream: a position before the first byte lands on it.
    int64_t target = offset;
    if (origin == 2)
        target += static_cast<int64_t>(m_bytes->size());
    m_pos = static_cast<uint32_t>(std::clamp<int64_t>(target, 0, UINT32_MAX));
}

void CPdfMemoryStream::shiftStart(uint32_t delta)
{
    m_start += delta;
    m_pos = m_start;
}

CPdfRef<CPdfStream> CPdfMemoryStream::openRange(uint32_t start, uint32_t length, const CPdfElement& dictionary)
{
    return CPdfRef<CPdfStream>::create<CPdfMemoryStream>(m_bytes, start, length, dictionary);
}
