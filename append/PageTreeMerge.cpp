// The page-tree merge: the second file's page-tree root becomes the last kid of the first
// file's root, whose /Count becomes the sum of both. The first root is written last of all
// objects; an indirect /Count or /Kids of it is written again after it with the edit.
#include "append/Engine.h"

#include <iterator>
#include <string>
#include <vector>

#include "append/TreeWalk.h"
#include "pdf/Exception.h"
#include "xref/XRef.h"

namespace {

// Attributes a page takes from its ancestors when it does not set them itself, with the value
// that means "as if not set": a huge crop box is cut back to each page's media box, and Letter
// is what readers show for a page without any media box.
struct CInheritedAttribute {
    const char* name;
    const char* neutralValue;
};
constexpr CInheritedAttribute kInheritedAttributes[] = {
    {"Resources", "<< >>"},
    {"MediaBox", "[0 0 612 792]"},
    {"CropBox", "[-14400 -14400 14400 14400]"},
    {"Rotate", "0"},
};


// Fetches object number of a document as a dictionary; a missing one means a damaged file.
void FetchDictionary(CPdfXRef* xref, uint32_t number, CPdfElement& out)
{
    const std::vector<CPdfXRefEntry>& entries = xref->getEntries();
    if (number == 0 || number >= entries.size())
        throw CPdfDamaged();
    xref->fetch(static_cast<int32_t>(number), entries[number].fetchGeneration(), out);
    if (!out.dictionary())
        throw CPdfDamaged();
}

// The object number of a Reference value under key (0 when the value is not a reference).
uint32_t ReferenceUnder(const CPdfDictionary& dictionary, const char* key)
{
    CPdfElement value;
    dictionary.get(key, value);
    return value.is(PdfKind::Reference) && value.refNumber() > 0 ? static_cast<uint32_t>(value.refNumber()) : 0;
}

// A root's /Count, or -1 when it is no count.
int64_t PageCountValue(CPdfXRef*, const CPdfDictionary& root)
{
    CPdfElement value;
    root.getResolved("Count", value);
    return value.is(PdfKind::Integer) && value.integer() >= 0 ? value.integer() : -1;
}

// A root's page count: its /Count when that is believable (no more pages than the file has
// objects), otherwise its leaves.
int64_t PageCount(CPdfXRef* xref, const CPdfDictionary& root, int64_t leaves)
{
    const int64_t value = PageCountValue(xref, root);
    return value >= 0 && static_cast<uint64_t>(value) <= xref->getEntries().size() ? value : leaves;
}

} // namespace

std::string CAppendEngine::SecondRootReference() const
{
    const CPdfXRefEntry& entry = (*m_entries2)[m_pages2];
    return std::to_string(uint64_t{m_numberShift} + m_pages2) + " " +
           std::to_string(entry.fetchGeneration()) + " R";
}

// Both catalogs must lead to a page-tree root; their numbers, the indirect /Count and /Kids
// objects, and what the second root needs inserted to hang under the first.
void CAppendEngine::FindPageRoots()
{
    CPdfElement catalog;
    FetchDictionary(m_xref1, m_root1, catalog);
    m_pages1 = ReferenceUnder(*catalog.dictionary(), "Pages");
    FetchDictionary(m_xref2, m_root2, catalog);
    m_pages2 = ReferenceUnder(*catalog.dictionary(), "Pages");
    if (m_pages1 == m_root1 || m_pages2 == m_root2)
        throw CPdfDamaged();
    // A trailer whose /Info names the page-tree root: the root is copied all the same.
    if (m_info2 == m_pages2)
        m_info2 = 0;
    CPdfElement root2;
    FetchDictionary(m_xref2, m_pages2, root2);
    // The root of a list's kept output changes only in its kids and count, which its lines
    // wrote: it is read once, not again with every kid added.
    if (!m_own.isActive || !m_own.root.isKnown) {
        CPdfElement root1;
        FetchDictionary(m_xref1, m_pages1, root1);
        m_countObject1 = ReferenceUnder(*root1.dictionary(), "Count");
        m_kidsObject1 = ReferenceUnder(*root1.dictionary(), "Kids");
        m_attributes1 = 0;
        for (size_t i = 0; i < std::size(kInheritedAttributes); ++i) {
            if (root1.dictionary()->find(kInheritedAttributes[i].name))
                m_attributes1 |= 1u << i;
        }
        m_count1 = PageCountValue(m_xref1, *root1.dictionary());
    } else {
        m_countObject1 = m_own.root.countObject;
        m_kidsObject1 = m_own.root.kidsObject;
        m_attributes1 = m_own.root.attributes;
        m_count1 = m_own.root.count;
    }
    m_countObject2 = ReferenceUnder(*root2.dictionary(), "Count");
    m_kidsObject2 = ReferenceUnder(*root2.dictionary(), "Kids");
    if (m_countObject1 == m_pages1 || m_kidsObject1 == m_pages1 ||
        (m_countObject1 != 0 && m_countObject1 == m_kidsObject1))
        throw CPdfDamaged();
    FindInheritedAttributes(root2.dictionary());
    // The kept output of a list counts its pages as its lines append them.
    m_leaves1 = m_own.isActive ? m_own.leaves : CountPageTreeLeaves(m_reader1, m_pages1, m_text);
    m_leaves2 = CountPageTreeLeaves(m_reader2, m_pages2, m_text, KeepWalkedText());
}

