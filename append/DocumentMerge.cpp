// The document merge: planned from both catalogs before the output is opened, carried out by
// the copy passes (edits of second-file objects) and at the end (the catalog and the objects
// that hold the merged structures).
#include "append/Engine.h"

#include <algorithm>

#include "pdf/Exception.h"
#include "xref/XRef.h"

namespace {


void FetchCatalog(CPdfXRef* xref, uint32_t number, CPdfElement& out)
{
    const std::vector<CPdfXRefEntry>& entries = xref->getEntries();
    if (number == 0 || number >= entries.size())
        return;
    xref->fetch(static_cast<int32_t>(number), entries[number].fetchGeneration(), out);
}

// White space or a delimiter: a byte that ends a token.
bool EndsToken(char c)
{
    return IsPdfWhite(static_cast<unsigned char>(c)) || IsPdfDelimiter(static_cast<unsigned char>(c));
}

} // namespace

void AddKeyEdits(const CObjectText& text, const std::vector<CKeyEdit>& keyEdits, std::vector<CSpanEdit>& edits)
{
    const CObjectScanner& scan = text.scan;
    if (scan.m_dictOpen == kNoIndex || scan.m_dictOpen != scan.m_firstValueStart)
        return;
    for (const CKeyEdit& edit : keyEdits) {
        const CObjectKey* found = scan.FindKey(text.head, edit.key);
        if (found && found->HasValue()) {
            // "/Key<<...>>" becomes "/Key 12 0 R": a value never runs into a neighbouring token.
            const bool needsSpaceBefore = !EndsToken(text.head[found->valueStart - 1]);
            const bool needsSpaceAfter = found->valueEnd < text.head.size() && !EndsToken(text.head[found->valueEnd]);
            edits.push_back({found->valueStart, found->valueEnd,
                             (needsSpaceBefore ? " " : "") + edit.value + (needsSpaceAfter ? " " : "")});
        }
        else if (!found)
            edits.push_back({scan.m_dictOpen + 2, scan.m_dictOpen + 2, "\r/" + edit.key + " " + edit.value});
    }
}

void SortSpanEdits(std::vector<CSpanEdit>& edits)
{
    std::stable_sort(edits.begin(), edits.end(),
                     [](const CSpanEdit& a, const CSpanEdit& b) { return a.start < b.start; });
    size_t kept = 0;
    size_t end = 0;
    for (size_t i = 0; i < edits.size(); ++i) {
        if (kept > 0 && edits[i].start < end)
            continue;
        end = std::max(edits[i].end, edits[i].start);
        if (kept != i)
            edits[kept] = std::move(edits[i]);
        ++kept;
    }
    edits.resize(kept);
}

std::string SuffixedName(const std::string& name, const std::set<std::string>& used, std::set<std::string>& taken)
{
    return SuffixedName(name, [&used](const std::string& candidate) { return used.count(candidate) != 0; }, taken);
}

std::string SuffixedName(const std::string& name, const std::function<bool(const std::string&)>& isUsed,
                         std::set<std::string>& taken)
{
    for (uint32_t k = 2;; ++k) {
        std::string candidate = name + "-" + std::to_string(k);
        if (!isUsed(candidate) && taken.insert(candidate).second)
            return candidate;
    }
}

bool RenameDaFonts(const std::string& da, const CNameRenames& renames, std::string& out)
{
    out.clear();
    bool changed = false;
    for (size_t at = 0; at < da.size();) {
        if (da[at] != '/') {
            out += da[at++];
            continue;
        }
        size_t end = at + 1;
        while (end < da.size() && !EndsToken(da[end]))
            ++end;
        std::string name;
        DecodeNameToken(std::string_view(da).substr(at, end - at), name);
        const auto found = renames.find(name);
        if (found != renames.end()) {
            out += PdfNameText(found->second);
            changed = true;
        } else {
            out.append(da, at, end - at);
        }
        at = end;
    }
    return changed;
}

// Reads both catalogs and plans each kind of document-level data the second file has. A
// structure the file spells in a way that cannot be read is left as it was, never a refusal.
void CAppendEngine::PlanDocumentMerge()
{
    m_plan = CMergePlan();
    m_plan.newBase = static_cast<uint32_t>(m_entries1->size() + m_entries2->size() - 1);
    FetchCatalog(m_xref1, m_root1, m_catalog1);
    FetchCatalog(m_xref2, m_root2, m_catalog2);
    const CPdfDictionary* catalog1 = m_catalog1.dictionary();
    const CPdfDictionary* catalog2 = m_catalog2.dictionary();
    if (!catalog1 || !catalog2)
        return;
    PlanNames(*catalog1, *catalog2);
    PlanThreads(*catalog1, *catalog2);
    PlanForm(*catalog1, *catalog2);
    PlanPageLabels(*catalog1, *catalog2);
    PlanOptionalContent(*catalog1, *catalog2);
    PlanStructure(*catalog1, *catalog2);
}

