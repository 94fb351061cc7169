#include "xref/XRef.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "pdf/ByteClass.h"
#include "pdf/Exception.h"
#include "pdf/Lexer.h"
#include "pdf/Parser.h"
#include "streams/MemoryStream.h"
#include "streams/Stream.h"
#include "xref/ObjectStream.h"

namespace {

// Object numbers stop here: enough for any real file, and the table stays under 100 MB.
constexpr uint32_t kMaxObjectNumbers = 8388608;
// Nested fetches (a stream whose /Length is itself in a stream, ...) stop here.
constexpr size_t kMaxFetchDepth = 64;
constexpr int32_t kMaxFieldWidth = 8;
constexpr int kStartXRefWindow = 1023;
// Decoded object streams kept for getObjectText: a few, and a bounded amount of memory.
constexpr size_t kObjectStreamCacheBytes = size_t(32) << 20;

// Holds an object number in a set of objects under way (being fetched, or object streams being
// built) and takes it out however the work ends. Meeting a number already under way means a
// /Length or an object stream that leads back into itself.
class CFetchGuard {
public:
    CFetchGuard(std::set<int32_t>& active, int32_t number) : m_active(active), m_number(number)
    {
        if (m_active.size() >= kMaxFetchDepth || !m_active.insert(number).second)
            throw CPdfDamaged();
    }
    ~CFetchGuard() { m_active.erase(m_number); }
    CFetchGuard(const CFetchGuard&) = delete;
    CFetchGuard& operator=(const CFetchGuard&) = delete;

private:
    std::set<int32_t>& m_active;
    int32_t m_number;
};

} // namespace

bool Succeeds(const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (const CPdfException& failure) {
        if (failure.status() == kEncryptedStatus)
            throw;
        return false;
    }
}

CPdfXRef::CPdfXRef() = default;
CPdfXRef::~CPdfXRef() = default;

void CPdfXRef::adopt(CPdfStream* stream, std::vector<CPdfXRefEntry> entries, int32_t rootNumber, int32_t infoNumber)
{
    m_stream = stream;
    m_start = stream->getStart();
    m_entries = std::move(entries);
    m_rootNumber = rootNumber;
    m_infoNumber = infoNumber;
    remeasure();
}

void CPdfXRef::remeasure()
{
    m_stream->seek(0, 2);
    remeasure(m_stream->getPos());
}

void CPdfXRef::remeasure(uint64_t fileSize)
{
    m_fileSize = static_cast<uint32_t>(std::min<uint64_t>(fileSize, UINT32_MAX));
    m_maxEntries = std::min<uint32_t>(kMaxObjectNumbers, std::max<uint32_t>(m_fileSize, 65536));
}

void CPdfXRef::read(CPdfStream* stream)
{
    m_stream = stream;
    m_start = stream->getStart();
    m_stream->seek(0, 2);
    m_fileSize = m_stream->getPos();
    // One byte of file per object number at most: a table cannot list more objects than
    // the file could hold, whatever /Size claims.
    m_maxEntries = std::min<uint32_t>(kMaxObjectNumbers, std::max<uint32_t>(m_fileSize, 65536));
    if (takeTableAhead())
        return;

    // The sections are used as they are whenever they lead to a catalog with a page tree. Only
    // otherwise is the file scanned, and a scan that finds no catalog leaves what they gave.
    const bool isRead = Succeeds([this] {
        readSections();
        readTrailerReferences();
    });
    if (isRead && !hasEntryPastTheEnd() && hasUsableCatalog(m_rootNumber, m_rootGeneration)) {
        m_isReadAsItStands = true;
        return;
    }
    std::vector<CPdfXRefEntry> readEntries = std::move(m_entries);
    CPdfElement readTrailer = std::move(m_trailer);
    const int32_t references[4] = {m_rootNumber, m_rootGeneration, m_infoNumber, m_infoGeneration};
    if (rebuild()) {
        m_isRebuilt = true;
        return;
    }
    if (!isRead)
        throw CPdfDamaged();
    clearTable();
    m_entries = std::move(readEntries);
    m_trailer = std::move(readTrailer);
    m_rootNumber = references[0];
    m_rootGeneration = references[1];
    m_infoNumber = references[2];
    m_infoGeneration = references[3];
}

