// Opens a document from arbitrary bytes and fetches every object it lists, both as parsed
// values and, for compressed objects, as raw text. A table read ahead from the same bytes must
// then give a second document the same table and the same compressed objects.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pdf/Document.h"
#include "pdf/Exception.h"

namespace {

// The compressed object's text, or "" when it has none or its read fails.
std::string CompressedText(CPdfXRef& xref, int32_t number)
{
    try {
        uint32_t length = 0;
        const unsigned char* text = xref.getObjectText(number, 0, length);
        return text ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
    } catch (const CPdfException&) {
        return std::string();
    }
}

void CompareReadAhead(const CHeldBytes& bytes)
{
    std::shared_ptr<CPdfReadAhead> ahead = CPdfDocument::ReadAhead(bytes, size_t{1} << 20);
    if (!ahead)
        return;
    CPdfDocument taker;
    CPdfDocument plain;
    try {
        taker.openFile(CFileHandle(), bytes->size(), bytes, ahead);
        plain.openFile(CFileHandle(), bytes->size(), bytes);
    } catch (const CPdfException&) {
        std::abort(); // a file that read as it stands reads so again
    }
    CPdfXRef& a = *taker.xref();
    CPdfXRef& b = *plain.xref();
    const auto& entries = a.getEntries();
    if (entries.size() != b.getEntries().size() || a.m_rootNumber != b.m_rootNumber || a.m_infoNumber != b.m_infoNumber)
        std::abort();
    for (size_t n = 0; n < entries.size() && n < 4096; ++n) {
        const CPdfXRefEntry& x = entries[n];
        const CPdfXRefEntry& y = b.getEntries()[n];
        if (x.offset != y.offset || x.generation != y.generation || x.type != y.type)
            std::abort();
        if (x.type == 2 && CompressedText(a, static_cast<int32_t>(n)) != CompressedText(b, static_cast<int32_t>(n)))
            std::abort();
    }
}

} // namespace

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
    if (document.isOpen() && document.heldBytes())
        CompareReadAhead(document.heldBytes());
    return 0;
}
