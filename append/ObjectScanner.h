// Reads the syntax of one object's text without building values: the header "12 0 obj", the
// references "5 0 R", the keys of the top dictionary with the byte span of each value, and
// where the text ends ("stream" or "endobj" as tokens, never inside strings, names or
// comments). For "7 0 obj << /Kids [3 0 R] /Count 1 >> endobj" it records the header (7, 0),
// the reference 3 0 R, the keys Kids (value "[3 0 R]") and Count (value "1"), and the end.
//
// The scan can be continued: when a token runs into the end of the bytes given, Scan returns
// NeedMore, and a later call with more bytes (the same text, longer) resumes at that token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "pdf/ByteClass.h"

constexpr size_t kNoIndex = SIZE_MAX;

// A reference "number generation R": indexes into the scanned text.
struct CObjectRef {
    size_t start = 0;           // first digit of the number
    size_t numberEnd = 0;       // one past the number
    size_t generationStart = 0; // first digit of the generation
    size_t generationEnd = 0;   // one past the generation
    size_t end = 0;             // one past the 'R'
    uint32_t number = 0;
    uint32_t generation = 0;
};

// A key of the top dictionary and its value's span; valueStart is kNoIndex when the
// dictionary ends before the value.
struct CObjectKey {
    size_t keyStart = 0; // the slash
    size_t keyEnd = 0;   // one past the name
    size_t valueStart = kNoIndex;
    size_t valueEnd = kNoIndex; // kNoIndex too when the value opens a container that never closes

    bool HasValue() const { return valueStart != kNoIndex && valueEnd != kNoIndex; }
};

enum class ScanMode {
    Stored,     // a stored object: header, body up to "stream" or "endobj"
    Compressed, // a member of an object stream in its copied form: "stream" is not special
    Tail,       // what follows stream data: everything up to "endobj"
};

enum class ScanStatus { NeedMore, Stream, EndObj, Bad };

// What a scan finds besides its references and keys: the header and where the text's parts
// lie (kNoIndex: not found). Plain values, so that a finished scan's findings copy at once.
struct CScanFindings {
    uint32_t m_number = 0;
    uint32_t m_generation = 0;
    size_t m_headerStart = 0;            // first digit of the object number
    size_t m_headerNumberEnd = 0;        // one past it
    size_t m_bodyStart = 0;              // one past "obj"
    size_t m_firstValueStart = kNoIndex; // the object's value (first token after "obj")
    size_t m_firstValueEnd = kNoIndex;   // one past it; for containers past the matching close
    size_t m_dictOpen = kNoIndex;        // the "<<" of the top dictionary
    size_t m_dictClose = kNoIndex;       // the ">>" that closes it
    size_t m_streamEnd = kNoIndex;       // one past the keyword "stream"
    size_t m_endobjStart = kNoIndex;     // the keyword "endobj"
    size_t m_endobjEnd = kNoIndex;
    bool m_sawEndstream = false;         // tail mode: "endstream" came first
    bool m_hasUnsharedName = false;      // a name that keeps the object out of duplicates
    size_t m_unsharedAt = kNoIndex;      // the first such name's slash
};

class CObjectScanner : public CScanFindings {
public:
    void Reset(ScanMode mode);
    // Starts the scan of a text that begins with a header its maker wrote, "number 0 obj" with
    // the number ending at numberEnd: the scan takes the header as read and goes on at bodyStart.
    void ResetPastHeader(ScanMode mode, uint32_t number, size_t numberEnd, size_t bodyStart);
    ScanStatus Scan(std::string_view text, bool atEnd);

    // The top dictionary's key named name (without its slash), or null. text is the text scanned.
    const CObjectKey* FindKey(std::string_view text, std::string_view name) const;
    // The value of key as a reference that spans the whole value, or null.
    const CObjectRef* ReferenceValue(const CObjectKey& key) const;
    // True when the value of key is one integer token; its value in out.
    bool IntegerValue(std::string_view text, const CObjectKey& key, int64_t& out) const;

    std::vector<CObjectRef> m_refs;
    std::vector<CObjectKey> m_keys;

private:
    enum class TokenKind { Integer, Number, Name, String, DictOpen, DictClose, ArrayOpen, ArrayClose, Keyword, Other };
    struct Token {
        TokenKind kind = TokenKind::Other;
        size_t start = 0;
        size_t end = 0;
        uint64_t value = 0; // Integer: its value; above 32 bits it only says so
    };
    // What a scan carries from token to token and from call to call. Scan works on a copy in
    // locals, which the compiler keeps in registers, and stores it back when it returns.
    struct CState {
        size_t pos = 0;
        int64_t depth = 0;
        // The last two tokens while they are integers ([1] the later): a reference's number and
        // generation when an "R" follows.
        size_t integerStart[2] = {};
        size_t integerEnd[2] = {};
        uint64_t integerValue[2] = {};
        int integerRun = 0;      // how many of the tokens just taken are integers, up to 2
        bool expectKey = false;  // the top dictionary's next token is a key
        bool valueOpen = false;  // a container in a top key's value is open
        bool topDictOpen = false; // the object's value is a dictionary not closed yet
        bool isFirstToken = true; // no token of the body (or tail) taken yet
    };

    // The next token from pos, past white space and comments; false when the bytes end inside
    // it or before it, with pos where the scan must resume.
    static bool ReadToken(std::string_view text, bool atEnd, size_t& pos, Token& token);
    // A header in its usual form, "12 0 obj", at pos, read at once; false (nothing taken) for
    // any other.
    bool ReadPlainHeader(std::string_view text, size_t& pos);
    // The header's three tokens; false on a bad header or when the bytes end first (status then
    // says which).
    bool ScanHeader(std::string_view text, bool atEnd, CState& state, ScanStatus& status);
    ScanStatus ScanBody(std::string_view text, bool atEnd, CState& state);
    bool TakeHeader(std::string_view text, const Token& token);
    // The header's findings at once, as its three tokens would leave them.
    void TakeWholeHeader(uint32_t number, uint32_t generation, size_t numberStart, size_t numberEnd,
                         size_t bodyStart);
    void TakeOpen(CState& state, const Token& token);
    void TakeClose(CState& state, const Token& token);
    void TakeLeaf(CState& state, const Token& token);
    void TakeKey(CState& state, const Token& token, std::string_view text);
    void TakeReference(const CState& state, const Token& token);
    void NoteName(std::string_view name, size_t at);
    void NoteKey(std::string_view name, size_t at);
    void NoteUnshared(bool isUnshared, size_t at)
    {
        if (isUnshared && !m_hasUnsharedName) {
            m_hasUnsharedName = true;
            m_unsharedAt = at;
        }
    }

    ScanMode m_mode = ScanMode::Stored;
    int m_headerTokens = 0;
    CState m_state;
};
