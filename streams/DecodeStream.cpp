#include "streams/DecodeStream.h"

#include <algorithm>
#include <utility>

#include "pdf/ByteClass.h"
#include "streams/FlateStream.h"

CPdfDecodeStream::CPdfDecodeStream(CPdfRef<CPdfStream> underlying) : CPdfFilterStream(std::move(underlying)) {}

void CPdfDecodeStream::setPredictor(int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent)
{
    if (predictor != 1)
        m_predictor = std::make_unique<CPdfPredictor>(*this, predictor, columns, colors, bitsPerComponent);
}

// The same ceiling as for inflated data: past it the stream reports end of data.
bool CPdfDecodeStream::refill()
{
    m_read = 0;
    m_end = 0;
    if (m_isFinished || m_decodedTotal >= kMaxInflatedBytes) {
        m_isFinished = true;
        return false;
    }
    const size_t produced = decode(m_output, kOutputSize);
    if (produced == 0) {
        m_isFinished = true;
        return false;
    }
    m_end = static_cast<uint32_t>(produced);
    m_decodedTotal += produced;
    return true;
}

size_t CPdfAsciiHexStream::decode(unsigned char* out, size_t capacity)
{
    size_t count = 0;
    while (count < capacity && !m_isDone) {
        const int c = nextInput();
        if (IsPdfWhite(c))
            continue;
        const int value = c < 0 || c == '>' ? -1 : HexValue(c);
        if (value < 0) {
            // The end marker (or the data's end) completes an odd digit; a bad character drops it.
            if ((c < 0 || c == '>') && m_highHalf >= 0)
                out[count++] = static_cast<unsigned char>(m_highHalf << 4);
            m_isDone = true;
        } else if (m_highHalf < 0) {
            m_highHalf = value;
        } else {
            out[count++] = static_cast<unsigned char>(m_highHalf << 4 | value);
            m_highHalf = -1;
        }
    }
    return count;
}

size_t CPdfAscii85Stream::flushGroup(const int digits[5], int count, unsigned char* out)
{
    uint64_t value = 0;
    for (int i = 0; i < 5; ++i)
        value = value * 85 + static_cast<uint64_t>(i < count ? digits[i] : 84);
    if (value > UINT32_MAX)
        return 0;
    for (int i = 0; i < count - 1; ++i)
        out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
    return static_cast<size_t>(count - 1);
}

size_t CPdfAscii85Stream::decode(unsigned char* out, size_t capacity)
{
    size_t count = 0;
    while (count + 4 <= capacity && !m_isDone) {
        int digits[5];
        int pending = 0;
        while (pending < 5) {
            int c = nextInput();
            // Some writers put the "<~" of PostScript before the data.
            if (m_isFirst && c == '<' && nextInput() == '~')
                c = nextInput();
            m_isFirst = false;
            if (IsPdfWhite(c))
                continue;
            if (c == 'z' && pending == 0) {
                digits[0] = digits[1] = digits[2] = digits[3] = digits[4] = 0;
                pending = 5;
            } else if (c >= '!' && c <= 'u') {
                digits[pending++] = c - '!';
            } else {
                break; // "~", the end of the data, or a character outside the alphabet
            }
        }
        const size_t produced = pending >= 2 ? flushGroup(digits, pending, out + count) : 0;
        count += produced;
        if (pending < 5 || produced == 0)
            m_isDone = true;
    }
    return count;
}

size_t CPdfRunLengthStream::decode(unsigned char* out, size_t capacity)
{
    size_t count = 0;
    while (count < capacity && !m_isDone) {
        if (m_repeatLeft > 0) {
            const size_t take = std::min<size_t>(m_repeatLeft, capacity - count);
            std::fill(out + count, out + count + take, m_repeatByte);
            count += take;
            m_repeatLeft -= static_cast<uint32_t>(take);
        } else if (m_literalLeft > 0) {
            const int c = nextInput();
            if (c < 0)
                m_isDone = true;
            else
                out[count++] = static_cast<unsigned char>(c);
            --m_literalLeft;
        } else {
            const int length = nextInput();
            const int repeated = length > 128 ? nextInput() : 0;
            if (length < 0 || length == 128 || repeated < 0)
                m_isDone = true;
            else if (length < 128)
                m_literalLeft = static_cast<uint32_t>(length) + 1;
            else {
                m_repeatLeft = 257 - static_cast<uint32_t>(length);
                m_repeatByte = static_cast<unsigned char>(repeated);
            }
        }
    }
    return count;
}

