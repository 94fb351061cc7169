// The kept output of a plain list: the engine's steps for a line that appends onto it, and the
// bookkeeping that lets the next line and the next write of the output do without reading it.
#include "append/Engine.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "append/TreeWalk.h"
#include "pdf/Exception.h"
#include "xref/XRef.h"

namespace {

// The journal's table holds 32-bit offsets.
constexpr uint64_t kMaxJournalSize = uint64_t{1} << 30;

// Bytes of the cross-reference table of size entries: "xref", the subsection line, 20 per entry.
uint64_t XrefBytes(uint64_t size)
{
    return 7 + std::to_string(size).size() + 1 + 20 * size;
}

} // namespace

// The first time a line changes a first-file entry, its old value goes to the undo list.
void CAppendEngine::NoteFirstFileWrite(uint32_t number)
{
    if (!m_own.isActive || number >= m_own.tableSize)
        return;
    const bool isNoted = std::any_of(m_own.undo.begin(), m_own.undo.end(),
                                     [number](const COwnUndo& undo) { return undo.number == number; });
    if (!isNoted)
        m_own.undo.push_back({number, m_table[number]});
}

bool CAppendEngine::StartOwnOutput(const char* outputPath, const std::string& journalPath)
{
    CPdfDocument document;
    document.open(outputPath);
    const CPdfXRef* xref = document.xref();
    std::vector<CPdfXRefEntry> entries = xref->getEntries();
    const bool isPlain = std::none_of(entries.begin(), entries.end(),
                                      [](const CPdfXRefEntry& entry) { return entry.type == 2; });
    if (xref->isRebuilt() || document.headerOffset() != 0 || xref->m_rootNumber <= 0 || !isPlain)
        return false;
    const int32_t root = xref->m_rootNumber;
    const int32_t info = xref->m_infoNumber;
    document.close();

    // The journal begins as a copy of the output, so that every object lies where it lies there.
    CFileHandle source;
    if (!source.Open(outputPath, "rb"))
        return false;
    std::setvbuf(source.get(), nullptr, _IONBF, 0);
    CInputFile input;
    input.Attach(source.get(), 0);
    m_own.journalPath = journalPath;
    m_output.Open(journalPath, false);
    m_output.CopyRun(input, 0, input.size());
    m_output.HandOver(0);
    const uint64_t size = input.size();
    input.Detach();
    source.Close();
    if (!m_own.reader.Open(journalPath, "rb"))
        return false;
    std::setvbuf(m_own.reader.get(), nullptr, _IONBF, 0);
    m_doc1.openWithTable(journalPath, entries, root, info, &m_output);
    m_input1.Attach(m_own.reader.get(), 0);
    m_reader1.Attach(&m_input1, m_doc1.xref());

    // Each object's text must read back as exactly the bytes it has, for they are copied so.
    m_table.assign(entries.size(), OutputEntry());
    m_own.lengths.assign(entries.size(), 0);
    uint64_t firstObject = size;
    for (uint32_t number = 1; number < entries.size(); ++number) {
        if (entries[number].type != 1) {
            m_table[number].position = 0;
            continue;
        }
        if (!m_reader1.Read(number, m_text) || !m_text.isVerbatim || m_text.filePosition != entries[number].offset)
            return false;
        OutputEntry& entry = m_table[number];
        entry.position = entries[number].offset;
        entry.inUse = 1;
        entry.generation = m_text.generation;
        m_own.lengths[number] = m_text.Size();
        m_own.objectBytes += m_text.Size();
        ++m_own.inUseCount;
        m_own.pending.push_back(number);
        firstObject = std::min<uint64_t>(firstObject, entry.position);
    }
    std::string header;
    m_input1.Read(0, static_cast<size_t>(firstObject), header);
    if (header.compare(0, 5, "%PDF-") != 0)
        return false;
    m_own.last.header = header;
    m_own.last.root = static_cast<uint32_t>(root);
    m_own.last.info = info > 0 ? static_cast<uint32_t>(info) : 0;
    m_own.last.firstCount = static_cast<uint32_t>(entries.size());

    CPdfElement catalog;
    CPdfElement pages;
    m_doc1.xref()->fetch(root, entries[static_cast<size_t>(root)].fetchGeneration(), catalog);
    if (catalog.dictionary())
        catalog.dictionary()->get("Pages", pages);
    if (!pages.is(PdfKind::Reference) || pages.refNumber() <= 0)
        return false;
    m_own.leaves = CountPageTreeLeaves(m_reader1, static_cast<uint32_t>(pages.refNumber()), m_text);
    m_own.outputSize = size;
    m_own.writtenSize = size;
    m_own.writtenJournal = m_output.position();
    m_own.journalSize = m_output.position();
    m_own.isActive = true;
    return true;
}

