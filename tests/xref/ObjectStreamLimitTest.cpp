// How far an object stream may decode: 100 bytes per compressed byte, never less than 8 MiB.
// Past that a file is damaged, through the parsed form (fetch) and the text form (the engine's
// copy) alike; below it, the members come out whole.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "tests/support/PdfBuilder.h"
#include "xref/XRef.h"

namespace {

// Member 4 of object stream 5 is a string of `filler` letters; isSpread draws them at random
// so that the data compresses less than twofold, otherwise they are all the same.
std::string FileWithMember(size_t filler, bool isSpread)
{
    std::mt19937 random(7);
    std::string text(filler + 2, 'a');
    for (size_t i = 1; isSpread && i <= filler; ++i)
        text[i] = static_cast<char>('a' + random() % 26);
    text.front() = '(';
    text.back() = ')';
    CTestPdf pdf("1.5");
    pdf.AddObjectStream(5, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                            {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>"},
                            {4, text}});
    return pdf.XRefStream(6, CTestXRefStreamOptions(), "/Root 1 0 R");
}

// "" when member 4 came out whole both ways, else the message.
std::string FetchMember(const std::string& path, size_t filler)
{
    try {
        CPdfDocument document;
        document.open(path);
        CPdfElement member;
        document.xref()->fetch(4, 0, member);
        uint32_t length = 0;
        const unsigned char* text = document.xref()->getObjectText(4, 0, length);
        if (!member.is(PdfKind::String) || !text || length < filler)
            return "member cut short";
        return "";
    } catch (const CPdfException& error) {
        return error.what();
    }
}

TEST(ObjectStreamLimit, DecodingPastTheLimitIsDamage)
{
    const struct {
        const char* name;
        size_t filler;
        bool isSpread;
        const char* expected;
    } rows[] = {
        {"7 MiB of one letter: under the floor", 7u << 20, false, ""},
        {"9 MiB of one letter: past the floor at a thousand to one", 9u << 20, false, "PDF file was damaged"},
        {"9 MiB of random letters: past the floor but under a hundred to one", 9u << 20, true, ""},
    };
    CTestDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.Write("objstm.pdf", FileWithMember(row.filler, row.isSpread));
        EXPECT_EQ(FetchMember(path, row.filler), row.expected);
    }
}

} // namespace
