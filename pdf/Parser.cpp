#include "pdf/Parser.h"

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
    out = m_current;
    advance();
}
