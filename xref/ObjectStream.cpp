#include "xref/ObjectStream.h"

#include <algorithm>
#include <string>

#include "pdf/ByteClass.h"
#include "pdf/Exception.h"
#include "pdf/Lexer.h"
#include "streams/Stream.h"
#include "xref/XRef.h"

namespace {

struct ObjectStreamHeader {
    int32_t count = 0;
    int32_t first = 0;
};

// N and First of an object stream; count 0 when the stream cannot hold objects. Values that
// cannot be true (negative, or more pairs than First bytes could hold) mean a damaged file.
ObjectStreamHeader readHeader(CPdfStream& stream)
{
    ObjectStreamHeader header;
    CPdfDictionary* dictionary = stream.getDict();
    if (!dictionary)
        return header;
    CPdfElement n;
    CPdfElement first;
    dictionary->getResolved("N", n);
    if (!n.is(PdfKind::Integer) || n.integer() == 0)
        return header;
    dictionary->getResolved("First", first);
    if (!first.is(PdfKind::Integer))
        return header;
    // Each pair takes at least four bytes ("1 0 "), the last at least three.
    if (n.integer() < 0 || first.integer() < 0 || int64_t(n.integer()) * 4 - 1 > first.integer())
        throw CPdfDamaged();
    header.count = n.integer();
    header.first = first.integer();
    return header;
}

// The object stream's own entry must say it is stored in the file: an object stream inside
// an object stream (itself included) is damage.
void checkStoredInFile(CPdfXRef& xref, uint32_t number)
{
    const auto& entries = xref.getEntries();
    if (number < entries.size() && entries[number].type == 2)
        throw CPdfDamaged();
}

// The next integer of an offset table at table[at], read as the lexer reads a number (a sign or
// point first, then digits and points; saturating past 32 bits), after white space and comments.
// False for any other token, or at the end.
bool readTableInteger(std::string_view table, size_t& at, int32_t& value)
{
    while (at < table.size()) {
        const auto c = static_cast<unsigned char>(table[at]);
        if (IsPdfWhite(c)) {
            ++at;
        } else if (c == '%') {
            while (at < table.size() && table[at] != '\r' && table[at] != '\n')
                ++at;
        } else {
            break;
        }
    }
    if (at >= table.size())
        return false;
    const char first = table[at];
    if (first != '-' && first != '.' && !IsDigit(first))
        return false;
    const size_t start = at++;
    bool hasPoint = first == '.';
    for (; at < table.size() && (IsDigit(table[at]) || table[at] == '.'); ++at)
        hasPoint = hasPoint || table[at] == '.';
    if (hasPoint)
        return false;
    value = LexIntegerValue(table.substr(start, at - start));
    return true;
}

// Reads the offset table, the first First bytes of the decoded data, without building values.
// False when a pair is not two integers; offsets that go backwards mean a damaged file.
bool readOffsetTable(uint32_t streamNumber, std::string_view table, const ObjectStreamHeader& header,
                     std::vector<int32_t>& numbers, std::vector<int32_t>& offsets)
{
    size_t at = 0;
    for (int32_t i = 0; i < header.count; ++i) {
        int32_t number = 0;
        int32_t offset = 0;
        if (!readTableInteger(table, at, number) || !readTableInteger(table, at, offset))
            return false;
        if (offset < 0 || (!offsets.empty() && offset < offsets.back()))
            throw CPdfDamaged();
        // An object stream cannot hold itself: an entry that says so is never found.
        numbers.push_back(number == static_cast<int32_t>(streamNumber) ? -1 : number);
        offsets.push_back(offset);
    }
    return true;
}

// The most an object stream may decode to: 100 bytes for each compressed byte, and never less
// than 8 MiB. True object streams stay far below it; one that goes past it is damage, not a
// reason to hold hundreds of megabytes for a file of a few kilobytes.
constexpr uint64_t kDecodedFloor = uint64_t(8) << 20;
constexpr uint64_t kDecodedPerByte = 100;

CByteBuffer decodeData(CPdfStream& data)
{
    const uint64_t limit = std::max(kDecodedFloor, uint64_t{data.getLength()} * kDecodedPerByte);
    CByteBuffer decoded;
    if (data.readWhole(decoded, limit))
        return decoded;
    char block[4096];
    for (size_t count = data.readBlock(block, sizeof block); count > 0; count = data.readBlock(block, sizeof block)) {
        if (decoded.size() + count > limit)
            throw CPdfDamaged();
        decoded.insert(decoded.end(), block, block + count);
    }
    return decoded;
}

// Fetches object stream number into holder and reads its N and First; the data stream to read
// from, or null when the stream holds no objects.
CPdfStream* openObjectStream(CPdfXRef& xref, uint32_t number, CPdfElement& holder, ObjectStreamHeader& header)
{
    checkStoredInFile(xref, number);
    xref.fetch(static_cast<int32_t>(number), 0, holder);
    CPdfStream* data = holder.stream();
    if (!data)
        return nullptr;
    header = readHeader(*data);
    return header.count == 0 ? nullptr : data;
}

} // namespace

CPdfObjectStreamText::CPdfObjectStreamText(CPdfXRef& xref, uint32_t number) : m_number(number)
{
    CPdfElement object;
    ObjectStreamHeader header;
    CPdfStream* data = openObjectStream(xref, number, object, header);
    if (!data)
        return;
    // The data is decoded once; the offset table is read from its first First bytes.
    m_data = decodeData(*data);
    m_isMeasured = true;
    m_storedLength = data->getLength();
    m_decodedLength = m_data.size();
    const std::string_view table = std::string_view(m_data.data(), m_data.size()).substr(0, static_cast<size_t>(header.first));
    if (!readOffsetTable(m_number, table, header, m_objectNumbers, m_offsets)) {
        m_objectNumbers.clear();
        m_offsets.clear();
        m_data.clear();
        return;
    }
    m_first = static_cast<uint32_t>(header.first);
}

size_t CPdfObjectStreamText::byteSize() const
{
    return m_data.size() + (m_objectNumbers.size() + m_offsets.size()) * sizeof(int32_t);
}

const unsigned char* CPdfObjectStreamText::getText(int32_t index, int32_t objectNumber, uint32_t& length) const
{
    length = 0;
    if (index < 0 || index >= count() || m_objectNumbers[static_cast<size_t>(index)] != objectNumber)
        return nullptr;
    size_t i = static_cast<size_t>(index);
    uint64_t begin = uint64_t(m_first) + static_cast<uint32_t>(m_offsets[i]);
    uint64_t end = i + 1 < m_offsets.size() ? uint64_t(m_first) + static_cast<uint32_t>(m_offsets[i + 1]) : m_data.size();
    if (end > m_data.size() || begin > end)
        return nullptr;
    length = static_cast<uint32_t>(end - begin);
    return reinterpret_cast<const unsigned char*>(m_data.data()) + begin;
}
