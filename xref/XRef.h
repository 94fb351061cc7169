// The cross-reference of one input file: where each object number lives (at a file offset,
// inside an object stream, or nowhere), the trailer with its Root and Info references, and
// fetch, which parses an object on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/Element.h"

class CPdfStream;

struct CPdfXRefEntry {
    uint32_t offset = 0xFFFFFFFF; // type 1: offset from the header; type 2: object stream number
    uint32_t generation = 0;      // type 1: generation; type 2: index within the object stream
    uint32_t type = 0;            // 0 free, 1 in the file, 2 in an object stream
};

class CPdfXRef {
public:
    CPdfXRef();
    virtual ~CPdfXRef();
    CPdfXRef(const CPdfXRef&) = delete;
    CPdfXRef& operator=(const CPdfXRef&) = delete;

    // Reads every cross-reference section and the trailer through the whole-file stream (borrowed).
    void read(CPdfStream* stream);
    // out := the object (number, generation), or Null when the table has no such object.
    void fetch(int32_t number, int32_t generation, CPdfElement& out);
    // The bytes of a compressed object inside its decoded object stream, or null.
    const unsigned char* getObjectText(int32_t number, int32_t generation, uint32_t& length);
    const std::vector<CPdfXRefEntry>& getEntries() const { return m_entries; }
    uint32_t getStart() const { return m_start; }

    int32_t m_rootNumber = 0;
    int32_t m_rootGeneration = 0;
    int32_t m_infoNumber = 0;
    int32_t m_infoGeneration = 0;
    CPdfElement m_trailer;

private:
    CPdfStream* m_stream = nullptr;
    uint32_t m_start = 0;
    std::vector<CPdfXRefEntry> m_entries;
};
