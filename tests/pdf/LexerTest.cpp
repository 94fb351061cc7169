#include "pdf/Lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TestStreams.h"

using namespace std::string_view_literals;

namespace {

// Printable form of token text: bytes outside printable ASCII and the backslash as \xNN.
std::string Escape(std::string_view bytes)
{
    std::string text;
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

// The shortest text that reads back as the same double.
std::string ShortestReal(double value)
{
    char text[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}

std::string Describe(const CPdfElement& token)
{
    switch (token.kind()) {
    case PdfKind::Boolean:
        return token.boolean() ? "Boolean true" : "Boolean false";
    case PdfKind::Integer:
        return "Integer " + std::to_string(token.integer());
    case PdfKind::Real:
        return "Real " + ShortestReal(token.real());
    case PdfKind::String:
        return "String " + Escape(token.text());
    case PdfKind::Name:
        return "Name " + Escape(token.text());
    case PdfKind::Keyword:
        return "Keyword " + Escape(token.text());
    case PdfKind::Null:
        return "Null";
    case PdfKind::Invalid:
        return "Invalid";
    case PdfKind::EndOfData:
        return "EndOfData";
    default:
        return "unexpected kind " + std::to_string(static_cast<unsigned>(token.kind()));
    }
}

std::string Str(std::string_view bytes) { return "String " + Escape(bytes); }
std::string Nam(std::string_view bytes) { return "Name " + Escape(bytes); }
std::string Kw(std::string_view bytes) { return "Keyword " + Escape(bytes); }
std::string Int(int64_t value) { return "Integer " + std::to_string(value); }
std::string Real(const char* text) { return "Real " + ShortestReal(std::strtod(text, nullptr)); }
const std::string kTrue = "Boolean true";
const std::string kFalse = "Boolean false";
const std::string kNull = "Null";
const std::string kInvalid = "Invalid";
const std::string kEnd = "EndOfData";

CPdfLexer MakeLexer(std::string_view input)
{
    return CPdfLexer(CPdfRef<CPdfStream>::create<CPdfMemoryStream>(std::string(input)));
}

// Every token up to (not including) the first EndOfData; stops after a cap so a lexer
// that never reaches the end fails instead of hanging.
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
        EXPECT_EQ(kEnd, Describe(token));
        EXPECT_EQ(endPos, lexer.currentInput()->getPos());
    }
}

struct TokenRow {
    const char* name;
    std::string_view input;
    std::vector<std::string> tokens;
};

const std::vector<TokenRow> kStringRows = {
    {"nested parentheses", "(a(b)c)", {Str("a(b)c")}},
    {"escaped closing parenthesis", R"((a\)b))", {Str("a)b")}},
    {"escaped parentheses and backslash", R"((\(\\\)))", {Str("(\\)")}},
    {"unbalanced escaped open", R"((a\(b))", {Str("a(b")}},
    {"named escapes", R"((\n\r\t\b\f))", {Str("\n\r\t\b\f")}},
    {"three-digit octal", R"((\101\102))", {Str("AB")}},
    {"one-digit octal", R"((\7x))", {Str("\x07x")}},
    {"two-digit octal", R"((\12x))", {Str("\nx")}},
    {"octal takes at most three digits", R"((\1011))", {Str("A1")}},
    {"8 is not an octal digit", R"((\18))", {Str("\x01" "8")}},
    {"octal zero dropped", R"((x\0y))", {Str("xy")}},
    {"octal 000 dropped", R"((x\000y))", {Str("xy")}},
    {"octal 400 keeps low bits: zero ends the text", R"((a\400b))", {Str("a")}},
    {"octal 401", R"((\401))", {Str("\x01")}},
    {"octal 777", R"((\777))", {Str("\xff")}},
    {"octal at end of input", R"((\12)", {Str("\n")}},
    {"backslash LF continues the line", "(a\\\nb)", {Str("ab")}},
    {"backslash CR LF continues the line", "(a\\\r\nb)", {Str("ab")}},
    {"backslash CR continues the line", "(a\\\rb)", {Str("ab")}},
    {"backslash CR CR keeps the second CR", "(a\\\r\rb)", {Str("a\rb")}},
    {"backslash LF CR keeps the CR", "(a\\\n\rb)", {Str("a\rb")}},
    {"plain end of lines are kept", "(a\r\nb\rc\nd)", {Str("a\r\nb\rc\nd")}},
    {"unknown escape gives the byte", R"((\q\%\/))", {Str("q%/")}},
    {"escaped NUL dropped", "(a\\\0b)"sv, {Str("ab")}},
    {"raw NUL dropped", "(a\0b)"sv, {Str("ab")}},
    {"high bytes kept", "(\x80\xfe\xff)", {Str("\x80\xfe\xff")}},
    {"empty", "()", {Str("")}},
    {"unterminated", "(abc", {Str("abc")}},
    {"unterminated nested", "(a(b)c", {Str("a(b)c")}},
    {"backslash at end of input", "(ab\\", {Str("ab")}},
    {"open parenthesis alone", "(", {Str("")}},
    {"stray close after string", "(a))", {Str("a"), kInvalid}},
    {"token right after string", "(a)b", {Str("a"), Kw("b")}},
    {"percent inside string", "(a%b)", {Str("a%b")}},
    {"strings back to back", "(a)(b)", {Str("a"), Str("b")}},
};

const std::vector<TokenRow> kHexRows = {
    {"two bytes with space", "<41 42>", {Str("AB")}},
    {"odd digit padded", "<41 42 5>", {Str("ABP")}},
    {"junk counts as zero", "<5G>", {Str("P")}},
    {"empty", "<>", {Str("")}},
    {"single digit", "<4>", {Str("@")}},
    {"all whitespace kinds skipped", "<4 1\t4\r\n2\f>", {Str("AB")}},
    {"NUL is whitespace", "<41\0 42>"sv, {Str("AB")}},
    {"lower and upper case", "<6a6A>", {Str("jj")}},
    {"zero byte ends the text", "<4100 42>", {Str("A")}},
    {"leading zero byte empties the text", "<0041>", {Str("")}},
    {"junk only", "<zz>", {Str("")}},
    {"delimiters count as zero digits", "<(41)>", {Str("\x04\x10")}},
    {"percent is not a comment", "<%41>", {Str("\x04\x10")}},
    {"unterminated", "<4142", {Str("AB")}},
    {"unterminated odd", "<414", {Str("A@")}},
    {"lone open", "<", {Str("")}},
    {"close then lone greater-than", "<41>>", {Str("A"), kInvalid}},
};

const std::vector<TokenRow> kNameRows = {
    {"plain", "/Name", {Nam("Name")}},
    {"hex escape", "/A#42", {Nam("AB")}},
    {"lower-case hex escape", "/A#2f", {Nam("A/")}},
    {"hash before non-hex", "/A#G", {Nam("A#G")}},
    {"hash before hash", "/A##42", {Nam("A#B")}},
    {"one hex digit eats the space and the name goes on", "/A#5 B", {Nam("APB")}},
    {"one hex digit eats the slash and the name goes on", "/A#4/B", {Nam("A@B")}},
    {"one hex digit then a space at the end", "/A#5 ", {Nam("AP")}},
    {"one hex digit at end of input", "/A#5", {Nam("AP")}},
    {"hash at end of input", "/A#", {Nam("A#")}},
    {"hash before space", "/A# B", {Nam("A#"), Kw("B")}},
    {"escaped zero ends the text", "/#00AB", {Nam("")}},
    {"escaped high byte", "/#fF", {Nam("\xff")}},
    {"slash then space", "/ 1", {Nam(""), Int(1)}},
    {"slash at end of input", "/", {Nam("")}},
    {"slash then open parenthesis", "/(a)", {Nam(""), Str("a")}},
    {"slash then slash", "//A", {Nam(""), Nam("A")}},
    {"slash then greater-than", "/>", {Nam(""), kInvalid}},
    {"slash then bracket", "/]", {Nam(""), Kw("]")}},
    {"names back to back", "/A/B", {Nam("A"), Nam("B")}},
    {"comment ends a name", "/A%c\n/B", {Nam("A"), Nam("B")}},
    {"NUL ends a name", "/A\0B"sv, {Nam("A"), Kw("B")}},
    {"regular punctuation kept", "/a+b.c-1;", {Nam("a+b.c-1;")}},
    {"high bytes kept", "/\x80\xff", {Nam("\x80\xff")}},
};

const std::vector<TokenRow> kNumberRows = {
    {"integer", "12", {Int(12)}},
    {"negative integer", "-3", {Int(-3)}},
    {"leading zeros", "007", {Int(7)}},
    {"real", "1.5", {Real("1.5")}},
    {"negative real without integer part", "-.5", {Real("-0.5")}},
    {"real without integer part", ".5", {Real("0.5")}},
    {"real without fraction", "4.", {Real("4")}},
    {"second point stays in the text", "1.2.3", {Real("1.2")}},
    {"lone point", ".", {Real("0")}},
    {"minus point", "-.", {Real("0")}},
    {"lone minus", "-", {Int(0)}},
    {"double minus", "--5", {Int(0), Int(-5)}},
    {"minus inside a number starts the next", "1-2", {Int(1), Int(-2)}},
    {"minus after a real", "3.-4", {Real("3"), Int(-4)}},
    {"plus is a regular byte", "+5", {Kw("+5")}},
    {"plus point e", "+.e", {Kw("+.e")}},
    {"no exponents", "1e5", {Int(1), Kw("e5")}},
    {"letters after digits", "12abc", {Int(12), Kw("abc")}},
    {"largest 32-bit", "2147483647", {Int(2147483647)}},
    {"one past the largest saturates", "2147483648", {Int(2147483647)}},
    {"2^32 saturates instead of wrapping", "4294967296", {Int(2147483647)}},
    {"twenty digits saturate", "99999999999999999999", {Int(2147483647)}},
    {"smallest 32-bit", "-2147483648", {Int(-2147483648LL)}},
    {"one below the smallest saturates", "-2147483649", {Int(-2147483648LL)}},
    {"twenty negative digits saturate", "-99999999999999999999", {Int(-2147483648LL)}},
    {"long real", "123456789012345678901234567890.5", {Real("123456789012345678901234567890.5")}},
    {"reference", "1 0 R", {Int(1), Int(0), Kw("R")}},
};

const std::vector<TokenRow> kKeywordRows = {
    {"true", "true", {kTrue}},
    {"false", "false", {kFalse}},
    {"null", "null", {kNull}},
    {"capitalised True is a keyword", "True", {Kw("True")}},
    {"nulls is a keyword", "nulls", {Kw("nulls")}},
    {"truefalse is one keyword", "truefalse", {Kw("truefalse")}},
    {"true before a delimiter", "true)", {kTrue, kInvalid}},
    {"object keywords", "obj endobj stream endstream", {Kw("obj"), Kw("endobj"), Kw("stream"), Kw("endstream")}},
    {"vertical tab is regular", "a\x0b" "b", {Kw("a\x0b" "b")}},
    {"high bytes start a keyword", "\x80\xff", {Kw("\x80\xff")}},
    {"hash in a keyword is plain", "a#41", {Kw("a#41")}},
};

const std::vector<TokenRow> kDelimiterRows = {
    {"open brace", "{", {kInvalid}},
    {"close brace", "}", {kInvalid}},
    {"close parenthesis", ")", {kInvalid}},
    {"lone greater-than", ">", {kInvalid}},
    {"greater-than then space", "> >", {kInvalid, kInvalid}},
    {"double greater-than", ">>", {Kw(">>")}},
    {"triple greater-than", ">>>", {Kw(">>"), kInvalid}},
    {"double less-than", "<<", {Kw("<<")}},
    {"triple less-than", "<<<", {Kw("<<"), Str("")}},
    {"brackets", "[]", {Kw("["), Kw("]")}},
    {"braces", "{}", {kInvalid, kInvalid}},
    {"array", "[1 /A(b)]", {Kw("["), Int(1), Nam("A"), Str("b"), Kw("]")}},
    {"dictionary", "<</A 1>>", {Kw("<<"), Nam("A"), Int(1), Kw(">>")}},
};

const std::vector<TokenRow> kBlankRows = {
    {"empty input", "", {}},
    {"whitespace only", " \t\r\n\f\0"sv, {}},
    {"NUL separates", "a\0b"sv, {Kw("a"), Kw("b")}},
    {"comment before LF", "%comment\n7", {Int(7)}},
    {"comment before CR", "%comment\r7", {Int(7)}},
    {"comment before CR LF", "%c\r\n7", {Int(7)}},
    {"comment to end of input", "%comment", {}},
    {"lone percent", "%", {}},
    {"percent inside a comment", "%a%b\n1", {Int(1)}},
    {"comment right after a number", "1%c\n2", {Int(1), Int(2)}},
    {"parenthesis inside a comment", "% (no string\n(a)", {Str("a")}},
    {"comment holding NUL and high bytes", "%\0\xff\n1"sv, {Int(1)}},
};

const std::vector<TokenRow> kObjectRows = {
    {"indirect object",
     "4 0 obj\n<< /Kids [9 0 R] /Count 3 >>\nendobj\n",
     {Int(4), Int(0), Kw("obj"), Kw("<<"), Nam("Kids"), Kw("["), Int(9), Int(0), Kw("R"), Kw("]"), Nam("Count"),
      Int(3), Kw(">>"), Kw("endobj")}},
    {"xref table",
     "xref\r\n0 2\r\n0000000000 65535 f\r\n0000000017 00000 n\r\ntrailer\r\n<</Size 2>>",
     {Kw("xref"), Int(0), Int(2), Int(0), Int(65535), Kw("f"), Int(17), Int(0), Kw("n"), Kw("trailer"), Kw("<<"),
      Nam("Size"), Int(2), Kw(">>")}},
    {"stream header", "<</Length 5>>stream\r\nhello", {Kw("<<"), Nam("Length"), Int(5), Kw(">>"), Kw("stream"),
                                                      Kw("hello")}},
};

void RunTokenRows(const std::vector<TokenRow>& rows)
{
    for (const TokenRow& row : rows) {
        SCOPED_TRACE(row.name);
        CPdfLexer lexer = MakeLexer(row.input);
        EXPECT_EQ(row.tokens, LexAll(lexer, row.tokens.size() + 4));
        ExpectEndRepeats(lexer, static_cast<uint32_t>(row.input.size()));
    }
}

TEST(Lexer, LiteralStrings) { RunTokenRows(kStringRows); }
TEST(Lexer, HexStrings) { RunTokenRows(kHexRows); }
TEST(Lexer, Names) { RunTokenRows(kNameRows); }
TEST(Lexer, Numbers) { RunTokenRows(kNumberRows); }
TEST(Lexer, Keywords) { RunTokenRows(kKeywordRows); }
TEST(Lexer, Delimiters) { RunTokenRows(kDelimiterRows); }
TEST(Lexer, WhitespaceAndComments) { RunTokenRows(kBlankRows); }
TEST(Lexer, ObjectSyntax) { RunTokenRows(kObjectRows); }

// Where the input stands after the first token: the byte that ends a number, name or keyword
// is only peeked; a lone ">" leaves the next byte; a name's "#5" eats whatever follows.
struct PositionRow {
    const char* name;
    std::string_view input;
    std::string token;
    uint32_t position;
};

const std::vector<PositionRow> kPositionRows = {
    {"integer leaves the space", "12 ", Int(12), 2},
    {"integer leaves the letter", "12abc", Int(12), 2},
    {"real leaves the letter", "1.5x", Real("1.5"), 3},
    {"minus leaves the minus", "--5", Int(0), 1},
    {"name leaves the space", "/A B", Nam("A"), 2},
    {"name leaves the delimiter", "/A(", Nam("A"), 2},
    {"name hex escape with one digit consumes the space", "/A#5 (", Nam("AP"), 5},
    {"name hash before non-hex leaves that byte to the name", "/#G", Nam("#G"), 3},
    {"name hash before space leaves the space", "/# ", Nam("#"), 2},
    {"keyword leaves the delimiter", "true/", kTrue, 4},
    {"lone greater-than leaves the next byte", ">a", kInvalid, 1},
    {"double greater-than", ">>a", Kw(">>"), 2},
    {"double less-than", "<<a", Kw("<<"), 2},
    {"bracket", "[a", Kw("["), 1},
    {"literal string consumes its close", "(a) ", Str("a"), 3},
    {"octal escape stops after three digits", R"((\1234))", Str("S4"), 7},
    {"octal escape leaves the non-digit", R"((\19))", Str("\x01" "9"), 5},
    {"hex string consumes its close", "<41> ", Str("A"), 4},
    {"comment and its end of line are consumed", "%c\r\n1 ", Int(1), 5},
    {"whitespace before a token is consumed", " \r\n\t1", Int(1), 5},
};

TEST(Lexer, PositionAfterToken)
{
    for (const PositionRow& row : kPositionRows) {
        SCOPED_TRACE(row.name);
        CPdfLexer lexer = MakeLexer(row.input);
        CPdfElement token;
        lexer.nextToken(token);
        EXPECT_EQ(row.token, Describe(token));
        EXPECT_EQ(row.position, lexer.currentInput()->getPos());
    }
}

struct SkipLineRow {
    const char* name;
    std::string_view input;
    uint32_t position;
};

const std::vector<SkipLineRow> kSkipLineRows = {
    {"empty input", "", 0},
    {"no end of line", "abc", 3},
    {"LF", "abc\ndef", 4},
    {"CR LF", "abc\r\ndef", 5},
    {"CR alone", "abc\rdef", 4},
    {"CR CR takes one", "\r\rx", 1},
    {"CR CR LF takes one", "\r\r\n", 1},
    {"LF CR takes the LF", "\n\rx", 1},
    {"LF LF takes one", "\n\n", 1},
    {"CR at end of input", "ab\r", 3},
    {"NUL is not an end of line", "a\0b\nc"sv, 4},
    {"stream data starting with an end of line", "\r\n\r\ndata", 2},
};

TEST(Lexer, SkipLine)
{
    for (const SkipLineRow& row : kSkipLineRows) {
        SCOPED_TRACE(row.name);
        CPdfLexer lexer = MakeLexer(row.input);
        lexer.skipLine();
        EXPECT_EQ(row.position, lexer.currentInput()->getPos());
    }
}

// After "stream" the rest of the line goes, and the data starts on the next line.
TEST(Lexer, SkipLineAfterStreamKeyword)
{
    CPdfLexer lexer = MakeLexer("stream  \r\n(x)");
    CPdfElement token;
    lexer.nextToken(token);
    ASSERT_EQ(Kw("stream"), Describe(token));
    lexer.skipLine();
    EXPECT_EQ(10u, lexer.currentInput()->getPos());
    EXPECT_EQ('(', lexer.peekChar());
}

// Every byte value in the middle of a regular token: whitespace splits it, anything else
// that is not a delimiter (bytes 128 to 255 included) belongs to it.
TEST(Lexer, ByteClasses)
{
    const std::string whitespace("\0\t\n\f\r "sv);
    const std::string delimiters = "%()/<>[]{}";
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        if (delimiters.find(c) != std::string::npos)
            continue;
        SCOPED_TRACE(byte);
        const std::string input = std::string("x") + c + "y";
        CPdfLexer lexer = MakeLexer(input);
        std::vector<std::string> expected = {Kw(input)};
        if (whitespace.find(c) != std::string::npos)
            expected = {Kw("x"), Kw("y")};
        EXPECT_EQ(expected, LexAll(lexer, 4));
        EXPECT_EQ(byte == 0 || whitespace.find(c) != std::string::npos, CPdfLexer::isWhitespace(byte));
        EXPECT_TRUE(CPdfLexer::isRegular(byte) != CPdfLexer::isWhitespace(byte));
    }
    for (char c : delimiters) {
        EXPECT_TRUE(CPdfLexer::isDelimiter(static_cast<unsigned char>(c)));
        EXPECT_FALSE(CPdfLexer::isRegular(static_cast<unsigned char>(c)));
    }
    EXPECT_FALSE(CPdfLexer::isRegular(-1));
    EXPECT_FALSE(CPdfLexer::isWhitespace(-1));
}

