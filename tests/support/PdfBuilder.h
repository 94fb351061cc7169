#pragma once

// Test-only helpers that build PDF files byte by byte with correct offsets, so a fixture is
// broken only where a test means it to be.
//
// A CTestPdf collects objects in sections. ClassicXRef / XRefStream / Finish close the current
// section (cross-reference data, trailer, startxref, %%EOF) and return the whole file so far;
// objects added afterwards form an incremental update whose trailer gets /Prev automatically.
// Every offset written (entries, startxref, /Prev) counts from "%PDF-", as the reader does,
// so junk before the header shifts nothing else.
//
//     CTestPdf pdf("1.4");
//     pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
//     pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
//     pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
//     pdf.AddStream(4, "<< >>", "BT ET", /*compress*/ true);   // adds /Filter and /Length
//     std::string v1 = pdf.ClassicXRef("/Root 1 0 R");           // /Size is added for you
//     pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
//     CTestXRefStreamOptions opts;
//     opts.compress = true;
//     opts.pngUp = true;
//     std::string v2 = pdf.XRefStream(5, opts, "/Root 1 0 R");   // update with /Prev
//     CTestDir dir;
//     std::string path = dir.Write("sample.pdf", v2);            // removed with dir
//
// Trailer (or xref stream dictionary) extras are raw text; when they name /Size or /Prev
// themselves, the builder leaves that key to them, so hostile values are easy to write.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// zlib deflate of data (the program itself only inflates).
std::string TestDeflate(const std::string& data);

// PNG "Up" prediction (PDF /Predictor 12): every row of `columns` bytes gets the tag byte 2 and
// holds its difference to the row above. A short last row is encoded as it is.
std::string TestPngUp(const std::string& data, uint32_t columns);

// Widths and layout of a cross-reference stream.
struct CTestXRefStreamOptions {
    uint32_t widths[3] = {1, 4, 2};  // /W: type, offset or stream number, generation or index
    // nullopt: first section covers 0../Size-1 without /Index; later sections write /Index with
    // the runs of numbers they define. A given vector is written as /Index (empty gives []);
    // numbers inside it that the section does not define are written as free entries.
    std::optional<std::vector<std::pair<uint32_t, uint32_t>>> index;
    bool compress = false;  // /Filter /FlateDecode
    bool pngUp = false;     // /DecodeParms << /Predictor 12 /Columns sum(W) >>
};

class CTestPdf {
public:
    // Header "%PDF-<version>\n", then a binary comment line unless binaryComment is false.
    explicit CTestPdf(const std::string& version = "1.4", bool binaryComment = true);

    // Bytes placed before "%PDF-"; may be called at any time.
    void SetJunkBeforeHeader(const std::string& junk) { m_junk = junk; }

    // "num gen obj\n<body>\nendobj\n"; a later Add of the same number replaces its entry.
    void Add(uint32_t num, const std::string& body, uint32_t gen = 0);

    // A stream object. `dict` is a whole dictionary ("<< /Type /XObject >>", or "" for none);
    // /Length is inserted unless dict has one. compress deflates data and inserts
    // /Filter /FlateDecode unless dict names a /Filter.
    void AddStream(uint32_t num, const std::string& dict, const std::string& data,
                   bool compress = false, uint32_t gen = 0);

    // An object stream `num` (/Type /ObjStm /N /First) holding objects given as (number, body);
    // each becomes a type-2 entry (num, index). Such entries appear only in XRefStream.
    void AddObjectStream(uint32_t num, const std::vector<std::pair<uint32_t, std::string>>& objects,
                         bool compress = true, const std::string& extraDict = "");

    // A free entry: classic "0000000000 <gen> f", stream type 0 with next free 0.
    void AddFree(uint32_t num, uint32_t gen = 1);

    // Raw bytes in the body (comments, garbage, hand-written objects); no entry is made.
    void AddRaw(const std::string& bytes) { m_body += bytes; }

    // Ends the section with a classic table (runs of consecutive numbers as subsections; the
    // first section also lists object 0 free) and "trailer\n<< /Size .. /Prev .. extras >>".
    std::string ClassicXRef(const std::string& trailerExtras);

    // Ends the section with a cross-reference stream object `num` that also lists itself.
    std::string XRefStream(uint32_t num, const CTestXRefStreamOptions& options,
                           const std::string& dictExtras);

    // Ends the section with hand-written bytes (a broken table, a false startxref, ...).
    std::string Finish(const std::string& tail);

    // Position of the next body byte, and of "num gen obj" of an added object, from "%PDF-".
    uint32_t Tell() const { return static_cast<uint32_t>(m_body.size()); }
    uint32_t Offset(uint32_t num) const;

    // The whole file so far: junk, then header and body.
    std::string Bytes() const { return m_junk + m_body; }

private:
    struct Entry {
        uint32_t type;    // 0 free, 1 in the file, 2 in an object stream
        uint64_t field2;  // offset, or object stream number
        uint64_t field3;  // generation, or index in the object stream
    };

    std::string TrailerKeys(const std::string& extras) const;
    std::string StreamEntries(const std::vector<std::pair<uint32_t, uint32_t>>& ranges,
                              const uint32_t widths[3]) const;
    std::vector<std::pair<uint32_t, uint32_t>> DefinedRuns(bool forClassic) const;
    std::string EndSection(uint32_t xrefPosition, const std::string& xrefBytes);
    void Define(uint32_t num, const Entry& entry);

    std::string m_junk;
    std::string m_body;
    std::map<uint32_t, Entry> m_section;  // entries of the section being written
    std::map<uint32_t, uint32_t> m_offsets;
    uint32_t m_size = 1;                  // one past the highest number ever defined
    std::optional<uint32_t> m_prevXRef;   // position of the last finished section
};

// A folder for one test's files, created under the system temp folder and removed with its
// contents when the object goes out of scope.
class CTestDir {
public:
    CTestDir();
    ~CTestDir();
    CTestDir(const CTestDir&) = delete;
    CTestDir& operator=(const CTestDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + "/" + name; }
    // Writes bytes to name in the folder; returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // The file's bytes ("" when it cannot be read).
    static std::string Read(const std::string& path);

private:
    std::string m_path;
};
