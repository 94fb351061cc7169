// The decoders besides Flate, alone and in chains: the first two bytes choose the chain and its
// parameters; the rest is the stored data, read through makeFilter to its end.
//   byte 0: three filters of 3 bits each, low bits first (0 ends the chain; 1 AHx, 2 A85,
//           3 LZW, 4 RL, 5 Fl, 6 and 7 the full names of AHx and LZW)
//   byte 1: bit 0 EarlyChange 0, bit 1 PNG predictor (Columns 3) on LZW and Flate, bit 2 peek
//           and read raw bytes between the decoded ones
#include <cstdint>
#include <string>

#include "pdf/Element.h"
#include "streams/Filter.h"
#include "streams/MemoryStream.h"
#include "streams/Stream.h"

namespace {

constexpr size_t kHeaderBytes = 2;
constexpr size_t kMaxInputBytes = 64 * 1024;
const char* const kNames[] = {"", "AHx", "A85", "LZW", "RL", "Fl", "ASCIIHexDecode", "LZWDecode"};

CPdfElement Name(const char* text)
{
    CPdfElement element;
    element.setName(text);
    return element;
}

CPdfElement StreamDictionary(const uint8_t* header)
{
    CPdfElement filters;
    CPdfArray& names = filters.newArray(nullptr);
    CPdfElement parameters;
    CPdfArray& parameterArray = parameters.newArray(nullptr);
    for (int i = 0; i < 3 && (header[0] >> (3 * i) & 7) != 0; ++i) {
        names.append(Name(kNames[header[0] >> (3 * i) & 7]));
        CPdfElement step;
        CPdfDictionary& stepDictionary = step.newDictionary(nullptr);
        CPdfElement number;
        number.setInteger(header[1] & 1 ? 0 : 1);
        stepDictionary.set("EarlyChange", number);
        if (header[1] & 2) {
            number.setInteger(12);
            stepDictionary.set("Predictor", number);
            number.setInteger(3);
            stepDictionary.set("Columns", number);
        }
        parameterArray.append(step);
    }
    CPdfElement dictionary;
    CPdfDictionary& streamDictionary = dictionary.newDictionary(nullptr);
    streamDictionary.set("Filter", filters);
    streamDictionary.set("DecodeParms", parameters);
    return dictionary;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes || size > kMaxInputBytes)
        return 0;
    CPdfElement dictionary = StreamDictionary(data);
    auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data) + kHeaderBytes,
                                                     size - kHeaderBytes);
    CPdfRef<CPdfStream> range = CPdfRef<CPdfStream>::create<CPdfMemoryStream>(
        bytes, 0u, static_cast<uint32_t>(bytes->size()), dictionary);
    CPdfRef<CPdfStream> stream = makeFilter(std::move(range), dictionary.dictionary());
    if (!stream)
        return 0;
    const bool isMixed = (data[1] & 4) != 0;
    for (uint64_t i = 0;; ++i) {
        if (isMixed && i % 7 == 3)
            stream->peekChar();
        if (isMixed && i % 11 == 5 && stream->getRawChar() < 0)
            continue;
        if (stream->getChar() < 0)
            break;
    }
    return 0;
}
