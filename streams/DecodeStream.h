// The decoders besides Flate that the reader needs for cross-reference and object streams:
// ASCIIHexDecode, ASCII85Decode, LZWDecode and RunLengthDecode. Each sits on the stream it
// decodes (a file range or the previous filter of a chain), reads it byte by byte and hands out
// its output in slices of 1024 bytes. Like a flate stream, a decoding stream is read once: its
// end of data is final, and damaged data ends it where the damage starts (bytes decoded before
// it are still delivered). Example: "48656C6C6F>" through ASCIIHexDecode reads "Hello".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/RefHolder.h"
#include "streams/Predictor.h"
#include "streams/FilterStream.h"

class CPdfDecodeStream : public CPdfFilterStream {
public:
    // Adopts the reference held in underlying.
    explicit CPdfDecodeStream(CPdfRef<CPdfStream> underlying);

    // Undoes a PNG or TIFF predictor on the decoded bytes (LZW); the parameters must pass
    // CPdfPredictor::areParametersValid.
    void setPredictor(int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent);

    int getChar() override { return m_predictor ? m_predictor->getChar() : getRawChar(); }
    int getRawChar() override
    {
        if (m_read == m_end && !refill())
            return -1;
        return m_output[m_read++];
    }
    int peekChar() override
    {
        if (m_read == m_end && !refill())
            return -1;
        return m_output[m_read];
    }

protected:
    static constexpr size_t kOutputSize = 1024;

    // Decodes up to capacity (kOutputSize) further bytes into out; 0 ends the data for good.
    virtual size_t decode(unsigned char* out, size_t capacity) = 0;
    int nextInput() { return underlying().getChar(); }

private:
    bool refill();

    std::unique_ptr<CPdfPredictor> m_predictor;
    uint64_t m_decodedTotal = 0;
    bool m_isFinished = false;
    uint32_t m_read = 0;
    uint32_t m_end = 0;
    unsigned char m_output[kOutputSize];
};

// Pairs of hexadecimal digits, white space between them ignored, ended by ">"; an odd last
// digit stands for its high half. Any other character ends the data.
class CPdfAsciiHexStream : public CPdfDecodeStream {
public:
    using CPdfDecodeStream::CPdfDecodeStream;

protected:
    size_t decode(unsigned char* out, size_t capacity) override;

private:
    int m_highHalf = -1;
    bool m_isDone = false;
};

// Groups of five characters "!" to "u" for four bytes, "z" for four zero bytes, ended by "~>";
// a last group of n characters (2 to 4) gives n - 1 bytes. A group worth more than 32 bits, a
// lone last character or any other character ends the data.
class CPdfAscii85Stream : public CPdfDecodeStream {
public:
    using CPdfDecodeStream::CPdfDecodeStream;

protected:
    size_t decode(unsigned char* out, size_t capacity) override;

private:
    // Puts the count - 1 bytes of a group of count digits (padded with "u") into out.
    static size_t flushGroup(const int digits[5], int count, unsigned char* out);

    bool m_isDone = false;
    bool m_isFirst = true;
};

// A length byte n, then n + 1 bytes as they stand (n < 128) or one byte 257 - n times (n > 128);
// 128 ends the data.
class CPdfRunLengthStream : public CPdfDecodeStream {
public:
    using CPdfDecodeStream::CPdfDecodeStream;

protected:
    size_t decode(unsigned char* out, size_t capacity) override;

private:
    uint32_t m_literalLeft = 0;
    uint32_t m_repeatLeft = 0;
    unsigned char m_repeatByte = 0;
    bool m_isDone = false;
};

// Variable-width codes of 9 to 12 bits, most significant bit first: 256 clears the table, 257
// ends the data, and each further code adds the previous string plus one byte to the table.
// earlyChange 1 (the default) widens the codes one code before the table needs it. A code not
// yet in the table (beyond the one being defined) ends the data.
class CPdfLzwStream : public CPdfDecodeStream {
public:
    CPdfLzwStream(CPdfRef<CPdfStream> underlying, bool isEarlyChange);

protected:
    size_t decode(unsigned char* out, size_t capacity) override;

private:
    static constexpr int kMaxCodes = 4096;
    static constexpr int kClearCode = 256;
    static constexpr int kEndCode = 257;

    bool readCode(int& code);
    void clearTable();
    // Decodes one code into m_pending; false at the end of the data.
    bool nextString();
    void expand(int code);

    bool m_isEarlyChange;
    bool m_isDone = false;
    int m_codeLength = 9;
    int m_nextCode = 258;
    int m_previous = -1;
    uint32_t m_bitBuffer = 0;
    int m_bitCount = 0;
    std::vector<uint16_t> m_prefix;
    std::vector<uint16_t> m_stringLength;
    std::vector<unsigned char> m_suffix;
    std::string m_pending;
    size_t m_pendingRead = 0;
};
