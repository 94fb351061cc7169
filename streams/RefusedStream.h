// The data of a stream object whose filter the reader cannot decode. The object itself can be
// fetched and looked at; only reading its data refuses, with the message given.
#pragma once

#include <string>

#include "pdf/Exception.h"
#include "streams/Stream.h"

class CPdfRefusedStream : public CPdfStream {
public:
    // Adopts the reference held in underlying (the range of the stream object's data).
    CPdfRefusedStream(CPdfRef<CPdfStream> underlying, std::string message)
        : m_underlying(std::move(underlying)), m_message(std::move(message))
    {
    }

    void rewind() override {}
    int getChar() override { throw CPdfException(m_message); }
    int getRawChar() override { throw CPdfException(m_message); }
    int peekChar() override { throw CPdfException(m_message); }
    CPdfDictionary* getDict() override { return m_underlying->getDict(); }
    uint32_t getPos() override { return m_underlying->getPos(); }
    void seek(int32_t, int) override {}
    uint32_t getStart() override { return m_underlying->getStart(); }
    void shiftStart(uint32_t delta) override { m_underlying->shiftStart(delta); }
    uint32_t getLength() override { return m_underlying->getLength(); }
    CPdfRef<CPdfStream> openRange(uint32_t, uint32_t, const CPdfElement&) override { return {}; }

private:
    CPdfRef<CPdfStream> m_underlying;
    std::string m_message;
};
