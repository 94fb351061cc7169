// Cross-reference reading on hand-made files: every section form, and hostile files that must
// end in a clear exception with the right exit status.
#include "xref/XRef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "tests/support/PdfBuilder.h"

namespace {

const char* kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const char* kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const char* kPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";

// Opens bytes as a document; returns "" or the exception's message with the exit status.
std::string OpenOutcome(const std::string& bytes, CPdfDocument& document)
{
    static CTestDir dir;
    static int counter = 0;
    std::string path = dir.Write("in" + std::to_string(counter++) + ".pdf", bytes);
    g_exitCode = 0;
    try {
        document.open(path);
        return "";
    } catch (const CPdfException& e) {
        std::string outcome = std::string(e.what()) + " (" + std::to_string(g_exitCode) + ")";
        g_exitCode = 0;
        return outcome;
    }
}

std::string Fetched(CPdfXRef& xref, int32_t number, int32_t generation = 0)
{
    CPdfElement out;
    xref.fetch(number, generation, out);
    if (out.is(PdfKind::Integer))
        return std::to_string(out.integer());
    if (out.is(PdfKind::String) || out.is(PdfKind::Name))
        return out.text();
    if (CPdfDictionary* d = out.dictionary()) {
        const CPdfElement* type = d->find("Type");
        return type ? "dict " + type->text() : "dict";
    }
    return out.is(PdfKind::Null) ? "null" : "other";
}

CTestPdf OnePage()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, kCatalog);
    pdf.Add(2, kPages);
    pdf.Add(3, kPage);
    return pdf;
}

TEST(XRef, ClassicTableWithSubsectionsFreeEntriesAndGenerations)
{
    CTestPdf pdf = OnePage();
    pdf.AddFree(4, 1);
    pdf.Add(5, "(five)", 3);
    pdf.Add(9, "(nine)");
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(pdf.ClassicXRef("/Root 1 0 R /Info 9 0 R"), document));
    CPdfXRef& xref = *document.xref();
    EXPECT_EQ(10u, xref.getEntries().size());
    EXPECT_EQ(0u, xref.getEntries()[4].type);
    EXPECT_EQ(0u, xref.getEntries()[7].type); // never listed
    EXPECT_EQ("five", Fetched(xref, 5, 3));
    EXPECT_EQ("null", Fetched(xref, 5, 0)); // wrong generation
    EXPECT_EQ("nine", Fetched(xref, 9));
    EXPECT_EQ("null", Fetched(xref, 10));
    EXPECT_EQ("null", Fetched(xref, -1));
    EXPECT_EQ(1, xref.m_rootNumber);
    EXPECT_EQ(9, xref.m_infoNumber);
}

TEST(XRef, EntriesOnOneLineReadLikeEntriesPerLine)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, kCatalog);
    pdf.Add(2, kPages);
    std::string body = pdf.Bytes();
    uint32_t xrefAt = pdf.Tell();
    char table[200];
    std::snprintf(table, sizeof table, "xref 0 3 0000000000 65535 f %010u 00000 n %010u 00000 n trailer << /Root 1 0 R /Size 3 >>\nstartxref\n%u\n%%%%EOF\n",
                  pdf.Offset(1), pdf.Offset(2), xrefAt);
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(body + table, document));
    EXPECT_EQ("dict Pages", Fetched(*document.xref(), 2));
}

TEST(XRef, StreamWithZeroWidthsAndSeveralIndexRanges)
{
    CTestPdf pdf = OnePage();
    pdf.Add(20, "(twenty)");
    CTestXRefStreamOptions options;
    options.widths[0] = 0; // every entry is type 1
    options.widths[2] = 0;
    options.index = std::vector<std::pair<uint32_t, uint32_t>>{{1, 3}, {20, 2}};
    options.compress = true;
    options.pngUp = true;
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(pdf.XRefStream(21, options, "/Root 1 0 R"), document));
    CPdfXRef& xref = *document.xref();
    EXPECT_EQ("twenty", Fetched(xref, 20));
    EXPECT_EQ("dict Page", Fetched(xref, 3));
    EXPECT_EQ("other", Fetched(xref, 21)); // the cross-reference stream itself
}

