#include "pdf/Lexer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/ByteClass.h"
#include "tests/support/TestStreams.h"

using namespace std::string_literals;

namespace {

// Tokens as text; gtest escapes odd bytes when it prints them. Reals carry 17 digits, so
// equal text means equal doubles.
std::string Str(const std::string& bytes) { return "String " + bytes; }
std::string Nam(const std::string& bytes) { return "Name " + bytes; }
std::string Kw(const std::string& bytes) { return "Keyword " + bytes; }
std::string Int(int64_t value) { return "Integer " + std::to_string(value); }
std::string RealOf(double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "Real %.17g", value);
    return text;
}
std::string Real(const char* text) { return RealOf(std::strtod(text, nullptr)); }
const std::string kTrue = "Boolean true", kFalse = "Boolean false", kNull = "Null", kInvalid = "Invalid";

std::string Describe(const CPdfElement& token)
{
    switch (token.kind()) {
    case PdfKind::Boolean: return token.boolean() ? kTrue : kFalse;
    case PdfKind::Integer: return Int(token.integer());
    case PdfKind::Real: return RealOf(token.real());
    case PdfKind::String: return Str(token.text());
    case PdfKind::Name: return Nam(token.text());
    case PdfKind::Keyword: return Kw(token.text());
    case PdfKind::Null: return kNull;
    case PdfKind::Invalid: return kInvalid;
    case PdfKind::EndOfData: return "EndOfData";
    default: return "unexpected kind " + std::to_string(static_cast<unsigned>(token.kind()));
    }
}

// How the lexer's input hands out its bytes: all lent at once (0), or copied out a few at a
// time, so that every token somewhere crosses the end of a window.
const size_t kSteps[] = {0, 1, 3};

CPdfLexer MakeLexer(const std::string& input, size_t step = 0)
{
    return CPdfLexer(step == 0 ? CPdfRef<CPdfStream>::create<CPdfMemoryStream>(input)
                               : CPdfRef<CPdfStream>::create<CTrickleStream>(input, step));
}

// Every token before the first EndOfData; gives up after cap tokens so a lexer that never
// ends fails instead of hanging.
std::vector<std::string> LexAll(CPdfLexer& lexer, size_t cap)
{
    std::vector<std::string> tokens;
    CPdfElement token;
    for (size_t i = 0; i <= cap; ++i) {
        lexer.nextToken(token);
        if (token.is(PdfKind::EndOfData))
            return tokens;
        tokens.push_back(Describe(token));
    }
    tokens.push_back("no EndOfData after " + std::to_string(cap) + " tokens");
    return tokens;
}

// The end is sticky: every later call gives EndOfData again and the position stays put.
void ExpectEndRepeats(CPdfLexer& lexer, uint32_t endPos)
{
    CPdfElement token;
    for (int i = 0; i < 3; ++i) {
        lexer.nextToken(token);
        EXPECT_EQ("EndOfData", Describe(token));
        EXPECT_EQ(endPos, lexer.position());
    }
}

struct TokenRow {
    std::string input;
    std::vector<std::string> tokens;
};

constexpr size_t kLong = 100 * 1024;
const std::string kRun(kLong, 'a');

