#include "append/KeptTexts.h"

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
    m_refs.reserve(static_cast<size_t>(limit / sizeof(CObjectRef)));
    m_keys.reserve(static_cast<size_t>(limit / sizeof(CObjectKey)));
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
    const uint64_t bytes = sizeof(CRecord) + headSize + text.tail.size() + refs.size() * sizeof(CObjectRef) +
                           keys.size() * sizeof(CObjectKey);
    if (m_used + bytes > m_limit)
        return false;
    m_used += bytes;
    CRecord& record = m_records.emplace_back();
    record.facts = text;
    record.findings = text.scan;
    record.headAt = m_bytes.size();
    record.headSize = headSize;
    record.tailSize = text.tail.size();
    m_bytes.append(text.head.data(), headSize);
    m_bytes.append(text.tail.data(), text.tail.size());
    record.refsAt = m_refs.size();
    record.refsCount = refs.size();
    m_refs.insert(m_refs.end(), refs.begin(), refs.end());
    record.keysAt = m_keys.size();
    record.keysCount = keys.size();
    m_keys.insert(m_keys.end(), keys.begin(), keys.end());
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
    static_cast<CScanFindings&>(out.scan) = record.findings;
    out.tail.assign(m_bytes.data() + record.headAt + record.headSize, record.tailSize);
    const auto refs = m_refs.begin() + static_cast<std::ptrdiff_t>(record.refsAt);
    out.scan.m_refs.assign(refs, refs + static_cast<std::ptrdiff_t>(record.refsCount));
    const auto keys = m_keys.begin() + static_cast<std::ptrdiff_t>(record.keysAt);
    out.scan.m_keys.assign(keys, keys + static_cast<std::ptrdiff_t>(record.keysCount));
    return true;
}
