// The token reader under the parser. It reads one byte at a time through its input streams,
// with one byte of look-ahead, and delivers each token as a CPdfElement: "(a\)b)" is String a)b,
// "/A#42" Name AB, "12abc" Integer 12 then Keyword abc, a stray ")" Invalid. It never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pdf/ByteClass.h"
#include "pdf/Element.h"
#include "pdf/RefHolder.h"
#include "streams/Stream.h"

class CPdfLexer {
public:
    // Takes over the caller's reference to the stream.
    explicit CPdfLexer(CPdfRef<CPdfStream> input);

    // Next byte of the input list, moving on to a later input when one ends; -1 after the last.
    int getChar();
    // Next byte of the current input without consuming it; never moves to a later input.
    int peekChar();
    // Consumes bytes up to and including the first end of line (LF, CR or CR LF).
    void skipLine();
    // Reads one token into out (cleared first).
    void nextToken(CPdfElement& out);

    CPdfStream* currentInput() const { return m_inputs.at(static_cast<size_t>(m_current)).get(); }

private:
    // Skips whitespace and comments; returns the token's first byte, or -1 at the end.
    int skipBlanks();
    void readLiteralString(CPdfElement& out);
    void readEscape();
    void readNumber(int first, CPdfElement& out);
    void readName(CPdfElement& out);
    void readHexString(CPdfElement& out);
    void readRegular(int first, CPdfElement& out);
    // Text collected so far, cut at its first zero byte: for names and keywords (strings keep
    // every byte, as UTF-16 text needs).
    std::string collectedText() const;

    std::vector<CPdfRef<CPdfStream>> m_inputs;
    int32_t m_current = 0;
    std::string m_text; // reused between tokens
};

// The integer value of a number token as the C library's atoi reads it, saturated to 32 bits.
int32_t LexIntegerValue(const std::string& text);