void CPdfXRef::readSections()
{
    uint32_t position = findStartXRef();
    if (position == 0)
        throw CPdfDamaged();
    std::optional<uint32_t> next = position;
    while (next)
        next = readSection(*next);
}

// An object said to lie beyond the end of the file shows that the table is off, without a read.
bool CPdfXRef::hasEntryPastTheEnd() const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [this](const CPdfXRefEntry& entry) {
        return entry.type == 1 && uint64_t{m_start} + entry.offset >= m_fileSize;
    });
}

bool CPdfXRef::hasUsableCatalog(int32_t number, int32_t generation)
{
    bool isUsable = false;
    const bool isFetched = Succeeds([&] {
        CPdfElement root;
        fetch(number, generation, root);
        CPdfElement pages;
        if (root.dictionary())
            root.dictionary()->getResolved("Pages", pages);
        isUsable = pages.is(PdfKind::Dictionary);
    });
    return isFetched && isUsable;
}

uint32_t CPdfXRef::findStartXRef()
{
    m_stream->seek(-kStartXRefWindow, 2);
    char bytes[kStartXRefWindow];
    const std::string_view window(bytes, m_stream->readBlock(bytes, sizeof bytes));
    size_t keyword = window.rfind("startxref");
    if (keyword == std::string_view::npos)
        return 0;
    // Zero bytes count as spaces here.
    size_t i = keyword + 9;
    while (i < window.size() && (window[i] == ' ' || window[i] == '\0' || (window[i] >= 9 && window[i] <= 13)))
        ++i;
    int32_t value = LexIntegerValue(window.substr(i, 12));
    return value < 0 ? 0 : static_cast<uint32_t>(value);
}

void CPdfXRef::visitSection(uint32_t position)
{
    if (!m_sectionsRead.insert(position).second)
        throw CPdfDamaged(); // a Prev or XRefStm chain that loops
}

std::optional<uint32_t> CPdfXRef::readSection(uint32_t position)
{
    visitSection(position);
    if (uint64_t(m_start) + position >= m_fileSize)
        throw CPdfException("Couldn't parse an xref");
    CPdfParser parser(nullptr, m_stream->openRange(m_start + position, 0, CPdfElement()));
    CPdfElement object;
    parser.parseObject(object);
    if (object.isKeyword("xref")) {
        if (const std::optional<uint32_t> trailer = readPlainEntries(m_start + position)) {
            CPdfParser trailerParser(nullptr, m_stream->openRange(*trailer, 0, CPdfElement()));
            return readTrailer(trailerParser);
        }
        return readTable(parser);
    }
    if (!object.is(PdfKind::Integer))
        throw CPdfException("Couldn't parse an xref");
    CPdfElement generation;
    CPdfElement keyword;
    CPdfElement stream;
    parser.parseObject(generation);
    parser.parseObject(keyword);
    parser.parseObject(stream);
    if (!generation.is(PdfKind::Integer) || !keyword.isKeyword("obj") || !stream.is(PdfKind::Stream))
        throw CPdfException("Couldn't parse an xref stream");
    return readXRefStream(stream);
}

void CPdfXRef::growTable(int64_t size)
{
    if (size < 0 || size > m_maxEntries)
        throw CPdfDamaged();
    if (static_cast<size_t>(size) > m_entries.size())
        m_entries.resize(static_cast<size_t>(size));
}

