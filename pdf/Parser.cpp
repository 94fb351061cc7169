#include "pdf/Parser.h"

#include <climits>

#include "pdf/Exception.h"
#include "streams/FlateStream.h"
#include "streams/MemoryStream.h"
#include "xref/XRef.h"

namespace {

// Deeper nesting than this is refused: no real file needs it, and recursion must stay bounded.
constexpr int kMaxNesting = 500;

} // namespace

CPdfParser::CPdfParser(CPdfXRef* xref, CPdfRef<CPdfStream> stream) : m_xref(xref), m_lexer(std::move(stream))
{
    m_lexer.nextToken(m_tokens[0]);
    m_lexer.nextToken(m_tokens[1]);
}

void CPdfParser::advance()
{
    m_lexer.nextToken(m_tokens[m_currentAt]);
    m_currentAt ^= 1;
}

void CPdfParser::parseObject(CPdfElement& out)
{
    parseAt(out, 0);
}

void CPdfParser::parseAt(CPdfElement& out, int depth)
{
    if (current().isKeyword("[")) {
        parseArray(out, depth + 1);
    } else if (current().isKeyword("<<")) {
        parseDictionary(out, depth + 1);
    } else if (current().is(PdfKind::Integer)) {
        int32_t number = current().integer();
        advance();
        if (current().is(PdfKind::Integer) && lookAhead().isKeyword("R")) {
            out.setReference(number, current().integer());
            advance();
            advance();
        } else {
            out.setInteger(number);
        }
    } else {
        out = std::move(currentToken()); // its slot is read into next
        advance();
    }
}

void CPdfParser::parseArray(CPdfElement& out, int depth)
{
    if (depth > kMaxNesting)
        throw CPdfDamaged();
    advance();
    CPdfArray& array = out.newArray(m_xref);
    array.reserve(8); // most arrays in one allocation
    // An array cut off by the end of the data ends there with what was read.
    while (!current().isKeyword("]") && !current().is(PdfKind::EndOfData))
        parseAt(array.appendEmpty(), depth);
    advance();
}

void CPdfParser::parseDictionary(CPdfElement& out, int depth)
{
    if (depth > kMaxNesting)
        throw CPdfDamaged();
    advance();
    CPdfDictionary& dictionary = out.newDictionary(m_xref);
    CPdfDictionary::Entries entries;
    entries.reserve(8); // most dictionaries in one allocation
    for (;;) {
        if (current().isKeyword(">>") || current().is(PdfKind::EndOfData))
            break;
        if (!current().is(PdfKind::Name)) {
            advance(); // stray token in key position
            continue;
        }
        std::string key = current().text();
        advance();
        if (current().is(PdfKind::Invalid))
            continue; // a key followed by a stray delimiter is dropped
        CPdfElement value;
        parseAt(value, depth);
        entries.emplace_back(std::move(key), std::move(value));
    }
    dictionary.setAll(std::move(entries));
    if (current().isKeyword(">>") && lookAhead().isKeyword("stream"))
        readStreamData(out);
    else
        advance();
}

// Seeks the input to dataEnd and moves two tokens on: true when the current token is then
// "endstream", as it is after data of the right length.
bool CPdfParser::landsOnEndstream(uint64_t dataEnd)
{
    // Positions stay below 2 GiB (larger files are refused), so a sum past INT32_MAX lies
    // beyond the file: no "endstream" can follow there.
    m_lexer.seek(dataEnd > INT32_MAX ? INT32_MAX : static_cast<int32_t>(dataEnd));
    advance();
    advance();
    return current().isKeyword("endstream");
}

void CPdfParser::readStreamData(CPdfElement& element)
{
    m_lexer.skipLine();
    const uint32_t position = m_lexer.position();

    CPdfElement length;
    element.dictionary()->getResolved("Length", length);
    const bool hasLength = length.is(PdfKind::Integer) && length.integer() >= 0;
    if (!hasLength && !m_xref) {
        element.setInvalid();
        return;
    }
    uint32_t dataLength = hasLength ? static_cast<uint32_t>(length.integer()) : 0;
    // A /Length that is missing or does not lead to "endstream" (with a cross-reference to ask
    // where the next one is): the data ends at the first "endstream" after its start.
    if (!hasLength || !landsOnEndstream(uint64_t(position) + dataLength)) {
        uint32_t keyword = 0;
        if (!m_xref || !m_xref->findStreamEnd(position, dataLength, keyword)) {
            if (!hasLength) {
                element.setInvalid();
                return;
            }
            throw CPdfException("Missing 'endstream'");
        }
        landsOnEndstream(keyword);
    }
    CPdfRef<CPdfDictionary> dictionary = CPdfRef<CPdfDictionary>::share(element.dictionary());
    // A range of length 0 would run to the end of the file: an empty stream gets empty data.
    CPdfRef<CPdfStream> range = dataLength == 0
        ? CPdfRef<CPdfStream>::create<CPdfMemoryStream>(std::make_shared<const std::string>(), 0, 0, element)
        : m_lexer.input()->openRange(position, dataLength, element);
    CPdfRef<CPdfStream> data;
    if (range)
        data = makeFilter(std::move(range), dictionary.get());
    advance();
    if (data)
        element.setStream(data.get());
    else
        element.setInvalid();
}
