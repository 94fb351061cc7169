#include "streams/FlateStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "pdf/Exception.h"

namespace {

// The compressed input grows as it arrives; a Length far beyond the file reserves no more.
constexpr uint32_t kInitialInputReserve = 64 * 1024;

constexpr uint32_t kInputBlock = 4096;

} // namespace

CPdfFlateStream::CPdfFlateStream(CPdfRef<CPdfStream> underlying, int32_t predictor, int32_t columns,
                                 int32_t colors, int32_t bitsPerComponent)
    : CPdfFilterStream(std::move(underlying))
{
    readInput();
    pointAtInput();
    // A failed set-up shows as a stream without data.
    if (inflateInit(&m_zlib) != Z_OK)
        m_isFinished = true;
    if (predictor != 1)
        m_predictor = std::make_unique<CPdfPredictor>(*this, predictor, columns, colors, bitsPerComponent);
}

CPdfFlateStream::~CPdfFlateStream()
{
    inflateEnd(&m_zlib);
}

// Reads the compressed data to its end: a range ends at its Length (or the file's end), the
// filter before this one in a chain where its data ends. Either way no more than the ceiling.
void CPdfFlateStream::readInput()
{
    m_input.reserve(std::min(underlying().getLength(), kInitialInputReserve));
    char block[kInputBlock];
    for (size_t count = 0; m_input.size() < kMaxInflatedBytes &&
                           (count = underlying().readBlock(block, sizeof block)) > 0;)
        m_input.insert(m_input.end(), block, block + count);
}

void CPdfFlateStream::pointAtInput()
{
    m_zlib.next_in = m_input.data();
    m_zlib.avail_in = static_cast<uInt>(m_input.size());
}

// Inflates the next slice of at most 1024 bytes. The stream ends for good at the zlib stream's
// end, on damaged data (whose slice is dropped), when nothing more comes out, or at the ceiling.
bool CPdfFlateStream::refill()
{
    m_read = 0;
    m_end = 0;
    if (m_isFinished || m_inflatedTotal >= kMaxInflatedBytes) {
        m_isFinished = true;
        return false;
    }
    m_zlib.next_out = m_output;
    m_zlib.avail_out = kOutputSize;
    m_zlib.total_out = 0;
    int result = inflate(&m_zlib, Z_FINISH);
    // Z_BUF_ERROR only says the slice filled up (or the input ran dry) before the end.
    if (result == Z_STREAM_END)
        m_isFinished = true;
    else if (result != Z_OK && result != Z_BUF_ERROR) {
        m_isFinished = true;
        return false;
    }
    const uint32_t produced = kOutputSize - m_zlib.avail_out;
    if (produced == 0) {
        m_isFinished = true;
        return false;
    }
    m_end = produced;
    m_inflatedTotal += produced;
    return true;
}

bool CPdfFlateStream::readWhole(CByteBuffer& out, uint64_t limit)
{
    if (m_predictor || m_isFinished || m_inflatedTotal != 0)
        return false;
    const uint64_t most = std::min(limit, kMaxInflatedBytes);
    uint64_t size = std::min<uint64_t>(most + 1, std::max<uint64_t>(uint64_t{m_input.size()} * 8, kOutputSize));
    out.resize(static_cast<size_t>(size));
    m_zlib.next_out = reinterpret_cast<unsigned char*>(out.data());
    m_zlib.avail_out = static_cast<uInt>(size);
    m_zlib.total_out = 0;
    int result = Z_OK;
    for (;;) {
        result = inflate(&m_zlib, Z_FINISH);
        if (result != Z_BUF_ERROR || m_zlib.avail_out != 0 || size > most)
            break;
        // Out of room: twice as much, up to one byte past the most, which shows it is exceeded.
        const uint64_t done = m_zlib.total_out;
        size = std::min(most + 1, size * 2);
        out.resize(static_cast<size_t>(size));
        m_zlib.next_out = reinterpret_cast<unsigned char*>(out.data()) + done;
        m_zlib.avail_out = static_cast<uInt>(size - done);
    }
    const uint64_t produced = m_zlib.total_out;
    if (result != Z_STREAM_END || produced > most) {
        // Damage or too much: back to the start, for the slices to meet it as they always have.
        out.clear();
        inflateReset(&m_zlib);
        pointAtInput();
        return false;
    }
    out.resize(static_cast<size_t>(produced));
    m_inflatedTotal = produced;
    m_isFinished = true;
    return true;
}

// Whole inflated slices, or whole decoded rows, are handed over at once.
size_t CPdfFlateStream::readBlock(char* buffer, size_t length)
{
    if (m_predictor)
        return m_predictor->readBlock(buffer, length);
    size_t count = 0;
    while (count < length && (m_read < m_end || refill())) {
        const size_t take = std::min<size_t>(length - count, m_end - m_read);
        std::memcpy(buffer + count, m_output + m_read, take);
        m_read += static_cast<uint32_t>(take);
        count += take;
    }
    return count;
}

