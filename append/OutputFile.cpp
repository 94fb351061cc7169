#include "append/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "append/InputFile.h"
#include "append/ObjectText.h"
#include "pdf/Exception.h"
#include "platform/Write.h"

void COutputFile::Open(const std::string& path, bool syncOnClose)
{
    m_path = path;
    m_syncOnClose = syncOnClose;
    m_runLength = 0;
    m_used = 0;
    m_position = 0;
    m_bufferStart = 0;
    m_handed = 0;
    if (m_buffer.empty())
        m_buffer.resize(kBufferSize);
    if (!m_file.OpenEmptied(path))
        Fail();
}

void COutputFile::HandOver(uint64_t keepFrom)
{
    FlushRun();
    WriteOut();
    errno = 0;
    if (!Handle() || std::fflush(Handle()) != 0)
        Fail();
    if (m_used <= kHandOverSpan || keepFrom < m_bufferStart || m_position - keepFrom > kHandOverSpan / 2)
        return;
    const size_t offset = static_cast<size_t>(keepFrom - m_bufferStart);
    std::memmove(m_buffer.data(), m_buffer.data() + offset, m_used - offset);
    m_used -= offset;
    m_handed = m_used;
    m_bufferStart = keepFrom;
}

void COutputFile::Fail() const
{
    throw CPdfException(FormatText("File output error: '%s', err no: %d", m_path.c_str(), errno));
}

void COutputFile::WriteOut()
{
    const size_t count = m_used - m_handed;
    if (count == 0)
        return;
    errno = 0;
    if (!Handle() || PlatformWrite(m_buffer.data() + m_handed, count, Handle()) != count)
        Fail();
    m_handed = m_used;
}

void COutputFile::Flush()
{
    WriteOut();
    m_bufferStart += m_used;
    m_used = 0;
    m_handed = 0;
}

size_t COutputFile::CopyRecent(uint64_t position, char* destination, size_t length) const
{
    if (position < m_bufferStart || position - m_bufferStart >= m_used)
        return 0;
    const size_t offset = static_cast<size_t>(position - m_bufferStart);
    const size_t take = std::min(length, m_used - offset);
    std::memcpy(destination, m_buffer.data() + offset, take);
    return take;
}

void COutputFile::Close()
{
    FlushRun();
    Flush();
    errno = 0;
    // On disk before the file counts as complete: an in-place job renames it over its input next.
    if (m_syncOnClose && Handle() && !PlatformSyncFile(Handle()))
        Fail();
    if (!m_file.Close())
        Fail();
}

void COutputFile::Abandon()
{
    m_used = 0;
    m_handed = 0;
    m_runLength = 0;
    m_file.Close();
}

void COutputFile::Write(const char* data, size_t length)
{
    FlushRun();
    m_position += length;
    if (length <= m_buffer.size() - m_used) {
        std::memcpy(m_buffer.data() + m_used, data, length);
        m_used += length;
        return;
    }
    Flush();
    if (length < m_buffer.size()) {
        std::memcpy(m_buffer.data(), data, length);
        m_used = length;
        return;
    }
    errno = 0;
    if (!Handle() || PlatformWrite(data, length, Handle()) != length)
        Fail();
    m_bufferStart += length;
}

void COutputFile::WriteByte(char byte)
{
    FlushRun();
    if (m_used == m_buffer.size())
        Flush();
    m_buffer[m_used++] = byte;
    ++m_position;
}

void COutputFile::WriteNumber(int64_t value)
{
    // Most numbers go straight into the buffer: no run pending, room for the longest.
    constexpr size_t kLongest = 20;
    if (m_runLength == 0 && m_buffer.size() - m_used >= kLongest) {
        char* const at = m_buffer.data() + m_used;
        const size_t length = static_cast<size_t>(std::to_chars(at, at + kLongest, value).ptr - at);
        m_used += length;
        m_position += length;
        return;
    }
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    Write(digits, static_cast<size_t>(result.ptr - digits));
}

void COutputFile::CopyFrom(CInputFile& input, uint64_t position, uint64_t length)
{
    FlushRun();
    m_position += length;
    CopyIntoBuffer(input, position, length);
}

void COutputFile::CopyRun(CInputFile& input, uint64_t position, uint64_t length)
{
    // An input shorter than the run is damage, found here as a copy would find it.
    if (position > input.size() || length > input.size() - position)
        throw CPdfDamaged();
    if (m_runLength > 0 && (m_runInput != &input || m_runStart + m_runLength != position))
        FlushRun();
    if (m_runLength == 0) {
        m_runInput = &input;
        m_runStart = position;
    }
    m_runLength += length;
    m_position += length;
}

void COutputFile::FlushRun()
{
    if (m_runLength == 0)
        return;
    uint64_t position = m_runStart;
    uint64_t length = m_runLength;
    m_runLength = 0;
    if (length >= kSystemCopyRun && m_runInput->file() && Handle()) {
        Flush();
        const size_t copied = PlatformCopyRange(m_runInput->file(), position, static_cast<size_t>(length),
                                                Handle());
        m_bufferStart += copied;
        position += copied;
        length -= copied;
    }
    CopyIntoBuffer(*m_runInput, position, length);
}

void COutputFile::CopyIntoBuffer(CInputFile& input, uint64_t position, uint64_t length)
{
    while (length > 0) {
        if (m_used == m_buffer.size())
            Flush();
        const size_t room = m_buffer.size() - m_used;
        const size_t take = length < room ? static_cast<size_t>(length) : room;
        const size_t got = input.ReadInto(position, take, m_buffer.data() + m_used);
        if (got != take)
            throw CPdfDamaged();
        m_used += got;
        position += got;
        length -= got;
    }
}
