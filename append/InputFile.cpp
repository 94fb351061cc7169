#include "append/InputFile.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

void CInputFile::Attach(FILE* file, uint32_t headerOffset, CHeldBytes held)
{
    if (held) {
        m_file = file;
        m_held = std::move(held);
        m_recent = nullptr;
        m_size = m_held->size();
        m_windowPosition = 0;
        m_windowData = m_held->data();
        m_windowLength = m_held->size();
    } else {
        AttachSized(file, file ? PlatformFileSize(file) : 0);
    }
    m_headerOffset = headerOffset;
}

void CInputFile::AttachSized(FILE* file, uint64_t size, const CRecentBytes* recent)
{
    m_file = file;
    m_held.reset();
    m_recent = recent;
    m_headerOffset = 0;
    m_size = size;
    m_windowPosition = 0;
    m_windowLength = 0;
    if (m_window.empty())
        m_window.resize(kWindowSize);
    m_windowData = m_window.data();
}

void CInputFile::Detach()
{
    m_file = nullptr;
    m_held.reset();
    m_recent = nullptr;
    m_size = 0;
    m_windowLength = 0;
}

size_t CInputFile::ReadDirect(uint64_t position, size_t length, char* destination)
{
    if ((!m_file && !m_held) || position >= m_size)
        return 0;
    length = static_cast<size_t>(std::min<uint64_t>(length, m_size - position));
    if (m_held) {
        std::memcpy(destination, m_held->data() + position, length);
        return length;
    }
    return ReadAtOrRecent(m_file, m_recent, position, destination, length);
}

bool CInputFile::Fill(uint64_t position, size_t minimum)
{
    if (position >= m_windowPosition && position - m_windowPosition < m_windowLength)
        return true;
    if (m_held) // the window is the whole file already
        return false;
    m_windowPosition = position;
    const size_t length = std::min(m_window.size(), std::max(m_readAhead, minimum));
    m_windowLength = ReadDirect(position, length, m_window.data());
    return m_windowLength > 0;
}

size_t CInputFile::ReadInto(uint64_t position, size_t length, char* destination)
{
    size_t copied = 0;
    while (copied < length) {
        const uint64_t at = position + copied;
        const size_t wanted = length - copied;
        bool inWindow = at >= m_windowPosition && at - m_windowPosition < m_windowLength;
        if (!inWindow && m_copiesThroughWindow && wanted < m_window.size())
            inWindow = Fill(at);
        if (!inWindow) {
            // Bytes outside the window go straight into the destination, and the window stays
            // where the reader is (stream data is copied after the object's tail has been read).
            const size_t got = ReadDirect(at, wanted, destination + copied);
            copied += got;
            if (got < wanted)
                break;
            continue;
        }
        if (!Fill(at))
            break;
        const size_t offset = static_cast<size_t>(at - m_windowPosition);
        const size_t take = std::min(wanted, m_windowLength - offset);
        std::memcpy(destination + copied, m_windowData + offset, take);
        copied += take;
    }
    return copied;
}

std::string_view CInputFile::View(uint64_t position, size_t length)
{
    if (position >= m_size)
        return {};
    const uint64_t wanted = std::min<uint64_t>(length, m_size - position);
    const bool isInWindow = position >= m_windowPosition && position - m_windowPosition <= m_windowLength &&
                            m_windowLength - (position - m_windowPosition) >= wanted;
    if (!isInWindow) {
        m_windowLength = 0;
        if (!Fill(position, static_cast<size_t>(wanted)))
            return {};
    }
    const size_t offset = static_cast<size_t>(position - m_windowPosition);
    return std::string_view(m_windowData + offset, m_windowLength - offset);
}

size_t CInputFile::Read(uint64_t position, size_t length, std::string& out)
{
    if (position >= m_size)
        return 0;
    length = static_cast<size_t>(std::min<uint64_t>(length, m_size - position));
    const size_t before = out.size();
    out.resize(before + length);
    const size_t got = ReadInto(position, length, &out[before]);
    out.resize(before + got);
    return got;
}

uint64_t CInputFile::Find(uint64_t start, std::string_view pattern)
{
    if (pattern.empty())
        return 0;
    uint64_t position = start;
    while (position < m_size) {
        if (!Fill(position))
            break;
        size_t offset = static_cast<size_t>(position - m_windowPosition);
        const uint64_t windowEnd = m_windowPosition + m_windowLength;
        if (m_windowLength - offset < pattern.size() && windowEnd < m_size) {
            m_windowLength = 0; // too little left in this window: reload it from position
            continue;
        }
        std::string_view window(m_windowData + offset, m_windowLength - offset);
        const size_t found = window.find(pattern);
        if (found != std::string_view::npos)
            return position + found + pattern.size() - 1;
        if (windowEnd >= m_size || window.size() < pattern.size())
            break;
        // The next window overlaps this one by the pattern length less one byte, so an
        // occurrence across the seam is found there.
        position = windowEnd - (pattern.size() - 1);
    }
    return 0;
}
