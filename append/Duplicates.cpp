// The duplicate search: a second-file object is written once only when the first file already
// has it. Two objects are the same when their bodies match byte for byte once each reference
// is read as the output object it leads to: first-file references as they stand, second-file
// references through the objects they duplicate. So "<< /FontFile 12 0 R >>" in both files is
// one object only when the second file's 12 is itself a copy of the first file's 12.
//
// Every first-file object written unchanged is indexed twice: by its shape (length of its
// canonical body and CRC of its head with reference numbers left out), so that a second-file
// object whose shape matches nothing is decided without following its references; and by a
// full key over its head with the references it names and its stream data's length and first
// bytes, so that a candidate is compared byte for byte only with objects that very likely are the
// same. Where several first-file streams share a key, whole-data hashes (each taken once) choose.
// Results are remembered, so each object is examined once; the walk over references is capped
// in depth, and an object met again while it is being examined counts as distinct.
#include "append/Engine.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include "append/ByteHash.h"
#include "xref/XRef.h"

namespace {

constexpr uint32_t kMaxDuplicateDepth = 64;
constexpr size_t kCompareBlock = 64 * 1024;
constexpr uint64_t kKeptCandidateBytes = 1024 * 1024;
constexpr char kReferenceMark = '\x01';
constexpr size_t kSampleLength = 64;
constexpr uint64_t kMaxKeptTextBytes = 4 * 1024 * 1024;

enum class RefForm { Blank, AsWritten };

// Where a canonical head goes: a string, or a hash that never holds the bytes.
class CStringSink {
public:
    explicit CStringSink(std::string& out) : m_out(out) { m_out.clear(); }
    void Append(const char* data, size_t length) { m_out.append(data, length); }

private:
    std::string& m_out;
};

class CHashSink {
public:
    void Append(const char* data, size_t length)
    {
        hash.Add(data, length);
        size += length;
    }

    CByteHash hash;
    uint64_t size = 0;
};

// The head's body from "obj" on without surrounding white space, each reference replaced by a
// fixed-size mark with the output number and generation it stands for (or zeros for Blank).
// mapOutput turns a (number, generation) of the text into the output pair.
template <typename MapOutput, typename Sink>
void CanonicalHeadTo(const CObjectText& text, RefForm form, MapOutput mapOutput, Sink& sink)
{
    const std::string& head = text.head;
    size_t start = text.scan.m_bodyStart;
    size_t end = text.isStream ? head.size() : text.HeadBodyEnd();
    while (start < end && IsPdfWhite(static_cast<unsigned char>(head[start])))
        ++start;
    while (!text.isStream && end > start && IsPdfWhite(static_cast<unsigned char>(head[end - 1])))
        --end;
    size_t at = start;
    for (const CObjectRef& ref : text.scan.m_refs) {
        if (ref.start < start || ref.end > end)
            continue;
        sink.Append(head.data() + at, ref.start - at);
        uint32_t number = 0;
        uint32_t generation = 0;
        if (form == RefForm::AsWritten)
            mapOutput(ref, number, generation);
        char mark[9] = {kReferenceMark};
        for (int i = 0; i < 4; ++i) {
            mark[1 + i] = static_cast<char>((number >> (8 * i)) & 0xFF);
            mark[5 + i] = static_cast<char>((generation >> (8 * i)) & 0xFF);
        }
        sink.Append(mark, sizeof mark);
        at = ref.end;
    }
    sink.Append(head.data() + at, end - at);
}

template <typename MapOutput>
void CanonicalHead(const CObjectText& text, RefForm form, MapOutput mapOutput, std::string& out)
{
    CStringSink sink(out);
    CanonicalHeadTo(text, form, mapOutput, sink);
}

// The stream's tail up to "endobj", without the white space before it.
size_t CanonicalTailLength(const CObjectText& text)
{
    size_t end = std::min(text.tailEndobj, text.tail.size());
    while (end > 0 && IsPdfWhite(static_cast<unsigned char>(text.tail[end - 1])))
        --end;
    return end;
}

void NoMapping(const CObjectRef&, uint32_t&, uint32_t&) {}

// The hash of the head with its references blanked, in the high half; the length in the low.
uint64_t ShapeKey(const CObjectText& text)
{
    CHashSink canonical;
    CanonicalHeadTo(text, RefForm::Blank, NoMapping, canonical);
    uint64_t length = canonical.size;
    if (text.isStream)
        length += text.dataLength + CanonicalTailLength(text);
    return (canonical.hash.Value() & 0xFFFFFFFF00000000ull) ^ length;
}

// What an object's key knows of its stream data: its length and first bytes. Streams that
// agree on these are told apart by hashes of their whole data, taken only when needed.
uint64_t DataSample(CInputFile& input, const CObjectText& text)
{
    CByteHash sample;
    if (!text.isStream)
        return sample.Value();
    sample.AddNumber(text.dataLength);
    if (text.dataLength > 0) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kSampleLength, text.dataLength));
        const std::string_view view = input.View(text.dataStart, wanted);
        sample.Add(view.data(), std::min(view.size(), wanted));
    }
    return sample.Value();
}

