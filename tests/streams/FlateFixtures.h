// Helpers for the Flate and predictor tests: zlib compression of known bytes (the program
// itself only inflates), stream dictionaries built value by value, range streams over an
// anonymous temporary file, and a reader that drains a stream.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "pdf/Element.h"
#include "platform/File.h"
#include "streams/FlateStream.h"
#include "streams/Stream.h"

namespace flatetest {

inline std::string Compress(const std::string& data, int level = Z_DEFAULT_COMPRESSION)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

inline std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int value : values)
        out.push_back(static_cast<char>(value));
    return out;
}

inline CPdfElement Name(const char* text)
{
    CPdfElement element;
    element.setName(text);
    return element;
}

inline CPdfElement Integer(int32_t value)
{
    CPdfElement element;
    element.setInteger(value);
    return element;
}

inline CPdfElement Array(std::initializer_list<CPdfElement> items)
{
    CPdfElement element;
    CPdfArray& array = element.newArray(nullptr);
    for (const CPdfElement& item : items)
        array.append(item);
    return element;
}

inline CPdfElement Dictionary(std::initializer_list<std::pair<const char*, CPdfElement>> entries)
{
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(nullptr);
    for (const auto& entry : entries)
        dictionary.set(entry.first, entry.second);
    return element;
}

// Flate with the given decode parameters: the stream dictionary a predictor test needs.
inline CPdfElement FlateWith(int32_t predictor, int32_t columns, int32_t colors, int32_t bitsPerComponent)
{
    return Dictionary({{"Filter", Name("FlateDecode")},
                       {"DecodeParms", Dictionary({{"Predictor", Integer(predictor)},
                                                   {"Columns", Integer(columns)},
                                                   {"Colors", Integer(colors)},
                                                   {"BitsPerComponent", Integer(bitsPerComponent)}})}});
}

// An anonymous temporary file holding some bytes, with ranges opened over it.
class CRangeFile {
public:
    explicit CRangeFile(const std::string& bytes) : m_file(std::tmpfile())
    {
        if (!m_file || std::fwrite(bytes.data(), 1, bytes.size(), m_file.get()) != bytes.size() ||
            std::fflush(m_file.get()) != 0)
            throw std::runtime_error("temporary file failed");
        m_size = static_cast<uint32_t>(bytes.size());
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
    uint32_t m_size = 0;
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

// Compresses data, stores it in a file and reads it back through makeFilter; "<none>" when
// makeFilter gives no stream.
inline std::string Decode(const std::string& data, const CPdfElement& dictionary)
{
    CRangeFile file(Compress(data));
    CPdfRef<CPdfStream> stream = Filter(file, dictionary);
    return stream ? ReadAll(*stream) : "<none>";
}

} // namespace flatetest
