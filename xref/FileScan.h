// One pass over a whole file for the rebuilding of a broken cross-reference: where objects
// begin ("12 0 obj"), where trailers stand, which objects look like cross-reference streams,
// object streams or catalogs, and where every "endstream" is. The file is read in blocks, so
// the pass takes time linear in the file's size and memory linear in what it finds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ByteBuffer.h"

class CPdfStream;

struct CPdfObjectHeader {
    uint32_t number = 0;
    uint32_t generation = 0;
    uint32_t offset = 0; // of the number's first digit, from the scan's start
};

class CPdfFileScan {
public:
    // Reads stream (a range from the header to the end of the file) to its end. Object numbers
    // from maxNumber on are ignored.
    CPdfFileScan(CPdfStream& stream, uint32_t maxNumber);

    // Every object header, in file order.
    const std::vector<CPdfObjectHeader>& headers() const { return m_headers; }
    // Offsets just after each "trailer" keyword.
    const std::vector<uint32_t>& trailers() const { return m_trailers; }
    // Indexes into headers() of objects whose text names /XRef, /ObjStm or /Catalog.
    const std::vector<size_t>& xrefStreams() const { return m_xrefStreams; }
    const std::vector<size_t>& objectStreams() const { return m_objectStreams; }
    const std::vector<size_t>& catalogs() const { return m_catalogs; }
    // Offsets of every "endstream", ascending.
    const std::vector<uint32_t>& endstreams() const { return m_endstreams; }

private:
    void scanBlock(bool isLast);
    void visit(size_t at, uint32_t offset);
    void visitObj(size_t at, uint32_t offset);
    // at holds word, ended by white space, a delimiter or the end of the file.
    bool isWordAt(size_t at, const char* word, size_t length) const;
    void markLastObject(std::vector<size_t>& marks);

    uint32_t m_maxNumber;
    CByteBuffer m_window;
    uint32_t m_windowOffset = 0; // file offset (from the scan's start) of m_window[0]
    size_t m_scanned = 0;        // m_window index of the next byte to examine
    bool m_isAtEnd = false;
    std::vector<CPdfObjectHeader> m_headers;
    std::vector<uint32_t> m_trailers;
    std::vector<size_t> m_xrefStreams;
    std::vector<size_t> m_objectStreams;
    std::vector<size_t> m_catalogs;
    std::vector<uint32_t> m_endstreams;
};
