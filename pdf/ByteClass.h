// The byte classes of PDF syntax and the digit tests every reader shares. White space is NUL,
// tab, line feed, form feed, carriage return and space; delimiters are ( ) < > [ ] { } / %;
// every other byte is regular. The tests take a byte value, or -1 (the end of data), which is in
// no class. A plain char would turn bytes past 127 negative, so the class tests refuse it: cast
// to unsigned char first. Also where a literal string ends, for readers that skip strings.
#pragma once

#include <cstddef>
#include <string_view>

// The class of each byte value: 0 regular, 1 white space, 2 delimiter.
struct CPdfByteClasses {
    unsigned char classOf[256] = {};
    constexpr CPdfByteClasses()
    {
        for (int c : {0, 9, 10, 12, 13, 32})
            classOf[c] = 1;
        for (char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
            classOf[static_cast<unsigned char>(c)] = 2;
    }

    constexpr bool has(int c, unsigned char byteClass) const
    {
        return c >= 0 && c <= 255 && classOf[c] == byteClass;
    }
};

inline constexpr CPdfByteClasses kPdfByteClasses;

constexpr bool IsPdfWhite(int c)
{
    return kPdfByteClasses.has(c, 1);
}

constexpr bool IsPdfDelimiter(int c)
{
    return kPdfByteClasses.has(c, 2);
}

constexpr bool IsPdfRegular(int c)
{
    return kPdfByteClasses.has(c, 0);
}

// A byte as unsigned char needs no range test: the hot loops of the scanners take these.
constexpr bool IsPdfWhite(unsigned char c)
{
    return kPdfByteClasses.classOf[c] == 1;
}

constexpr bool IsPdfDelimiter(unsigned char c)
{
    return kPdfByteClasses.classOf[c] == 2;
}

constexpr bool IsPdfRegular(unsigned char c)
{
    return kPdfByteClasses.classOf[c] == 0;
}

bool IsPdfWhite(char c) = delete;
bool IsPdfDelimiter(char c) = delete;
bool IsPdfRegular(char c) = delete;

// The digit tests read the same for a char, whatever its sign.
constexpr bool IsDigit(int c)
{
    return c >= '0' && c <= '9';
}

constexpr bool IsOctalDigit(int c)
{
    return c >= '0' && c <= '7';
}

// Value of a hex digit (either case), or -1.
constexpr int HexValue(int c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

constexpr bool IsHexDigit(int c)
{
    return HexValue(c) >= 0;
}

// One past the literal string that opens at text[start] (balanced parentheses end it; a
// backslash hides the byte after it), or npos when text ends first.
inline size_t LiteralStringEnd(std::string_view text, size_t start)
{
    size_t depth = 0;
    for (size_t q = start; q < text.size(); ++q) {
        const char c = text[q];
        if (c == '\\') {
            ++q;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return q + 1;
        }
    }
    return std::string_view::npos;
}
