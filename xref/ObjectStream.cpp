#include "xref/ObjectStream.h"

#include <algorithm>
#include <string>

#include "pdf/Exception.h"
#include "pdf/Parser.h"
#include "streams/MemoryStream.h"
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

// Reads the offset table through a window of First bytes on data, leaving data at byte First.
// False when a pair is not two integers; offsets that go backwards mean a damaged file.
bool readOffsetTable(CPdfXRef& xref, uint32_t streamNumber, CPdfStream& data, const ObjectStreamHeader& header,
                     std::vector<int32_t>& numbers, std::vector<int32_t>& offsets)
{
    auto window = CPdfRef<CPdfStream>::create<CPdfEmbedStream>(&data, CPdfElement(), true,
                                                               static_cast<uint32_t>(header.first));
    CPdfStream* windowView = window.get();
    CPdfParser parser(&xref, std::move(window));
    CPdfElement number;
    CPdfElement offset;
    for (int32_t i = 0; i < header.count; ++i) {
        parser.parseObject(number);
        parser.parseObject(offset);
        if (!number.is(PdfKind::Integer) || !offset.is(PdfKind::Integer))
            return false;
        if (offset.integer() < 0 || (!offsets.empty() && offset.integer() < offsets.back()))
            throw CPdfDamaged();
        // An object stream cannot hold itself: an entry that says so is never found.
        const bool isSelf = number.integer() == static_cast<int32_t>(streamNumber);
        numbers.push_back(isSelf ? -1 : number.integer());
        offsets.push_back(offset.integer());
    }
    while (windowView->getChar() >= 0) {
    }
    return true;
}

// The most an object stream may decode to: 100 bytes for each compressed byte, and never less
// than 8 MiB. True object streams stay far below it; one that goes past it is damage, not a
// reason to hold hundreds of megabytes for a file of a few kilobytes.
constexpr uint64_t kDecodedFloor = uint64_t(8) << 20;
constexpr uint64_t kDecodedPerByte = 100;

std::string decodeData(CPdfStream& data)
{
    const uint64_t limit = std::max(kDecodedFloor, uint64_t{data.getLength()} * kDecodedPerByte);
    std::string decoded;
    char block[4096];
    for (size_t count = data.readBlock(block, sizeof block); count > 0; count = data.readBlock(block, sizeof block)) {
        if (decoded.size() + count > limit)
            throw CPdfDamaged();
        decoded.append(block, count);
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

CPdfObjectStream::CPdfObjectStream(CPdfXRef& xref, uint32_t number) : m_number(number)
{
    CPdfElement object;
    ObjectStreamHeader header;
    CPdfStream* stored = openObjectStream(xref, number, object, header);
    if (!stored)
        return;
    auto decoded = CPdfRef<CPdfStream>::create<CPdfMemoryStream>(decodeData(*stored));
    CPdfStream* data = decoded.get();
    std::vector<int32_t> offsets;
    if (!readOffsetTable(xref, m_number, *data, header, m_objectNumbers, offsets)) {
        m_objectNumbers.clear();
        return;
    }
    for (int32_t skip = 0; skip < offsets[0] && data->getChar() >= 0; ++skip) {
    }
    m_objects.resize(offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        bool isLast = i + 1 == offsets.size();
        uint32_t length = isLast ? 0 : static_cast<uint32_t>(offsets[i + 1] - offsets[i]);
        auto window = CPdfRef<CPdfStream>::create<CPdfEmbedStream>(data, CPdfElement(), !isLast, length);
        CPdfStream* windowView = window.get();
        CPdfParser parser(&xref, std::move(window));
        parser.parseObject(m_objects[i]);
        while (windowView->getChar() >= 0) {
        }
    }
}

void CPdfObjectStream::getObject(int32_t index, int32_t objectNumber, CPdfElement& out) const
{
    if (index < 0 || index >= count() || m_objectNumbers[static_cast<size_t>(index)] != objectNumber) {
        out.setNull();
        return;
    }
    out = m_objects[static_cast<size_t>(index)];
}

CPdfObjectStreamText::CPdfObjectStreamText(CPdfXRef& xref, uint32_t number) : m_number(number)
{
    CPdfElement object;
    ObjectStreamHeader header;
    CPdfStream* data = openObjectStream(xref, number, object, header);
    if (!data)
        return;
    // The data is decoded once; the offset table is read from its first First bytes.
    m_data = decodeData(*data);
    auto table = CPdfRef<CPdfStream>::create<CPdfMemoryStream>(m_data.substr(0, header.first));
    if (!readOffsetTable(xref, m_number, *table, header, m_objectNumbers, m_offsets)) {
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
