// Undoes the PNG and TIFF predictors of a Flate stream, one row at a time. Two row buffers take
// turns as the current row and the row above; their first pixel's worth of bytes stays zero, so
// the pixel left of the first one and the row above the first row read as zero. Example:
// Predictor 12, Columns 4 reads rows of a tag byte and 4 data bytes; tag 2 (Up) adds each byte
// to the byte above it, and the 4 sums are handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CPdfStream;

// Limits on the decode parameters. Real rows are far smaller; past these the parameters are
// an attacker's numbers, and the stream is refused rather than sized from them.
constexpr int32_t kMaxPredictorColors = 32;
constexpr int32_t kMaxPredictorColumns = 1 << 20;
constexpr int32_t kMaxPredictorRowBytes = 1 << 22;

class CPdfPredictor {
public:
    // True when a predictor can be built for these parameters: Colors 1..32, BitsPerComponent
    // 1, 2, 4, 8 or 16, Columns 1..2^20, and a row of at most 4 MiB of data.
    static bool areParametersValid(int32_t columns, int32_t colors, int32_t bitsPerComponent);

    // owner is borrowed: the flate stream that owns this predictor and supplies the
    // decompressed bytes through getRawChar. The parameters must be valid (see above).
    CPdfPredictor(CPdfStream& owner, int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent);

    // Next decoded byte, or -1 once the decompressed data holds no further complete row.
    int getChar()
    {
        if (m_readIndex == m_rowBytes && !decodeRow())
            return -1;
        return m_row[static_cast<size_t>(m_readIndex++)];
    }
    // Up to length next decoded bytes, as getChar would give them; fewer only at the end.
    size_t readBlock(char* buffer, size_t length);

private:
    bool decodeRow();
    bool readRow(int method);
    void undoTiff8();
    void undoTiffPacked();

    CPdfStream& m_owner;
    int32_t m_predictor;
    int32_t m_colors;
    int32_t m_bitsPerComponent;
    int32_t m_valuesPerRow;
    int32_t m_pixelBytes;
    int32_t m_rowBytes;
    int32_t m_readIndex;
    // Allocated at the first row, so a stream that is never read costs no row buffers.
    std::vector<unsigned char> m_row;
    std::vector<unsigned char> m_previousRow;
};
