// FlateDecode: a stream that inflates the data of a stream object with zlib and, when the
// decode parameters ask for one, undoes a PNG or TIFF predictor. The compressed bytes are read
// whole at construction; inflating is lazy, 1024 bytes at a time, so data nobody reads costs
// nothing. A flate stream is read once: its end of data is final.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

#include "pdf/RefHolder.h"
#include "streams/Filter.h"
#include "streams/Predictor.h"
#include "streams/FilterStream.h"

// Ceiling on the bytes one stream may inflate to: past it the stream reports end of data, so a
// small "zip bomb" cannot grow into gigabytes however far a reader goes.
constexpr uint64_t kMaxInflatedBytes = uint64_t(256) << 20;

class CPdfFlateStream : public CPdfFilterStream {
public:
    // Adopts the reference held in underlying (the range of the stream object's data). A
    // predictor is built unless predictor is 1; its parameters must then pass
    // CPdfPredictor::areParametersValid.
    CPdfFlateStream(CPdfRef<CPdfStream> underlying, int32_t predictor, int32_t columns, int32_t colors,
                    int32_t bitsPerComponent);
    ~CPdfFlateStream() override;

    int getChar() override { return m_predictor ? m_predictor->getChar() : getRawChar(); }
    size_t readBlock(char* buffer, size_t length) override;
    // A stream without predictor, before its first read: inflated in one go, which is accepted
    // only when the zlib stream ends sound within the limits. Otherwise the stream is as it was,
    // and its slices (and what damage drops of them) come as before.
    bool readWhole(CByteBuffer& out, uint64_t limit) override;
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

private:
    static constexpr uint32_t kOutputSize = 1024;

    void readInput();
    // zlib reads the compressed data from its first byte.
    void pointAtInput();
    bool refill();

    std::unique_ptr<CPdfPredictor> m_predictor;
    z_stream m_zlib{};
    std::vector<unsigned char> m_input;
    uint64_t m_inflatedTotal = 0;
    bool m_isFinished = false;
    uint32_t m_read = 0;
    uint32_t m_end = 0;
    unsigned char m_output[kOutputSize];
};