// The output as the last line left it: its table is the journal's, grown since it was opened.
void CAppendEngine::OpenOwnFirst()
{
    m_doc1.xref()->remeasure(m_own.journalSize);
}

// What copying the first file's objects would do to the run besides writing them: the progress
// they count, and the duplicate search's index of those that may stand for second-file objects.
// Objects the last line wrote are indexed now, unless this line holds them back too.
void CAppendEngine::IndexOwnBody()
{
    m_own.bodyMark = m_output.position();
    // A kept root lives in m_own.rootHead; only the first line reads it from the journal.
    m_hasPagesRootText = m_own.rootLayout.isKnown || m_reader1.Read(m_pages1, m_pagesRootText);
    std::set<uint32_t> notCopied;
    for (const COwnUndo& undo : m_own.undo)
        notCopied.insert(undo.number); // written already, by the outline merge
    for (const auto& deferred : m_plan.firstDeferred)
        notCopied.insert(deferred.first);
    notCopied.insert(m_pages1);
    uint32_t uncounted = 0;
    for (uint32_t number : notCopied) {
        if (number != 0 && number < m_entries1->size() && (*m_entries1)[number].type == 1)
            ++uncounted;
    }
    m_progress.Tick(m_own.inUseCount - uncounted);

    std::set<uint32_t> held = notCopied;
    held.insert(m_countObject1);
    held.insert(m_kidsObject1);
    for (uint32_t number : held) {
        if (number != 0 && number < m_table.size() && m_table[number].isTarget) {
            m_own.held.insert(number);
            ++m_own.heldShapes[m_own.shapeKeys[number]];
        }
    }
    std::vector<uint32_t> waiting;
    for (uint32_t number : m_own.pending) {
        if (held.count(number) != 0) {
            waiting.push_back(number);
            continue;
        }
        if (number >= m_table.size() || !m_table[number].inUse || m_table[number].isTarget)
            continue;
        const auto copied = m_own.copiedKeys.find(number);
        if (copied != m_own.copiedKeys.end() && copied->second.position == m_table[number].position) {
            if (copied->second.isTarget)
                IndexTarget(number, copied->second);
        } else if (m_reader1.Read(number, m_text) && !m_text.scan.m_hasUnsharedName)
            Fingerprint(m_text, number);
    }
    // An object the lines rewrite again and again (an outline root, a catalog) waits once.
    std::sort(waiting.begin(), waiting.end());
    waiting.erase(std::unique(waiting.begin(), waiting.end()), waiting.end());
    m_own.pending.swap(waiting);
    for (auto copied = m_own.copiedKeys.begin(); copied != m_own.copiedKeys.end();) {
        if (std::binary_search(m_own.pending.begin(), m_own.pending.end(), copied->first))
            ++copied;
        else
            copied = m_own.copiedKeys.erase(copied);
    }
}

