// Opens a document from arbitrary bytes and fetches every object it lists, both as parsed
// values and, for compressed objects, as raw text.
#include <cstdint>
#include <cstdio>
#include <string>

#include "pdf/Document.h"
#include "pdf/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    FILE* file = fmemopen(bytes.empty() ? nullptr : &bytes[0], bytes.size(), "rb");
    if (!file)
        return 0;
    CPdfDocument document;
    try {
        document.openFile(CFileHandle(file), bytes.size());
        CPdfXRef* xref = document.xref();
        const auto& entries = xref->getEntries();
        for (size_t n = 0; n < entries.size() && n < 4096; ++n) {
            const CPdfXRefEntry entry = entries[n];
            CPdfElement object;
            int32_t number = static_cast<int32_t>(n);
            xref->fetch(number, entry.fetchGeneration(), object);
            if (CPdfStream* stream = object.stream()) {
                for (int i = 0; i < 65536 && stream->getChar() >= 0; ++i) {
                }
            }
            uint32_t length = 0;
            if (entry.type == 2)
                xref->getObjectText(number, 0, length);
        }
    } catch (const CPdfException&) {
    }
    return 0;
}