// Whole inputs and every token they give, up to a sticky end; a group's comment says what its
// rows guard.
const std::vector<TokenRow> kTokenRows = {
    // Literal strings: nesting, escaped parentheses and backslash, named escapes.
    {"(a(b)c)", {Str("a(b)c")}}, {R"((a\)b))", {Str("a)b")}}, {R"((\(\\\)))", {Str("(\\)")}},
    {R"((a\(b))", {Str("a(b")}}, {R"((\n\r\t\b\f))", {Str("\n\r\t\b\f")}}, {R"((\q\%\/))", {Str("q%/")}},
    // Octal escapes: one to three digits, 8 is no digit, the low 8 bits kept. Strings keep zero
    // bytes (UTF-16 text has them), whichever way they are written.
    {R"((\101\102))", {Str("AB")}}, {R"((\7x))", {Str("\x07x")}}, {R"((\12x))", {Str("\nx")}},
    {R"((\1011))", {Str("A1")}}, {R"((\18))", {Str("\x01" "8")}}, {R"((x\0y))", {Str("x\0y"s)}},
    {R"((x\000y))", {Str("x\0y"s)}}, {R"((a\400b))", {Str("a\0b"s)}}, {R"((\401))", {Str("\x01")}},
    {R"((\777))", {Str("\xff")}}, {R"((\12)", {Str("\n")}},
    // A backslash before LF, CR LF or CR joins lines; plain ends of line stay as they are.
    {"(a\\\nb)", {Str("ab")}}, {"(a\\\r\nb)", {Str("ab")}}, {"(a\\\rb)", {Str("ab")}},
    {"(a\\\r\rb)", {Str("a\rb")}}, {"(a\\\n\rb)", {Str("a\rb")}}, {"(a\r\nb\rc\nd)", {Str("a\r\nb\rc\nd")}},
    // NUL bytes, high bytes and percent are kept; a missing close ends at the input's end.
    {"(a\\\0b)"s, {Str("a\0b"s)}}, {"(a\0b)"s, {Str("a\0b"s)}}, {"(\x80\xfe\xff)", {Str("\x80\xfe\xff")}},
    {"(a%b)", {Str("a%b")}}, {"()", {Str("")}}, {"(abc", {Str("abc")}}, {"(a(b)c", {Str("a(b)c")}},
    {"(ab\\", {Str("ab")}}, {"(", {Str("")}},
    // What follows a literal string.
    {"(a))", {Str("a"), kInvalid}}, {"(a)b", {Str("a"), Kw("b")}}, {"(a)(b)", {Str("a"), Str("b")}},
    // Hex strings: whitespace (NUL too) skipped, junk and delimiters count as zero digits, an odd
    // digit is padded, zero bytes are kept, percent starts no comment, the close may be missing.
    {"<41 42>", {Str("AB")}}, {"<41 42 5>", {Str("ABP")}}, {"<5G>", {Str("P")}}, {"<>", {Str("")}},
    {"<4>", {Str("@")}}, {"<4 1\t4\r\n2\f>", {Str("AB")}}, {"<41\0 42>"s, {Str("AB")}}, {"<6a6A>", {Str("jj")}},
    {"<4100 42>", {Str("A\0B"s)}}, {"<0041>", {Str("\0A"s)}}, {"<zz>", {Str("\0"s)}}, {"<(41)>", {Str("\x04\x10")}},
    {"<%41>", {Str("\x04\x10")}}, {"<4142", {Str("AB")}}, {"<414", {Str("A@")}}, {"<", {Str("")}},
    {"<41>>", {Str("A"), kInvalid}},
    // Names: #xx escapes in either case; a # before a non-hex byte, another # or the end is plain.
    {"/Name", {Nam("Name")}}, {"/A#42", {Nam("AB")}}, {"/A#2f", {Nam("A/")}}, {"/A#G", {Nam("A#G")}},
    {"/A##42", {Nam("A#B")}}, {"/A#", {Nam("A#")}}, {"/A# B", {Nam("A#"), Kw("B")}},
    // One hex digit after # takes the next byte as its second digit, whatever it is, and the name goes on.
    {"/A#5 B", {Nam("APB")}}, {"/A#4/B", {Nam("A@B")}}, {"/A#5 ", {Nam("AP")}}, {"/A#5", {Nam("AP")}},
    // An escaped zero ends the text; high bytes and regular punctuation are kept.
    {"/#00AB", {Nam("")}}, {"/#fF", {Nam("\xff")}}, {"/a+b.c-1;", {Nam("a+b.c-1;")}}, {"/\x80\xff", {Nam("\x80\xff")}},
    // A slash alone is an empty name; whitespace, delimiters, comments and NUL end a name.
    {"/ 1", {Nam(""), Int(1)}}, {"/", {Nam("")}}, {"/(a)", {Nam(""), Str("a")}}, {"//A", {Nam(""), Nam("A")}},
    {"/>", {Nam(""), kInvalid}}, {"/]", {Nam(""), Kw("]")}}, {"/A/B", {Nam("A"), Nam("B")}},
    {"/A%c\n/B", {Nam("A"), Nam("B")}}, {"/A\0B"s, {Nam("A"), Kw("B")}},
    // Numbers: signs, leading zeros, points in every place; a second point stays in the text.
    {"12", {Int(12)}}, {"-3", {Int(-3)}}, {"007", {Int(7)}}, {"1.5", {Real("1.5")}}, {"-.5", {Real("-0.5")}},
    {".5", {Real("0.5")}}, {"4.", {Real("4")}}, {"1.2.3", {Real("1.2")}}, {".", {Real("0")}}, {"-.", {Real("0")}},
    // A minus inside a number starts the next one; plus is a regular byte; no exponents.
    {"-", {Int(0)}}, {"--5", {Int(0), Int(-5)}}, {"1-2", {Int(1), Int(-2)}}, {"3.-4", {Real("3"), Int(-4)}},
    {"+5", {Kw("+5")}}, {"+.e", {Kw("+.e")}}, {"1e5", {Int(1), Kw("e5")}}, {"12abc", {Int(12), Kw("abc")}},
    // Integers saturate at 32 bits instead of wrapping; long reals are read whole.
    {"2147483647", {Int(2147483647)}}, {"2147483648", {Int(2147483647)}}, {"4294967296", {Int(2147483647)}},
    {"99999999999999999999", {Int(2147483647)}}, {"-2147483648", {Int(-2147483648LL)}},
    {"-2147483649", {Int(-2147483648LL)}}, {"-99999999999999999999", {Int(-2147483648LL)}},
    {"123456789012345678901234567890.5", {Real("123456789012345678901234567890.5")}},
    {"1 0 R", {Int(1), Int(0), Kw("R")}},
    // Keywords: only exact true, false and null are values; vertical tab, # and high bytes are regular.
    {"true", {kTrue}}, {"false", {kFalse}}, {"null", {kNull}}, {"True", {Kw("True")}}, {"nulls", {Kw("nulls")}},
    {"truefalse", {Kw("truefalse")}}, {"true)", {kTrue, kInvalid}}, {"a\x0b" "b", {Kw("a\x0b" "b")}},
    {"\x80\xff", {Kw("\x80\xff")}}, {"a#41", {Kw("a#41")}},
    {"obj endobj stream endstream", {Kw("obj"), Kw("endobj"), Kw("stream"), Kw("endstream")}},
    // Delimiters: braces, ")" and a lone ">" are invalid; "<<" and ">>" pair up greedily.
    {"{", {kInvalid}}, {"}", {kInvalid}}, {")", {kInvalid}}, {">", {kInvalid}}, {"> >", {kInvalid, kInvalid}},
    {">>", {Kw(">>")}}, {">>>", {Kw(">>"), kInvalid}}, {"<<", {Kw("<<")}}, {"<<<", {Kw("<<"), Str("")}},
    {"[]", {Kw("["), Kw("]")}}, {"{}", {kInvalid, kInvalid}},
    {"[1 /A(b)]", {Kw("["), Int(1), Nam("A"), Str("b"), Kw("]")}},
    {"<</A 1>>", {Kw("<<"), Nam("A"), Int(1), Kw(">>")}},
    // Whitespace (NUL included) and comments, which end at LF, CR or CR LF and may hold anything.
    {"", {}}, {" \t\r\n\f\0"s, {}}, {"a\0b"s, {Kw("a"), Kw("b")}}, {"%comment\n7", {Int(7)}},
    {"%comment\r7", {Int(7)}}, {"%c\r\n7", {Int(7)}}, {"%comment", {}}, {"%", {}}, {"%a%b\n1", {Int(1)}},
    {"1%c\n2", {Int(1), Int(2)}}, {"% (no string\n(a)", {Str("a")}}, {"%\0\xff\n1"s, {Int(1)}},
    // Object syntax as files hold it.
    {"4 0 obj\n<< /Kids [9 0 R] /Count 3 >>\nendobj\n",
     {Int(4), Int(0), Kw("obj"), Kw("<<"), Nam("Kids"), Kw("["), Int(9), Int(0), Kw("R"), Kw("]"), Nam("Count"),
      Int(3), Kw(">>"), Kw("endobj")}},
    {"xref\r\n0 2\r\n0000000000 65535 f\r\n0000000017 00000 n\r\ntrailer\r\n<</Size 2>>",
     {Kw("xref"), Int(0), Int(2), Int(0), Int(65535), Kw("f"), Int(17), Int(0), Kw("n"), Kw("trailer"), Kw("<<"),
      Nam("Size"), Int(2), Kw(">>")}},
    {"<</Length 5>>stream\r\nhello", {Kw("<<"), Nam("Length"), Int(5), Kw(">>"), Kw("stream"), Kw("hello")}},
    // Tokens far longer than any buffer come back whole.
    {"/" + kRun + " ", {Nam(kRun)}}, {kRun + " ", {Kw(kRun)}}, {"(" + kRun + ")", {Str(kRun)}},
    {"(" + kRun, {Str(kRun)}},
    {std::string(kLong, '(') + std::string(kLong, ')'),
     {Str(std::string(kLong - 1, '(') + std::string(kLong - 1, ')'))}},
    {"<" + std::string(2 * kLong, 'a') + ">", {Str(std::string(kLong, '\xaa'))}},
    {std::string(kLong, '9'), {Int(2147483647)}}, {"0." + std::string(kLong, '5'), {Real("0.5555555555555555555555")}},
    {"%" + kRun + "\n7", {Int(7)}},
};

