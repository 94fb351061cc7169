// A stream that sits on another one (the range of a stream object's data, or the previous
// filter of a chain) and hands out what it makes of those bytes. Its dictionary, position,
// start and length are those of the stream below; it is read once from the start, so it
// cannot seek, rewind or open ranges.
#pragma once

#include <cstdint>

#include "pdf/RefHolder.h"
#include "streams/Stream.h"

class CPdfFilterStream : public CPdfStream {
public:
    // Adopts the reference held in underlying.
    explicit CPdfFilterStream(CPdfRef<CPdfStream> underlying) : m_underlying(std::move(underlying)) {}

    void rewind() override {}
    CPdfDictionary* getDict() override { return m_underlying->getDict(); }
    uint32_t getPos() override { return m_underlying->getPos(); }
    void seek(int32_t, int) override {}
    uint32_t getStart() override { return m_underlying->getStart(); }
    void shiftStart(uint32_t delta) override { m_underlying->shiftStart(delta); }
    uint32_t getLength() override { return m_underlying->getLength(); }
    CPdfRef<CPdfStream> openRange(uint32_t, uint32_t, const CPdfElement&) override { return {}; }

protected:
    CPdfStream& underlying() { return *m_underlying; }

private:
    CPdfRef<CPdfStream> m_underlying;
};