// After a line: where its objects lie in the journal, their lengths, the table the next line
// reads, and the size the output now has.
void CAppendEngine::FinishOwnLine()
{
    // In the journal now, and in the buffer still, where the next line reads it back from.
    m_output.HandOver(m_own.segmentStart);
    m_own.journalSize = m_output.position();
    COwnLine line;
    line.segmentStart = m_own.segmentStart;
    line.bodyMark = m_own.bodyMark;
    line.segmentEnd = m_output.position();
    line.firstCount = static_cast<uint32_t>(m_own.tableSize);
    for (const auto& deferred : m_plan.firstDeferred)
        line.late.insert(deferred.first);
    line.late.insert(m_pages1);

    std::vector<std::pair<uint64_t, uint32_t>> written;
    auto isWritten = [&](const OutputEntry& entry) {
        return entry.inUse && entry.position != kNotWritten && entry.position >= line.segmentStart;
    };
    uint64_t copiedBytes = 0;
    for (const COwnUndo& undo : m_own.undo) {
        const uint32_t number = undo.number;
        const OutputEntry& entry = m_table[number];
        if (undo.entry.inUse) {
            m_own.objectBytes -= m_own.lengths[number];
            --m_own.inUseCount;
        }
        if (isWritten(entry) && entry.position >= line.bodyMark && line.late.count(number) == 0) {
            line.copiedTwice.push_back({number, {undo.entry.position, m_own.lengths[number]}});
            copiedBytes += m_own.lengths[number];
        }
        if (m_table[number].isTarget)
            Unfingerprint(number);
        if (isWritten(entry) && number != m_pages1)
            written.push_back({entry.position, number});
    }
    std::sort(line.copiedTwice.begin(), line.copiedTwice.end());
    for (size_t number = line.firstCount; number < m_table.size(); ++number) {
        if (isWritten(m_table[number]))
            written.push_back({m_table[number].position, static_cast<uint32_t>(number)});
    }
    std::sort(written.begin(), written.end());
    std::vector<CPdfXRefEntry>& entries = m_doc1.xref()->editEntries();
    entries.resize(m_table.size());
    for (const COwnUndo& undo : m_own.undo)
        entries[undo.number].type = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        const uint32_t number = written[i].second;
        const uint64_t end = i + 1 < written.size() ? written[i + 1].first : line.segmentEnd;
        m_own.lengths[number] = end - written[i].first;
        m_own.objectBytes += m_own.lengths[number];
        ++m_own.inUseCount;
        m_own.pending.push_back(number);
        CPdfXRefEntry& entry = entries[number];
        entry.offset = static_cast<uint32_t>(written[i].first);
        entry.generation = m_table[number].generation;
        entry.type = 1;
    }
    // The page-tree root lives in memory: the journal has no text for it.
    line.rootMark = m_table[m_pages1].position;
    line.pagesRoot = m_pages1;
    m_own.rootLayout = m_own.nextRootLayout;
    if (m_own.hasNextRootHead)
        m_own.rootHead = std::move(m_own.nextRootHead);
    m_own.hasNextRootHead = false;
    m_own.rootEdit.isEdited = false;
    m_own.lengths[m_pages1] = m_own.rootHead.size();
    m_own.objectBytes += m_own.rootHead.size();
    ++m_own.inUseCount;
    entries[m_pages1].type = 0;
    line.header = m_own.header;
    line.root = m_root1;
    line.info = static_cast<uint32_t>(TrailerInfo());
    m_doc1.xref()->m_infoNumber = static_cast<int32_t>(line.info);
    m_own.leaves = m_leaves1 + m_leaves2;
    m_own.root = {true, m_countObject1, m_kidsObject1, m_attributes1, m_mergedCount};
    const uint64_t xrefPosition = line.header.size() + m_own.objectBytes + copiedBytes;
    m_own.outputSize = xrefPosition + XrefBytes(m_table.size()) + TrailerText(line.root, line.info, xrefPosition).size();
    m_own.last = std::move(line);
    for (const auto& copied : m_own.lineKeys)
        m_own.copiedKeys[copied.first] = copied.second;
    m_own.lineKeys.clear();
    KeepWrittenDests();
    KeepWrittenFields();
    ++m_own.linesUnwritten;
    m_own.undo.clear();
    m_own.held.clear();
    m_own.heldShapes.clear();
}

// A line that failed leaves the kept output as the line before it left it.
void CAppendEngine::UndoOwnLine()
{
    if (!m_own.isActive)
        return;
    for (auto undo = m_own.undo.rbegin(); undo != m_own.undo.rend(); ++undo)
        m_table[undo->number] = undo->entry;
    auto& edit = m_own.rootEdit;
    if (edit.isEdited) { // the kept root's edits, taken back in the opposite order
        const bool isCountFirst = edit.countLength != 0 && (edit.insertLength == 0 || edit.countAt < edit.insertAt);
        if (isCountFirst)
            m_own.rootHead.replace(edit.countAt, edit.countLength, edit.countText);
        if (edit.insertLength != 0)
            m_own.rootHead.erase(edit.insertAt, edit.insertLength);
        if (!isCountFirst && edit.countLength != 0)
            m_own.rootHead.replace(edit.countAt - edit.insertLength, edit.countLength, edit.countText);
        edit.isEdited = false;
    }
    m_own.hasNextRootHead = false;
    if (m_own.tableSize != 0) {
        m_table.resize(m_own.tableSize);
        m_own.lengths.resize(m_own.tableSize);
    }
    m_own.undo.clear();
    m_own.held.clear();
    m_own.heldShapes.clear();
    m_own.lineKeys.clear();
    m_own.nextDests = COwnNameTree();
    m_own.nextFields = COwnFieldNames();
}

