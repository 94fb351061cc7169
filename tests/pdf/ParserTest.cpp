// Parser rows: bytes in, objects out, with the token that follows each object.
#include "pdf/Parser.h"

#include <gtest/gtest.h>

#include "pdf/Exception.h"
#include "streams/MemoryStream.h"

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

CPdfParser MakeParser(const std::string& bytes)
{
    return CPdfParser(nullptr, CPdfRef<CPdfStream>::create<CPdfMemoryStream>(bytes));
}

struct ParserRow {
    const char* name;
    std::string input;
    std::vector<std::string> objects; // successive parseObject results
};

class ParserRows : public ::testing::TestWithParam<ParserRow> {};

TEST_P(ParserRows, ParsesObjectsInOrder)
{
    const ParserRow& row = GetParam();
    CPdfParser parser = MakeParser(row.input);
    for (const std::string& expected : row.objects) {
        CPdfElement out;
        parser.parseObject(out);
        EXPECT_EQ(expected, Show(out));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Objects, ParserRows,
    ::testing::Values(
        ParserRow{"ArrayOfReferenceAndInteger", "[5 0 R 7]", {"[5R0 7]", "eod"}},
        ParserRow{"ObjectHeaderIsThreeTokens", "1 0 obj", {"1", "0", "kw:obj", "eod"}},
        ParserRow{"AnyTwoIntegersFormAReference", "-1 0 R", {"-1R0"}},
        ParserRow{"RealDoesNotStartAReference", "1.0 0 R", {"real:1.000000", "0", "kw:R"}},
        ParserRow{"NestedDictionary", "<< /A 1 /B [2 3] >>", {"<< /A 1 /B [2 3] >>", "eod"}},
        ParserRow{"StrayValueSkipped", "<< /A 1 2 /B 3 >>", {"<< /A 1 /B 3 >>"}},
        ParserRow{"KeyBeforeStrayDelimiterDropped", "<< /A ) /B 1 >>", {"<< /B 1 >>"}},
        ParserRow{"FirstValueWins", "<< /A 1 /A 2 >>", {"<< /A 1 >>"}},
        ParserRow{"CloseAsValue", "<< /A >> /B 1 >>", {"<< /A kw:>> /B 1 >>"}},
        ParserRow{"StrayCloseIsKeyword", "] >>", {"kw:]", "kw:>>", "eod"}},
        ParserRow{"UnterminatedArrayEndsAtEnd", "[1 [2", {"[1 [2]]", "eod"}},
        ParserRow{"UnterminatedDictionaryEndsAtEnd", "<< /A [1", {"<< /A [1] >>", "eod"}},
        ParserRow{"StreamWithLength", "<< /Length 5 >> stream\nabcde\nendstream 9",
                  {"stream:abcde", "9"}},
        ParserRow{"StreamWithCrLf", "<< /Length 5 >> stream\r\nabcde\r\nendstream 9", {"stream:abcde", "9"}},
        ParserRow{"EmptyStreamHasNoData", "<< /Length 0 >> stream\n\nendstream 9 tail", {"stream:", "9"}},
        ParserRow{"StreamWithoutLengthIsInvalid", "<< >> stream\nabcde\nendstream", {"invalid"}},
        ParserRow{"RealLengthIsInvalid", "<< /Length 5.0 >> stream\nabcde\nendstream", {"invalid"}},
        ParserRow{"NegativeLengthIsInvalid", "<< /Length -3 >> stream\nabcde\nendstream", {"invalid"}},
        ParserRow{"IndirectLengthWithoutXRefIsInvalid", "<< /Length 4 0 R >> stream\nabcde\nendstream",
                  {"invalid"}}));

struct FailureRow {
    const char* name;
    std::string input;
    const char* message;
};

class ParserFailures : public ::testing::TestWithParam<FailureRow> {};

TEST_P(ParserFailures, Throw)
{
    CPdfParser parser = MakeParser(GetParam().input);
    CPdfElement out;
    try {
        parser.parseObject(out);
        Show(out); // an unsupported filter refuses when its data is read
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(GetParam().message, e.what());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ParserFailures,
    ::testing::Values(
        FailureRow{"LengthShort", "<< /Length 4 >> stream\nabcde\nendstream", "Missing 'endstream'"},
        FailureRow{"LengthLong", "<< /Length 7 >> stream\nabcde\nendstream", "Missing 'endstream'"},
        FailureRow{"LengthPastEnd", "<< /Length 2000000000 >> stream\nabcde\nendstream", "Missing 'endstream'"},
        FailureRow{"UnknownFilter", "<< /Length 5 /Filter /LZWDecode >> stream\nabcde\nendstream",
                   "Stream filter not supported"},
        FailureRow{"ArraysTooDeep", std::string(100000, '[') + std::string(100000, ']'), "PDF file was damaged"},
        FailureRow{"DictionariesTooDeep", [] {
                       std::string s;
                       for (int i = 0; i < 100000; ++i)
                           s += "<< /A ";
                       return s;
                   }(),
                   "PDF file was damaged"}));

} // namespace