TEST(XRef, ObjectStreamMembersFetchedParsedAndAsText)
{
    CTestPdf pdf("1.5");
    pdf.AddObjectStream(10, {{1, kCatalog}, {2, kPages}, {3, kPage}, {4, "(last)"}});
    CTestXRefStreamOptions options;
    options.compress = true;
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(pdf.XRefStream(11, options, "/Root 1 0 R"), document));
    CPdfXRef& xref = *document.xref();
    EXPECT_EQ("dict Catalog", Fetched(xref, 1));
    EXPECT_EQ("last", Fetched(xref, 4));
    uint32_t length = 0;
    const unsigned char* text = xref.getObjectText(2, 0, length);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::string(kPages), std::string(reinterpret_cast<const char*>(text), length).substr(0, std::strlen(kPages)));
    text = xref.getObjectText(4, 0, length);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ("(last)", std::string(reinterpret_cast<const char*>(text), length).substr(0, 6));
    EXPECT_EQ(nullptr, xref.getObjectText(4, 1, length));
    EXPECT_THROW(xref.getObjectText(12, 0, length), CPdfException);
}

TEST(XRef, HybridFileFindsObjectsOnlyInTheStream)
{
    CTestPdf pdf = OnePage();
    pdf.AddObjectStream(7, {{8, "(only in stream)"}});
    CTestXRefStreamOptions options;
    options.index = std::vector<std::pair<uint32_t, uint32_t>>{{7, 3}};
    std::string withStream = pdf.XRefStream(9, options, "/Root 1 0 R");
    uint32_t streamAt = pdf.Offset(9);
    CTestPdf classic = OnePage();
    std::string bytes = classic.ClassicXRef("/Root 1 0 R /Size 10 /XRefStm " + std::to_string(streamAt));
    // The classic file's body must hold the stream objects at the same positions: build the
    // hybrid from the stream file's body and a classic table appended after it.
    std::string body = withStream.substr(0, withStream.rfind("startxref"));
    uint32_t tableAt = static_cast<uint32_t>(body.size());
    char table[400];
    std::snprintf(table, sizeof table,
                  "xref\n0 4\n0000000000 65535 f \n%010u 00000 n \n%010u 00000 n \n%010u 00000 n \n"
                  "trailer\n<< /Root 1 0 R /Size 10 /XRefStm %u >>\nstartxref\n%u\n%%%%EOF\n",
                  pdf.Offset(1), pdf.Offset(2), pdf.Offset(3), streamAt, tableAt);
    (void)bytes;
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(body + table, document));
    EXPECT_EQ("only in stream", Fetched(*document.xref(), 8));
    EXPECT_EQ("dict Page", Fetched(*document.xref(), 3));
}

TEST(XRef, ThreeUpdatesAlongPrevNewestWins)
{
    CTestPdf pdf = OnePage();
    pdf.Add(4, "(v1)");
    pdf.ClassicXRef("/Root 1 0 R");
    pdf.Add(4, "(v2)");
    pdf.Add(5, "(added)");
    pdf.ClassicXRef("/Root 1 0 R");
    pdf.Add(4, "(v3)");
    CTestXRefStreamOptions options;
    pdf.XRefStream(6, options, "/Root 1 0 R");
    pdf.Add(4, "(v4)");
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(pdf.ClassicXRef("/Root 1 0 R /Info 5 0 R"), document));
    EXPECT_EQ("v4", Fetched(*document.xref(), 4));
    EXPECT_EQ("added", Fetched(*document.xref(), 5));
    EXPECT_EQ(5, document.xref()->m_infoNumber);
}

TEST(XRef, HeaderAfterJunkShiftsEveryOffset)
{
    CTestPdf pdf = OnePage();
    pdf.SetJunkBeforeHeader("0123456789");
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(pdf.ClassicXRef("/Root 1 0 R"), document));
    EXPECT_EQ(10u, document.headerOffset());
    EXPECT_EQ("dict Pages", Fetched(*document.xref(), 2));
}

TEST(XRef, SmallFileOpens)
{
    CTestPdf pdf = OnePage();
    std::string bytes = pdf.ClassicXRef("/Root 1 0 R");
    ASSERT_LT(bytes.size(), 1023u);
    CPdfDocument document;
    EXPECT_EQ("", OpenOutcome(bytes, document));
}

TEST(XRef, LaterStartxrefWins)
{
    CTestPdf pdf = OnePage();
    std::string bytes = pdf.ClassicXRef("/Root 1 0 R");
    CPdfDocument document;
    EXPECT_EQ("", OpenOutcome("startxref\n1\n" + bytes, document));
}

struct RefusalRow {
    const char* name;
    std::function<std::string()> bytes;
    const char* outcome;
};

