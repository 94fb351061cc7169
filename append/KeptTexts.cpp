#include "append/KeptTexts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>

namespace {

constexpr uint32_t kPackedNoIndex = UINT32_MAX;

// A position in 32 bits: kNoIndex becomes kPackedNoIndex by the cut itself. The sum
// value + 1 fits in 32 bits just when value does or is kNoIndex (which wraps to 0), so one test
// of the sums' bits above 32 tells whether every value packed fits.
uint32_t Packed(size_t value, uint64_t& sums)
{
    sums |= uint64_t{static_cast<size_t>(value + 1)};
    return static_cast<uint32_t>(value);
}

size_t Unpacked(uint32_t value)
{
    return value == kPackedNoIndex ? kNoIndex : value;
}

// The positions of a scan's findings, a reference and a key, each in one order for packing and
// unpacking.
template <typename Findings>
auto Positions(Findings& findings)
{
    return std::array<decltype(&findings.m_headerStart), 11>{
        &findings.m_headerStart, &findings.m_headerNumberEnd, &findings.m_bodyStart,  &findings.m_firstValueStart,
        &findings.m_firstValueEnd, &findings.m_dictOpen,      &findings.m_dictClose,  &findings.m_streamEnd,
        &findings.m_endobjStart,  &findings.m_endobjEnd,      &findings.m_unsharedAt};
}

template <typename Ref>
auto RefPositions(Ref& ref)
{
    return std::array<decltype(&ref.start), 5>{&ref.start, &ref.numberEnd, &ref.generationStart, &ref.generationEnd,
                                               &ref.end};
}

template <typename Key>
auto KeyPositions(Key& key)
{
    return std::array<decltype(&key.keyStart), 4>{&key.keyStart, &key.keyEnd, &key.valueStart, &key.valueEnd};
}

// packed := the values the positions point at; sums as Packed keeps them.
template <typename PositionList, size_t N>
void PackAll(const PositionList& positions, uint32_t (&packed)[N], uint64_t& sums)
{
    static_assert(std::tuple_size<PositionList>::value == N, "one packed value per position");
    for (size_t i = 0; i < N; ++i)
        packed[i] = Packed(*positions[i], sums);
}

template <typename PositionList, size_t N>
void UnpackAll(const uint32_t (&packed)[N], const PositionList& positions)
{
    static_assert(std::tuple_size<PositionList>::value == N, "one packed value per position");
    for (size_t i = 0; i < N; ++i)
        *positions[i] = Unpacked(packed[i]);
}

} // namespace

void CKeptTexts::Start(size_t count, uint64_t limit)
{
    m_index.assign(count, 0);
    m_used = 0;
    m_limit = std::min<uint64_t>(limit, kPackedNoIndex - 1);
    if (m_pool.size() < m_limit)
        m_pool = CMappedSpan(static_cast<size_t>(m_limit));
}

bool CKeptTexts::Keep(uint32_t number, const CObjectText& text)
{
    if (number >= m_index.size())
        return false;
    if (m_index[number] != 0)
        return true;
    const std::vector<CObjectRef>& refs = text.scan.m_refs;
    const std::vector<CObjectKey>& keys = text.scan.m_keys;
    const size_t headSize = text.isCompressed ? 0 : text.head.size();
    const uint64_t bytes = sizeof(CRecord) + refs.size() * sizeof(CPackedRef) + keys.size() * sizeof(CPackedKey) +
                           headSize + text.tail.size();
    const uint64_t padded = (bytes + alignof(CRecord) - 1) / alignof(CRecord) * alignof(CRecord);
    if (padded > m_limit - m_used)
        return false;
    CRecord record;
    record.facts = text;
    record.findings.number = text.scan.m_number;
    record.findings.generation = text.scan.m_generation;
    record.findings.sawEndstream = text.scan.m_sawEndstream;
    record.findings.hasUnsharedName = text.scan.m_hasUnsharedName;
    uint64_t sums = 0;
    PackAll(Positions(text.scan), record.findings.at, sums);
    // Within the limit, every count and size fits in 32 bits.
    record.refsCount = static_cast<uint32_t>(refs.size());
    record.keysCount = static_cast<uint32_t>(keys.size());
    record.headSize = static_cast<uint32_t>(headSize);
    record.tailSize = static_cast<uint32_t>(text.tail.size());
    char* const start = m_pool.data() + m_used;
    char* at = start + sizeof(CRecord);
    for (const CObjectRef& ref : refs) {
        CPackedRef packed;
        packed.number = ref.number;
        packed.generation = ref.generation;
        PackAll(RefPositions(ref), packed.at, sums);
        std::memcpy(at, &packed, sizeof packed);
        at += sizeof packed;
    }
    for (const CObjectKey& key : keys) {
        CPackedKey packed;
        PackAll(KeyPositions(key), packed.at, sums);
        std::memcpy(at, &packed, sizeof packed);
        at += sizeof packed;
    }
    if (sums >> 32 != 0)
        return false; // a position needs more than 32 bits
    std::memcpy(start, &record, sizeof record);
    std::copy_n(text.head.data(), headSize, at);
    std::copy_n(text.tail.data(), text.tail.size(), at + headSize);
    m_index[number] = static_cast<uint32_t>(m_used + 1);
    m_used += padded;
    return true;
}

bool CKeptTexts::Unpack(uint32_t number, CObjectReader& reader, CObjectText& out) const
{
    if (number >= m_index.size() || m_index[number] == 0)
        return false;
    const char* const start = m_pool.data() + (m_index[number] - 1);
    CRecord record;
    std::memcpy(&record, start, sizeof record);
    const char* const refsAt = start + sizeof record;
    const char* const keysAt = refsAt + size_t{record.refsCount} * sizeof(CPackedRef);
    const char* const headAt = keysAt + size_t{record.keysCount} * sizeof(CPackedKey);
    if (!record.facts.isCompressed)
        out.head.assign(headAt, record.headSize);
    else if (!reader.CompressedHead(number, out.head))
        return false;
    static_cast<CObjectTextFacts&>(out) = record.facts;
    CScanFindings& findings = out.scan;
    findings = CScanFindings();
    findings.m_number = record.findings.number;
    findings.m_generation = record.findings.generation;
    findings.m_sawEndstream = record.findings.sawEndstream;
    findings.m_hasUnsharedName = record.findings.hasUnsharedName;
    UnpackAll(record.findings.at, Positions(findings));
    out.tail.assign(headAt + record.headSize, record.tailSize);
    out.scan.m_refs.resize(record.refsCount);
    for (size_t i = 0; i < record.refsCount; ++i) {
        CPackedRef packed;
        std::memcpy(&packed, refsAt + i * sizeof packed, sizeof packed);
        CObjectRef& ref = out.scan.m_refs[i];
        UnpackAll(packed.at, RefPositions(ref));
        ref.number = packed.number;
        ref.generation = packed.generation;
    }
    out.scan.m_keys.resize(record.keysCount);
    for (size_t i = 0; i < record.keysCount; ++i) {
        CPackedKey packed;
        std::memcpy(&packed, keysAt + i * sizeof packed, sizeof packed);
        UnpackAll(packed.at, KeyPositions(out.scan.m_keys[i]));
    }
    return true;
}