std::optional<uint32_t> CPdfXRef::readTable(CPdfParser& parser)
{
    CPdfElement first;
    CPdfElement count;
    CPdfElement offset;
    CPdfElement generation;
    CPdfElement kind;
    for (;;) {
        parser.parseObject(first);
        if (first.isKeyword("trailer"))
            break;
        parser.parseObject(count);
        if (!first.is(PdfKind::Integer) || !count.is(PdfKind::Integer))
            throw CPdfException("Couldn't parse an xref table");
        if (first.integer() < 0 || count.integer() < 0)
            throw CPdfDamaged();
        growTable(int64_t(first.integer()) + count.integer());
        for (int32_t number = first.integer(); number - first.integer() < count.integer(); ++number) {
            parser.parseObject(offset);
            parser.parseObject(generation);
            parser.parseObject(kind);
            bool isUsed = kind.isKeyword("n");
            if (!offset.is(PdfKind::Integer) || !generation.is(PdfKind::Integer) || !(isUsed || kind.isKeyword("f")))
                throw CPdfException("Couldn't parse an xref table");
            CPdfXRefEntry& entry = m_entries[static_cast<size_t>(number)];
            if (entry.offset == 0xFFFFFFFF)
                entry = {static_cast<uint32_t>(offset.integer()), static_cast<uint32_t>(generation.integer()),
                         isUsed ? 1u : 0u};
        }
    }
    return readTrailer(parser);
}

namespace {

// The bytes of a classic table in the forms nearly every file uses: unsigned integers of at most
// ten digits, keywords, white space between them. Anything else ends the reading as unusual.
// The bytes come through a lexer, which reads them a window at a time.
class CPlainTableReader {
public:
    explicit CPlainTableReader(CPdfRef<CPdfStream> stream) : m_bytes(std::move(stream))
    {
        m_next = m_bytes.getChar();
    }

    void skipWhitespace()
    {
        while (IsPdfWhite(m_next))
            m_next = m_bytes.getChar();
    }
    // An integer token followed by white space; false for anything else.
    bool readNumber(uint32_t& value)
    {
        uint64_t number = 0;
        int digits = 0;
        for (; m_next >= '0' && m_next <= '9' && digits <= 10; ++digits, m_next = m_bytes.getChar())
            number = number * 10 + static_cast<uint64_t>(m_next - '0');
        if (digits == 0 || digits > 10 || number > INT32_MAX || !IsPdfWhite(m_next))
            return false;
        value = static_cast<uint32_t>(number);
        return true;
    }
    // The keyword word, ended by white space, a delimiter or the end of the data.
    bool readKeyword(const char* word)
    {
        for (; *word; ++word, m_next = m_bytes.getChar()) {
            if (m_next != static_cast<unsigned char>(*word))
                return false;
        }
        return m_next < 0 || IsPdfWhite(m_next) || IsPdfDelimiter(m_next);
    }
    int next() const { return m_next; }
    // File position of the byte after the last one consumed.
    uint32_t position() const { return m_bytes.position() - (m_next >= 0 ? 1 : 0); }

private:
    CPdfLexer m_bytes;
    int m_next;
};

} // namespace

// Most tables are read here straight from their bytes; the parser reads the rest. Entries are
// set exactly as the parser would set them, so a table that turns out unusual half-way is read
// again by the parser with the same result. Returns the position after "trailer".
std::optional<uint32_t> CPdfXRef::readPlainEntries(uint32_t position)
{
    CPdfRef<CPdfStream> range = m_stream->openRange(position, 0, CPdfElement());
    if (!range)
        return std::nullopt;
    CPlainTableReader reader(std::move(range));
    if (!reader.readKeyword("xref"))
        return std::nullopt;
    for (;;) {
        reader.skipWhitespace();
        if (reader.next() == 't')
            return reader.readKeyword("trailer") ? std::optional<uint32_t>(reader.position()) : std::nullopt;
        uint32_t first = 0;
        uint32_t count = 0;
        if (!reader.readNumber(first) || (reader.skipWhitespace(), !reader.readNumber(count)))
            return std::nullopt;
        growTable(int64_t{first} + count);
        for (uint32_t number = first; number - first < count; ++number) {
            uint32_t offset = 0;
            uint32_t generation = 0;
            reader.skipWhitespace();
            if (!reader.readNumber(offset) || (reader.skipWhitespace(), !reader.readNumber(generation)))
                return std::nullopt;
            reader.skipWhitespace();
            const bool isUsed = reader.next() == 'n';
            if (!reader.readKeyword(isUsed ? "n" : "f") || reader.next() < 0)
                return std::nullopt;
            CPdfXRefEntry& entry = m_entries[number];
            if (entry.offset == 0xFFFFFFFF)
                entry = {offset, generation, isUsed ? 1u : 0u};
        }
    }
}

