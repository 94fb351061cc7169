// Helpers for the Flate and predictor tests: zlib compression of known bytes (the program
// itself only inflates), stream dictionaries read from text, range streams over an anonymous
// temporary file, and a reader that drains a stream.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "pdf/Element.h"
#include "pdf/Exception.h"
#include "pdf/Parser.h"
#include "platform/File.h"
#include "streams/FlateStream.h"
#include "streams/MemoryStream.h"
#include "streams/Stream.h"

namespace flatetest {

// zlib's deflate of data: level 0 gives stored blocks, windowBits -15 raw deflate and 31 gzip,
// a preset dictionary is asked for when given. With split inside data, the output is fully
// flushed after the first split bytes and *flushedTo gets that flush's end.
inline std::string Compress(const std::string& data, int level = Z_DEFAULT_COMPRESSION, int windowBits = 15,
                            const std::string& preset = "", size_t split = std::string::npos,
                            size_t* flushedTo = nullptr)
{
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK ||
        (!preset.empty() && deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(preset.data()),
                                                 static_cast<uInt>(preset.size())) != Z_OK))
        throw std::runtime_error("deflate set-up failed");
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    const size_t first = std::min(split, data.size());
    zs.avail_in = static_cast<uInt>(first);
    if (first < data.size()) {
        deflate(&zs, Z_FULL_FLUSH);
        *flushedTo = zs.total_out;
    }
    zs.avail_in += static_cast<uInt>(data.size() - first);
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

inline std::string Bytes(std::initializer_list<int> values) { return std::string(values.begin(), values.end()); }

// The object written in text, as the parser reads it (references are not followed).
inline CPdfElement Parsed(const std::string& text)
{
    CPdfParser parser(nullptr, CPdfRef<CPdfStream>::create<CPdfMemoryStream>(text));
    CPdfElement out;
    parser.parseObject(out);
    return out;
}

// Flate with the given decode parameters: the stream dictionary a predictor test needs.
inline std::string FlateWith(int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent)
{
    return "<< /Filter /FlateDecode /DecodeParms << /Predictor " + std::to_string(predictor) + " /Columns " +
           std::to_string(columns) + " /Colors " + std::to_string(colors) + " /BitsPerComponent " +
           std::to_string(bitsPerComponent) + " >> >>";
}

// An anonymous temporary file holding some bytes, with ranges opened over it.
class CRangeFile {
public:
    explicit CRangeFile(const std::string& bytes) : m_file(std::tmpfile()), m_size(uint32_t(bytes.size()))
    {
        if (!m_file || std::fwrite(bytes.data(), 1, bytes.size(), m_file.get()) != bytes.size() ||
            std::fflush(m_file.get()) != 0)
            throw std::runtime_error("temporary file failed");
    }
    // The whole content as a stream object's data range (length = the bytes written).
    CPdfRef<CPdfStream> Range(const CPdfElement& dictionary) const { return Range(0, m_size, dictionary); }
    CPdfRef<CPdfStream> Range(uint32_t start, uint32_t length, const CPdfElement& dictionary) const
    {
        return CPdfRef<CPdfStream>::create<CPdfFileStream>(m_file.get(), start, length, dictionary);
    }
    FILE* get() const { return m_file.get(); }

private:
    CFileHandle m_file;
    uint32_t m_size;
};

// The stream makeFilter chooses for data under the given stream dictionary.
inline CPdfRef<CPdfStream> Filter(const CRangeFile& file, const CPdfElement& dictionary)
{
    return makeFilter(file.Range(dictionary), dictionary.dictionary());
}

// Every byte getChar hands out before the first -1.
inline std::string ReadAll(CPdfStream& stream)
{
    std::string out;
    for (int c = stream.getChar(); c >= 0; c = stream.getChar())
        out.push_back(static_cast<char>(c));
    return out;
}

// Compresses data, stores it in a file and reads it back through makeFilter under the stream
// dictionary written in text: the bytes read, "<none>" when makeFilter gives no stream, or
// "<error: message>" when reading throws. A stream given must answer with that dictionary.
inline std::string Decode(const std::string& data, const std::string& dictionaryText)
{
    const CPdfElement dictionary = Parsed(dictionaryText);
    CRangeFile file(Compress(data));
    CPdfRef<CPdfStream> stream = Filter(file, dictionary);
    if (!stream)
        return "<none>";
    EXPECT_EQ(dictionary.dictionary(), stream->getDict());
    try {
        return ReadAll(*stream);
    } catch (const CPdfException& error) {
        return std::string("<error: ") + error.what() + ">";
    }
}

} // namespace flatetest
