// The two passes that write the bulk of the output: the first file's objects unchanged under
// their own numbers, then the second file's shifted by N1 - 1 with their references rewritten.
#include "append/Engine.h"

#include "xref/XRef.h"

namespace {

// An object stream's members are copied one by one, so the object stream itself is dropped.
bool IsObjectStream(const CObjectText& text)
{
    const CObjectKey* type = text.scan.FindKey(text.head, "Type");
    return type && type->HasValue() &&
           text.head.compare(type->valueStart, type->valueEnd - type->valueStart, "/ObjStm") == 0;
}

} // namespace

void CAppendEngine::CopyFirstFile()
{
    if (m_own.isActive) {
        IndexOwnBody();
        return;
    }
    m_shapeCounts.reserve(m_entries1->size());
    m_fingerprints.reserve(m_entries1->size());
    for (uint32_t number = 1; number < m_entries1->size(); ++number)
        CopyFirstObject(number);
}

void CAppendEngine::CopyFirstObject(uint32_t number)
{
    OutputEntry& entry = m_table[number];
    if (entry.position != kNotWritten)
        return; // the outline merge has written it already
    entry.position = m_output.position();
    if (!m_reader1.Read(number, m_text))
        return;
    entry.inUse = 1;
    entry.generation = m_text.generation;
    if (!m_plan.firstDeferred.empty() && m_plan.firstDeferred.count(number))
        return; // written last, with the document merge's edits
    if (number == m_pages1) {
        std::swap(m_pagesRootText, m_text);
        m_hasPagesRootText = true;
        return;
    }
    m_progress.Tick();
    if (IsObjectStream(m_text)) {
        entry.inUse = 0;
        return;
    }
    WriteObjectText(m_output, m_input1, m_text);
    // Objects the page-tree merge writes again must not stand for second-file objects; nor can
    // an object with a name that keeps it out of duplicates: its equal would carry that name too.
    if (number != m_countObject1 && number != m_kidsObject1 && !m_text.scan.m_hasUnsharedName)
        Fingerprint(m_text, number);
}

void CAppendEngine::CopySecondFile()
{
    for (uint32_t number = 1; number < m_entries2->size(); ++number)
        CopySecondObject(number);
    m_kept.Clear(); // the texts are this file's: no later copy may take them
}

void CAppendEngine::CopySecondObject(uint32_t number)
{
    OutputEntry& entry = m_table[m_numberShift + number];
    entry.position = m_output.position();
    if ((*m_entries2)[number].type == 0 || number == m_root2 || number == m_info2 || m_dupMap[number].marked ||
        (!m_plan.secondDropped.empty() && m_plan.secondDropped.count(number)))
        return;
    if (!m_kept.Unpack(number, m_reader2, m_text) && !m_reader2.Read(number, m_text))
        return;
    const CObjectText& text = m_text;
    m_progress.Tick();
    if (IsObjectStream(text))
        return;
    m_progress.Tick();
    entry.inUse = 1;
    entry.generation = text.generation;
    if (m_plan.IsEmpty() || m_dupMap[number].hasNoEdits)
        m_spanEdits.clear();
    else
        CollectSecondEdits(number, text, m_spanEdits);
    RenumberHead(text, text.head.size(), number, m_spanEdits);
    NoteCopiedKeys(number, text, m_spanEdits);
    if (!text.isStream)
        return;
    m_output.CopyRun(m_input2, text.dataStart, text.dataLength);
    if (text.isVerbatim)
        m_output.CopyRun(m_input2, text.dataStart + text.dataLength, text.tail.size());
    else
        m_output.Write(text.tail);
}

uint64_t CAppendEngine::OutputNumberOfSecond(uint32_t number) const
{
    if (number == 0)
        return 0;
    if (number < m_dupMap.size() && m_dupMap[number].marked)
        return m_dupMap[number].target;
    return uint64_t{number} + m_numberShift;
}

// Writes the head with the object number shifted, every reference renumbered (a duplicate's
// to the first-file object it stands on, generation included), and for the second page-tree
// root the link to the first root after its "<<". Strings and comments are copied as they are.
// edits (sorted, apart) replace spans of the head; references inside them are not renumbered.
void CAppendEngine::RenumberHead(const CObjectText& text, size_t headLength, uint32_t number,
                              const std::vector<CSpanEdit>& edits)
{
    const std::string& head = text.head;
    const CObjectScanner& scan = text.scan;
    size_t at = 0;
    auto copyTo = [&](size_t end) {
        m_output.Write(head.data() + at, end - at);
        at = end;
    };
    size_t nextEdit = 0;
    auto editBefore = [&](size_t position) {
        for (; nextEdit < edits.size() && edits[nextEdit].start <= position; ++nextEdit) {
            const CSpanEdit& edit = edits[nextEdit];
            if (edit.start < at || edit.end > headLength)
                continue;
            copyTo(edit.start);
            m_output.Write(edit.text);
            at = edit.end;
        }
    };
    copyTo(scan.m_headerStart);
    m_output.WriteNumber(int64_t{number} + m_numberShift);
    at = scan.m_headerNumberEnd;
    size_t insertAt = number == m_pages2 && scan.m_dictOpen != kNoIndex ? scan.m_dictOpen + 2 : kNoIndex;
    for (const CObjectRef& ref : scan.m_refs) {
        if (ref.end > headLength)
            break;
        if (insertAt <= ref.start) {
            copyTo(insertAt);
            m_output.Write(m_secondRootInsert);
            insertAt = kNoIndex;
        }
        editBefore(ref.start);
        if (ref.start < at)
            continue; // inside an edit
        copyTo(ref.start);
        const bool isDuplicate = ref.number < m_dupMap.size() && m_dupMap[ref.number].marked;
        m_output.WriteNumber(static_cast<int64_t>(OutputNumberOfSecond(ref.number)));
        at = ref.numberEnd;
        if (isDuplicate) {
            copyTo(ref.generationStart);
            m_output.WriteNumber(m_table[m_dupMap[ref.number].target].generation);
            at = ref.generationEnd;
        }
    }
    if (insertAt != kNoIndex && insertAt <= headLength && insertAt >= at) {
        copyTo(insertAt);
        m_output.Write(m_secondRootInsert);
    }
    editBefore(headLength);
    copyTo(headLength);
}