TEST(Lexer, Tokens)
{
    for (const size_t step : kSteps) {
        for (const TokenRow& row : kTokenRows) {
            SCOPED_TRACE(row.input.substr(0, 60) + " step " + std::to_string(step));
            CPdfLexer lexer = MakeLexer(row.input, step);
            EXPECT_EQ(row.tokens, LexAll(lexer, row.tokens.size() + 4));
            ExpectEndRepeats(lexer, static_cast<uint32_t>(row.input.size()));
        }
    }
}

struct PositionRow {
    std::string input;
    std::string token; // the token read first, or "" for none
    uint32_t position;
};

// Where the input stands after the first token: the byte that ends a number, name or keyword
// is only peeked; a lone ">" leaves the next byte; a name's "#5" eats whatever follows; a
// string's close, octal digits, a comment's end of line and leading whitespace are consumed.
const std::vector<PositionRow> kTokenPositionRows = {
    {"12 ", Int(12), 2}, {"12abc", Int(12), 2}, {"1.5x", Real("1.5"), 3}, {"--5", Int(0), 1},
    {"/A B", Nam("A"), 2}, {"/A(", Nam("A"), 2}, {"/A#5 (", Nam("AP"), 5}, {"/#G", Nam("#G"), 3},
    {"/# ", Nam("#"), 2}, {"true/", kTrue, 4}, {">a", kInvalid, 1}, {">>a", Kw(">>"), 2}, {"<<a", Kw("<<"), 2},
    {"[a", Kw("["), 1}, {"(a) ", Str("a"), 3}, {R"((\1234))", Str("S4"), 7}, {R"((\19))", Str("\x01" "9"), 5},
    {"<41> ", Str("A"), 4}, {"%c\r\n1 ", Int(1), 5}, {" \r\n\t1", Int(1), 5},
};

