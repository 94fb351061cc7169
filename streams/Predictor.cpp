#include "streams/Predictor.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "pdf/CheckedMath.h"
#include "streams/Stream.h"

namespace {

constexpr int kPngNone = 10;
constexpr int kPngSub = 11;
constexpr int kPngUp = 12;
constexpr int kPngAverage = 13;
constexpr int kPngPaeth = 14;
constexpr int32_t kTiffPredictor = 2;
constexpr int32_t kFirstPngPredictor = 10;

bool isSupportedWidth(int32_t bitsPerComponent)
{
    switch (bitsPerComponent) {
    case 1: case 2: case 4: case 8: case 16:
        return true;
    default:
        return false;
    }
}

// Pixel bytes and row bytes (zero pixel included) in checked arithmetic; false on overflow.
bool computeRowGeometry(int32_t columns, int32_t colors, int32_t bitsPerComponent, int32_t& pixelBytes,
                        int32_t& rowBytes)
{
    int32_t pixelBits = 0;
    int32_t rowBits = 0;
    int32_t dataBytes = 0;
    if (!CheckedMul(colors, bitsPerComponent, pixelBits) || !CheckedMul(columns, pixelBits, rowBits) ||
        !CheckedAdd(rowBits, 7, dataBytes))
        return false;
    pixelBytes = (pixelBits + 7) / 8;
    return CheckedAdd(pixelBytes, dataBytes / 8, rowBytes);
}

// The Paeth predictor: the neighbour closest to left + up - upLeft; ties prefer left, then up.
int paeth(int left, int up, int upLeft)
{
    int estimate = left + up - upLeft;
    int distanceLeft = std::abs(estimate - left);
    int distanceUp = std::abs(estimate - up);
    int distanceUpLeft = std::abs(estimate - upLeft);
    if (distanceLeft <= distanceUp && distanceLeft <= distanceUpLeft)
        return left;
    if (distanceUp <= distanceUpLeft)
        return up;
    return upLeft;
}

} // namespace

bool CPdfPredictor::areParametersValid(int32_t columns, int32_t colors, int32_t bitsPerComponent)
{
    if (colors < 1 || colors > kMaxPredictorColors || !isSupportedWidth(bitsPerComponent))
        return false;
    if (columns < 1 || columns > kMaxPredictorColumns)
        return false;
    int32_t pixelBytes = 0;
    int32_t rowBytes = 0;
    return computeRowGeometry(columns, colors, bitsPerComponent, pixelBytes, rowBytes) &&
           rowBytes - pixelBytes <= kMaxPredictorRowBytes;
}

CPdfPredictor::CPdfPredictor(CPdfStream& owner, int32_t predictor, int32_t columns, int32_t colors,
                             int32_t bitsPerComponent)
    : m_owner(owner), m_predictor(predictor), m_colors(colors), m_bitsPerComponent(bitsPerComponent),
      m_valuesPerRow(0), m_pixelBytes(0), m_rowBytes(0)
{
    assert(areParametersValid(columns, colors, bitsPerComponent));
    // Parameters that slipped past the check give a predictor without rows rather than
    // buffers sized from them.
    if (areParametersValid(columns, colors, bitsPerComponent)) {
        computeRowGeometry(columns, colors, bitsPerComponent, m_pixelBytes, m_rowBytes);
        m_valuesPerRow = columns * colors;  // at most 2^20 * 32
    }
    m_readIndex = m_rowBytes;
}

size_t CPdfPredictor::readBlock(char* buffer, size_t length)
{
    size_t count = 0;
    while (count < length && (m_readIndex < m_rowBytes || decodeRow())) {
        const size_t take = std::min(length - count, static_cast<size_t>(m_rowBytes - m_readIndex));
        std::memcpy(buffer + count, m_row.data() + m_readIndex, take);
        m_readIndex += static_cast<int32_t>(take);
        count += take;
    }
    return count;
}