std::optional<uint32_t> CPdfXRef::readTrailer(CPdfParser& parser)
{
    CPdfElement trailer;
    parser.parseObject(trailer);
    if (!trailer.is(PdfKind::Dictionary))
        throw CPdfException("Trailer dictionary is wrong type");
    if (m_trailer.is(PdfKind::Empty))
        m_trailer = trailer;
    // A hybrid file lists some objects only in the cross-reference stream that XRefStm names;
    // it is read right after this table, before older sections.
    const CPdfElement* hybrid = trailer.dictionary()->find("XRefStm");
    if (hybrid && hybrid->is(PdfKind::Integer) && hybrid->integer() > 0) {
        std::optional<uint32_t> ignoredPrev = readSection(static_cast<uint32_t>(hybrid->integer()));
        (void)ignoredPrev; // the table's own Prev continues the chain
    }
    return previousSection(*trailer.dictionary());
}

std::optional<uint32_t> CPdfXRef::previousSection(const CPdfDictionary& dictionary)
{
    const CPdfElement* prev = dictionary.find("Prev");
    if (!prev)
        return std::nullopt;
    int32_t position = 0;
    if (prev->is(PdfKind::Integer))
        position = prev->integer();
    else if (prev->is(PdfKind::Reference))
        position = prev->refNumber();
    else
        return std::nullopt;
    if (position <= 0)
        throw CPdfDamaged();
    return static_cast<uint32_t>(position);
}

std::optional<uint32_t> CPdfXRef::readXRefStream(const CPdfElement& streamElement)
{
    CPdfStream* data = streamElement.stream();
    CPdfDictionary* dictionary = data->getDict();
    if (!dictionary)
        throw CPdfException("Couldn't parse an xref stream");
    const CPdfElement* size = dictionary->find("Size");
    if (!size || !size->is(PdfKind::Integer))
        throw CPdfException("Size of xref Stream is wrong type");
    growTable(size->integer());

    const CPdfElement* w = dictionary->find("W");
    if (!w || !w->is(PdfKind::Array))
        throw CPdfException("W item of xref Stream is wrong type");
    if (w->array()->size() < 3)
        throw CPdfException("W item of xref Stream is wrong length");
    int32_t widths[3];
    for (size_t i = 0; i < 3; ++i) {
        const CPdfElement& width = w->array()->at(i);
        if (!width.is(PdfKind::Integer))
            throw CPdfException("W item of xref Stream is wrong type");
        if (width.integer() > kMaxFieldWidth)
            throw CPdfDamaged();
        widths[i] = width.integer();
    }
    data->rewind();

    const CPdfElement* index = dictionary->find("Index");
    if (index && index->is(PdfKind::Array)) {
        const CPdfArray& ranges = *index->array();
        for (size_t i = 0; i + 1 < ranges.size(); i += 2) {
            if (!ranges.at(i).is(PdfKind::Integer) || !ranges.at(i + 1).is(PdfKind::Integer))
                throw CPdfException("Index item of xref Stream is wrong type");
            readStreamSubsection(data, widths, ranges.at(i).integer(), ranges.at(i + 1).integer());
        }
    } else {
        readStreamSubsection(data, widths, 0, size->integer());
    }
    if (m_trailer.is(PdfKind::Empty))
        m_trailer.setDictionary(dictionary);
    return previousSection(*dictionary);
}

namespace {

// One big-endian field of width bytes from entry[at] on; a field wider than 4 bytes keeps its
// last 4. A width of 0 or less reads nothing.
uint32_t readField(const unsigned char* entry, size_t& at, int32_t width)
{
    uint32_t value = 0;
    for (int32_t i = 0; i < width; ++i)
        value = (value << 8) | entry[at++];
    return value;
}

} // namespace