void CAppendEngine::FindInheritedAttributes(const CPdfDictionary* root2)
{
    const CPdfXRefEntry& entry = (*m_entries1)[m_pages1];
    m_secondRootInsert = "\r/Parent " + std::to_string(m_pages1) + " " +
                         std::to_string(entry.fetchGeneration()) + " R";
    for (size_t i = 0; i < std::size(kInheritedAttributes); ++i) {
        const CInheritedAttribute& attribute = kInheritedAttributes[i];
        if ((m_attributes1 & (1u << i)) != 0 && !root2->find(attribute.name))
            m_secondRootInsert += std::string(" /") + attribute.name + " " + attribute.neutralValue;
    }
}

// Where the first root's text takes the edits: the "]" of a direct /Kids and the value of a
// direct /Count (kNoIndex for one written as an object of its own).
CRootLayout CAppendEngine::PagesRootLayout() const
{
    if (m_own.isActive && m_own.rootLayout.isKnown)
        return m_own.rootLayout;
    const CObjectText& text = m_pagesRootText;
    const CObjectKey* kids = text.scan.FindKey(text.head, "Kids");
    const CObjectKey* count = text.scan.FindKey(text.head, "Count");
    if (!kids || !count || !kids->HasValue() || !count->HasValue() || text.isStream)
        throw CPdfDamaged();
    CRootLayout layout;
    layout.isKnown = true;
    if (text.head[kids->valueStart] == '[' && text.head[kids->valueEnd - 1] == ']')
        layout.kidsClose = kids->valueEnd - 1;
    int64_t written = 0;
    if (text.scan.IntegerValue(text.head, *count, written)) {
        layout.countStart = count->valueStart;
        layout.countEnd = count->valueEnd;
    }
    return layout;
}

void CAppendEngine::MergePageTrees()
{
    // Without either root's text the output's page tree would lead nowhere.
    if (!m_hasPagesRootText || !m_table[m_numberShift + m_pages2].inUse)
        throw CPdfDamaged();
    m_progress.Tick(2);
    const CRootLayout layout = PagesRootLayout();
    CPdfElement root2;
    FetchDictionary(m_xref2, m_pages2, root2);
    const int64_t count1 =
        m_count1 >= 0 && static_cast<uint64_t>(m_count1) <= m_xref1->getEntries().size() ? m_count1 : m_leaves1;
    const int64_t total = count1 + PageCount(m_xref2, *root2.dictionary(), m_leaves2);
    m_mergedCount = total;
    if (total > INT32_MAX)
        throw CPdfDamaged();
    const bool isDirectKids = layout.kidsClose != kNoIndex;
    const bool isDirectCount = layout.countStart != kNoIndex;
    if ((!isDirectKids && !m_kidsObject1) || (!isDirectCount && !m_countObject1))
        throw CPdfDamaged();

    WriteMergedRoot(layout, total);
    if (m_countObject1 && !isDirectCount)
        WriteEditedCountObject(m_countObject1, total);
    if (m_kidsObject1 && !isDirectKids)
        WriteEditedKidsObject(m_kidsObject1);
}

