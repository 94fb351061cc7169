#include "xref/FileScan.h"

#include <cstring>

#include "pdf/ByteClass.h"
#include "streams/Stream.h"

namespace {

constexpr size_t kBlockSize = 64 * 1024;
// Bytes kept before the next one examined: enough for "4294967295 65535" and spacing.
constexpr size_t kLookBehind = 48;
// Bytes needed after a word's first byte to see the word and the byte that ends it.
constexpr size_t kLookAhead = 16;
constexpr uint32_t kMaxGeneration = 65535;

bool isSpace(char c)
{
    return IsPdfWhite(static_cast<unsigned char>(c));
}

} // namespace

CPdfFileScan::CPdfFileScan(CPdfStream& stream, uint32_t maxNumber) : m_maxNumber(maxNumber)
{
    m_window.reserve(kBlockSize + kLookBehind + kLookAhead);
    while (!m_isAtEnd) {
        const size_t kept = m_window.size();
        m_window.resize(kept + kBlockSize);
        const size_t got = stream.readBlock(m_window.data() + kept, kBlockSize);
        m_window.resize(kept + got);
        m_isAtEnd = got < kBlockSize;
        scanBlock(m_isAtEnd);
        // What has been examined goes, but for the bytes a header may reach back into.
        const size_t drop = m_scanned > kLookBehind ? m_scanned - kLookBehind : 0;
        m_window.erase(m_window.begin(), m_window.begin() + static_cast<std::ptrdiff_t>(drop));
        m_windowOffset += static_cast<uint32_t>(drop);
        m_scanned -= drop;
    }
}

void CPdfFileScan::scanBlock(bool isLast)
{
    const size_t size = m_window.size();
    const size_t limit = isLast ? size : (size > kLookAhead ? size - kLookAhead : 0);
    for (size_t at = m_scanned; at < limit; ++at) {
        const char c = m_window[at];
        if (c == 'o' || c == 't' || c == 'e' || c == '/')
            visit(at, m_windowOffset + static_cast<uint32_t>(at));
    }
    if (limit > m_scanned)
        m_scanned = limit;
}

bool CPdfFileScan::isWordAt(size_t at, const char* word, size_t length) const
{
    if (at + length > m_window.size() || std::memcmp(m_window.data() + at, word, length) != 0)
        return false;
    if (at + length == m_window.size())
        return m_isAtEnd;
    return !IsPdfRegular(static_cast<unsigned char>(m_window[at + length]));
}

void CPdfFileScan::markLastObject(std::vector<size_t>& marks)
{
    if (!m_headers.empty() && (marks.empty() || marks.back() != m_headers.size() - 1))
        marks.push_back(m_headers.size() - 1);
}

void CPdfFileScan::visit(size_t at, uint32_t offset)
{
    const bool isWordStart = at == 0 || !IsPdfRegular(static_cast<unsigned char>(m_window[at - 1]));
    switch (m_window[at]) {
    case 'o':
        if (isWordAt(at, "obj", 3))
            visitObj(at, offset);
        break;
    case 't':
        if (isWordStart && isWordAt(at, "trailer", 7))
            m_trailers.push_back(offset + 7);
        break;
    case 'e':
        if (isWordStart && isWordAt(at, "endstream", 9))
            m_endstreams.push_back(offset);
        break;
    default:
        if (isWordAt(at, "/XRef", 5))
            markLastObject(m_xrefStreams);
        else if (isWordAt(at, "/ObjStm", 7))
            markLastObject(m_objectStreams);
        else if (isWordAt(at, "/Catalog", 8))
            markLastObject(m_catalogs);
        break;
    }
}

// "number generation obj" read backwards from "obj": white space, up to 5 digits, white
// space, up to 10 digits, and before them the file's start or a byte that is not regular.
void CPdfFileScan::visitObj(size_t at, uint32_t offset)
{
    size_t i = at;
    auto skip = [&](auto isPart, size_t most) {
        size_t count = 0;
        while (i > 0 && count < most && isPart(m_window[i - 1])) {
            --i;
            ++count;
        }
        return count;
    };
    if (skip(isSpace, kLookBehind) == 0)
        return;
    const size_t generationEnd = i;
    if (skip(IsDigit, 5) == 0 || (i > 0 && IsDigit(m_window[i - 1])))
        return;
    const size_t generationStart = i;
    if (skip(isSpace, kLookBehind) == 0)
        return;
    const size_t numberEnd = i;
    if (skip(IsDigit, 10) == 0)
        return;
    if (i > 0 && IsPdfRegular(static_cast<unsigned char>(m_window[i - 1])))
        return;
    if (i == 0 && m_windowOffset != 0)
        return; // the look-behind ran out: not a header anyone would write
    // No overflow: at most ten digits fit in 64 bits.
    uint64_t number = 0;
    uint64_t generation = 0;
    for (size_t k = i; k < numberEnd; ++k)
        number = number * 10 + static_cast<uint64_t>(m_window[k] - '0');
    for (size_t k = generationStart; k < generationEnd; ++k)
        generation = generation * 10 + static_cast<uint64_t>(m_window[k] - '0');
    if (number >= m_maxNumber || generation > kMaxGeneration)
        return;
    m_headers.push_back({static_cast<uint32_t>(number), static_cast<uint32_t>(generation),
                         offset - static_cast<uint32_t>(at - i)});
}
