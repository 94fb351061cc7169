#include "streams/FlateStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "pdf/Exception.h"
#include "streams/RefusedStream.h"

namespace {

// The compressed input grows as it arrives; a Length far beyond the file reserves no more.
constexpr uint32_t kInitialInputReserve = 64 * 1024;

struct FlateParameters {
    int32_t predictor = 1;
    int32_t columns = 1;
    int32_t colors = 1;
    int32_t bitsPerComponent = 8;
};

// out := the value under key, or under its abbreviation when key is absent (or Null).
void lookUp(const CPdfDictionary& dictionary, const char* key, const char* abbreviation, CPdfElement& out)
{
    dictionary.getResolved(key, out);
    if (out.is(PdfKind::Null))
        dictionary.getResolved(abbreviation, out);
}

void readInteger(const CPdfDictionary& parameters, const char* key, int32_t& value)
{
    CPdfElement element;
    parameters.getResolved(key, element);
    if (element.is(PdfKind::Integer))
        value = element.integer();
}

// Decode parameters of any kind but a dictionary (an array included) leave the defaults.
FlateParameters readParameters(const CPdfElement& decodeParms)
{
    FlateParameters parameters;
    if (const CPdfDictionary* dictionary = decodeParms.dictionary()) {
        readInteger(*dictionary, "Predictor", parameters.predictor);
        readInteger(*dictionary, "Columns", parameters.columns);
        readInteger(*dictionary, "Colors", parameters.colors);
        readInteger(*dictionary, "BitsPerComponent", parameters.bitsPerComponent);
    }
    return parameters;
}

// name := the one filter name of a Name or of an array of exactly one element; otherwise the
// kind stays something other than Name.
void singleFilterName(const CPdfElement& filter, CPdfElement& name)
{
    if (filter.is(PdfKind::Name))
        name = filter;
    else if (const CPdfArray* array = filter.array(); array && array->size() == 1)
        array->getResolved(0, name);
}

} // namespace

CPdfFlateStream::CPdfFlateStream(CPdfRef<CPdfStream> underlying, int32_t predictor, int32_t columns,
                                 int32_t colors, int32_t bitsPerComponent)
    : m_underlying(std::move(underlying))
{
    readInput();
    m_zlib.next_in = m_input.data();
    m_zlib.avail_in = static_cast<uInt>(m_input.size());
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

// Reads the range's Length bytes; a range cut short by the end of the file gives fewer.
void CPdfFlateStream::readInput()
{
    const uint32_t length = m_underlying->getLength();
    m_input.reserve(std::min(length, kInitialInputReserve));
    for (uint32_t i = 0; i < length; ++i) {
        int c = m_underlying->getChar();
        if (c < 0)
            break;
        m_input.push_back(static_cast<unsigned char>(c));
    }
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

// Without a predictor whole inflated slices are handed over at once.
size_t CPdfFlateStream::readBlock(char* buffer, size_t length)
{
    if (m_predictor)
        return CPdfStream::readBlock(buffer, length);
    size_t count = 0;
    while (count < length && (m_read < m_end || refill())) {
        const size_t take = std::min<size_t>(length - count, m_end - m_read);
        std::memcpy(buffer + count, m_output + m_read, take);
        m_read += static_cast<uint32_t>(take);
        count += take;
    }
    return count;
}

CPdfRef<CPdfStream> makeFilter(CPdfRef<CPdfStream> range, CPdfDictionary* dictionary)
{
    CPdfElement filter;
    lookUp(*dictionary, "Filter", "F", filter);
    CPdfElement decodeParms;
    lookUp(*dictionary, "DecodeParms", "DP", decodeParms);
    if (filter.is(PdfKind::Null))
        return range;
    CPdfElement name;
    singleFilterName(filter, name);
    if (!name.is(PdfKind::Name))
        return {};
    // Images and fonts with other filters are copied, never decoded: only reading their data
    // refuses, so such objects can still be fetched and looked at.
    if (!name.isName("FlateDecode") && !name.isName("Fl"))
        return CPdfRef<CPdfStream>::create<CPdfRefusedStream>(std::move(range), "Stream filter not supported");
    const FlateParameters parameters = readParameters(decodeParms);
    if (parameters.predictor != 1 &&
        !CPdfPredictor::areParametersValid(parameters.columns, parameters.colors, parameters.bitsPerComponent))
        return {};
    return CPdfRef<CPdfStream>::create<CPdfFlateStream>(std::move(range), parameters.predictor, parameters.columns,
                                                        parameters.colors, parameters.bitsPerComponent);
}