bool CPdfPredictor::decodeRow()
{
    if (m_rowBytes == 0)
        return false;
    if (m_row.empty()) {
        m_row.assign(static_cast<size_t>(m_rowBytes), 0);
        m_previousRow.assign(static_cast<size_t>(m_rowBytes), 0);
    }
    // The row just handed out becomes the row above; the older buffer is overwritten.
    std::swap(m_row, m_previousRow);
    int method = m_predictor;
    if (m_predictor >= kFirstPngPredictor) {
        int tag = m_owner.getRawChar();
        if (tag < 0)
            return false;
        method = kPngNone + tag;
    }
    if (!readRow(method))
        return false;
    if (m_predictor == kTiffPredictor) {
        if (m_bitsPerComponent == 8)
            undoTiff8();
        else
            undoTiffPacked();
    }
    m_readIndex = m_pixelBytes;
    return true;
}

bool CPdfPredictor::readRow(int method)
{
    unsigned char* row = m_row.data();
    const unsigned char* above = m_previousRow.data();
    const size_t pixelBytes = static_cast<size_t>(m_pixelBytes);
    const size_t rowBytes = static_cast<size_t>(m_rowBytes);
    for (size_t i = pixelBytes; i < rowBytes; ++i) {
        int c = m_owner.getRawChar();
        if (c < 0)
            return false;
        int left = row[i - pixelBytes];
        int up = above[i];
        int predicted = 0;
        switch (method) {
        case kPngSub: predicted = left; break;
        case kPngUp: predicted = up; break;
        case kPngAverage: predicted = (left + up) / 2; break;
        case kPngPaeth: predicted = paeth(left, up, above[i - pixelBytes]); break;
        default: break;
        }
        row[i] = static_cast<unsigned char>(predicted + c);
    }
    return true;
}

// 8-bit samples: each byte adds the same component of the pixel before it.
void CPdfPredictor::undoTiff8()
{
    unsigned char* row = m_row.data();
    const size_t pixelBytes = static_cast<size_t>(m_pixelBytes);
    for (size_t i = pixelBytes; i < static_cast<size_t>(m_rowBytes); ++i)
        row[i] = static_cast<unsigned char>(row[i] + row[i - pixelBytes]);
}

// Packed samples of 1, 2, 4 or 16 bits, most significant first; 16-bit samples are big-endian.
void CPdfPredictor::undoTiffPacked()
{
    unsigned char* data = m_row.data() + m_pixelBytes;
    const uint32_t width = static_cast<uint32_t>(m_bitsPerComponent);
    const uint32_t mask = (1u << width) - 1;
    auto sampleAt = [&](size_t k) -> uint32_t {
        if (width == 16)
            return uint32_t(data[2 * k]) << 8 | data[2 * k + 1];
        size_t bit = k * width;
        return (uint32_t(data[bit / 8]) >> (8 - width - bit % 8)) & mask;
    };
    auto store = [&](size_t k, uint32_t value) {
        if (width == 16) {
            data[2 * k] = static_cast<unsigned char>(value >> 8);
            data[2 * k + 1] = static_cast<unsigned char>(value);
            return;
        }
        size_t bit = k * width;
        uint32_t shift = static_cast<uint32_t>(8 - width - bit % 8);
        uint32_t kept = data[bit / 8] & ~(mask << shift);
        data[bit / 8] = static_cast<unsigned char>(kept | (value & mask) << shift);
    };
    const size_t colors = static_cast<size_t>(m_colors);
    for (size_t k = colors; k < static_cast<size_t>(m_valuesPerRow); ++k)
        store(k, (sampleAt(k) + sampleAt(k - colors)) & mask);
    // The bits after the last sample carry no data: clear them.
    size_t usedBits = static_cast<size_t>(m_valuesPerRow) * width;
    if (usedBits % 8 != 0)
        data[usedBits / 8] &= static_cast<unsigned char>(0xFF00u >> (usedBits % 8));
}