// Where skipLine leaves the input: past one LF, CR or CR LF (not NUL), and no further; after
// the stream keyword the rest of its line goes.
const std::vector<PositionRow> kSkipLineRows = {
    {"", "", 0}, {"abc", "", 3}, {"abc\ndef", "", 4}, {"abc\r\ndef", "", 5}, {"abc\rdef", "", 4},
    {"\r\rx", "", 1}, {"\r\r\n", "", 1}, {"\n\rx", "", 1}, {"\n\n", "", 1}, {"ab\r", "", 3},
    {"a\0b\nc"s, "", 4}, {"\r\n\r\ndata", "", 2}, {"stream  \r\n(x)", Kw("stream"), 10},
};

// Reads the row's token, then skips a line when asked; checks position and the peeked byte.
void RunPositionRows(const std::vector<PositionRow>& rows, bool skipLine)
{
    for (const PositionRow& row : rows) {
        for (const size_t step : kSteps) {
            SCOPED_TRACE(row.input + " step " + std::to_string(step));
            CPdfLexer lexer = MakeLexer(row.input, step);
            CPdfElement token;
            if (!row.token.empty()) {
                lexer.nextToken(token);
                EXPECT_EQ(row.token, Describe(token));
            }
            if (skipLine)
                lexer.skipLine();
            EXPECT_EQ(row.position, lexer.position());
            const bool atEnd = row.position >= row.input.size();
            EXPECT_EQ(atEnd ? -1 : static_cast<unsigned char>(row.input[row.position]), lexer.peekChar());
        }
    }
}

TEST(Lexer, PositionAfterToken) { RunPositionRows(kTokenPositionRows, false); }
TEST(Lexer, SkipLine) { RunPositionRows(kSkipLineRows, true); }