// Tokens far longer than any buffer come back whole.
TEST(Lexer, OverlongTokens)
{
    constexpr size_t kSize = 100 * 1024;
    const std::string run(kSize, 'a');
    struct Row {
        const char* name;
        std::string input;
        std::string token;
    };
    const std::vector<Row> rows = {
        {"name", "/" + run + " ", Nam(run)},
        {"keyword", run + " ", Kw(run)},
        {"literal string", "(" + run + ")", Str(run)},
        {"unterminated literal string", "(" + run, Str(run)},
        {"nested parentheses", std::string(kSize, '(') + std::string(kSize, ')'),
         Str(std::string(kSize - 1, '(') + std::string(kSize - 1, ')'))},
        {"hex string", "<" + std::string(2 * kSize, 'a') + ">", Str(std::string(kSize, '\xaa'))},
        {"integer", std::string(kSize, '9'), Int(2147483647)},
        {"real", "0." + std::string(kSize, '5'), Real("0.5555555555555555555555")},
        {"after a long comment", "%" + run + "\n7", Int(7)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CPdfLexer lexer = MakeLexer(row.input);
        EXPECT_EQ(std::vector<std::string>{row.token}, LexAll(lexer, 2));
    }
}

// Inputs cut at every byte: the lexer always ends with EndOfData, having read exactly the
// bytes it was given, and never yields more tokens than bytes.
TEST(Lexer, TruncatedAtEveryByte)
{
    const std::vector<std::string_view> inputs = {
        R"((a(b\)c\101\12\0\q\)x))",
        "(a\\\r\nb\\\rc\\\nd)",
        "<41 4g 5>",
        "/Na#4d#e/x#",
        "-12.5 .5 -. 2147483648",
        "%comment\r\n true false null Trueish",
        "<< /A [1 0 R] >> {}",
        "4 0 obj\r\n<</Length 3>>stream\r\nabc\r\nendstream\r\nendobj",
    };
    for (std::string_view input : inputs) {
        for (size_t cut = 0; cut <= input.size(); ++cut) {
            const std::string_view prefix = input.substr(0, cut);
            SCOPED_TRACE(std::string(prefix));
            CPdfLexer lexer = MakeLexer(prefix);
            std::vector<std::string> tokens = LexAll(lexer, prefix.size() + 1);
            ASSERT_LE(tokens.size(), prefix.size());
            ExpectEndRepeats(lexer, static_cast<uint32_t>(prefix.size()));
        }
    }
}

// A token is read into a cleared element: a container it held is released.
TEST(Lexer, NextTokenReleasesWhatTheElementHeld)
{
    int destroyed = 0;
    CPdfElement out;
    {
        CPdfRef<CPdfStream> sentinel = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
        out.newDictionary(nullptr).set("S", [&] {
            CPdfElement value;
            value.setStream(sentinel.get());
            return value;
        }());
    }
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