// A compressed object's text that, read back as a stored object, ends where it ends here.
bool IsPlainCompressedText(const CObjectText& text)
{
    return text.head.find("stream") == std::string::npos && text.head.find('%') == std::string::npos &&
           text.head.find("endobj") + 7 == text.head.size();
}

uint64_t DataHash(CInputFile& input, const CObjectText& text)
{
    CByteHash hash;
    for (uint64_t done = 0; done < text.dataLength;) {
        const size_t block = static_cast<size_t>(std::min<uint64_t>(kCompareBlock, text.dataLength - done));
        const std::string_view view = input.View(text.dataStart + done, block);
        const size_t take = std::min(view.size(), block);
        if (take == 0)
            break;
        hash.Add(view.data(), take);
        done += take;
    }
    return hash.Value();
}

uint64_t FullKey(const CObjectText& text, const std::string& canonicalHead, uint64_t dataSample)
{
    CByteHash key;
    key.AddNumber(dataSample);
    key.Add(canonicalHead.data(), canonicalHead.size());
    if (text.isStream)
        key.Add(text.tail.data(), CanonicalTailLength(text));
    return key.Value();
}

void LiteralReference(const CObjectRef& ref, uint32_t& number, uint32_t& generation)
{
    number = ref.number;
    generation = ref.generation;
}

} // namespace

// The keys by which a target is found: its shape and its full key. mapOutput gives each
// reference as the output writes it; data is read from input.
template <typename MapOutput>
COwnKeys CAppendEngine::TargetKeys(const CObjectText& text, CInputFile& input, MapOutput mapOutput)
{
    COwnKeys keys;
    keys.shape = ShapeKey(text);
    CanonicalHead(text, RefForm::AsWritten, mapOutput, m_targetCanonical);
    keys.full = FullKey(text, m_targetCanonical, DataSample(input, text));
    return keys;
}

void CAppendEngine::Fingerprint(const CObjectText& text, uint32_t outputNumber)
{
    IndexTarget(outputNumber, TargetKeys(text, m_input1, LiteralReference));
}

void CAppendEngine::IndexTarget(uint32_t outputNumber, const COwnKeys& keys)
{
    m_table[outputNumber].isTarget = true;
    ++m_shapeCounts[keys.shape];
    ++m_targetCount;
    m_fingerprints.emplace(keys.full, outputNumber);
    if (m_own.isActive)
        m_own.NoteKeys(outputNumber, keys.shape, keys.full);
}