// Every byte value in the middle of a regular token: whitespace splits it, anything else
// that is not a delimiter (bytes 128 to 255 included) belongs to it.
TEST(Lexer, ByteClasses)
{
    const std::string whitespace("\0\t\n\f\r "s);
    const std::string delimiters = "%()/<>[]{}";
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        if (delimiters.find(c) != std::string::npos)
            continue;
        SCOPED_TRACE(byte);
        const std::string input = std::string("x") + c + "y";
        CPdfLexer lexer = MakeLexer(input);
        const bool isWhitespace = whitespace.find(c) != std::string::npos;
        const std::vector<std::string> expected = isWhitespace ? std::vector<std::string>{Kw("x"), Kw("y")}
                                                               : std::vector<std::string>{Kw(input)};
        EXPECT_EQ(expected, LexAll(lexer, 4));
        EXPECT_EQ(isWhitespace, IsPdfWhite(byte));
        EXPECT_TRUE(IsPdfRegular(byte) != IsPdfWhite(byte));
        EXPECT_FALSE(IsPdfDelimiter(byte));
    }
    for (char c : delimiters) {
        EXPECT_TRUE(IsPdfDelimiter(static_cast<unsigned char>(c)));
        EXPECT_FALSE(IsPdfRegular(static_cast<unsigned char>(c)));
    }
    EXPECT_FALSE(IsPdfRegular(-1));
    EXPECT_FALSE(IsPdfWhite(-1));
    EXPECT_FALSE(IsPdfDelimiter(-1));
}

// Digit values of every byte, and of the end of data: decimal, octal, hex in either case.
TEST(Lexer, DigitClasses)
{
    const std::string lower = "0123456789abcdef";
    const std::string upper = "0123456789ABCDEF";
    for (int byte = -1; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const size_t low = byte < 0 ? std::string::npos : lower.find(static_cast<char>(byte));
        const size_t up = byte < 0 ? std::string::npos : upper.find(static_cast<char>(byte));
        const int hex = low != std::string::npos ? int(low) : up != std::string::npos ? int(up) : -1;
        EXPECT_EQ(hex, HexValue(byte));
        EXPECT_EQ(hex >= 0, IsHexDigit(byte));
        EXPECT_EQ(hex >= 0 && hex < 10, IsDigit(byte));
        EXPECT_EQ(hex >= 0 && hex < 8, IsOctalDigit(byte));
    }
    EXPECT_EQ(-1, HexValue(static_cast<char>(0xC1)));
    EXPECT_FALSE(IsDigit(static_cast<char>(0xB0)));
}

// Inputs cut at every byte: the lexer always ends with EndOfData, having read exactly the
// bytes it was given, and never yields more tokens than bytes.
TEST(Lexer, TruncatedAtEveryByte)
{
    const std::vector<std::string> inputs = {R"((a(b\)c\101\12\0\q\)x))", "(a\\\r\nb\\\rc\\\nd)", "<41 4g 5>",
        "/Na#4d#e/x#", "-12.5 .5 -. 2147483648", "%comment\r\n true false null Trueish", "<< /A [1 0 R] >> {}",
        "4 0 obj\r\n<</Length 3>>stream\r\nabc\r\nendstream\r\nendobj"};
    for (const std::string& input : inputs) {
        for (size_t cut = 0; cut <= input.size(); ++cut) {
            for (const size_t step : kSteps) {
                const std::string prefix = input.substr(0, cut);
                SCOPED_TRACE(prefix + " step " + std::to_string(step));
                CPdfLexer lexer = MakeLexer(prefix, step);
                ASSERT_LE(LexAll(lexer, prefix.size() + 1).size(), prefix.size());
                ExpectEndRepeats(lexer, static_cast<uint32_t>(prefix.size()));
            }
        }
    }
}

// A token is read into a cleared element: a container it held is released.
TEST(Lexer, NextTokenReleasesWhatTheElementHeld)
{
    int destroyed = 0;
    CPdfElement stream;
    stream.setStream(CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed).get());
    CPdfElement out;
    out.newDictionary(nullptr).set("S", stream);
    stream.clear();
    CPdfLexer lexer = MakeLexer("7");
    lexer.nextToken(out);
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ(Int(7), Describe(out));
}

// A lexer over a file range stops at the range's end, even inside a token.
TEST(Lexer, FileRangeEndsInsideToken)
{
    CTempFile file("xx(abc) /Name 12345 trailing");
    CFileHandle handle = file.openRead();
    ASSERT_TRUE(handle);
    CPdfElement null;
    null.setNull();
    CPdfLexer lexer(CPdfRef<CPdfStream>::create<CPdfFileStream>(handle.get(), 2u, 15u, null));
    EXPECT_EQ((std::vector<std::string>{Str("abc"), Nam("Name"), Int(123)}), LexAll(lexer, 5));
    ExpectEndRepeats(lexer, 17);
}

} // namespace