CPdfLzwStream::CPdfLzwStream(CPdfRef<CPdfStream> underlying, bool isEarlyChange)
    : CPdfDecodeStream(std::move(underlying)), m_isEarlyChange(isEarlyChange)
{
    m_prefix.resize(kMaxCodes);
    m_stringLength.resize(kMaxCodes, 1);
    m_suffix.resize(kMaxCodes);
    for (int i = 0; i < 256; ++i)
        m_suffix[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
}

void CPdfLzwStream::clearTable()
{
    m_codeLength = 9;
    m_nextCode = 258;
    m_previous = -1;
}

// No overflow: at most 12 + 7 bits are held before a code is taken out.
bool CPdfLzwStream::readCode(int& code)
{
    while (m_bitCount < m_codeLength) {
        const int c = nextInput();
        if (c < 0)
            return false;
        m_bitBuffer = (m_bitBuffer << 8) | static_cast<uint32_t>(c);
        m_bitCount += 8;
    }
    m_bitCount -= m_codeLength;
    code = static_cast<int>((m_bitBuffer >> m_bitCount) & ((1u << m_codeLength) - 1));
    m_bitBuffer &= (1u << m_bitCount) - 1;
    return true;
}

// The string of a code, at most 4096 bytes long, written backwards along its prefixes.
void CPdfLzwStream::expand(int code)
{
    const size_t length = m_stringLength[static_cast<size_t>(code)];
    m_pending.resize(length);
    for (size_t i = length; i-- > 0;) {
        m_pending[i] = static_cast<char>(m_suffix[static_cast<size_t>(code)]);
        code = m_prefix[static_cast<size_t>(code)];
    }
    m_pendingRead = 0;
}

bool CPdfLzwStream::nextString()
{
    int code = 0;
    do {
        if (!readCode(code) || code == kEndCode)
            return false;
        if (code == kClearCode)
            clearTable();
    } while (code == kClearCode);
    if (m_previous < 0) {
        if (code > 255)
            return false;
        expand(code);
        m_previous = code;
        return true;
    }
    if (code > m_nextCode || (code == m_nextCode && m_nextCode >= kMaxCodes))
        return false;
    const bool isNew = code == m_nextCode;
    expand(isNew ? m_previous : code);
    if (isNew)
        m_pending.push_back(m_pending[0]);
    if (m_nextCode < kMaxCodes) {
        const size_t entry = static_cast<size_t>(m_nextCode++);
        m_prefix[entry] = static_cast<uint16_t>(m_previous);
        m_suffix[entry] = static_cast<unsigned char>(m_pending[0]);
        m_stringLength[entry] = static_cast<uint16_t>(m_stringLength[static_cast<size_t>(m_previous)] + 1);
    }
    m_previous = code;
    if (m_codeLength < 12 && m_nextCode + (m_isEarlyChange ? 1 : 0) >= (1 << m_codeLength))
        ++m_codeLength;
    return true;
}

size_t CPdfLzwStream::decode(unsigned char* out, size_t capacity)
{
    size_t count = 0;
    while (count < capacity) {
        if (m_pendingRead == m_pending.size()) {
            if (m_isDone || !nextString()) {
                m_isDone = true;
                break;
            }
        }
        const size_t take = std::min(capacity - count, m_pending.size() - m_pendingRead);
        std::copy_n(m_pending.data() + m_pendingRead, take, out + count);
        m_pendingRead += take;
        count += take;
    }
    return count;
}
