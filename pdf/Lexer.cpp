#include "pdf/Lexer.h"

#include <climits>
#include <cstdlib>

namespace {

// The window read from an input that lends no bytes.
constexpr size_t kBlockSize = 4096;

} // namespace

int32_t LexIntegerValue(std::string_view text)
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

CPdfLexer::CPdfLexer(CPdfRef<CPdfStream> input) : m_input(std::move(input))
{
    m_windowPos = m_input->getPos();
}

bool CPdfLexer::refill()
{
    m_windowPos = position();
    const unsigned char* data = nullptr;
    size_t length = 0;
    if (!m_input->lendBytes(data, length)) {
        m_block.resize(kBlockSize);
        length = m_input->readBlock(reinterpret_cast<char*>(m_block.data()), m_block.size());
        data = m_block.data();
    }
    m_window = data;
    m_next = data;
    m_end = data + length;
    return length != 0;
}

void CPdfLexer::seek(int32_t offset)
{
    m_input->seek(offset, 0);
    m_window = m_next = m_end = nullptr;
    m_windowPos = m_input->getPos();
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

template <typename Keep>
void CPdfLexer::appendRun(Keep keep)
{
    for (;;) {
        const unsigned char* run = m_next;
        while (run != m_end && keep(*run))
            ++run;
        m_text.append(reinterpret_cast<const char*>(m_next), static_cast<size_t>(run - m_next));
        m_next = run;
        if (run != m_end || !refill())
            return;
    }
}

template <typename Keep>
std::string_view CPdfLexer::takeRun(const unsigned char* start, Keep keep)
{
    const unsigned char* run = m_next;
    while (run != m_end && keep(*run))
        ++run;
    if (run != m_end) {
        m_next = run;
        return std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(run - start));
    }
    // The token goes on past the window: it is collected.
    m_text.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(m_end - start));
    m_next = m_end;
    if (refill())
        appendRun(keep);
    return m_text;
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
        readNumber(out);
    else
        readRegular(out);
}

void CPdfLexer::readLiteralString(CPdfElement& out)
{
    int depth = 1;
    for (;;) {
        appendRun([](unsigned char c) { return c != '(' && c != ')' && c != '\\'; });
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

void CPdfLexer::readNumber(CPdfElement& out)
{
    // Most numbers are small unsigned integers that end inside the window: read as they lie.
    if (IsDigit(m_next[-1])) {
        int64_t value = m_next[-1] - '0';
        const unsigned char* run = m_next;
        for (; run != m_end && IsDigit(*run) && value <= INT32_MAX; ++run)
            value = value * 10 + (*run - '0');
        if (run != m_end && !IsDigit(*run) && *run != '.' && value <= INT32_MAX) {
            m_next = run;
            out.setInteger(static_cast<int32_t>(value));
            return;
        }
    }
    const std::string_view text = takeRun(m_next - 1, [](unsigned char c) { return IsDigit(c) || c == '.'; });
    if (text.find('.') == std::string_view::npos) {
        out.setInteger(LexIntegerValue(text));
        return;
    }
    if (text.data() != m_text.data())
        m_text.assign(text.data(), text.size());
    out.setReal(std::strtod(m_text.c_str(), nullptr)); // the text holds only -, . and digits
}

void CPdfLexer::readName(CPdfElement& out)
{
    // Most names hold no escape and end inside the window: they are taken as they lie.
    const unsigned char* run = m_next;
    while (run != m_end && *run != '#' && IsPdfRegular(*run))
        ++run;
    if (run != m_end && *run != '#') {
        out.setName(std::string_view(reinterpret_cast<const char*>(m_next), static_cast<size_t>(run - m_next)));
        m_next = run;
        return;
    }
    for (;;) {
        appendRun([](unsigned char c) { return c != '#' && IsPdfRegular(c); });
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
    // An escaped zero byte ends the name's text.
    out.setName(std::string_view(m_text).substr(0, m_text.find('\0')));
}

void CPdfLexer::readHexString(CPdfElement& out)
{
    // Most hex strings (a trailer's /ID) are plain digits that end inside the window.
    const unsigned char* run = m_next;
    while (run != m_end && HexValue(*run) >= 0)
        ++run;
    if (run != m_end && *run == '>' && (run - m_next) % 2 == 0) {
        for (const unsigned char* digit = m_next; digit != run; digit += 2)
            m_text.push_back(static_cast<char>(HexValue(digit[0]) * 16 + HexValue(digit[1])));
        m_next = run + 1;
        out.setString(m_text);
        return;
    }
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

void CPdfLexer::readRegular(CPdfElement& out)
{
    const std::string_view text = takeRun(m_next - 1, [](unsigned char c) { return IsPdfRegular(c); });
    if (text == "true")
        out.setBoolean(true);
    else if (text == "false")
        out.setBoolean(false);
    else if (text == "null")
        out.setNull();
    else
        out.setKeyword(text);
}
