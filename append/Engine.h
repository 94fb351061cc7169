// CAppendEngine appends a second PDF file onto a first, into an output file: one run per call
// of RunAppend. It owns the inputs, the output and the run's state; the job around it (cli/)
// chooses the output's path and puts the result in place.
//
// The run copies object text, never parsed objects: the first file's objects under their own
// numbers, the second file's shifted by N1 - 1 with their references rewritten and its
// duplicates of first-file objects dropped; then the first page-tree root with the second tree
// attached, one cross-reference table and the trailer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "append/DocumentMerge.h"
#include "append/ElementText.h"
#include "append/InputFile.h"
#include "append/KeptTexts.h"
#include "append/ObjectText.h"
#include "append/OutputBound.h"
#include "append/OutputFile.h"
#include "append/OwnOutput.h"
#include "append/RunState.h"
#include "pdf/Document.h"
#include "platform/File.h"

class CAppendEngine {
public:
    CAppendEngine() = default;
    CAppendEngine(const CAppendEngine&) = delete;
    CAppendEngine& operator=(const CAppendEngine&) = delete;

    // Options of the runs to come.
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    bool IsQuiet() const { return m_quiet; }
    void SetNoBookmarks(bool noBookmarks) { m_noBookmarks = noBookmarks; }
    // Lowers the output size the run accepts, so tests can reach the refusal with small files.
    void SetMaxOutputOffset(uint64_t limit) { m_maxOutputOffset = limit; }
    // The file the output becomes once the job puts it in place ("" when the output is written
    // where it goes), and the folder of temporary files: the run announces its output by them.
    void SetDestination(const std::string& destination) { m_destination = destination; }
    const std::string& destination() const { return m_destination; }
    void SetTemporaryFolder(const std::string& folder) { m_temporaryFolder = folder; }
    // The output is put on disk before it is closed (it is to replace a file).
    void SetSyncsOutput(bool syncs) { m_syncsOutput = syncs; }
    // The size the caller has just found for the next run's second file (kUnknownFileSize: none)
    // and, when given, the whole file as the caller has just read it, with its table read ahead
    // from those bytes.
    void ExpectSecondFile(uint64_t size, CHeldBytes bytes = nullptr, std::shared_ptr<CPdfReadAhead> ahead = nullptr)
    {
        m_secondFileSize = size;
        m_secondFileBytes = std::move(bytes);
        m_secondFileAhead = std::move(ahead);
    }

    // Page count of a file, read on its own; throws for unreadable, damaged or encrypted files.
    uint32_t CountPages(const char* fileName);
    // The whole append run into outputPath; every failure throws CPdfException. The output is
    // complete and closed when it returns.
    void RunAppend(const char* file1, const char* file2, const char* outputPath);
    // Which inputs a run that failed had opened as documents.
    bool IsFirstOpen() const { return m_doc1.isOpen(); }
    bool IsSecondOpen() const { return m_doc2.isOpen(); }
    // The writer of the run's output, which a failed run leaves open.
    COutputFile& output() { return m_output; }

    // A plain list's own output: after a line that appended onto outputPath, the lines that
    // follow append onto what this object keeps of it (see append/OwnOutput.h), in a journal at
    // journalPath. False when the output cannot be kept so.
    bool StartOwnOutput(const char* outputPath, const std::string& journalPath);
    bool HasOwnOutput() const { return m_own.isActive; }
    // One line appended onto the kept output; UndoOwnLine takes back a line that failed.
    void AppendOwnLine(const char* file1, const char* file2);
    void UndoOwnLine();
    // Lines appended since the kept output was last written, and whether it is due again: once
    // the lines add as much as it had (all writes together then stay within about twice its
    // final size), or once the journal is full (its table holds 32-bit offsets).
    uint32_t OwnLinesUnwritten() const { return m_own.linesUnwritten; }
    bool IsJournalFull() const;
    bool IsOwnOutputDue() const;
    // Writes the kept output as it stands to path; NoteOwnOutputWritten once it is in place,
    // ForgetOwnLine when the last line is not to count.
    void WriteOwnOutput(const std::string& path);
    void NoteOwnOutputWritten();
    void ForgetOwnLine() { --m_own.linesUnwritten; }
    // Closes the journal and what reads it. The journal file itself is the job's.
    void EndOwnOutput();

private:
    // Steps of the run, in the order RunAppend takes them.
    void OpenInputs(const char* file1, const char* file2, const char* outputPath);
    void FindPageRoots();
    void CheckOutlines();
    void PlanDocumentMerge();
    void CheckOutputSize(const char* outputPath);
    void OpenOutput(const char* outputPath);
    void InitOutputTable(uint32_t count);
    void WriteHeader();
    void MergeOutlines();
    void CopyFirstFile();
    void MarkDuplicates();
    void CopySecondFile();
    void MergePageTrees();
    void WriteMergedDocument();
    void WriteXrefTable();
    void WriteTrailer(uint64_t xrefPosition);
    void CloseAll();