// A kept output's line indexes the objects the line before it wrote. Those copied from the
// second file with only their references renumbered get their keys now, from the text in hand,
// as the journal's text would give them.
void CAppendEngine::NoteCopiedKeys(uint32_t number, const CObjectText& text, const std::vector<CSpanEdit>& edits)
{
    if (!m_own.isActive || number == m_countObject2 || number == m_kidsObject2)
        return;
    const auto keepOut = [this, number] {
        COwnKeys keys;
        keys.position = m_table[m_numberShift + number].position;
        m_own.lineKeys.emplace_back(m_numberShift + number, keys);
    };
    if (number == m_pages2) {
        // The root is written with "/Parent" after its "<<", a name that keeps it out.
        if (edits.empty() && text.scan.m_dictOpen != kNoIndex)
            keepOut();
        return;
    }
    if (!edits.empty()) {
        // An edited text's keys are read back, but an object kept out of duplicates by a name
        // no edit touches stays out: that is all the next line needs to know of it.
        const size_t at = text.scan.m_unsharedAt;
        const bool isEdited = std::any_of(edits.begin(), edits.end(), [at](const CSpanEdit& edit) {
            return edit.start <= at && at < edit.end;
        });
        if (text.scan.m_hasUnsharedName && !isEdited && (!text.isCompressed || IsPlainCompressedText(text)))
            keepOut();
        return;
    }
    if (text.isStream) {
        // Only data whose /Length says where it ends is cut the same way in the journal.
        const CObjectKey* length = text.scan.FindKey(text.head, "Length");
        int64_t value = -1;
        if (!length || !text.scan.IntegerValue(text.head, *length, value) ||
            static_cast<uint64_t>(value) != text.dataLength)
            return;
    } else if (text.isCompressed && !IsPlainCompressedText(text)) {
        return;
    }
    const uint32_t outputNumber = m_numberShift + number;
    COwnKeys keys;
    if (!text.scan.m_hasUnsharedName) {
        keys = TargetKeys(text, m_input2, [this](const CObjectRef& ref, uint32_t& outNumber, uint32_t& outGeneration) {
            const bool isDuplicate = ref.number < m_dupMap.size() && m_dupMap[ref.number].marked;
            outNumber = static_cast<uint32_t>(OutputNumberOfSecond(ref.number));
            outGeneration = isDuplicate ? m_table[m_dupMap[ref.number].target].generation : ref.generation;
        });
        keys.isTarget = true;
    }
    keys.position = m_table[outputNumber].position;
    m_own.lineKeys.emplace_back(outputNumber, keys);
}

// A target the output no longer holds as it was: its text is about to change.
void CAppendEngine::Unfingerprint(uint32_t number)
{
    OutputEntry& entry = m_table[number];
    if (!entry.isTarget)
        return;
    entry.isTarget = false;
    m_firstDataHashes.erase(number);
    const auto range = m_fingerprints.equal_range(m_own.fullKeys[number]);
    for (auto candidate = range.first; candidate != range.second; ++candidate) {
        if (candidate->second == number) {
            m_fingerprints.erase(candidate);
            break;
        }
    }
    const auto shape = m_shapeCounts.find(m_own.shapeKeys[number]);
    if (shape != m_shapeCounts.end() && --shape->second == 0)
        m_shapeCounts.erase(shape);
    --m_targetCount;
}

// A shape some target of this run has; targets the running line holds back do not count.
bool CAppendEngine::IsKnownShape(uint64_t shape) const
{
    const auto found = m_shapeCounts.find(shape);
    if (found == m_shapeCounts.end())
        return false;
    const auto held = m_own.heldShapes.find(shape);
    return held == m_own.heldShapes.end() || found->second > held->second;
}

void CAppendEngine::StartKeptTexts()
{
    m_kept.Start(m_entries2->size(), kMaxKeptTextBytes);
}

void CAppendEngine::MarkDuplicates()
{
    m_dupMap.assign(m_entries2->size(), DuplicateEntry());
    for (uint32_t number = 0; number < m_dupMap.size(); ++number)
        m_dupMap[number].target = number;
    if (m_targetCount == m_own.held.size())
        return;
    m_dupFrames.resize(kMaxDuplicateDepth + 1);
    for (uint32_t number = 1; number < m_dupMap.size(); ++number) {
        if ((*m_entries2)[number].type != 0 && m_dupMap[number].state == DuplicateState::Unknown)
            IsDuplicate(number, 0);
    }
}

bool CAppendEngine::IsDuplicate(uint32_t number, uint32_t depth)
{
    if (number == 0 || number >= m_dupMap.size())
        return false;
    DuplicateEntry& entry = m_dupMap[number];
    if (entry.state != DuplicateState::Unknown)
        return entry.state == DuplicateState::Duplicate;
    if (depth > kMaxDuplicateDepth) {
        entry.state = DuplicateState::Distinct;
        return false;
    }
    entry.state = DuplicateState::Examining;
    CDuplicateFrame& frame = m_dupFrames[depth];
    frame.isRead = false;
    const bool isDuplicate = ExamineDuplicate(number, depth); // never resizes the map
    entry.state = isDuplicate ? DuplicateState::Duplicate : DuplicateState::Distinct;
    if (frame.isRead && !isDuplicate)
        m_kept.Keep(number, frame.text);
    return isDuplicate;
}

