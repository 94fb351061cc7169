#include "append/KeptTexts.h"

#include <array>
#include <cstdint>
#include <tuple>

namespace {

constexpr uint32_t kPackedNoIndex = UINT32_MAX;

// False when value needs more than 32 bits (kNoIndex aside).
bool Pack(size_t value, uint32_t& out)
{
    if (value == kNoIndex) {
        out = kPackedNoIndex;
        return true;
    }
    out = static_cast<uint32_t>(value);
    return value < kPackedNoIndex;
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

// packed := the values the positions point at; false when one needs more than 32 bits.
template <typename PositionList, size_t N>
bool PackAll(const PositionList& positions, uint32_t (&packed)[N])
{
    static_assert(std::tuple_size<PositionList>::value == N, "one packed value per position");
    bool fits = true;
    for (size_t i = 0; i < N; ++i)
        fits = Pack(*positions[i], packed[i]) && fits;
    return fits;
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
    m_records.clear();
    m_bytes.clear();
    m_refs.clear();
    m_keys.clear();
    m_used = 0;
    m_limit = limit;
    // Grown by doubling, the buffers would hold up to twice what they use, and copy it on the way.
    m_records.reserve(static_cast<size_t>(limit / sizeof(CRecord)));
    m_bytes.reserve(static_cast<size_t>(limit));
    m_refs.reserve(static_cast<size_t>(limit / sizeof(CPackedRef)));
    m_keys.reserve(static_cast<size_t>(limit / sizeof(CPackedKey)));
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
    const uint64_t bytes = sizeof(CRecord) + headSize + text.tail.size() + refs.size() * sizeof(CPackedRef) +
                           keys.size() * sizeof(CPackedKey);
    if (m_used + bytes > m_limit || m_limit >= kPackedNoIndex)
        return false;
    CRecord record;
    record.facts = text;
    record.findings.number = text.scan.m_number;
    record.findings.generation = text.scan.m_generation;
    record.findings.sawEndstream = text.scan.m_sawEndstream;
    record.findings.hasUnsharedName = text.scan.m_hasUnsharedName;
    bool fits = PackAll(Positions(text.scan), record.findings.at);
    const size_t refsAt = m_refs.size();
    const size_t keysAt = m_keys.size();
    for (const CObjectRef& ref : refs) {
        CPackedRef& packed = m_refs.emplace_back();
        packed.number = ref.number;
        packed.generation = ref.generation;
        fits = PackAll(RefPositions(ref), packed.at) && fits;
    }
    for (const CObjectKey& key : keys)
        fits = PackAll(KeyPositions(key), m_keys.emplace_back().at) && fits;
    if (!fits) {
        m_refs.resize(refsAt);
        m_keys.resize(keysAt);
        return false;
    }
    // Within the limit, every size and place in the pool fits in 32 bits.
    m_used += bytes;
    record.headAt = static_cast<uint32_t>(m_bytes.size());
    record.headSize = static_cast<uint32_t>(headSize);
    record.tailSize = static_cast<uint32_t>(text.tail.size());
    record.refsAt = static_cast<uint32_t>(refsAt);
    record.refsCount = static_cast<uint32_t>(refs.size());
    record.keysAt = static_cast<uint32_t>(keysAt);
    record.keysCount = static_cast<uint32_t>(keys.size());
    m_bytes.append(text.head.data(), headSize);
    m_bytes.append(text.tail.data(), text.tail.size());
    m_records.push_back(record);
    m_index[number] = static_cast<uint32_t>(m_records.size());
    return true;
}

bool CKeptTexts::Unpack(uint32_t number, CObjectReader& reader, CObjectText& out) const
{
    if (number >= m_index.size() || m_index[number] == 0)
        return false;
    const CRecord& record = m_records[m_index[number] - 1];
    if (!record.facts.isCompressed)
        out.head.assign(m_bytes.data() + record.headAt, record.headSize);
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
    out.tail.assign(m_bytes.data() + record.headAt + record.headSize, record.tailSize);
    out.scan.m_refs.resize(record.refsCount);
    for (size_t i = 0; i < record.refsCount; ++i) {
        const CPackedRef& packed = m_refs[record.refsAt + i];
        CObjectRef& ref = out.scan.m_refs[i];
        UnpackAll(packed.at, RefPositions(ref));
        ref.number = packed.number;
        ref.generation = packed.generation;
    }
    out.scan.m_keys.resize(record.keysCount);
    for (size_t i = 0; i < record.keysCount; ++i)
        UnpackAll(m_keys[record.keysAt + i].at, KeyPositions(out.scan.m_keys[i]));
    return true;
}