void CPdfXRef::readStreamSubsection(CPdfStream* data, const int32_t widths[3], int32_t first, int32_t count)
{
    if (first < 0 || count < 0)
        throw CPdfDamaged();
    growTable(int64_t(first) + count);
    // Each entry is read whole: at most three fields of kMaxFieldWidth bytes.
    const size_t entryBytes =
        static_cast<size_t>(std::max(widths[0], 0) + std::max(widths[1], 0) + std::max(widths[2], 0));
    unsigned char bytes[3 * kMaxFieldWidth];
    for (int32_t i = 0; i < count; ++i) {
        if (data->readBlock(reinterpret_cast<char*>(bytes), entryBytes) != entryBytes)
            throw CPdfException("Unexpected EOF while reading xref stream section");
        size_t at = 0;
        uint32_t type = widths[0] == 0 ? 1 : widths[0] < 0 ? 0 : readField(bytes, at, widths[0]);
        uint32_t offset = readField(bytes, at, widths[1]);
        uint32_t generation = readField(bytes, at, widths[2]);
        CPdfXRefEntry& entry = m_entries[static_cast<size_t>(first) + static_cast<size_t>(i)];
        if (entry.offset != 0xFFFFFFFF)
            continue;
        if (type > 2)
            throw CPdfException("Wrong type of xref entry while reading xref stream section");
        entry = {offset, generation, type};
    }
}

void CPdfXRef::readTrailerReferences()
{
    CPdfDictionary* trailer = m_trailer.dictionary();
    const CPdfElement* root = trailer ? trailer->find("Root") : nullptr;
    if (!root || !root->is(PdfKind::Reference))
        throw CPdfDamaged();
    m_rootNumber = root->refNumber();
    m_rootGeneration = root->refGeneration();
    const CPdfElement* info = trailer->find("Info");
    if (info && info->is(PdfKind::Reference)) {
        m_infoNumber = info->refNumber();
        m_infoGeneration = info->refGeneration();
    }
    // A direct Encrypt dictionary encrypts the file just as an indirect one does.
    const CPdfElement* encrypt = trailer->find("Encrypt");
    if (encrypt && (encrypt->is(PdfKind::Reference) || encrypt->is(PdfKind::Dictionary)))
        throw CPdfEncrypted();
    trailer->setXRef(this);
}

void CPdfXRef::fetch(int32_t number, int32_t generation, CPdfElement& out)
{
    out.setNull();
    if (number < 0 || static_cast<size_t>(number) >= m_entries.size())
        return;
    const CPdfXRefEntry entry = m_entries[static_cast<size_t>(number)];
    for (const CFetched& fetched : m_fetched) {
        if (fetched.number == number && fetched.entry.type == entry.type && fetched.entry.offset == entry.offset &&
            fetched.entry.generation == entry.generation) {
            if (entry.type == 1 && entry.generation != static_cast<uint32_t>(generation))
                return;
            if (entry.type == 2 && generation != 0)
                return;
            out = fetched.value;
            return;
        }
    }
    if (entry.type == 1 && entry.generation == static_cast<uint32_t>(generation))
        fetchStored(number, generation, entry, out);
    else if (entry.type == 2 && generation == 0)
        fetchCompressed(number, entry, out);
    else
        return;
    if (out.is(PdfKind::Stream) || out.is(PdfKind::Null))
        return;
    CFetched& kept = m_fetched[m_nextFetched];
    m_nextFetched = (m_nextFetched + 1) % kFetchedKept;
    kept.number = number;
    kept.entry = entry;
    kept.value = out;
}