    // A second-file object under examination by the duplicate search, one per depth.
    struct CDuplicateFrame {
        CObjectText text;
        bool isRead = false; // text holds the object examined
        std::string canonical;
        std::vector<uint32_t> refs;
    };


    // Fingerprints and the canonical text by which duplicates are compared.
    void Fingerprint(const CObjectText& text, uint32_t outputNumber);
    template <typename MapOutput>
    COwnKeys TargetKeys(const CObjectText& text, CInputFile& input, MapOutput mapOutput);
    void IndexTarget(uint32_t outputNumber, const COwnKeys& keys);
    void NoteCopiedKeys(uint32_t number, const CObjectText& text, const std::vector<CSpanEdit>& edits);
    bool IsDuplicate(uint32_t number, uint32_t depth);
    bool ExamineDuplicate(uint32_t number, uint32_t depth);
    bool SameAsFirstFileObject(CDuplicateFrame& frame, uint32_t target);
    const COwnCandidate* KeptCandidate(uint32_t target) const;
    bool SameAsKeptCandidate(const COwnCandidate& kept, CDuplicateFrame& frame);
    void KeepCandidate(uint32_t target);
    bool SameStreamData(const CObjectText& first, const CObjectText& second);
    uint64_t FirstFileDataHash(uint32_t target);
    void Unfingerprint(uint32_t number);
    void StartKeptTexts();
    bool IsExaminedLater(uint32_t number) const;
    std::function<bool(uint32_t, CObjectText&)> KeepWalkedText();
    bool IsKnownShape(uint64_t shape) const;

    // The kept output of a plain list: the running line's bookkeeping and the output's writing.
    void NoteFirstFileWrite(uint32_t number);
    void OpenOwnFirst();
    void IndexOwnBody();
    void FinishOwnLine();
    void WriteOwnBody(COutputFile& out);
    uint64_t TrailerInfo() const;
    std::string TrailerText(uint32_t root, uint32_t info, uint64_t xrefPosition) const;

    // The second file's document-level data, merged with the first's.
    void PlanNames(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2);
    void NoteKeptDests(const std::vector<CTreeEntry>& tree2, bool isTreeKept);
    void KeepWrittenDests();
    void NoteKeptFields(bool isKept, std::set<std::string>&& read, std::vector<std::string>&& written,
                        size_t count, const CPdfElement* lastField2);
    void KeepWrittenFields();
    void PlanThreads(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2);
    void PlanForm(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2);
    void PlanFieldEdits(const std::vector<CPdfElement>& fields1, const std::vector<CPdfElement>& fields2,
                        const CPdfDictionary& form2);
    std::function<std::string()> MergedFormResources(const CPdfDictionary& form1, const CPdfDictionary& form2);
    void PlanPageLabels(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2);
    void PlanOptionalContent(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2);
    void PlanStructure(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2);
    void EditCatalog(const std::string& key, std::function<std::string()> value);
    uint32_t AddNewObject(std::function<std::string()> body);
    CReferenceMapper FirstMapper() const;
    CReferenceMapper SecondMapper() const;
    std::string SecondValueText(const CPdfElement& value) const;
    void CollectSecondEdits(uint32_t number, const CObjectText& text, std::vector<CSpanEdit>& edits) const;
    void WriteDeferredFirstObject(uint32_t number, const std::vector<CLazyKeyEdit>& edits);
    void PlanOutlineJoin(uint32_t last1, uint32_t first2);

    void CopyFirstObject(uint32_t number);
    void CopySecondObject(uint32_t number);
    void RenumberHead(const CObjectText& text, size_t headLength, uint32_t number,
                      const std::vector<CSpanEdit>& edits);
    uint64_t OutputNumberOfSecond(uint32_t number) const;

    void FindInheritedAttributes(const CPdfDictionary* root2);
    CRootLayout PagesRootLayout() const;
    void WriteMergedRoot(const CRootLayout& layout, int64_t total);
    void EditKeptRoot(const CRootLayout& layout, int64_t total);
    void WriteEditedCountObject(uint32_t number, int64_t total);
    void WriteEditedKidsObject(uint32_t number);
    std::string SecondRootReference() const;