// The walks of the second file's trees keep what they read for the search and the copy, which
// take the texts rather than read them again (the copy alone takes the page-tree root's).
std::function<bool(uint32_t, CObjectText&)> CAppendEngine::KeepWalkedText()
{
    return [this](uint32_t number, CObjectText& text) {
        return !(IsExaminedLater(number) || number == m_pages2) || m_kept.Keep(number, text);
    };
}

// The second-file objects the search reads. The second tree's root and its indirect count and
// kids stay the second file's own; its catalog is not copied at all.
bool CAppendEngine::IsExaminedLater(uint32_t number) const
{
    return number != m_pages2 && number != m_countObject2 && number != m_kidsObject2 && number != m_root2 &&
           number < m_entries2->size() && (*m_entries2)[number].type != 0;
}

bool CAppendEngine::ExamineDuplicate(uint32_t number, uint32_t depth)
{
    if (!IsExaminedLater(number))
        return false;
    CDuplicateFrame& frame = m_dupFrames[depth];
    if (!m_kept.Unpack(number, m_reader2, frame.text) && !m_reader2.Read(number, frame.text))
        return false;
    frame.isRead = true;
    const CObjectScanner& scan = frame.text.scan;
    if (!m_plan.IsEmpty()) { // an object the document merge edits or leaves out is the second file's own
        if (m_plan.secondDropped.count(number) != 0)
            return false;
        CollectSecondEdits(number, frame.text, m_spanEdits);
        if (!m_spanEdits.empty())
            return false;
        m_dupMap[number].hasNoEdits = true; // the copy need not look again
    }
    if (scan.m_hasUnsharedName) {
        m_progress.Tick(5);
        return false;
    }
    m_progress.Tick(static_cast<uint32_t>(std::min<size_t>(scan.m_refs.size(), 1000)) + 7);
    if (!IsKnownShape(ShapeKey(frame.text)))
        return false;
    for (const CObjectRef& ref : scan.m_refs) {
        if (!IsDuplicate(ref.number, depth + 1))
            return false;
    }
    CanonicalHead(frame.text, RefForm::AsWritten,
                  [this](const CObjectRef& ref, uint32_t& outNumber, uint32_t& outGeneration) {
                      outNumber = m_dupMap[ref.number].target;
                      outGeneration = m_table[outNumber].generation;
                  },
                  frame.canonical);
    const uint64_t key = FullKey(frame.text, frame.canonical, DataSample(m_input2, frame.text));
    // Equal objects are tried from the highest number down, however the index was filled.
    const auto range = m_fingerprints.equal_range(key);
    m_candidates.clear();
    for (auto candidate = range.first; candidate != range.second; ++candidate)
        m_candidates.push_back(candidate->second);
    std::sort(m_candidates.begin(), m_candidates.end(), std::greater<>());
    // Several streams alike in all but their data: whole-data hashes pick the ones to compare.
    const bool isCrowded = frame.text.isStream && m_candidates.size() > 1;
    const uint64_t dataHash = isCrowded ? DataHash(m_input2, frame.text) : 0;
    for (uint32_t candidate : m_candidates) {
        if (isCrowded && FirstFileDataHash(candidate) != dataHash)
            continue;
        if (SameAsFirstFileObject(frame, candidate)) {
            m_dupMap[number].target = candidate;
            m_dupMap[number].marked = 1;
            return true;
        }
    }
    return false;
}

// Hashed once per first-file object, when a second-file stream is first compared with it.
uint64_t CAppendEngine::FirstFileDataHash(uint32_t target)
{
    const auto known = m_firstDataHashes.find(target);
    if (known != m_firstDataHashes.end())
        return known->second;
    const uint64_t hash = m_reader1.Read(target, m_targetText) ? DataHash(m_input1, m_targetText) : 0;
    m_firstDataHashes.emplace(target, hash);
    return hash;
}

