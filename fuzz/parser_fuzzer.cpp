// Parser fuzz target: objects one after another until the end of data, with no cross-reference,
// reading a little of every stream through its filters. Every object takes at least one token
// and every token at least one byte, so more objects than bytes means the parser stopped moving.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdf/Exception.h"
#include "pdf/Parser.h"
#include "streams/MemoryStream.h"

namespace {
constexpr size_t kMaxInput = 64 * 1024;
constexpr int kMaxStreamBytes = 1 << 20;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    try {
        CPdfParser parser(nullptr, CPdfRef<CPdfStream>::create<CPdfMemoryStream>(std::string(data, data + size)));
        for (size_t count = 0; !parser.current().is(PdfKind::EndOfData); ++count) {
            if (count > size)
                std::abort();
            CPdfElement object;
            parser.parseObject(object);
            if (CPdfStream* stream = object.stream()) {
                for (int i = 0; i < kMaxStreamBytes && stream->getChar() >= 0; ++i) {
                }
            }
        }
    } catch (const CPdfException&) {
    }
    return 0;
}
