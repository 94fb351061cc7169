// The cross-reference of one input file: where each object number lives (at a file offset,
// inside an object stream, or nowhere), the trailer with its Root and Info references, and
// fetch, which parses an object on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "pdf/Element.h"

class CPdfStream;
class CPdfParser;
class CPdfObjectStreamText;

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

    // Reads every cross-reference section and the trailer through the whole-file stream
    // (borrowed; it must outlive this object). Throws CPdfException for damaged or encrypted files.
    void read(CPdfStream* stream);
    // out := the object (number, generation), or Null when the table has no such object.
    void fetch(int32_t number, int32_t generation, CPdfElement& out);
    // The bytes of a compressed object inside its decoded object stream, or null. The pointer
    // stays valid until another compressed object's text is asked for.
    const unsigned char* getObjectText(int32_t number, int32_t generation, uint32_t& length);
    const std::vector<CPdfXRefEntry>& getEntries() const { return m_entries; }
    // File offset of the header, from which every type-1 offset counts.
    uint32_t getStart() const { return m_start; }
    uint32_t fileSize() const { return m_fileSize; }

    int32_t m_rootNumber = 0;
    int32_t m_rootGeneration = 0;
    int32_t m_infoNumber = 0;
    int32_t m_infoGeneration = 0;
    CPdfElement m_trailer;

private:
    uint32_t findStartXRef();
    // Reads the section at position; returns the position of the previous one, if any.
    std::optional<uint32_t> readSection(uint32_t position);
    std::optional<uint32_t> readTable(CPdfParser& parser);
    std::optional<uint32_t> readPlainEntries(uint32_t position);
    std::optional<uint32_t> readTrailer(CPdfParser& parser);
    std::optional<uint32_t> readXRefStream(const CPdfElement& streamElement);
    void readStreamSubsection(CPdfStream* data, const int32_t widths[3], int32_t first, int32_t count);
    void growTable(int64_t size);
    std::optional<uint32_t> previousSection(const CPdfDictionary& dictionary);
    void visitSection(uint32_t position);
    void readTrailerReferences();

    void fetchStored(int32_t number, int32_t generation, const CPdfXRefEntry& entry, CPdfElement& out);
    void fetchCompressed(int32_t number, const CPdfXRefEntry& entry, CPdfElement& out);

    CPdfStream* m_stream = nullptr;
    uint32_t m_start = 0;
    uint32_t m_fileSize = 0;
    uint32_t m_maxEntries = 0;
    std::vector<CPdfXRefEntry> m_entries;
    std::set<uint32_t> m_sectionsRead;
    std::set<int32_t> m_beingFetched;
    std::set<int32_t> m_streamsBeingBuilt;
    // Decoded object streams by number, up to 32 MiB; the least recently used go first. The
    // copy and the duplicate search jump between object streams; each is decoded once while
    // it stays here, which for files of ordinary size is once per run.
    struct CCachedObjectStream {
        std::unique_ptr<CPdfObjectStreamText> text;
        uint64_t lastUse = 0;
    };
    std::unordered_map<uint32_t, CCachedObjectStream> m_objectStreamTexts;
    uint64_t m_objectStreamClock = 0;
    size_t m_objectStreamBytes = 0;
    CPdfObjectStreamText* objectStreamText(uint32_t number);
};
