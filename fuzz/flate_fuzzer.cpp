// Flate with predictors: the first seven bytes choose the decode parameters and the way the
// filter is named; the rest is the compressed data, read through makeFilter to its end.
//   byte 0: Predictor (signed)   byte 1: Colors (signed)   byte 2: BitsPerComponent (signed)
//   bytes 3-5: Columns (24 bits, big-endian)
//   byte 6: bits 0-1 filter form (FlateDecode, Fl, [FlateDecode], F key), bit 2 DecodeParms
//           wrapped in an array, bit 3 read raw bytes and peek between predicted ones
#include <cstdint>
#include <cstdio>

#include "pdf/Element.h"
#include "platform/File.h"
#include "streams/FlateStream.h"
#include "streams/Stream.h"

namespace {

constexpr size_t kHeaderBytes = 7;
// Keeps one run short: 64 KiB of deflate data inflates to at most about 64 MiB.
constexpr size_t kMaxInputBytes = 64 * 1024;

CPdfElement Integer(int32_t value)
{
    CPdfElement element;
    element.setInteger(value);
    return element;
}

CPdfElement Name(const char* text)
{
    CPdfElement element;
    element.setName(text);
    return element;
}

CPdfElement StreamDictionary(const uint8_t* header)
{
    CPdfElement parameters;
    CPdfDictionary& parameterDictionary = parameters.newDictionary(nullptr);
    parameterDictionary.set("Predictor", Integer(static_cast<int8_t>(header[0])));
    parameterDictionary.set("Colors", Integer(static_cast<int8_t>(header[1])));
    parameterDictionary.set("BitsPerComponent", Integer(static_cast<int8_t>(header[2])));
    parameterDictionary.set("Columns", Integer(header[3] << 16 | header[4] << 8 | header[5]));
    const int form = header[6] & 3;
    CPdfElement filter = Name(form == 1 ? "Fl" : "FlateDecode");
    if (form == 2) {
        CPdfElement array;
        array.newArray(nullptr).append(filter);
        filter = array;
    }
    if (header[6] & 4) {
        CPdfElement array;
        array.newArray(nullptr).append(parameters);
        parameters = array;
    }
    CPdfElement dictionary;
    CPdfDictionary& streamDictionary = dictionary.newDictionary(nullptr);
    streamDictionary.set(form == 3 ? "F" : "Filter", filter);
    streamDictionary.set("DecodeParms", parameters);
    return dictionary;
}

void Drain(CPdfStream& stream, bool isMixed)
{
    for (uint64_t i = 0;; ++i) {
        if (isMixed && i % 7 == 3)
            stream.peekChar();
        if (isMixed && i % 11 == 5 && stream.getRawChar() < 0)
            continue;
        if (stream.getChar() < 0)
            break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size <= kHeaderBytes || size > kMaxInputBytes)
        return 0;
    const size_t dataBytes = size - kHeaderBytes;
    CFileHandle file(fmemopen(const_cast<uint8_t*>(data + kHeaderBytes), dataBytes, "rb"));
    if (!file)
        return 0;
    CPdfElement dictionary = StreamDictionary(data);
    CPdfRef<CPdfStream> range = CPdfRef<CPdfStream>::create<CPdfFileStream>(
        file.get(), 0u, static_cast<uint32_t>(dataBytes), dictionary);
    // Every form names Flate, so makeFilter never throws here.
    CPdfRef<CPdfStream> stream = makeFilter(std::move(range), dictionary.dictionary());
    if (stream)
        Drain(*stream, (data[6] & 8) != 0);
    return 0;
}