void CAppendEngine::EditCatalog(const std::string& key, std::function<std::string()> value)
{
    m_plan.firstDeferred[m_root1].push_back({key, std::move(value)});
}

uint32_t CAppendEngine::AddNewObject(std::function<std::string()> body)
{
    m_plan.newObjects.push_back(std::move(body));
    return m_plan.newBase + static_cast<uint32_t>(m_plan.newObjects.size() - 1);
}

CReferenceMapper CAppendEngine::FirstMapper() const
{
    return [](uint32_t number, uint32_t generation) {
        return std::to_string(number) + " " + std::to_string(generation) + " R";
    };
}

// A second-file reference as the copy pass writes it: onto the first-file object it
// duplicates, or shifted past the first file's numbers.
CReferenceMapper CAppendEngine::SecondMapper() const
{
    return [this](uint32_t number, uint32_t generation) {
        if (number < m_dupMap.size() && m_dupMap[number].marked) {
            const uint32_t target = m_dupMap[number].target;
            return std::to_string(target) + " " + std::to_string(m_table[target].generation) + " R";
        }
        return std::to_string(uint64_t{number} + m_numberShift) + " " + std::to_string(generation) + " R";
    };
}

std::string CAppendEngine::SecondValueText(const CPdfElement& value) const
{
    return ElementText(value, SecondMapper());
}

// Everything the copy of one second-file object changes besides its numbers: keys set by the
// plan, structure parent keys moved past the first file's, renamed destinations and form fonts.
void CAppendEngine::CollectSecondEdits(uint32_t number, const CObjectText& text, std::vector<CSpanEdit>& edits) const
{
    edits.clear();
    const auto keyEdits = m_plan.secondEdits.find(number);
    if (keyEdits != m_plan.secondEdits.end())
        AddKeyEdits(text, keyEdits->second, edits);
    const CObjectScanner& scan = text.scan;
    if (m_plan.structParentShift != 0) {
        for (const char* key : {"StructParents", "StructParent"}) {
            const CObjectKey* found = scan.FindKey(text.head, key);
            int64_t value = 0;
            if (found && scan.IntegerValue(text.head, *found, value))
                edits.push_back({found->valueStart, found->valueEnd, std::to_string(value + m_plan.structParentShift)});
        }
    }
    if (!m_plan.fontRenames.empty()) {
        const CObjectKey* found = scan.FindKey(text.head, "DA");
        std::string da;
        std::string renamed;
        if (found && found->HasValue() &&
            DecodeStringToken(std::string_view(text.head).substr(found->valueStart, found->valueEnd - found->valueStart),
                              da) &&
            RenameDaFonts(da, m_plan.fontRenames, renamed))
            edits.push_back({found->valueStart, found->valueEnd, PdfLiteralStringText(renamed)});
    }
    if (!m_plan.destRenames.empty()) {
        const size_t end = scan.m_firstValueEnd != kNoIndex ? scan.m_firstValueEnd : text.head.size();
        if (MayRenameDestinations(text.head, scan.m_bodyStart, end, m_plan.destRenames))
            FindRenamedDestinations(text.head, scan.m_bodyStart, end, m_plan.destRenames, edits);
    }
    if (!edits.empty())
        SortSpanEdits(edits);
}

// The first-file objects held back (catalog, structure root) with their edits, then the new
// objects that hold the merged structures.
void CAppendEngine::WriteMergedDocument()
{
    for (const auto& [number, edits] : m_plan.firstDeferred)
        WriteDeferredFirstObject(number, edits);
    for (size_t i = 0; i < m_plan.newObjects.size(); ++i) {
        const uint32_t number = m_plan.newBase + static_cast<uint32_t>(i);
        OutputEntry& entry = m_table[number];
        entry.position = m_output.position();
        entry.inUse = 1;
        entry.generation = 0;
        m_output.WriteNumber(number);
        m_output.Write(" 0 obj\n");
        m_output.Write(m_plan.newObjects[i]());
        m_output.Write("\nendobj\n");
    }
}

void CAppendEngine::WriteDeferredFirstObject(uint32_t number, const std::vector<CLazyKeyEdit>& edits)
{
    if (!m_reader1.Read(number, m_text) || m_text.scan.m_dictOpen == kNoIndex) {
        NoteFirstFileWrite(number);
        m_table[number].inUse = 0;
        return;
    }
    std::vector<CKeyEdit> values;
    values.reserve(edits.size());
    for (const CLazyKeyEdit& edit : edits)
        values.push_back({edit.key, edit.value()});
    WriteEdited(number, m_text, values);
}
