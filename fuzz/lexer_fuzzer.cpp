// Lexer fuzz target: tokens until the end of data. Every token consumes at least one byte,
// so more tokens than bytes means the lexer stopped moving; names and keywords never hold a zero
// byte (strings keep theirs).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdf/Lexer.h"
#include "streams/MemoryStream.h"

namespace {
constexpr size_t kMaxInput = 64 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    CPdfLexer lexer(CPdfRef<CPdfStream>::create<CPdfMemoryStream>(std::string(data, data + size)));
    CPdfElement token;
    for (size_t count = 0;; ++count) {
        if (count > size)
            std::abort();
        lexer.nextToken(token);
        if (token.is(PdfKind::EndOfData))
            break;
        if ((!token.is(PdfKind::String) && token.text().find('\0') != std::string::npos) || token.is(PdfKind::Empty))
            std::abort();
        if (token.isKeyword("stream"))
            lexer.skipLine(); // as the parser does before stream data
    }
    if (lexer.position() != size)
        std::abort();
    return 0;
}
