#include "pdf/Lexer.h"

#include <climits>
#include <cstdlib>

int32_t LexIntegerValue(const std::string& text)
{
    size_t i = 0;
    bool isNegative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        isNegative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        // Saturates: once past the 32-bit range further digits cannot bring it back.
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1;
    }
    if (isNegative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

CPdfLexer::CPdfLexer(CPdfRef<CPdfStream> input)
{
    m_inputs.push_back(std::move(input));
}

int CPdfLexer::getChar()
{
    int c = m_inputs[static_cast<size_t>(m_current)]->getChar();
    while (c < 0 && static_cast<size_t>(m_current) + 1 < m_inputs.size()) {
        ++m_current;
        c = m_inputs[static_cast<size_t>(m_current)]->getChar();
    }
    return c;
}

int CPdfLexer::peekChar()
{
    return m_inputs[static_cast<size_t>(m_current)]->peekChar();
}

void CPdfLexer::skipLine()
{
    for (;;) {
        int c = getChar();
        if (c < 0 || c == '\n')
            return;
        if (c == '\r') {
            if (peekChar() == '\n')
                getChar();
            return;
        }
    }
}

std::string CPdfLexer::collectedText() const
{
    size_t zero = m_text.find('\0');
    return zero == std::string::npos ? m_text : m_text.substr(0, zero);
}

int CPdfLexer::skipBlanks()
{
    bool isComment = false;
    for (;;) {
        int c = getChar();
        if (c < 0)
            return -1;
        if (isComment) {
            if (c == '\r' || c == '\n')
                isComment = false;
        } else if (c == '%') {
            isComment = true;
        } else if (!IsPdfWhite(c)) {
            return c;
        }
    }
}

void CPdfLexer::nextToken(CPdfElement& out)
{
    out.clear();
    m_text.clear();
    int c = skipBlanks();
    switch (c) {
    case -1:
        out.setEndOfData();
        return;
    case '(':
        readLiteralString(out);
        return;
    case ')':
    case '{':
    case '}':
        out.setInvalid();
        return;
    case '/':
        readName(out);
        return;
    case '<':
        if (peekChar() == '<') {
            getChar();
            out.setKeyword("<<");
        } else {
            readHexString(out);
        }
        return;
    case '>':
        if (peekChar() == '>') {
            getChar();
            out.setKeyword(">>");
        } else {
            out.setInvalid();
        }
        return;
    case '[':
        out.setKeyword("[");
        return;
    case ']':
        out.setKeyword("]");
        return;
    default:
        break;
    }
    if (c == '-' || c == '.' || IsDigit(c))
        readNumber(c, out);
    else
        readRegular(c, out);
}

void CPdfLexer::readLiteralString(CPdfElement& out)
{
    int depth = 1;
    for (;;) {
        int c = getChar();
        if (c < 0)
            break;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                break;
        } else if (c == '\\') {
            readEscape();
            continue;
        }
        m_text.push_back(static_cast<char>(c));
    }
    out.setString(m_text);
}

// One escape after a backslash inside a literal string; appends what it stands for.
void CPdfLexer::readEscape()
{
    int e = getChar();
    switch (e) {
    case -1:
    case '\n':
        return;
    case '\r':
        if (peekChar() == '\n')
            getChar();
        return;
    case 'n':
        m_text.push_back('\n');
        return;
    case 'r':
        m_text.push_back('\r');
        return;
    case 't':
        m_text.push_back('\t');
        return;
    case 'b':
        m_text.push_back('\b');
        return;
    case 'f':
        m_text.push_back('\f');
        return;
    default:
        break;
    }
    if (IsOctalDigit(e)) {
        int value = e - '0';
        for (int i = 0; i < 2; ++i) {
            int d = peekChar();
            if (!IsOctalDigit(d))
                break;
            getChar();
            value = value * 8 + (d - '0');
        }
        m_text.push_back(static_cast<char>(value & 0xFF)); // 256 and up keep their low 8 bits
        return;
    }
    m_text.push_back(static_cast<char>(e));
}

void CPdfLexer::readNumber(int first, CPdfElement& out)
{
    bool hasPoint = first == '.';
    m_text.push_back(static_cast<char>(first));
    for (;;) {
        int c = peekChar();
        if (IsDigit(c)) {
            getChar();
        } else if (c == '.') {
            getChar();
            hasPoint = true;
        } else {
            break;
        }
        m_text.push_back(static_cast<char>(c));
    }
    if (hasPoint)
        out.setReal(std::strtod(m_text.c_str(), nullptr)); // the text holds only -, . and digits
    else
        out.setInteger(LexIntegerValue(m_text));
}

void CPdfLexer::readName(CPdfElement& out)
{
    for (;;) {
        int c = peekChar();
        if (!IsPdfRegular(c))
            break;
        getChar();
        if (c == '#') {
            int high = HexValue(peekChar());
            if (high >= 0) {
                getChar();
                int low = HexValue(getChar()); // consumed whatever it is
                c = high * 16 + (low >= 0 ? low : 0);
            }
        }
        m_text.push_back(static_cast<char>(c));
    }
    out.setName(collectedText());
}

void CPdfLexer::readHexString(CPdfElement& out)
{
    int pending = 0;
    int digits = 0;
    for (;;) {
        int c = getChar();
        if (c < 0 || c == '>')
            break;
        if (IsPdfWhite(c))
            continue;
        int value = HexValue(c);
        pending = pending * 16 + (value >= 0 ? value : 0);
        if (++digits == 2) {
            m_text.push_back(static_cast<char>(pending));
            pending = 0;
            digits = 0;
        }
    }
    if (digits == 1)
        m_text.push_back(static_cast<char>(pending * 16));
    out.setString(m_text);
}

void CPdfLexer::readRegular(int first, CPdfElement& out)
{
    m_text.push_back(static_cast<char>(first));
    for (;;) {
        int c = peekChar();
        if (!IsPdfRegular(c))
            break;
        getChar();
        m_text.push_back(static_cast<char>(c));
    }
    if (m_text == "true")
        out.setBoolean(true);
    else if (m_text == "false")
        out.setBoolean(false);
    else if (m_text == "null")
        out.setNull();
    else
        out.setKeyword(m_text);
}
