// The outline merge: the second file's bookmarks follow the first file's. When the first file
// has none, its catalog is written with /Outlines pointing at the second file's outline root;
// when both have some, the first root's /Last and the first file's last item's /Next lead to
// the second file's top-level items. Runs before the first-file pass, which then skips the
// objects written here.
#include "append/Engine.h"

#include <string>

#include "append/TreeWalk.h"
#include "pdf/Exception.h"
#include "xref/XRef.h"

namespace {


// Object number and generation of a Reference under key of dictionary, or 0.
uint32_t ReferenceUnder(const CPdfDictionary& dictionary, const char* key, uint32_t& generation)
{
    CPdfElement value;
    dictionary.get(key, value);
    if (!value.is(PdfKind::Reference) || value.refNumber() <= 0 || value.refGeneration() < 0)
        return 0;
    generation = static_cast<uint32_t>(value.refGeneration());
    return static_cast<uint32_t>(value.refNumber());
}

// The dictionary of object number in xref, or null when it is none.
const CPdfDictionary* FetchDictionaryOrNull(CPdfXRef* xref, uint32_t number, CPdfElement& out)
{
    const std::vector<CPdfXRefEntry>& entries = xref->getEntries();
    if (number == 0 || number >= entries.size())
        return nullptr;
    xref->fetch(static_cast<int32_t>(number), entries[number].fetchGeneration(), out);
    return out.dictionary();
}

// An outline root with items: both /First and /Last are references.
bool HasItems(const CPdfDictionary* root, uint32_t& first, uint32_t& firstGeneration, uint32_t& last,
              uint32_t& lastGeneration)
{
    if (!root)
        return false;
    first = ReferenceUnder(*root, "First", firstGeneration);
    last = ReferenceUnder(*root, "Last", lastGeneration);
    return first != 0 && last != 0;
}

std::string ReferenceText(uint64_t number, uint32_t generation)
{
    return std::to_string(number) + " " + std::to_string(generation) + " R";
}

// The joined root's /Count: the visible items of both, negative (closed) when the first root's
// count is; false when neither root counts its items.
bool JoinedOutlineCount(const CPdfDictionary& root1, const CPdfDictionary& root2, std::string& out)
{
    CPdfElement count1;
    CPdfElement count2;
    root1.getResolved("Count", count1);
    root2.getResolved("Count", count2);
    const int64_t value1 = count1.is(PdfKind::Integer) ? count1.integer() : 0;
    const int64_t value2 = count2.is(PdfKind::Integer) ? count2.integer() : 0;
    if (!count1.is(PdfKind::Integer) && !count2.is(PdfKind::Integer))
        return false;
    const int64_t total = (value1 < 0 ? -value1 : value1) + (value2 < 0 ? -value2 : value2);
    out = std::to_string(value1 < 0 ? -total : total);
    return true;
}

} // namespace

uint32_t CAppendEngine::FindOutlines(CPdfXRef* xref, uint32_t rootNumber, uint32_t& generation)
{
    CPdfElement catalog;
    const CPdfDictionary* dictionary = FetchDictionaryOrNull(xref, rootNumber, catalog);
    generation = 0;
    return dictionary ? ReferenceUnder(*dictionary, "Outlines", generation) : 0;
}

// The first file's outline goes into the output as it stands; the second file's only when it
// is merged.
void CAppendEngine::CheckOutlines()
{
    uint32_t generation = 0;
    if (!m_own.isActive) // a list's kept output holds only outlines checked as they came
        CheckOutlineItems(m_reader1, FindOutlines(m_xref1, m_root1, generation), m_text);
    if (m_noBookmarks)
        return;
    CheckOutlineItems(m_reader2, FindOutlines(m_xref2, m_root2, generation), m_text, &m_topItems2,
                      KeepWalkedText());
}

void CAppendEngine::MergeOutlines()
{
    uint32_t generation1 = 0;
    uint32_t generation2 = 0;
    m_outlines1 = FindOutlines(m_xref1, m_root1, generation1);
    m_outlines2 = FindOutlines(m_xref2, m_root2, generation2);
    if (m_outlines2 == 0 || m_outlines2 >= m_entries2->size())
        return;
    CPdfElement root2;
    uint32_t first2 = 0;
    uint32_t firstGeneration2 = 0;
    uint32_t last2 = 0;
    uint32_t lastGeneration2 = 0;
    if (!HasItems(FetchDictionaryOrNull(m_xref2, m_outlines2, root2), first2, firstGeneration2, last2,
                  lastGeneration2))
        return; // an empty outline brings nothing
    CPdfElement root1;
    uint32_t first1 = 0;
    uint32_t firstGeneration1 = 0;
    uint32_t last1 = 0;
    uint32_t lastGeneration1 = 0;
    if (m_outlines1 != 0 &&
        HasItems(FetchDictionaryOrNull(m_xref1, m_outlines1, root1), first1, firstGeneration1, last1,
                 lastGeneration1))
        ChainOutlines(*root1.dictionary(), *root2.dictionary(), last1, last2, lastGeneration2, first2,
                      firstGeneration2);
    else
        LinkOutlinesFromCatalog(generation2);
}