void CAppendEngine::AppendOwnLine(const char* file1, const char* file2)
{
    m_own.tableSize = m_table.size();
    m_progress = CProgress();
    m_plan = CMergePlan();
    m_catalog1 = CPdfElement();
    m_catalog2 = CPdfElement();
    m_topItems2.clear();
    m_hasPagesRootText = false;
    m_countObject1 = m_kidsObject1 = m_countObject2 = m_kidsObject2 = 0;
    RunAppend(file1, file2, m_own.journalPath.c_str());
}

bool CAppendEngine::IsJournalFull() const
{
    return m_output.position() >= kMaxJournalSize;
}

bool CAppendEngine::IsOwnOutputDue() const
{
    return IsJournalFull() || m_output.position() - m_own.writtenJournal >= m_own.writtenSize;
}

void CAppendEngine::NoteOwnOutputWritten()
{
    m_own.linesUnwritten = 0;
    m_own.writtenJournal = m_output.position();
    m_own.writtenSize = m_own.outputSize;
}

void CAppendEngine::EndOwnOutput()
{
    m_own.isActive = false;
    m_doc1.close();
    m_own.reader.Close();
    m_input1.Detach();
    m_output.Close();
}

// The destinations tree a line of a kept output is about to write, kept for the next line.
void CAppendEngine::NoteKeptDests(const std::vector<CTreeEntry>& tree2, bool isTreeKept)
{
    COwnNameTree& next = m_own.nextDests;
    next = COwnNameTree();
    next.isAdding = isTreeKept;
    if (isTreeKept) {
        for (const CTreeEntry& entry : tree2)
            next.added.push_back(entry.name);
    }
}

// The tree the line wrote becomes the output's, its names those the tree holds.
void CAppendEngine::KeepWrittenDests()
{
    COwnNameTree& next = m_own.nextDests;
    if (next.number == 0)
        return;
    COwnNameTree& kept = m_own.dests;
    kept.number = next.number;
    kept.entries = std::move(next.entries);
    if (next.isAdding) {
        kept.names.insert(next.added.begin(), next.added.end());
    } else {
        kept.names.clear();
        for (const CTreeEntry& entry : kept.entries)
            kept.names.insert(entry.name);
    }
    next = COwnNameTree();
}

// The field list a line of a kept output is about to write, kept for the next line.
void CAppendEngine::NoteKeptFields(bool isKept, std::set<std::string>&& read, std::vector<std::string>&& written,
                                   size_t count, const CPdfElement* lastField2)
{
    COwnFieldNames& next = m_own.nextFields;
    next = COwnFieldNames();
    next.isWritten = true;
    next.isAdding = isKept;
    next.names = std::move(read);
    next.added = std::move(written);
    next.count = count;
    if (lastField2 && lastField2->is(PdfKind::Reference) && lastField2->refNumber() > 0)
        next.lastSecond = static_cast<uint32_t>(lastField2->refNumber());
}

// The field list the line wrote becomes the output's; its last field is numbered as written.
void CAppendEngine::KeepWrittenFields()
{
    COwnFieldNames& next = m_own.nextFields;
    if (!next.isWritten)
        return;
    COwnFieldNames& kept = m_own.fields;
    if (!next.isAdding)
        kept.names = std::move(next.names);
    kept.names.insert(next.added.begin(), next.added.end());
    kept.count = next.count;
    kept.isKnown = next.lastSecond != 0;
    kept.last = kept.isKnown ? static_cast<uint32_t>(OutputNumberOfSecond(next.lastSecond)) : 0;
    next = COwnFieldNames();
}
