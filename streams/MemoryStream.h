// A stream over bytes held in memory, for fuzz targets and tests: it behaves like a
// CPdfFileStream over a file holding those bytes (absolute positions, length 0 = to the end,
// openRange sharing the same bytes), without a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "streams/Stream.h"

class CPdfMemoryStream : public CPdfStream {
public:
    // The whole buffer, with no dictionary.
    explicit CPdfMemoryStream(std::string bytes);
    // (start, length) of shared bytes; length 0 runs to the end.
    CPdfMemoryStream(std::shared_ptr<const std::string> bytes, uint32_t start, uint32_t length,
                     const CPdfElement& dictionary);

    void rewind() override { m_pos = m_start; }
    int getChar() override;
    int peekChar() override;
    bool lendBytes(const unsigned char*& data, size_t& length) override;
    CPdfDictionary* getDict() override { return m_dictionary.dictionary(); }
    uint32_t getPos() override { return m_pos; }
    void seek(int32_t offset, int origin) override;
    uint32_t getStart() override { return m_start; }
    void shiftStart(uint32_t delta) override;
    uint32_t getLength() override { return m_length; }
    CPdfRef<CPdfStream> openRange(uint32_t start, uint32_t length, const CPdfElement& dictionary) override;

private:
    // One past the last readable offset: the range end, cut to the buffer's size.
    uint64_t endOffset() const;

    std::shared_ptr<const std::string> m_bytes;
    CPdfElement m_dictionary;
    uint32_t m_start;
    uint32_t m_length;
    uint32_t m_pos;
};
