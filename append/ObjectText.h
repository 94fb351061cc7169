// Object text: the bytes of one input object as the engine copies them, and the primitives
// every engine step uses on such text (searches, fingerprint, progress dots).
//
// A stored object's text runs from its header "12 0 obj" through "endobj" and the end-of-line
// byte after it. A stream's data is not held in memory: the text is a head (through the end of
// line after "stream"), the data as a range of the input file, and a tail ("endstream" ...
// "endobj"). The data range is taken from /Length when the length checks out ("endstream"
// follows it), otherwise it ends at the first "endstream". An object stored in an object stream
// reads as "12 0 obj", CR, its bytes, " endobj", CR.
#pragma once

#include <cstdint>
#include <string>

#include "append/InputFile.h"
#include "append/ObjectScanner.h"

class CPdfXRef;
class COutputFile;
struct CPdfXRefEntry;

// One "." for every 5001 buffer searches, unless quiet.
class CProgress {
public:
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    void Tick(uint32_t searches = 1);
    int32_t count() const { return m_searchCount; }
    // Progress printed so far reaches a terminal now; a file or pipe takes it with the rest.
    static void Show();

private:
    static constexpr uint64_t kSearchesPerDot = 5000;
    int32_t m_searchCount = 0;
    bool m_quiet = false;
};

// File position of the last byte of the first occurrence at or after start; 0 when none.
// A start beyond the end of the file raises "FindInFile error\r\n".
uint64_t FindInFile(CInputFile& file, uint64_t start, const char* pattern, uint32_t length);

// What a read says of an object's text besides its bytes and their syntax. Plain values, so
// that a read starts them afresh and a kept text copies them, in one step each.
struct CObjectTextFacts {
    uint32_t number = 0;
    uint32_t generation = 0;
    bool isCompressed = false;
    bool isStream = false;
    uint64_t dataStart = 0;  // stream data: file position and length
    uint64_t dataLength = 0;
    size_t tailEndobj = 0;   // for a stream: where "endobj" starts in tail
    // The text is the file's bytes from filePosition on, unchanged (not so for a compressed
    // object, or one whose "endobj" is not followed by white space in the file).
    bool isVerbatim = false;
    uint64_t filePosition = 0;
};

struct CObjectText : CObjectTextFacts {
    std::string head;        // the whole text, or for a stream up to its data
    std::string tail;        // for a stream: from the end of its data through "endobj" and a byte
    CObjectScanner scan;     // syntax of head

    // Length of the whole text: head, stream data and tail.
    uint64_t Size() const { return head.size() + (isStream ? dataLength + tail.size() : 0); }
    // Where "endobj" starts in head (the whole head when it has none); not for streams.
    size_t HeadBodyEnd() const;
};

// Reads object texts of one input document. The file and the cross-reference are borrowed.
class CObjectReader {
public:
    void Attach(CInputFile* file, CPdfXRef* xref);
    CInputFile& file() { return *m_file; }
    CPdfXRef* xref() const { return m_xref; }
    uint32_t size() const;

    // False when the object has no text: free, out of range, header not "number generation
    // obj", no "endobj", or a compressed object that cannot be delivered.
    bool Read(uint32_t number, CObjectText& out);

    // True when object number is stored in the file as "number generation obj <<", or in an
    // object stream as "<<", and its text up to the first "endobj" holds no "/Kids", no string
    // and no comment: a dictionary without kids, known without a scan. False says nothing;
    // Read tells the rest.
    bool IsPlainLeaf(uint32_t number);

    // A compressed object's head as Read gives it, without the scan; false when it cannot be
    // delivered.
    bool CompressedHead(uint32_t number, std::string& head);

    // Page counting reads an entry beyond the end of the file as no text instead of failing.
    bool m_beyondEndIsError = true;

private:
    bool ReadStored(uint32_t number, const CPdfXRefEntry& entry, CObjectText& out);
    bool ReadCompressed(uint32_t number, CObjectText& out);
    bool ReadStreamRest(CObjectText& out, uint64_t position);
    // Scans text read from position until the scanner stops.
    ScanStatus ScanFrom(uint64_t position, std::string& text, CObjectScanner& scan);
    // Cuts text after "endobj" and the byte after it (a line feed when that byte is missing
    // or not white space, so the next object never runs into this one). False when it had to
    // add that line feed.
    bool FinishAfterEndobj(uint64_t position, std::string& text, size_t endobjEnd);
    bool StreamLength(const CObjectText& out, int64_t& length);
    bool ReadTail(uint64_t position, CObjectText& out);

    CInputFile* m_file = nullptr;
    CPdfXRef* m_xref = nullptr;
    CObjectScanner m_tailScan;
};


// Writes the text unchanged: head, stream data, tail. Verbatim text is copied from the file as
// a run, so that objects that follow each other in both files are copied in one piece.
void WriteObjectText(COutputFile& output, CInputFile& input, const CObjectText& text);