std::string ClassicWith(const std::string& trailer)
{
    return OnePage().ClassicXRef(trailer);
}

std::string StreamWith(const std::string& extras, uint32_t w1 = 4)
{
    CTestPdf pdf = OnePage();
    CTestXRefStreamOptions options;
    options.widths[1] = w1;
    return pdf.XRefStream(4, options, extras);
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

class XRefRefusals : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(XRefRefusals, EndWithMessageAndStatus)
{
    CPdfDocument document;
    EXPECT_EQ(GetParam().outcome, OpenOutcome(GetParam().bytes(), document));
    EXPECT_FALSE(document.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, XRefRefusals,
    ::testing::Values(
        RefusalRow{"EmptyFile", [] { return std::string(); }, "PDF file was damaged (-4)"},
        RefusalRow{"OneByte", [] { return std::string("%"); }, "PDF file was damaged (-4)"},
        RefusalRow{"NoStartxref", [] { return ReplaceAll(ClassicWith("/Root 1 0 R"), "startxref", "startxrex"); },
                   "PDF file was damaged (-4)"},
        RefusalRow{"StartxrefZero",
                   [] {
                       std::string b = ClassicWith("/Root 1 0 R");
                       return b.substr(0, b.rfind("startxref")) + "startxref\n0\n%%EOF\n";
                   },
                   "PDF file was damaged (-4)"},
        RefusalRow{"StartxrefAtJunk",
                   [] {
                       std::string b = ClassicWith("/Root 1 0 R");
                       return b.substr(0, b.rfind("startxref")) + "startxref\n3\n%%EOF\n";
                   },
                   "Couldn't parse an xref (0)"},
        RefusalRow{"RootMissing", [] { return ClassicWith("/Info 1 0 R"); }, "PDF file was damaged (-4)"},
        RefusalRow{"RootDirect", [] { return ClassicWith("/Root << >>"); }, "PDF file was damaged (-4)"},
        RefusalRow{"EncryptReference", [] { return ClassicWith("/Root 1 0 R /Encrypt 3 0 R"); },
                   "PDF file is encrypted (-3)"},
        RefusalRow{"EncryptDirect", [] { return ClassicWith("/Root 1 0 R /Encrypt << /Filter /Standard >>"); },
                   "PDF file is encrypted (-3)"},
        RefusalRow{"PrevLoopsToItself",
                   [] {
                       std::string b = ClassicWith("/Root 1 0 R /Prev 999999");
                       std::string at = b.substr(b.rfind("startxref") + 10);
                       return ReplaceAll(b, "/Prev 999999", "/Prev " + std::to_string(std::stoul(at)));
                   },
                   "PDF file was damaged (-4)"},
        RefusalRow{"TrailerNotDictionary", [] { return ReplaceAll(ClassicWith("/Root 1 0 R"), "trailer\n<<", "trailer\n[ <<"); },
                   "Trailer dictionary is wrong type (0)"},
        RefusalRow{"TableEntryBroken", [] { return ReplaceAll(ClassicWith("/Root 1 0 R"), " 00000 n", " 00000 x"); },
                   "Couldn't parse an xref table (0)"},
        RefusalRow{"StreamSizeWrongType", [] { return StreamWith("/Root 1 0 R /Size /Five"); },
                   "Size of xref Stream is wrong type (0)"},
        RefusalRow{"StreamSizeHuge", [] { return StreamWith("/Root 1 0 R /Size 2147483647"); },
                   "PDF file was damaged (-4)"},
        RefusalRow{"StreamSizeNegative", [] { return StreamWith("/Root 1 0 R /Size -5"); },
                   "PDF file was damaged (-4)"},
        RefusalRow{"StreamWNotArray", [] { return ReplaceAll(StreamWith("/Root 1 0 R"), "/W [", "/W 5 /X ["); },
                   "W item of xref Stream is wrong type (0)"},
        RefusalRow{"StreamWTooShort", [] { return ReplaceAll(StreamWith("/Root 1 0 R"), "/W [1 4 2]", "/W [1 4]"); },
                   "W item of xref Stream is wrong length (0)"},
        RefusalRow{"StreamWNotIntegers", [] { return ReplaceAll(StreamWith("/Root 1 0 R"), "/W [1 4 2]", "/W [1 /A 2]"); },
                   "W item of xref Stream is wrong type (0)"},
        RefusalRow{"StreamWNineBytes", [] { return ReplaceAll(StreamWith("/Root 1 0 R"), "/W [1 4 2]", "/W [1 9 2]"); },
                   "PDF file was damaged (-4)"},
        RefusalRow{"StreamIndexNotIntegers", [] { return StreamWith("/Root 1 0 R /Index [0 /A]"); },
                   "Index item of xref Stream is wrong type (0)"},
        RefusalRow{"StreamIndexCountHuge", [] { return StreamWith("/Root 1 0 R /Index [0 2000000000]"); },
                   "PDF file was damaged (-4)"},
        RefusalRow{"StreamDataShort", [] { return StreamWith("/Root 1 0 R /Index [0 6]"); },
                   "Unexpected EOF while reading xref stream section (0)"},
        RefusalRow{"StreamLengthIndirect", [] { return ReplaceAll(StreamWith("/Root 1 0 R"), "/Length ", "/Length 3 0 R /L "); },
                   "Couldn't parse an xref stream (0)"}));

TEST(XRef, EntryTypeThreeRefused)
{
    CTestPdf pdf = OnePage();
    CTestXRefStreamOptions options;
    std::string bytes = pdf.XRefStream(4, options, "/Root 1 0 R");
    // The entry of object 1 starts with its type byte: make it 3.
    size_t data = bytes.find("stream\n", bytes.find("/Type /XRef")) + 7;
    bytes[data + 7] = 3;
    CPdfDocument document;
    EXPECT_EQ("Wrong type of xref entry while reading xref stream section (0)", OpenOutcome(bytes, document));
}

TEST(XRef, LengthThatLeadsBackIntoItsObjectIsDamage)
{
    CTestPdf pdf = OnePage();
    pdf.Add(5, "<< /Length 5 0 R >>\nstream\nabc\nendstream");
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(pdf.ClassicXRef("/Root 1 0 R"), document));
    CPdfElement out;
    EXPECT_THROW(document.xref()->fetch(5, 0, out), CPdfException);
    EXPECT_EQ(-4, g_exitCode);
    g_exitCode = 0;
}

TEST(XRef, ObjectStreamsThatLie)
{
    struct Row {
        const char* name;
        const char* from; // same-length edits of the object stream's dictionary or table
        const char* to;
        const char* outcome; // of fetching object 1
    };
    const Row rows[] = {
        {"NMoreThanFirstHolds", "/N 3", "/N 9", "damaged"},
        {"FirstMissing", "/First", "/Firsx", "null"},
        {"NZero", "/N 3", "/N 0", "null"},
        {"NegativeN", "/N 3 ", "/N -3", "damaged"},
        {"HoldsItself", "1 0 2 ", "10 0 2", "damaged"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CTestPdf pdf("1.5");
        pdf.AddObjectStream(10, {{1, kCatalog}, {2, kPages}, {3, kPage}}, false);
        CTestXRefStreamOptions options;
        CPdfDocument document;
        std::string bytes = ReplaceAll(pdf.XRefStream(11, options, "/Root 1 0 R"), row.from, row.to);
        ASSERT_EQ("", OpenOutcome(bytes, document));
        CPdfElement out;
        std::string outcome;
        try {
            document.xref()->fetch(1, 0, out);
            outcome = out.is(PdfKind::Null) ? "null" : "object";
        } catch (const CPdfException&) {
            outcome = "damaged";
        }
        g_exitCode = 0;
        EXPECT_EQ(row.outcome, outcome);
    }
}

} // namespace

namespace {

// Offsets are 32-bit: a file of 2 GiB or more is refused before anything is read from it.
TEST(Document, InputOf2GiBRefused)
{
    CTestDir dir;
    std::string path = dir.Write("big.pdf", OnePage().ClassicXRef("/Root 1 0 R"));
    std::error_code error;
    std::filesystem::resize_file(path, uint64_t(1) << 31, error); // sparse: costs no disk
    if (error)
        GTEST_SKIP() << "cannot make a sparse file here";
    CPdfDocument document;
    try {
        document.open(path);
        FAIL() << "opened";
    } catch (const CPdfException& e) {
        EXPECT_EQ("File too large (2 GiB or more): '" + path + "'", e.what());
    }
    EXPECT_FALSE(document.isOpen());
}

TEST(Document, MissingFileNamesPathAndErrno)
{
    CPdfDocument document;
    try {
        document.open("/nonexistent/x.pdf");
        FAIL() << "opened";
    } catch (const CPdfException& e) {
        EXPECT_STREQ("Can't open file: '/nonexistent/x.pdf', err no: 2", e.what());
    }
}

} // namespace