    uint32_t FindOutlines(CPdfXRef* xref, uint32_t rootNumber, uint32_t& generation);
    void LinkOutlinesFromCatalog(uint32_t generation2);
    void ChainOutlines(const CPdfDictionary& root1, const CPdfDictionary& root2, uint32_t last1, uint32_t last2,
                       uint32_t lastGeneration2, uint32_t first2, uint32_t firstGeneration2);
    void WriteEdited(uint32_t number, const CObjectText& text, const std::vector<CKeyEdit>& keyEdits);

    CPdfDocument m_doc1;
    CPdfDocument m_doc2;

    // Run state.
    CPdfXRef* m_xref1 = nullptr;
    CPdfXRef* m_xref2 = nullptr;
    uint32_t m_root1 = 0;
    uint32_t m_info1 = 0;
    uint32_t m_root2 = 0;
    uint32_t m_info2 = 0;
    uint32_t m_outlines1 = 0;
    uint32_t m_outlines2 = 0;
    uint32_t m_numberShift = 0;
    uint32_t m_pages1 = 0;
    uint32_t m_pages2 = 0;
    uint32_t m_attributes1 = 0;  // inheritable attributes the first root sets, one bit each
    int64_t m_count1 = -1;       // the first root's /Count, or -1
    int64_t m_mergedCount = 0;   // the joined root's count
    int64_t m_leaves1 = 0; // pages counted under each page-tree root
    int64_t m_leaves2 = 0;
    CPdfElement m_catalog1;   // both catalogs, read once for the document merge
    CPdfElement m_catalog2;
    CMergePlan m_plan;
    std::vector<uint32_t> m_topItems2;  // the second outline's top-level items, in order
    std::vector<CSpanEdit> m_spanEdits; // edits of the object being copied; reused
    uint64_t m_maxOutputOffset = kMaxOutputOffset;
    CProgress m_progress; // the buffer-search counter behind the progress dots
    std::vector<OutputEntry> m_table;
    std::vector<DuplicateEntry> m_dupMap;
    const std::vector<CPdfXRefEntry>* m_entries1 = nullptr;
    const std::vector<CPdfXRefEntry>* m_entries2 = nullptr;

    CInputFile m_input1;
    CInputFile m_input2;
    CObjectReader m_reader1;
    CObjectReader m_reader2;
    COutputFile m_output;
    CObjectText m_text;            // the object being copied; reused
    CObjectText m_pagesRootText;   // the first page-tree root, held back until the end
    bool m_hasPagesRootText = false;
    std::string m_secondRootInsert; // inserted after the second root's "<<"
    uint32_t m_countObject1 = 0;    // first root's indirect /Count and /Kids, rewritten at the end
    uint32_t m_kidsObject1 = 0;
    uint32_t m_countObject2 = 0;    // second root's indirect /Count and /Kids: never duplicates
    uint32_t m_kidsObject2 = 0;
    // First-file objects that may stand for second-file ones: the shapes of their texts
    // (references blanked), and their full keys (references, stream length and first bytes);
    // whole-data hashes of first-file streams, taken when several share a key.
    std::unordered_map<uint64_t, uint32_t> m_shapeCounts; // targets per shape
    uint32_t m_targetCount = 0;
    std::unordered_multimap<uint64_t, uint32_t> m_fingerprints;
    std::vector<uint32_t> m_candidates;
    std::unordered_map<uint32_t, uint64_t> m_firstDataHashes;
    std::vector<CDuplicateFrame> m_dupFrames;
    CObjectText m_targetText;
    // A kept list's output as written now and then from the journal; kept, with their buffers,
    // from one writing to the next.
    COutputFile m_ownWriter;
    CInputFile m_journalView;
    // Second-file texts the walks and the duplicate search read and the copy writes: read once.
    CKeptTexts m_kept;
    std::string m_targetCanonical;
    std::string m_compareBuffer1;
    std::string m_compareBuffer2;

    // Options.
    bool m_quiet = false;
    bool m_noBookmarks = false;
    bool m_syncsOutput = false;
    std::string m_destination;
    std::string m_temporaryFolder;
    uint64_t m_secondFileSize = kUnknownFileSize;
    CHeldBytes m_secondFileBytes;
    std::shared_ptr<CPdfReadAhead> m_secondFileAhead;
    COwnOutput m_own;
};
