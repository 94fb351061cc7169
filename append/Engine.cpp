// The append run: open both inputs and the output, write the output from header to "%%EOF",
// close everything.
#include "append/Engine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "pdf/Exception.h"
#include "platform/Replace.h"
#include "xref/XRef.h"

namespace {

// A temporary output (in folder, when there is one) is announced as the first file, which it
// will replace.
bool IsTemporaryOutput(const std::string& outputPath, const std::string& folder)
{
    const size_t skip = folder.empty() ? 0 : folder.size() + 1;
    return outputPath.size() >= skip && outputPath.compare(skip, 5, "temp_") == 0;
}

uint32_t ReferenceNumber(int32_t number)
{
    return number > 0 ? static_cast<uint32_t>(number) : 0;
}

} // namespace

void CAppendEngine::RunAppend(const char* file1, const char* file2, const char* outputPath)
{
    OpenInputs(file1, file2, outputPath);
    const uint64_t count1 = m_entries1->size();
    const uint64_t count2 = m_entries2->size();
    if (count1 == 0 || count2 == 0 || count1 + count2 > INT32_MAX)
        throw CPdfDamaged();
    {
        const CJumpingReads jumps1(m_input1);
        const CJumpingReads jumps2(m_input2);
        StartKeptTexts();
        FindPageRoots();
        CheckOutlines();
        PlanDocumentMerge();
        CheckOutputSize(outputPath);
    }
    OpenOutput(outputPath);
    InitOutputTable(static_cast<uint32_t>(count1 + count2 + m_plan.newObjects.size()));
    WriteHeader();
    m_numberShift = static_cast<uint32_t>(count1 - 1);
    if (!m_noBookmarks)
        MergeOutlines();
    CopyFirstFile();
    {
        // Candidates in the first file lie anywhere in it.
        const CJumpingReads jumps1(m_input1);
        MarkDuplicates();
    }
    CopySecondFile();
    MergePageTrees();
    WriteMergedDocument();
    if (m_own.isActive) {
        FinishOwnLine();
        CloseAll();
        return;
    }
    const uint64_t xrefPosition = m_output.position();
    WriteXrefTable();
    WriteTrailer(xrefPosition);
    CloseAll();
}

void CAppendEngine::OpenInputs(const char* file1, const char* file2, const char* outputPath)
{
    const uint64_t expectedSize = std::exchange(m_secondFileSize, kUnknownFileSize);
    CHeldBytes readBytes = std::move(m_secondFileBytes);
    std::shared_ptr<CPdfReadAhead> ahead = std::move(m_secondFileAhead);
    if (m_own.isActive)
        OpenOwnFirst();
    else
        m_doc1.open(file1);
    m_xref1 = m_doc1.xref();
    m_root1 = ReferenceNumber(m_xref1->m_rootNumber);
    m_info1 = ReferenceNumber(m_xref1->m_infoNumber);
    m_entries1 = &m_xref1->getEntries();
    m_doc2.open(file2, expectedSize, std::move(readBytes), std::move(ahead));
    m_xref2 = m_doc2.xref();
    m_root2 = ReferenceNumber(m_xref2->m_rootNumber);
    m_info2 = ReferenceNumber(m_xref2->m_infoNumber);
    m_entries2 = &m_xref2->getEntries();
    if (!m_quiet) {
        std::printf("\r\nAppending file: ");
        // A job that writes through a temporary file names its destination, judged as before.
        const char* shown = m_destination.empty() ? outputPath : m_destination.c_str();
        const bool isTemporary = m_destination == file1 || IsTemporaryOutput(shown, m_temporaryFolder);
        if (!isTemporary)
            std::printf("%s and file: ", file1);
        std::printf("'%s' to output file: '%s'\r\n", file2, isTemporary ? file1 : shown);
    }
    // A kept list writes a journal of its own making, which no line can name: its lines were
    // checked against the output already.
    if (!m_own.isActive && (PlatformSameFile(outputPath, file1) || PlatformSameFile(outputPath, file2)))
        throw CPdfException(FormatText("File output error: '%s', err no: %d", outputPath, EINVAL));
    if (m_own.isActive)
        m_input1.AttachSized(m_own.reader.get(), m_own.journalSize, &m_output);
    else
        m_input1.Attach(m_doc1.file(), m_doc1.headerOffset(), m_doc1.heldBytes());
    m_input2.Attach(m_doc2.file(), m_doc2.headerOffset(), m_doc2.heldBytes());
    m_reader1.Attach(&m_input1, m_xref1);
    m_reader2.Attach(&m_input2, m_xref2);
}

// The output is created only once both inputs have passed every check that reads them whole.
void CAppendEngine::OpenOutput(const char* outputPath)
{
    if (m_own.isActive)
        m_own.segmentStart = m_output.position();
    else
        m_output.Open(outputPath, m_syncsOutput);
    m_progress.SetQuiet(m_quiet);
    if (!m_quiet) {
        std::printf("Processing");
        CProgress::Show();
    }
}

// The kept output of a list stays open from line to line: its journal and what reads it back.
void CAppendEngine::CloseAll()
{
    m_input1.Detach();
    m_input2.Detach();
    m_xref1 = nullptr;
    m_xref2 = nullptr;
    m_entries1 = nullptr;
    m_entries2 = nullptr;
    m_doc2.close();
    if (m_own.isActive)
        return;
    m_doc1.close();
    m_output.Close();
}