void CPdfXRef::fetchStored(int32_t number, int32_t generation, const CPdfXRefEntry& entry, CPdfElement& out)
{
    if (uint64_t(m_start) + entry.offset >= m_fileSize)
        return;
    CFetchGuard guard(m_beingFetched, number);
    CPdfParser parser(this, m_stream->openRange(m_start + entry.offset, 0, CPdfElement()));
    CPdfElement head;
    parser.parseObject(head);
    if (!head.is(PdfKind::Integer) || head.integer() != number)
        return;
    parser.parseObject(head);
    if (!head.is(PdfKind::Integer) || head.integer() != generation)
        return;
    parser.parseObject(head);
    if (!head.isKeyword("obj"))
        return;
    parser.parseObject(out);
}

// A compressed object is parsed from its bytes in the decoded object stream, which the cache of
// decoded streams shares with getObjectText: each object stream is decoded once while cached.
void CPdfXRef::fetchCompressed(int32_t number, const CPdfXRefEntry& entry, CPdfElement& out)
{
    uint32_t length = 0;
    const unsigned char* text =
        objectStreamText(entry.offset)->getText(static_cast<int32_t>(entry.generation), number, length);
    if (!text) {
        out.setNull();
        return;
    }
    CPdfParser parser(this, CPdfRef<CPdfStream>::create<CPdfMemoryStream>(
                                std::string(reinterpret_cast<const char*>(text), length)));
    parser.parseObject(out);
}

const unsigned char* CPdfXRef::getObjectText(int32_t number, int32_t generation, uint32_t& length)
{
    length = 0;
    if (number < 0 || static_cast<size_t>(number) >= m_entries.size())
        throw CPdfException("Corrupted PDF file type 2");
    if (generation != 0)
        return nullptr;
    const CPdfXRefEntry entry = m_entries[static_cast<size_t>(number)];
    return objectStreamText(entry.offset)->getText(static_cast<int32_t>(entry.generation), number, length);
}

const CPdfObjectStreamText* CPdfXRef::decodedObjectStream(uint32_t number) const
{
    const auto found = m_objectStreamTexts.find(number);
    return found != m_objectStreamTexts.end() ? found->second.text.get() : nullptr;
}

CPdfObjectStreamText* CPdfXRef::objectStreamText(uint32_t number)
{
    const uint64_t now = ++m_objectStreamClock;
    const auto found = m_objectStreamTexts.find(number);
    if (found != m_objectStreamTexts.end()) {
        found->second.lastUse = now;
        return found->second.text.get();
    }
    // A build inside another fetch may meet that fetch's guards, which a build outside meets not.
    const bool isTopLevel = m_beingFetched.empty() && m_streamsBeingBuilt.empty();
    std::unique_ptr<CPdfObjectStreamText> built = isTopLevel ? takeDecodedAhead(number) : nullptr;
    if (!built) {
        CFetchGuard guard(m_streamsBeingBuilt, static_cast<int32_t>(number));
        built = std::make_unique<CPdfObjectStreamText>(*this, number);
    }
    CPdfObjectStreamText* text = built.get();
    m_objectStreamBytes += text->byteSize();
    m_objectStreamTexts[number] = CCachedObjectStream{std::move(built), now, isTopLevel};
    // The newest stays whatever its size; the least recently used go while the cache holds too much.
    while (m_objectStreamBytes > kObjectStreamCacheBytes && m_objectStreamTexts.size() > 1) {
        auto oldest = m_objectStreamTexts.end();
        for (auto entry = m_objectStreamTexts.begin(); entry != m_objectStreamTexts.end(); ++entry) {
            if (entry->first != number && (oldest == m_objectStreamTexts.end() || entry->second.lastUse < oldest->second.lastUse))
                oldest = entry;
        }
        m_objectStreamBytes -= oldest->second.text->byteSize();
        m_objectStreamTexts.erase(oldest);
    }
    return text;
}

