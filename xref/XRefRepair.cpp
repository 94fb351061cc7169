// Rebuilding a cross-reference that cannot be used: one scan of the file finds every object
// header, and the last definition of a number wins, whether it stands in the file or in an
// object stream found by the same scan. The trailer is the last trailer or cross-reference
// stream dictionary whose /Root leads to a catalog with a page tree; without one, the last such
// catalog found in the file serves.
#include <algorithm>
#include <utility>

#include "pdf/Exception.h"
#include "pdf/Parser.h"
#include "streams/Stream.h"
#include "xref/FileScan.h"
#include "xref/ObjectStream.h"
#include "xref/XRef.h"

namespace {

constexpr uint32_t kUndefined = 0xFFFFFFFF;
// Only the last trailers, cross-reference streams and catalogs are tried: a file updated more
// often than this is not real, and each try may parse to the end of the file.
constexpr size_t kMaxCandidates = 64;
// Object streams found by the scan are decoded up to this much in all, or 100 bytes for every
// byte of the file if that is more: a file of many small bombs costs no more than one large one.
constexpr uint64_t kDecodeBudgetFloor = uint64_t(256) << 20;
constexpr uint64_t kDecodeBudgetPerByte = 100;

// The last kMaxCandidates of items.
template <typename T>
std::vector<T> lastFew(const std::vector<T>& items)
{
    const size_t skip = items.size() > kMaxCandidates ? items.size() - kMaxCandidates : 0;
    return std::vector<T>(items.begin() + static_cast<std::ptrdiff_t>(skip), items.end());
}

// A dictionary that may be the trailer, and where it stands in the file.
struct TrailerCandidate {
    uint32_t position = 0;
    CPdfElement holder; // the dictionary, or the cross-reference stream that has it
    CPdfDictionary* dictionary() const
    {
        return holder.stream() ? holder.stream()->getDict() : holder.dictionary();
    }
};

bool hasEncrypt(const CPdfDictionary& dictionary)
{
    const CPdfElement* encrypt = dictionary.find("Encrypt");
    return encrypt && (encrypt->is(PdfKind::Reference) || encrypt->is(PdfKind::Dictionary));
}

// The dictionaries after the last "trailer" keywords, read without a cross-reference.
std::vector<TrailerCandidate> trailerDictionaries(CPdfStream& file, uint32_t start, const CPdfFileScan& scan)
{
    std::vector<TrailerCandidate> candidates;
    for (uint32_t position : lastFew(scan.trailers())) {
        TrailerCandidate candidate{position, {}};
        Succeeds([&] {
            CPdfParser parser(nullptr, file.openRange(start + position, 0, CPdfElement()));
            parser.parseObject(candidate.holder);
        });
        if (candidate.holder.dictionary())
            candidates.push_back(std::move(candidate));
    }
    return candidates;
}

} // namespace

void CPdfXRef::clearTable()
{
    m_objectStreamTexts.clear();
    m_objectStreamBytes = 0;
    m_isReadAsItStands = false;
    m_entries.clear();
    m_trailer = CPdfElement();
    m_rootNumber = 0;
    m_rootGeneration = 0;
    m_infoNumber = 0;
    m_infoGeneration = 0;
}

bool CPdfXRef::rebuild()
{
    clearTable();
    CPdfRef<CPdfStream> range = m_stream->openRange(m_start, 0, CPdfElement());
    CPdfFileScan scan(*range, m_maxEntries);
    m_endstreams = scan.endstreams();
    m_hasEndstreams = true;
    std::vector<uint32_t> definedAt;
    enterObjects(scan, definedAt);
    enterObjectStreams(scan, definedAt);
    return chooseTrailer(scan) || chooseCatalog(scan);
}

void CPdfXRef::enterObjects(const CPdfFileScan& scan, std::vector<uint32_t>& definedAt)
{
    for (const CPdfObjectHeader& header : scan.headers()) {
        growTable(int64_t{header.number} + 1);
        m_entries[header.number] = {header.offset, header.generation, 1};
        definedAt.resize(m_entries.size(), kUndefined);
        definedAt[header.number] = header.offset;
    }
}