bool CAppendEngine::SameAsFirstFileObject(CDuplicateFrame& frame, uint32_t target)
{
    if (!m_table[target].isTarget || m_own.held.count(target) != 0)
        return false;
    if (const COwnCandidate* kept = KeptCandidate(target))
        return SameAsKeptCandidate(*kept, frame);
    if (!m_reader1.Read(target, m_targetText) || m_targetText.isStream != frame.text.isStream)
        return false;
    CanonicalHead(m_targetText, RefForm::AsWritten, LiteralReference, m_targetCanonical);
    if (m_targetCanonical != frame.canonical)
        return false;
    if (m_targetText.isStream) {
        const size_t tailLength = CanonicalTailLength(m_targetText);
        if (tailLength != CanonicalTailLength(frame.text) ||
            m_targetText.tail.compare(0, tailLength, frame.text.tail, 0, tailLength) != 0 ||
            !SameStreamData(m_targetText, frame.text))
            return false;
    }
    KeepCandidate(target);
    return true;
}

const COwnCandidate* CAppendEngine::KeptCandidate(uint32_t target) const
{
    if (!m_own.isActive)
        return nullptr;
    const auto kept = m_own.candidates.find(target);
    if (kept == m_own.candidates.end())
        return nullptr;
    const CPdfXRefEntry& entry = (*m_entries1)[target];
    return entry.type == 1 && entry.offset == kept->second.offset ? &kept->second : nullptr;
}

bool CAppendEngine::SameAsKeptCandidate(const COwnCandidate& kept, CDuplicateFrame& frame)
{
    if (kept.isStream != frame.text.isStream || kept.canonical != frame.canonical)
        return false;
    if (!kept.isStream)
        return true;
    if (CanonicalTailLength(frame.text) != kept.tail.size() || frame.text.tail.compare(0, kept.tail.size(), kept.tail) != 0 ||
        frame.text.dataLength != kept.data.size())
        return false;
    m_compareBuffer2.clear();
    return m_input2.Read(frame.text.dataStart, kept.data.size(), m_compareBuffer2) == kept.data.size() &&
           m_compareBuffer2 == kept.data;
}

// Keeps the target just found equal (m_targetText, m_targetCanonical) for the lines to come,
// up to a small total.
void CAppendEngine::KeepCandidate(uint32_t target)
{
    if (!m_own.isActive)
        return;
    const auto stale = m_own.candidates.find(target); // kept where the object no longer lies
    if (stale != m_own.candidates.end()) {
        const COwnCandidate& old = stale->second;
        m_own.candidateBytes -= old.canonical.size() + old.tail.size() + old.data.size();
        m_own.candidates.erase(stale);
    }
    const uint64_t bytes = m_targetCanonical.size() + m_targetText.tail.size() + m_targetText.dataLength;
    const CPdfXRefEntry& entry = (*m_entries1)[target];
    if (entry.type != 1 || bytes > kKeptCandidateBytes - m_own.candidateBytes)
        return;
    COwnCandidate kept;
    kept.offset = entry.offset;
    kept.isStream = m_targetText.isStream;
    kept.canonical = m_targetCanonical;
    if (kept.isStream) {
        kept.tail = m_targetText.tail.substr(0, CanonicalTailLength(m_targetText));
        const auto length = static_cast<size_t>(m_targetText.dataLength);
        if (m_input1.Read(m_targetText.dataStart, length, kept.data) != length)
            return;
    }
    m_own.candidateBytes += kept.canonical.size() + kept.tail.size() + kept.data.size();
    m_own.candidates[target] = std::move(kept);
}

bool CAppendEngine::SameStreamData(const CObjectText& first, const CObjectText& second)
{
    if (first.dataLength != second.dataLength)
        return false;
    for (uint64_t done = 0; done < first.dataLength; done += kCompareBlock) {
        const size_t block = static_cast<size_t>(std::min<uint64_t>(kCompareBlock, first.dataLength - done));
        m_compareBuffer1.clear();
        m_compareBuffer2.clear();
        if (m_input1.Read(first.dataStart + done, block, m_compareBuffer1) != block ||
            m_input2.Read(second.dataStart + done, block, m_compareBuffer2) != block ||
            m_compareBuffer1 != m_compareBuffer2)
            return false;
    }
    return true;
}
