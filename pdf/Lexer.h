// The token reader under the parser. It reads its input stream a window at a time (the bytes
// the stream lends, or a block it copies out) and delivers each token as a CPdfElement:
// "(a\)b)" is String a)b, "/A#42" Name AB, "12abc" Integer 12 then Keyword abc, a stray ")"
// Invalid. It never throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/ByteClass.h"
#include "pdf/Element.h"
#include "pdf/RefHolder.h"
#include "streams/Stream.h"

class CPdfLexer {
public:
    // Takes over the caller's reference to the stream.
    explicit CPdfLexer(CPdfRef<CPdfStream> input);
    CPdfLexer(const CPdfLexer&) = delete;
    CPdfLexer& operator=(const CPdfLexer&) = delete;

    // Next byte of the input and consume it; -1 at the end.
    int getChar()
    {
        if (m_next == m_end && !refill())
            return -1;
        return *m_next++;
    }
    // Next byte of the input without consuming it.
    int peekChar()
    {
        if (m_next == m_end && !refill())
            return -1;
        return *m_next;
    }
    // Consumes bytes up to and including the first end of line (LF, CR or CR LF).
    void skipLine();
    // Reads one token into out (cleared first).
    void nextToken(CPdfElement& out);

    // Absolute position of the next byte not yet consumed. The stream itself stands further on:
    // the lexer reads ahead.
    uint32_t position() const { return m_windowPos + static_cast<uint32_t>(m_next - m_window); }
    // Goes on reading from offset of the input (as its seek takes it), dropping what was read ahead.
    void seek(int32_t offset);
    // The input, for ranges opened from it; its own position is not the lexer's.
    CPdfStream* input() const { return m_input.get(); }

private:
    // A new window from where the input stands; false at its end.
    bool refill();
    // Skips whitespace and comments; returns the token's first byte, or -1 at the end.
    int skipBlanks();
    // Appends to m_text the bytes from here on for which keep is true, across windows.
    template <typename Keep>
    void appendRun(Keep keep);
    // The token from start (the window's byte before m_next) through the bytes for which keep is
    // true: a view of the window, or of m_text when it runs past the window.
    template <typename Keep>
    std::string_view takeRun(const unsigned char* start, Keep keep);
    void readLiteralString(CPdfElement& out);
    void readEscape();
    // A number or keyword whose first byte was just consumed.
    void readNumber(CPdfElement& out);
    void readName(CPdfElement& out);
    void readHexString(CPdfElement& out);
    void readRegular(CPdfElement& out);

    CPdfRef<CPdfStream> m_input;
    // The window: m_window[0..m_end) starts at absolute position m_windowPos; m_next is the
    // next byte to consume.
    const unsigned char* m_window = nullptr;
    const unsigned char* m_next = nullptr;
    const unsigned char* m_end = nullptr;
    uint32_t m_windowPos = 0;
    std::vector<unsigned char> m_block; // the window of an input that lends no bytes
    std::string m_text;                 // reused between tokens
};

// The integer value of a number token as the C library's atoi reads it, saturated to 32 bits.
int32_t LexIntegerValue(std::string_view text);
