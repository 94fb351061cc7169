// The data of a stream object whose filter the reader cannot decode. The object itself can be
// fetched and looked at; only reading its data refuses, with the message given.
#pragma once

#include <string>

#include "pdf/Exception.h"
#include "streams/FilterStream.h"

class CPdfRefusedStream : public CPdfFilterStream {
public:
    // Adopts the reference held in underlying (the range of the stream object's data).
    CPdfRefusedStream(CPdfRef<CPdfStream> underlying, std::string message)
        : CPdfFilterStream(std::move(underlying)), m_message(std::move(message))
    {
    }

    int getChar() override { throw CPdfException(m_message); }
    int getRawChar() override { throw CPdfException(m_message); }
    int peekChar() override { throw CPdfException(m_message); }

private:
    std::string m_message;
};
