// Objects stored inside an object stream: a stream whose decoded data starts with N pairs
// "number offset" and holds the objects' text from byte First on. With N 2 and First 10 the
// data "11 0 12 5 <</A 1>> [2]" gives object 11 as <</A 1>> and object 12 as [2].
// CPdfObjectStreamText keeps the decoded bytes: the engine copies object text from them, and a
// fetch parses the one object it asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pdf/Element.h"
#include "platform/ByteBuffer.h"

class CPdfXRef;

class CPdfObjectStreamText {
public:
    CPdfObjectStreamText(CPdfXRef& xref, uint32_t number);
    virtual ~CPdfObjectStreamText() = default;

    int32_t count() const { return static_cast<int32_t>(m_objectNumbers.size()); }
    // The object number the table gives for index (0 <= index < count()).
    int32_t objectNumber(int32_t index) const { return m_objectNumbers.at(static_cast<size_t>(index)); }
    // The bytes of the object at index when it carries objectNumber, else null.
    const unsigned char* getText(int32_t index, int32_t objectNumber, uint32_t& length) const;
    // Memory held: the decoded data and the table.
    size_t byteSize() const;
    // Whether the stream was decoded whole, and then its stored /Length and its decoded size.
    bool isMeasured() const { return m_isMeasured; }
    uint64_t storedLength() const { return m_storedLength; }
    uint64_t decodedLength() const { return m_decodedLength; }

private:
    uint32_t m_number;
    std::vector<int32_t> m_objectNumbers;
    std::vector<int32_t> m_offsets;
    CByteBuffer m_data;
    uint32_t m_first = 0;
    bool m_isMeasured = false;
    uint64_t m_storedLength = 0;
    uint64_t m_decodedLength = 0;
};
