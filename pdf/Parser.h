// Builds objects from the lexer's tokens with two tokens of look-ahead: "5 0 R" becomes a
// Reference, "[ ... ]" an Array, "<< ... >>" a Dictionary, and a dictionary followed by
// "stream" a Stream whose data is read through the decoder its Filter names.
#pragma once

#include "pdf/Element.h"
#include "pdf/Lexer.h"

class CPdfXRef;

class CPdfParser {
public:
    // xref may be null: references inside the objects read are then never followed.
    // Takes over the caller's reference to the stream.
    CPdfParser(CPdfXRef* xref, CPdfRef<CPdfStream> stream);
    virtual ~CPdfParser() = default;

    // Parses one object at the current token into out; afterwards the current token is the
    // first token after it. Keywords, stray delimiters and the end come back as such.
    void parseObject(CPdfElement& out);
    void advance();

    const CPdfElement& current() const { return m_tokens[m_currentAt]; }

private:
    void parseArray(CPdfElement& out, int depth);
    void parseDictionary(CPdfElement& out, int depth);
    void parseAt(CPdfElement& out, int depth);
    void readStreamData(CPdfElement& element);
    bool landsOnEndstream(uint64_t dataEnd);
    CPdfElement& currentToken() { return m_tokens[m_currentAt]; }
    const CPdfElement& lookAhead() const { return m_tokens[m_currentAt ^ 1]; }

    CPdfXRef* m_xref;
    CPdfLexer m_lexer;
    // The current token and the look-ahead; advancing reads into the slot the current one frees.
    CPdfElement m_tokens[2];
    size_t m_currentAt = 0;
};