// The members of each object stream that is still the last definition of its number; a member
// counts from where its object stream stands, against definitions in the file.
void CPdfXRef::enterObjectStreams(const CPdfFileScan& scan, std::vector<uint32_t>& definedAt)
{
    const uint64_t budget = std::max(kDecodeBudgetFloor, uint64_t{m_fileSize} * kDecodeBudgetPerByte);
    uint64_t decoded = 0;
    for (size_t index : scan.objectStreams()) {
        const CPdfObjectHeader& header = scan.headers()[index];
        if (decoded >= budget)
            break;
        const CPdfXRefEntry& entry = m_entries[header.number];
        if (entry.type != 1 || entry.offset != header.offset || header.generation != 0)
            continue;
        std::unique_ptr<CPdfObjectStreamText> members;
        if (!Succeeds([&] { members = std::make_unique<CPdfObjectStreamText>(*this, header.number); }))
            continue;
        decoded += members->byteSize();
        for (int32_t i = 0; i < members->count(); ++i) {
            const int32_t number = members->objectNumber(i);
            if (number < 0 || static_cast<uint32_t>(number) >= m_maxEntries ||
                static_cast<uint32_t>(number) == header.number)
                continue;
            growTable(int64_t{number} + 1);
            definedAt.resize(m_entries.size(), kUndefined);
            uint32_t& defined = definedAt[static_cast<size_t>(number)];
            if (defined != kUndefined && defined > header.offset)
                continue;
            m_entries[static_cast<size_t>(number)] = {header.number, static_cast<uint32_t>(i), 2};
            defined = header.offset;
        }
    }
    // The entries changed under any object stream read so far.
    m_objectStreamTexts.clear();
    m_objectStreamBytes = 0;
}

bool CPdfXRef::chooseTrailer(const CPdfFileScan& scan)
{
    std::vector<TrailerCandidate> candidates = trailerDictionaries(*m_stream, m_start, scan);
    for (size_t index : lastFew(scan.xrefStreams())) {
        const CPdfObjectHeader& header = scan.headers()[index];
        TrailerCandidate candidate{header.offset, {}};
        Succeeds([&] { fetch(static_cast<int32_t>(header.number), static_cast<int32_t>(header.generation),
                             candidate.holder); });
        const CPdfDictionary* dictionary = candidate.dictionary();
        const CPdfElement* type = dictionary ? dictionary->find("Type") : nullptr;
        if (type && type->isName("XRef") && m_entries[header.number].offset == header.offset)
            candidates.push_back(std::move(candidate));
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const TrailerCandidate& a, const TrailerCandidate& b) { return a.position < b.position; });
    for (const TrailerCandidate& candidate : candidates) {
        if (hasEncrypt(*candidate.dictionary()))
            throw CPdfEncrypted();
    }
    for (auto candidate = candidates.rbegin(); candidate != candidates.rend(); ++candidate) {
        const CPdfElement* root = candidate->dictionary()->find("Root");
        if (!root || !root->is(PdfKind::Reference) || !hasUsableCatalog(root->refNumber(), root->refGeneration()))
            continue;
        m_trailer.setDictionary(candidate->dictionary());
        readTrailerReferences();
        return true;
    }
    return false;
}

// No trailer names a usable catalog: the last catalog object with a page tree becomes the root
// of a trailer made for it.
bool CPdfXRef::chooseCatalog(const CPdfFileScan& scan)
{
    const std::vector<size_t> catalogs = lastFew(scan.catalogs());
    for (auto index = catalogs.rbegin(); index != catalogs.rend(); ++index) {
        const CPdfObjectHeader& header = scan.headers()[*index];
        const int32_t number = static_cast<int32_t>(header.number);
        const int32_t generation = static_cast<int32_t>(header.generation);
        if (m_entries[header.number].offset != header.offset || !hasUsableCatalog(number, generation))
            continue;
        CPdfElement root;
        root.setReference(number, generation);
        m_trailer.newDictionary(this).set("Root", root);
        readTrailerReferences();
        return true;
    }
    return false;
}

void CPdfXRef::scanEndstreams()
{
    CPdfRef<CPdfStream> range = m_stream->openRange(m_start, 0, CPdfElement());
    m_endstreams = CPdfFileScan(*range, 0).endstreams();
    m_hasEndstreams = true;
}

bool CPdfXRef::findStreamEnd(uint32_t dataStart, uint32_t& dataLength, uint32_t& keyword)
{
    if (!m_hasEndstreams)
        scanEndstreams();
    if (dataStart < m_start)
        return false;
    const auto found = std::lower_bound(m_endstreams.begin(), m_endstreams.end(), dataStart - m_start);
    if (found == m_endstreams.end())
        return false;
    keyword = m_start + *found;
    dataLength = keyword - dataStart;
    // The end of line before "endstream" belongs to the keyword, not to the data.
    char before[2] = {0, 0};
    if (dataLength >= 2) {
        CPdfRef<CPdfStream> tail = m_stream->openRange(dataStart + dataLength - 2, 2, CPdfElement());
        tail->readBlock(before, 2);
    } else if (dataLength == 1) {
        CPdfRef<CPdfStream> tail = m_stream->openRange(dataStart, 1, CPdfElement());
        tail->readBlock(before + 1, 1);
    }
    if (before[1] == '\n')
        dataLength -= before[0] == '\r' ? 2 : 1;
    else if (before[1] == '\r')
        dataLength -= 1;
    return true;
}
