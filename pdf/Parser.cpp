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
    m_lexer.nextToken(m_current);
    m_lexer.nextToken(m_lookAhead);
}

void CPdfParser::advance()
{
    m_current = std::move(m_lookAhead);
    m_lexer.nextToken(m_lookAhead);
}

void CPdfParser::parseObject(CPdfElement& out)
{
    parseAt(out, 0);
}

void CPdfParser::parseAt(CPdfElement& out, int depth)
{
    if (m_current.isKeyword("[")) {
        parseArray(out, depth + 1);
    } else if (m_current.isKeyword("<<")) {
        parseDictionary(out, depth + 1);
    } else if (m_current.is(PdfKind::Integer)) {
        int32_t number = m_current.integer();
        advance();
        if (m_current.is(PdfKind::Integer) && m_lookAhead.isKeyword("R")) {
            out.setReference(number, m_current.integer());
            advance();
            advance();
        } else {
            out.setInteger(number);
        }
    } else {
        out = m_current;
        advance();
    }
}

void CPdfParser::parseArray(CPdfElement& out, int depth)
{
    if (depth > kMaxNesting)
        throw CPdfDamaged();
    advance();
    CPdfArray& array = out.newArray(m_xref);
    // An array cut off by the end of the data ends there with what was read.
    while (!m_current.isKeyword("]") && !m_current.is(PdfKind::EndOfData)) {
        CPdfElement item;
        parseAt(item, depth);
        array.append(std::move(item));
    }
    advance();
}

void CPdfParser::parseDictionary(CPdfElement& out, int depth)
{
    if (depth > kMaxNesting)
        throw CPdfDamaged();
    advance();
    CPdfDictionary& dictionary = out.newDictionary(m_xref);
    for (;;) {
        if (m_current.isKeyword(">>") || m_current.is(PdfKind::EndOfData))
            break;
        if (!m_current.is(PdfKind::Name)) {
            advance(); // stray token in key position
            continue;
        }
        std::string key = m_current.text();
        advance();
        if (m_current.is(PdfKind::Invalid))
            continue; // a key followed by a stray delimiter is dropped
        CPdfElement value;
        parseAt(value, depth);
        dictionary.set(key, value);
    }
    if (m_current.isKeyword(">>") && m_lookAhead.isKeyword("stream"))
        readStreamData(out);
    else
        advance();
}

// Seeks the input to dataEnd and moves two tokens on: true when the current token is then
// "endstream", as it is after data of the right length.
bool CPdfParser::landsOnEndstream(CPdfStream* input, uint64_t dataEnd)
{
    // Positions stay below 2 GiB (larger files are refused), so a sum past INT32_MAX lies
    // beyond the file: no "endstream" can follow there.
    input->seek(dataEnd > INT32_MAX ? INT32_MAX : static_cast<int32_t>(dataEnd), 0);
    advance();
    advance();
    return m_current.isKeyword("endstream");
}

void CPdfParser::readStreamData(CPdfElement& element)
{
    m_lexer.skipLine();
    CPdfStream* input = m_lexer.currentInput();
    uint32_t position = input->getPos();

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
    if (!hasLength || !landsOnEndstream(input, uint64_t(position) + dataLength)) {
        uint32_t keyword = 0;
        if (!m_xref || !m_xref->findStreamEnd(position, dataLength, keyword)) {
            if (!hasLength) {
                element.setInvalid();
                return;
            }
            throw CPdfException("Missing 'endstream'");
        }
        landsOnEndstream(input, keyword);
    }
    CPdfRef<CPdfDictionary> dictionary = CPdfRef<CPdfDictionary>::share(element.dictionary());
    // A range of length 0 would run to the end of the file: an empty stream gets empty data.
    CPdfRef<CPdfStream> range = dataLength == 0
        ? CPdfRef<CPdfStream>::create<CPdfMemoryStream>(std::make_shared<const std::string>(), 0, 0, element)
        : input->openRange(position, dataLength, element);
    CPdfRef<CPdfStream> data;
    if (range)
        data = makeFilter(std::move(range), dictionary.get());
    advance();
    if (data)
        element.setStream(data.get());
    else
        element.setInvalid();
}
