// Parser rows: bytes in, objects out (with the token that follows each object), or the exact
// message of the failure.
#include "pdf/Parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/Exception.h"
#include "streams/MemoryStream.h"
#include "tests/support/TestStreams.h"

namespace {

// A compact rendering of an element, so a row can state a whole object tree as text.
std::string Show(const CPdfElement& e)
{
    switch (e.kind()) {
    case PdfKind::Boolean: return e.boolean() ? "true" : "false";
    case PdfKind::Integer: return std::to_string(e.integer());
    case PdfKind::Real: return "real:" + std::to_string(e.real());
    case PdfKind::String: return "(" + e.text() + ")";
    case PdfKind::Name: return "/" + e.text();
    case PdfKind::Null: return "null";
    case PdfKind::Reference: return std::to_string(e.refNumber()) + "R" + std::to_string(e.refGeneration());
    case PdfKind::Keyword: return "kw:" + e.text();
    case PdfKind::Invalid: return "invalid";
    case PdfKind::EndOfData: return "eod";
    case PdfKind::Empty: return "empty";
    case PdfKind::Stream: {
        std::string data;
        for (int c = e.stream()->getChar(); c >= 0; c = e.stream()->getChar())
            data.push_back(static_cast<char>(c));
        return "stream:" + data;
    }
    case PdfKind::Array: {
        std::string s = "[";
        for (size_t i = 0; i < e.array()->size(); ++i)
            s += (i ? " " : "") + Show(e.array()->at(i));
        return s + "]";
    }
    case PdfKind::Dictionary: {
        std::string s = "<<";
        for (const auto& [key, value] : e.dictionary()->entries())
            s += " /" + key + " " + Show(value);
        return s + " >>";
    }
    }
    return "?";
}

std::string Repeat(const std::string& text, size_t count)
{
    std::string repeated;
    for (size_t i = 0; i < count; ++i)
        repeated += text;
    return repeated;
}

struct ParserRow {
    std::string input;
    std::vector<std::string> objects; // successive parseObject results
    std::string message{};            // the failure after them, if any
};

const std::vector<ParserRow> kRows = {
    // Any two integers before R form a reference; a real does not.
    {"[5 0 R 7]", {"[5R0 7]", "eod"}},
    {"1 0 obj", {"1", "0", "kw:obj", "eod"}},
    {"-1 0 R", {"-1R0"}},
    {"1.0 0 R", {"real:1.000000", "0", "kw:R"}},
    // Dictionaries: stray values and a key before a stray delimiter dropped, the first value wins,
    // a close in value position is kept; stray closes and unterminated containers end cleanly.
    {"<< /A 1 /B [2 3] >>", {"<< /A 1 /B [2 3] >>", "eod"}},
    {"<< /A 1 2 /B 3 >>", {"<< /A 1 /B 3 >>"}},
    {"<< /A ) /B 1 >>", {"<< /B 1 >>"}},
    {"<< /A 1 /A 2 >>", {"<< /A 1 >>"}},
    {"<< /C 1 /B 2 /C 3 /A 4 /B 5 >>", {"<< /A 4 /B 2 /C 1 >>"}},
    {"<< /A >> /B 1 >>", {"<< /A kw:>> /B 1 >>"}},
    {"] >>", {"kw:]", "kw:>>", "eod"}},
    {"[1 [2", {"[1 [2]]", "eod"}},
    {"<< /A [1", {"<< /A [1] >>", "eod"}},
    // Streams take exactly /Length bytes, which must be a direct non-negative integer.
    {"<< /Length 5 >> stream\nabcde\nendstream 9", {"stream:abcde", "9"}},
    {"<< /Length 5 >> stream\r\nabcde\r\nendstream 9", {"stream:abcde", "9"}},
    {"<< /Length 0 >> stream\n\nendstream 9 tail", {"stream:", "9"}},
    {"<< >> stream\nabcde\nendstream", {"invalid"}},
    {"<< /Length 5.0 >> stream\nabcde\nendstream", {"invalid"}},
    {"<< /Length -3 >> stream\nabcde\nendstream", {"invalid"}},
    {"<< /Length 4 0 R >> stream\nabcde\nendstream", {"invalid"}},
    // A wrong /Length, a filter not supported (refused when its data is read), nesting too deep.
    {"<< /Length 4 >> stream\nabcde\nendstream", {}, "Missing 'endstream'"},
    {"<< /Length 7 >> stream\nabcde\nendstream", {}, "Missing 'endstream'"},
    {"<< /Length 2000000000 >> stream\nabcde\nendstream", {}, "Missing 'endstream'"},
    {"<< /Length 5 /Filter /DCTDecode >> stream\nabcde\nendstream", {}, "Stream filter not supported"},
    {Repeat("[", 100000) + Repeat("]", 100000), {}, "PDF file was damaged"},
    {Repeat("<< /A ", 100000), {}, "PDF file was damaged"},
};

void ExpectRow(const ParserRow& row, CPdfRef<CPdfStream> input, size_t step)
{
    SCOPED_TRACE(row.input.substr(0, 60) + " step " + std::to_string(step));
    CPdfParser parser(nullptr, std::move(input));
    std::vector<std::string> objects;
    std::string message;
    try {
        while (objects.size() < row.objects.size() + (row.message.empty() ? 0 : 1)) {
            CPdfElement out;
            parser.parseObject(out);
            objects.push_back(Show(out));
        }
    } catch (const CPdfException& e) {
        message = e.what();
    }
    EXPECT_EQ(row.objects, objects);
    EXPECT_EQ(row.message, message);
}

// The input lent whole, or copied out a few bytes at a time: stream data is found where it
// starts however far the lexer has read ahead.
TEST(Parser, Objects)
{
    for (const size_t step : {0, 1, 7}) {
        for (const ParserRow& row : kRows)
            ExpectRow(row,
                      step == 0 ? CPdfRef<CPdfStream>::create<CPdfMemoryStream>(row.input)
                                : CPdfRef<CPdfStream>::create<CTrickleStream>(row.input, step),
                      step);
    }
}

} // namespace