// The first file has no outline (or an empty one): its catalog leads to the second file's.
void CAppendEngine::LinkOutlinesFromCatalog(uint32_t generation2)
{
    if (m_root1 == 0 || m_root1 >= m_entries1->size() || !m_reader1.Read(m_root1, m_text) ||
        m_text.scan.m_dictOpen == kNoIndex)
        return;
    const std::string value = ReferenceText(uint64_t{m_outlines2} + m_numberShift, generation2);
    const auto deferred = m_plan.firstDeferred.find(m_root1);
    if (deferred != m_plan.firstDeferred.end()) { // the catalog is written last, with all its edits
        deferred->second.push_back({"Outlines", [value]() { return std::string(value); }});
        return;
    }
    WriteEdited(m_root1, m_text, {{"Outlines", value}});
}

// Both files have items: the second file's top-level items follow the first file's under the
// first file's outline root, whose /Last and /Count change; the second root is not copied.
// Nothing is written unless both first-file objects can be edited.
void CAppendEngine::ChainOutlines(const CPdfDictionary& root1, const CPdfDictionary& root2, uint32_t last1,
                               uint32_t last2, uint32_t lastGeneration2, uint32_t first2, uint32_t firstGeneration2)
{
    auto isSpecial = [this](uint32_t number) {
        return number == m_root1 || number == m_pages1 || number == m_countObject1 || number == m_kidsObject1 ||
               number >= m_entries1->size();
    };
    if (isSpecial(m_outlines1) || isSpecial(last1) || last1 == m_outlines1)
        return;
    m_progress.Tick();
    if (!m_reader1.Read(m_outlines1, m_text) || !m_reader1.Read(last1, m_targetText))
        return;
    const CObjectKey* lastKey = m_text.scan.FindKey(m_text.head, "Last");
    if (!lastKey || !lastKey->HasValue() || m_targetText.scan.m_dictOpen == kNoIndex)
        return;
    std::vector<CKeyEdit> rootEdits{{"Last", ReferenceText(uint64_t{last2} + m_numberShift, lastGeneration2)}};
    std::string count;
    if (JoinedOutlineCount(root1, root2, count))
        rootEdits.push_back({"Count", count});
    WriteEdited(m_outlines1, m_text, rootEdits);
    WriteEdited(last1, m_targetText, {{"Next", ReferenceText(uint64_t{first2} + m_numberShift, firstGeneration2)}});
    PlanOutlineJoin(last1, first2);
}

// The second file's top-level items hang under the first root, the first of them after the
// first file's last item.
void CAppendEngine::PlanOutlineJoin(uint32_t last1, uint32_t first2)
{
    const std::string parent = ReferenceText(m_outlines1, static_cast<uint32_t>((*m_entries1)[m_outlines1].fetchGeneration()));
    for (uint32_t item : m_topItems2) {
        std::vector<CKeyEdit>& edits = m_plan.secondEdits[item];
        edits.push_back({"Parent", parent});
        if (item == first2)
            edits.push_back({"Prev", ReferenceText(last1, static_cast<uint32_t>((*m_entries1)[last1].fetchGeneration()))});
    }
    m_plan.secondDropped.insert(m_outlines2);
}

// Writes the text with each key's value replaced, or with "\r/key value" inserted after its
// "<<" when it has no such key. The object counts as written and is never a duplicate target.
void CAppendEngine::WriteEdited(uint32_t number, const CObjectText& text, const std::vector<CKeyEdit>& keyEdits)
{
    NoteFirstFileWrite(number);
    OutputEntry& entry = m_table[number];
    entry.position = m_output.position();
    entry.inUse = 1;
    entry.generation = text.generation;
    const std::string& head = text.head;
    for (const CKeyEdit& edit : keyEdits) {
        const CObjectKey* found = text.scan.FindKey(head, edit.key);
        if (found && found->valueStart != kNoIndex && found->valueEnd == kNoIndex)
            throw CPdfDamaged(); // the value opens but never closes
    }
    m_spanEdits.clear();
    AddKeyEdits(text, keyEdits, m_spanEdits);
    SortSpanEdits(m_spanEdits);
    size_t at = 0;
    for (const CSpanEdit& edit : m_spanEdits) {
        m_output.Write(head.data() + at, edit.start - at);
        m_output.Write(edit.text);
        at = edit.end;
    }
    m_output.Write(head.data() + at, head.size() - at);
    if (text.isStream) {
        m_output.CopyFrom(m_input1, text.dataStart, text.dataLength);
        m_output.Write(text.tail);
    }
}