namespace {

// to := a copy of a value another table read, bound to xref where the value was bound to that
// table. Streams are not copied (false): a trailer holds none unless the file is hostile.
bool CopyValue(const CPdfElement& from, CPdfXRef* xref, CPdfElement& to)
{
    if (const CPdfArray* array = from.array()) {
        CPdfArray& copy = to.newArray(array->xref() ? xref : nullptr);
        for (size_t i = 0; i < array->size(); ++i) {
            CPdfElement item;
            if (!CopyValue(array->at(i), xref, item))
                return false;
            copy.append(std::move(item));
        }
        return true;
    }
    if (const CPdfDictionary* dictionary = from.dictionary()) {
        CPdfDictionary& copy = to.newDictionary(dictionary->xref() ? xref : nullptr);
        CPdfDictionary::Entries entries;
        entries.reserve(dictionary->entries().size());
        for (const auto& [key, value] : dictionary->entries()) {
            entries.emplace_back(key, CPdfElement());
            if (!CopyValue(value, xref, entries.back().second))
                return false;
        }
        copy.setAll(std::move(entries));
        return true;
    }
    if (from.is(PdfKind::Stream))
        return false;
    to = from;
    return true;
}

} // namespace

// The table read ahead is copied rather than moved: what another thread allocated goes back to
// it to be freed, since freeing it here would contend for that thread's heap.
bool CPdfXRef::takeTableAhead()
{
    CPdfElement trailer;
    if (!m_ahead || !m_ahead->trailer.dictionary() || !CopyValue(m_ahead->trailer, this, trailer)) {
        m_ahead = nullptr;
        return false;
    }
    m_entries = m_ahead->entries;
    m_trailer = std::move(trailer);
    m_trailer.dictionary()->setXRef(this);
    m_rootNumber = m_ahead->references[0];
    m_rootGeneration = m_ahead->references[1];
    m_infoNumber = m_ahead->references[2];
    m_infoGeneration = m_ahead->references[3];
    m_isReadAsItStands = true;
    // The catalog and page-tree root the read checked are asked for next: they are kept as well.
    for (const auto& [number, value] : m_ahead->fetched) {
        CFetched& kept = m_fetched[m_nextFetched];
        if (number < 0 || static_cast<size_t>(number) >= m_entries.size() || !CopyValue(value, this, kept.value))
            continue;
        m_nextFetched = (m_nextFetched + 1) % kFetchedKept;
        kept.number = number;
        kept.entry = m_entries[static_cast<size_t>(number)];
    }
    return true;
}

std::unique_ptr<CPdfObjectStreamText> CPdfXRef::takeDecodedAhead(uint32_t number)
{
    if (!m_ahead)
        return nullptr;
    const auto found = m_ahead->streams.find(number);
    return found != m_ahead->streams.end() ? std::make_unique<CPdfObjectStreamText>(*found->second) : nullptr;
}

std::shared_ptr<CPdfReadAhead> CPdfXRef::readAhead(CHeldBytes source, size_t maxBytes)
{
    if (!m_isReadAsItStands)
        return nullptr;
    std::vector<uint32_t> numbers;
    for (const CPdfXRefEntry& entry : m_entries) {
        if (entry.type == 2)
            numbers.push_back(entry.offset);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (const uint32_t number : numbers) {
        if (m_objectStreamBytes > maxBytes)
            break;
        Succeeds([&] { objectStreamText(number); });
    }
    auto ahead = std::make_shared<CPdfReadAhead>();
    for (auto& [number, cached] : m_objectStreamTexts) {
        if (!cached.isTopLevel || ahead->bytes + cached.text->byteSize() > maxBytes)
            continue;
        ahead->bytes += cached.text->byteSize();
        ahead->streams.emplace(number, std::move(cached.text));
    }
    m_objectStreamTexts.clear();
    m_objectStreamBytes = 0;
    ahead->source = std::move(source);
    ahead->entries = m_entries;
    ahead->bytes += m_entries.size() * sizeof(CPdfXRefEntry);
    ahead->trailer = m_trailer;
    ahead->references[0] = m_rootNumber;
    ahead->references[1] = m_rootGeneration;
    ahead->references[2] = m_infoNumber;
    ahead->references[3] = m_infoGeneration;
    for (const CFetched& fetched : m_fetched) {
        if (fetched.number >= 0)
            ahead->fetched.emplace_back(fetched.number, fetched.value);
    }
    return ahead;
}
