#include "append/OutputBound.h"

#include <algorithm>
#include <string>
#include <vector>

#include "append/Engine.h"
#include "pdf/CheckedMath.h"
#include "pdf/Element.h"
#include "pdf/Exception.h"
#include "streams/FlateStream.h"
#include "streams/Stream.h"
#include "xref/ObjectStream.h"
#include "xref/XRef.h"

namespace {

// A compressed object's header and " endobj\r", a line feed after "endobj", an edit.
constexpr uint64_t kObjectOverhead = 64;
// The most bytes Flate makes from one compressed byte: 258 from 2 bits.
constexpr uint64_t kMaxInflateRatio = 1032;

// a + b, or the largest value when the sum does not fit: a bound past every limit.
uint64_t BoundSum(uint64_t a, uint64_t b)
{
    uint64_t sum = 0;
    return CheckedAdd(a, b, sum) ? sum : UINT64_MAX;
}

// Text whose references ("1 0 R " at least six bytes) each gain up to nine digits.
uint64_t WithRenumbering(uint64_t bytes)
{
    return BoundSum(bytes, BoundSum(bytes / 6 * 9, 9));
}

uint64_t ObjectStreamBytes(CPdfXRef& xref, uint32_t number, bool isExact)
{
    // A stream decoded already (the copy reads its objects) is measured by what it decoded to:
    // the same count as a read, and never above the quick bound that it stands in for.
    const CPdfObjectStreamText* decoded = xref.decodedObjectStream(number);
    if (decoded && decoded->isMeasured()) {
        const uint64_t quick = std::min(kMaxInflatedBytes, decoded->storedLength() * kMaxInflateRatio);
        return isExact ? decoded->decodedLength() : std::min(quick, decoded->decodedLength());
    }
    CPdfElement object;
    xref.fetch(static_cast<int32_t>(number), 0, object);
    CPdfStream* stream = object.stream();
    if (!stream)
        return 0;
    if (!isExact)
        return std::min(kMaxInflatedBytes, uint64_t{stream->getLength()} * kMaxInflateRatio);
    uint64_t count = 0;
    char block[4096];
    for (size_t got = stream->readBlock(block, sizeof block); got > 0; got = stream->readBlock(block, sizeof block))
        count += got;
    return count;
}

} // namespace

uint64_t ObjectBytesBound(CPdfXRef& xref, uint64_t fileSize, bool isSecond, bool isExact)
{
    const std::vector<CPdfXRefEntry>& entries = xref.getEntries();
    std::vector<bool> isCounted(entries.size());
    uint64_t bytes = fileSize;
    uint64_t objects = 0;
    for (const CPdfXRefEntry& entry : entries) {
        if (entry.type == 0)
            continue;
        ++objects;
        if (entry.type == 2 && entry.offset < entries.size() && !isCounted[entry.offset]) {
            isCounted[entry.offset] = true;
            bytes = BoundSum(bytes, ObjectStreamBytes(xref, entry.offset, isExact));
        }
    }
    // No overflow: objects counts table entries, far fewer than 2^32.
    return BoundSum(isSecond ? WithRenumbering(bytes) : bytes, objects * kObjectOverhead);
}

// The first root's indirect /Kids is written twice, as it stands and with the second root.
// Object streams are decoded only when the quick bound does not settle it.
void CAppendEngine::CheckOutputSize(const char* outputPath)
{
    uint64_t twice = 0;
    if (m_kidsObject1 && m_reader1.Read(m_kidsObject1, m_text))
        twice = m_text.Size() + kObjectOverhead;
    // A list's kept output is sized from what its lines wrote: it has no object streams.
    auto firstBound = [&](bool isExact) {
        return m_own.isActive ? m_own.outputSize + uint64_t{m_own.inUseCount} * kObjectOverhead
                              : ObjectBytesBound(*m_xref1, m_input1.size(), false, isExact);
    };
    auto bound = [&](bool isExact) {
        return BoundSum(twice,
                        BoundSum(firstBound(isExact), ObjectBytesBound(*m_xref2, m_input2.size(), true, isExact)));
    };
    if (bound(false) > m_maxOutputOffset && bound(true) > m_maxOutputOffset)
        throw CPdfException(FormatText(
            "Output file would pass the ten-digit offsets of the xref table, nothing written: '%s'", outputPath));
}