// Writes the first root with the second root's reference before the "]" of its direct /Kids
// and total in place of its direct /Count value. A list's kept output keeps the text in memory,
// with where the next line edits it, and writes it only with the output.
void CAppendEngine::WriteMergedRoot(const CRootLayout& layout, int64_t total)
{
    NoteFirstFileWrite(m_pages1);
    m_table[m_pages1].position = m_output.position();
    if (m_own.isActive && m_own.rootLayout.isKnown) {
        EditKeptRoot(layout, total);
        return;
    }
    const std::string& head = m_pagesRootText.head;
    const size_t kidsClose = layout.kidsClose;
    std::string merged;
    merged.reserve(head.size() + 32);
    CRootLayout next = layout;
    size_t at = 0;
    auto copyTo = [&](size_t end) {
        merged.append(head, at, end - at);
        at = end;
    };
    auto writeKidsInsert = [&]() {
        copyTo(kidsClose);
        if (head[kidsClose - 1] != ' ')
            merged += ' ';
        merged += SecondRootReference();
        merged += ' ';
        next.kidsClose = merged.size();
    };
    const size_t countStart = layout.countStart;
    if (kidsClose != kNoIndex && kidsClose < countStart)
        writeKidsInsert();
    if (countStart != kNoIndex) {
        copyTo(countStart);
        next.countStart = merged.size();
        merged += std::to_string(total);
        next.countEnd = merged.size();
        at = layout.countEnd;
    }
    if (kidsClose != kNoIndex && at <= kidsClose && countStart < kidsClose)
        writeKidsInsert();
    copyTo(head.size());
    if (!m_own.isActive) {
        m_output.Write(merged);
        return;
    }
    m_own.nextRootLayout = next;
    m_own.nextRootHead = std::move(merged);
    m_own.hasNextRootHead = true;
}

// The kept root takes the same edits in place, the later one first, so that a root with
// thousands of kids costs no copy per line.
void CAppendEngine::EditKeptRoot(const CRootLayout& layout, int64_t total)
{
    std::string& head = m_own.rootHead;
    auto& edit = m_own.rootEdit;
    const size_t kidsClose = layout.kidsClose;
    const std::string insert =
        kidsClose == kNoIndex ? std::string() : (head[kidsClose - 1] != ' ' ? " " : "") + SecondRootReference() + " ";
    const std::string count = std::to_string(total);
    const bool hasCount = layout.countStart != kNoIndex;
    const bool isCountFirst = hasCount && (kidsClose == kNoIndex || layout.countStart < kidsClose);
    const size_t oldCountLength = hasCount ? layout.countEnd - layout.countStart : 0;
    edit = {};
    edit.isEdited = true;
    if (hasCount) {
        edit.countText = head.substr(layout.countStart, oldCountLength);
        edit.countLength = count.size();
    }
    auto replaceCount = [&]() {
        if (hasCount)
            head.replace(layout.countStart, oldCountLength, count);
    };
    if (!isCountFirst)
        replaceCount(); // after the kids, or none: the insert keeps its place
    if (kidsClose != kNoIndex)
        head.insert(kidsClose, insert);
    if (isCountFirst)
        replaceCount();
    CRootLayout next = layout;
    const size_t countShift = isCountFirst ? count.size() - oldCountLength : 0;
    if (kidsClose != kNoIndex)
        next.kidsClose = kidsClose + countShift + insert.size();
    if (hasCount) {
        next.countStart = layout.countStart + (isCountFirst ? 0 : insert.size());
        next.countEnd = next.countStart + count.size();
    }
    edit.insertAt = kidsClose;
    edit.insertLength = insert.size();
    edit.countAt = next.countStart;
    m_own.nextRootLayout = next;
    m_own.hasNextRootHead = false;
}

void CAppendEngine::WriteEditedCountObject(uint32_t number, int64_t total)
{
    if (!m_reader1.Read(number, m_text) || m_text.isStream)
        throw CPdfDamaged();
    const CObjectScanner& scan = m_text.scan;
    const size_t start = scan.m_firstValueStart;
    if (start == kNoIndex || scan.m_firstValueEnd == kNoIndex)
        throw CPdfDamaged();
    CObjectKey value;
    value.valueStart = start;
    value.valueEnd = scan.m_firstValueEnd;
    int64_t written = 0;
    if (!scan.IntegerValue(m_text.head, value, written))
        throw CPdfDamaged();
    NoteFirstFileWrite(number);
    m_table[number].position = m_output.position();
    m_output.Write(m_text.head.data(), start);
    m_output.WriteNumber(total);
    m_output.Write(m_text.head.data() + value.valueEnd, m_text.head.size() - value.valueEnd);
}

void CAppendEngine::WriteEditedKidsObject(uint32_t number)
{
    if (!m_reader1.Read(number, m_text) || m_text.isStream)
        throw CPdfDamaged();
    const CObjectScanner& scan = m_text.scan;
    const std::string& head = m_text.head;
    const size_t start = scan.m_firstValueStart;
    const size_t end = scan.m_firstValueEnd;
    if (start == kNoIndex || end == kNoIndex || head[start] != '[' || head[end - 1] != ']')
        throw CPdfDamaged();
    NoteFirstFileWrite(number);
    m_table[number].position = m_output.position();
    const size_t close = end - 1;
    m_output.Write(head.data(), close);
    if (head[close - 1] != ' ')
        m_output.WriteByte(' ');
    m_output.Write(SecondRootReference());
    m_output.WriteByte(' ');
    m_output.Write(head.data() + close, head.size() - close);
}
