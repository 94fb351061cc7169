// The cross-reference of one input file: where each object number lives (at a file offset,
// inside an object stream, or nowhere), the trailer with its Root and Info references, and
// fetch, which parses an object on demand.
#pragma once

#include <array>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "pdf/Element.h"
#include "platform/ByteBuffer.h"

class CPdfStream;
class CPdfParser;
class CPdfObjectStreamText;
class CPdfFileScan;

// Runs work and says whether it ended without a CPdfException. The refusal of an encrypted file
// is not a failure to recover from: it passes on.
bool Succeeds(const std::function<void()>& work);

struct CPdfXRefEntry {
    uint32_t offset = 0xFFFFFFFF; // type 1: offset from the header; type 2: object stream number
    uint32_t generation = 0;      // type 1: generation; type 2: index within the object stream
    uint32_t type = 0;            // 0 free, 1 in the file, 2 in an object stream

    // The generation a fetch of the object asks for: a compressed object has generation 0.
    int32_t fetchGeneration() const { return type == 2 ? 0 : static_cast<int32_t>(generation); }
};

// One file's table read ahead, with the object streams it names decoded, by another table on
// another thread: a table that reads the very same bytes takes them as they are instead of
// reading and decoding again (the same bytes read the same way give the same table).
struct CPdfReadAhead {
    CHeldBytes source; // the bytes they were read from
    std::vector<CPdfXRefEntry> entries;
    CPdfElement trailer; // the taker binds it to itself
    int32_t references[4] = {}; // root number and generation, info number and generation
    std::vector<std::pair<int32_t, CPdfElement>> fetched; // objects the read fetched (the catalog, ...)
    std::unordered_map<uint32_t, std::unique_ptr<CPdfObjectStreamText>> streams;
    size_t bytes = 0; // memory held, roughly
};

class CPdfXRef {
public:
    CPdfXRef();
    virtual ~CPdfXRef();
    CPdfXRef(const CPdfXRef&) = delete;
    CPdfXRef& operator=(const CPdfXRef&) = delete;

    // Reads every cross-reference section and the trailer through the whole-file stream
    // (borrowed; it must outlive this object). When they cannot be used (or lead to no catalog
    // with a page tree), the table is rebuilt from the objects found in the file. Throws
    // CPdfException for files that hold no usable catalog even so, and for encrypted files.
    void read(CPdfStream* stream);
    // Takes a table that is known rather than read: the engine's own output, which it wrote
    // itself and keeps reading while it grows. The stream is borrowed, as for read.
    void adopt(CPdfStream* stream, std::vector<CPdfXRefEntry> entries, int32_t rootNumber, int32_t infoNumber);
    // The adopted table, for the writer to keep up to date, and the file measured again after it grew.
    std::vector<CPdfXRefEntry>& editEntries() { return m_entries; }
    void remeasure();
    // The object stream's decoded text when it is at hand already, else null; nothing is read.
    const CPdfObjectStreamText* decodedObjectStream(uint32_t number) const;
    // The same for a writer that knows how long the file now is.
    void remeasure(uint64_t fileSize);
    // The table as read from source (the bytes its stream holds), with the object streams it
    // names decoded while their decoded bytes stay within maxBytes; this table keeps no decoded
    // stream. Null unless the sections were used as they stand (not rebuilt).
    std::shared_ptr<CPdfReadAhead> readAhead(CHeldBytes source, size_t maxBytes);
    // Before read: what readAhead gave for the bytes this table is to read, which read then
    // takes instead of reading them. The caller sees that the bytes are the same.
    void offerReadAhead(std::shared_ptr<CPdfReadAhead> ahead) { m_ahead = std::move(ahead); }
    // True when the table was rebuilt from a scan of the file.
    bool isRebuilt() const { return m_isRebuilt; }
    // A stream's data that does not end where its /Length says ends before the first
    // "endstream" at or after dataStart (absolute file positions): false when there is none,
    // else keyword := its position and dataLength := the bytes up to it, less the end of line
    // before it.
    bool findStreamEnd(uint32_t dataStart, uint32_t& dataLength, uint32_t& keyword);
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
    void readSections();
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
    bool hasEntryPastTheEnd() const;
    // The root is a dictionary whose /Pages is one.
    bool hasUsableCatalog(int32_t number, int32_t generation);

    // Rebuilding (XRefRepair.cpp): false when the file holds no usable catalog.
    bool rebuild();
    void clearTable();
    void enterObjects(const CPdfFileScan& scan, std::vector<uint32_t>& definedAt);
    void enterObjectStreams(const CPdfFileScan& scan, std::vector<uint32_t>& definedAt);
    bool chooseTrailer(const CPdfFileScan& scan);
    bool chooseCatalog(const CPdfFileScan& scan);
    void scanEndstreams();

    void fetchStored(int32_t number, int32_t generation, const CPdfXRefEntry& entry, CPdfElement& out);
    void fetchCompressed(int32_t number, const CPdfXRefEntry& entry, CPdfElement& out);

    // The last objects fetched that are no streams, by number and where they lie: a run asks
    // for its catalogs and page-tree roots again and again. A stream is fetched anew each time,
    // since its reading position is its own.
    struct CFetched {
        int32_t number = -1;
        CPdfXRefEntry entry;
        CPdfElement value;
    };
    static constexpr size_t kFetchedKept = 8;
    std::array<CFetched, kFetchedKept> m_fetched;
    size_t m_nextFetched = 0;

    bool m_isRebuilt = false;
    // Offsets (from the header) of every "endstream", once a scan has found them.
    std::vector<uint32_t> m_endstreams;
    bool m_hasEndstreams = false;
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
        bool isTopLevel = false; // built outside any other fetch or build, as decodeAhead needs
    };
    std::unordered_map<uint32_t, CCachedObjectStream> m_objectStreamTexts;
    uint64_t m_objectStreamClock = 0;
    size_t m_objectStreamBytes = 0;
    CPdfObjectStreamText* objectStreamText(uint32_t number);
    bool takeTableAhead();
    std::unique_ptr<CPdfObjectStreamText> takeDecodedAhead(uint32_t number);
    std::shared_ptr<CPdfReadAhead> m_ahead;
    bool m_isReadAsItStands = false; // the sections were used as read
};
