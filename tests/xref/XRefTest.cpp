// Cross-reference reading on hand-made files: every section form, and hostile files that must
// end in a clear exception with the right exit status.
#include "xref/XRef.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/RunProgram.h"
#include "xref/ObjectStream.h"

namespace {

const char* kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const char* kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const char* kPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";

// The exception's message with the exit status it carries.
std::string Failure(const CPdfException& e)
{
    return std::string(e.what()) + " (" + std::to_string(e.status()) + ")";
}

// Opens bytes as a document: "", or the failure (after which the document is not open).
std::string OpenOutcome(const std::string& bytes, CPdfDocument& document)
{
    static CTestDir dir;
    static int counter = 0;
    try {
        document.open(dir.Write("in" + std::to_string(counter++) + ".pdf", bytes));
        return "";
    } catch (const CPdfException& e) {
        EXPECT_FALSE(document.isOpen());
        return Failure(e);
    }
}

// What fetching an object gives, in short: its integer or text, "dict <Type>", "stream of <data
// length>", "null", "other", or the failure.
std::string Fetched(CPdfXRef& xref, int32_t number, int32_t generation)
{
    CPdfElement out;
    try {
        xref.fetch(number, generation, out);
    } catch (const CPdfException& e) {
        return Failure(e);
    }
    if (out.is(PdfKind::Integer))
        return std::to_string(out.integer());
    if (CPdfStream* stream = out.stream()) {
        size_t length = 0;
        while (stream->getChar() >= 0)
            ++length;
        return "stream of " + std::to_string(length);
    }
    if (out.is(PdfKind::String) || out.is(PdfKind::Name))
        return out.text();
    if (CPdfDictionary* d = out.dictionary()) {
        const CPdfElement* type = d->find("Type");
        return type ? "dict " + type->text() : "dict";
    }
    return out.is(PdfKind::Null) ? "null" : "other";
}

// What the reader makes of a file: its refusal, or whether the table was rebuilt, the root and
// info numbers, the header's offset, the entry types (0 free, 1 in the file, 2 in an object stream) and each of the
// given objects (number, generation) as fetched.
std::string Describe(const std::string& bytes, const std::vector<std::pair<int32_t, int32_t>>& objects = {})
{
    CPdfDocument document;
    std::string outcome = OpenOutcome(bytes, document);
    if (!outcome.empty())
        return outcome;
    CPdfXRef& xref = *document.xref();
    std::string types;
    for (const CPdfXRefEntry& entry : xref.getEntries())
        types += std::to_string(entry.type);
    outcome = std::string(xref.isRebuilt() ? "rebuilt, " : "") + "root " + std::to_string(xref.m_rootNumber) + ", info " + std::to_string(xref.m_infoNumber) +
              ", header " + std::to_string(document.headerOffset()) + ", types " + types + ":";
    for (const auto& [number, generation] : objects)
        outcome += " " + Fetched(xref, number, generation);
    return outcome;
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

CTestPdf OnePage()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, kCatalog);
    pdf.Add(2, kPages);
    pdf.Add(3, kPage);
    return pdf;
}

std::string ClassicWith(const std::string& trailer)
{
    return OnePage().ClassicXRef(trailer);
}

std::string StreamWith(const std::string& extras)
{
    CTestXRefStreamOptions options;
    return OnePage().XRefStream(4, options, extras);
}

// A one-page classic file cut before its startxref and ended with the given tail.
std::string ClassicEndingIn(const std::string& tail)
{
    std::string bytes = ClassicWith("/Root 1 0 R");
    return bytes.substr(0, bytes.rfind("startxref")) + tail;
}

std::string ClassicWithSubsections()
{
    CTestPdf pdf = OnePage();
    pdf.AddFree(4, 1);
    pdf.Add(5, "(five)", 3);
    pdf.Add(9, "(nine)");
    return pdf.ClassicXRef("/Root 1 0 R /Info 9 0 R");
}

std::string EntriesOnOneLine()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, kCatalog);
    pdf.Add(2, kPages);
    char table[200];
    std::snprintf(table, sizeof table,
                  "xref 0 3 0000000000 65535 f %010u 00000 n %010u 00000 n trailer << /Root 1 0 R /Size 3 >>\n"
                  "startxref\n%u\n%%%%EOF\n",
                  pdf.Offset(1), pdf.Offset(2), pdf.Tell());
    return pdf.Bytes() + table;
}

std::string StreamWithZeroWidthsAndSeveralIndexRanges()
{
    CTestPdf pdf = OnePage();
    pdf.Add(20, "(twenty)");
    CTestXRefStreamOptions options;
    options.widths[0] = 0;  // every entry is type 1
    options.widths[2] = 0;
    options.index = std::vector<std::pair<uint32_t, uint32_t>>{{1, 3}, {20, 2}};
    options.compress = true;
    options.pngUp = true;
    return pdf.XRefStream(21, options, "/Root 1 0 R");
}

std::string ObjectStreamFile()
{
    CTestPdf pdf("1.5");
    pdf.AddObjectStream(10, {{1, kCatalog}, {2, kPages}, {3, kPage}, {4, "(last)"}});
    CTestXRefStreamOptions options;
    options.compress = true;
    return pdf.XRefStream(11, options, "/Root 1 0 R");
}

// Objects only in the cross-reference stream that the classic table's /XRefStm names: the
// stream file's body with a classic table appended after it.
std::string Hybrid()
{
    CTestPdf pdf = OnePage();
    pdf.AddObjectStream(7, {{8, "(only in stream)"}});
    CTestXRefStreamOptions options;
    options.index = std::vector<std::pair<uint32_t, uint32_t>>{{7, 3}};
    std::string withStream = pdf.XRefStream(9, options, "/Root 1 0 R");
    std::string body = withStream.substr(0, withStream.rfind("startxref"));
    char table[400];
    std::snprintf(table, sizeof table,
                  "xref\n0 4\n0000000000 65535 f \n%010u 00000 n \n%010u 00000 n \n%010u 00000 n \n"
                  "trailer\n<< /Root 1 0 R /Size 10 /XRefStm %u >>\nstartxref\n%u\n%%%%EOF\n",
                  pdf.Offset(1), pdf.Offset(2), pdf.Offset(3), pdf.Offset(9), static_cast<uint32_t>(body.size()));
    return body + table;
}

// The one-page file whose cross-reference stream has its data encoded by encode, under filter.
std::string XRefStreamThrough(const std::string& filter, std::string (*encode)(const std::string&))
{
    std::string bytes = StreamWith("/Root 1 0 R");
    const size_t data = bytes.find("stream\n", bytes.find("/Type /XRef")) + 7;
    const size_t end = bytes.find("\nendstream", data);
    const std::string encoded = encode(bytes.substr(data, end - data));
    const std::string length = " /Length " + std::to_string(end - data);
    bytes.replace(data, end - data, encoded);
    return ReplaceAll(bytes, length, " /Filter " + filter + " /Length " + std::to_string(encoded.size()));
}

std::string HexDigits(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", c);
        out += two;
    }
    return out + ">";
}

// Literal runs of at most 128 bytes, then the end marker.
std::string LiteralRuns(const std::string& bytes)
{
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += 128) {
        const std::string run = bytes.substr(at, 128);
        out += static_cast<char>(run.size() - 1) + run;
    }
    return out + "\x80";
}

std::string HexOfRuns(const std::string& bytes)
{
    return HexDigits(LiteralRuns(bytes));
}

std::string ThreeUpdatesAlongPrev()
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
    return pdf.ClassicXRef("/Root 1 0 R /Info 5 0 R");
}

// An object stream file whose object stream is edited in place (same length) so that it lies.
std::string LyingObjectStream(const char* from, const char* to)
{
    CTestPdf pdf("1.5");
    pdf.AddObjectStream(10, {{1, kCatalog}, {2, kPages}, {3, kPage}}, false);
    CTestXRefStreamOptions options;
    return ReplaceAll(pdf.XRefStream(11, options, "/Root 1 0 R"), from, to);
}

// Files that open, and what each listed object fetches as: every section form, generations,
// free and unlisted numbers, updates along /Prev (the newest wins), junk before the header
// (every offset shifts), and objects whose fetch must fail or give null.
TEST(XRef, OpensAndFetches)
{
    CTestPdf withLength = OnePage();
    withLength.Add(5, "<< /Length 5 0 R >>\nstream\nabc\nendstream");
    const std::string damaged = "PDF file was damaged (-4)";
    const std::string lied = "root 1, info 0, header 0, types 022200000011: ";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::pair<int32_t, int32_t>> objects;
        std::string expected;
    } rows[] = {
        {"classic table with subsections, free entries and generations", ClassicWithSubsections(),
         {{5, 3}, {5, 0}, {9, 0}, {10, 0}, {-1, 0}, {4, 1}, {7, 0}},
         "root 1, info 9, header 0, types 0111010001: five null nine null null null null"},
        {"entries on one line read like entries per line", EntriesOnOneLine(), {{2, 0}},
         "root 1, info 0, header 0, types 011: dict Pages"},
        {"stream with zero widths and several index ranges", StreamWithZeroWidthsAndSeveralIndexRanges(),
         {{20, 0}, {3, 0}, {21, 0}},
         "root 1, info 0, header 0, types 0111000000000000000011: twenty dict Page stream of 20"},
        {"object stream members", ObjectStreamFile(), {{1, 0}, {4, 0}},
         "root 1, info 0, header 0, types 022220000011: dict Catalog last"},
        {"hybrid file finds objects only in the stream", Hybrid(), {{8, 0}, {3, 0}},
         "root 1, info 0, header 0, types 0111000121: only in stream dict Page"},
        {"cross-reference stream in hexadecimal", XRefStreamThrough("/ASCIIHexDecode", HexDigits), {{2, 0}},
         "root 1, info 0, header 0, types 01111: dict Pages"},
        {"cross-reference stream through a chain", XRefStreamThrough("[/AHx /RL]", HexOfRuns), {{2, 0}},
         "root 1, info 0, header 0, types 01111: dict Pages"},
        {"three updates along Prev", ThreeUpdatesAlongPrev(), {{4, 0}, {5, 0}},
         "root 1, info 5, header 0, types 0111111: v4 added"},
        {"junk before the header", "0123456789" + ClassicWith("/Root 1 0 R"), {{2, 0}},
         "root 1, info 0, header 10, types 0111: dict Pages"},
        {"a later startxref wins", "startxref\n1\n" + ClassicWith("/Root 1 0 R"), {{2, 0}},
         "root 1, info 0, header 12, types 0111: dict Pages"},
        {"Length leading back into its own object", withLength.ClassicXRef("/Root 1 0 R"), {{5, 0}},
         "root 1, info 0, header 0, types 011101: " + damaged},
        {"object stream with N more than First holds", LyingObjectStream("/N 3", "/N 9"), {{1, 0}}, lied + damaged},
        {"object stream without First", LyingObjectStream("/First", "/Firsx"), {{1, 0}}, lied + "null"},
        {"object stream with N 0", LyingObjectStream("/N 3", "/N 0"), {{1, 0}}, lied + "null"},
        {"object stream with negative N", LyingObjectStream("/N 3 ", "/N -3"), {{1, 0}}, lied + damaged},
        {"object stream listing itself: that entry is never found", LyingObjectStream("1 0 2 ", "10 0 2"), {{1, 0}},
         lied + "null"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, Describe(row.bytes, row.objects));
    }
}

// Compressed objects are read as text from their decoded object stream; a generation other
// than 0 gives none, and a number the table does not hold throws.
TEST(XRef, ObjectStreamMembersAsText)
{
    CPdfDocument document;
    ASSERT_EQ("", OpenOutcome(ObjectStreamFile(), document));
    CPdfXRef& xref = *document.xref();
    uint32_t length = 0;
    const unsigned char* text = xref.getObjectText(2, 0, length);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(kPages, std::string(reinterpret_cast<const char*>(text), length).substr(0, std::strlen(kPages)));
    text = xref.getObjectText(4, 0, length);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ("(last)", std::string(reinterpret_cast<const char*>(text), length).substr(0, 6));
    EXPECT_EQ(nullptr, xref.getObjectText(4, 1, length));
    EXPECT_THROW(xref.getObjectText(12, 0, length), CPdfException);
}

// An object stream file whose last member is text.
std::string TextInObjectStream(const char* text)
{
    CTestPdf pdf("1.5");
    pdf.AddObjectStream(10, {{1, kCatalog}, {2, kPages}, {3, kPage}, {4, text}}, false);
    CTestXRefStreamOptions options;
    return pdf.XRefStream(11, options, "/Root 1 0 R");
}

CHeldBytes Held(const std::string& bytes)
{
    return std::make_shared<CByteBuffer>(bytes.begin(), bytes.end());
}

// A table read ahead (on another thread, in a list) stands in for reading a file only when the
// file is opened from the very bytes it was read from. Here the offer is marked, with the
// streams of another file, an info number of 4 and a catalog fetched as 7, to show whether it
// was taken.
TEST(XRef, TableReadAheadServesOnlyItsOwnBytes)
{
    const std::string plain = TextInObjectStream("(last)");
    const CHeldBytes bytes = Held(plain);
    CTestDir dir;
    const struct {
        const char* name;
        CHeldBytes opened; // null: the file is read through its path
        std::string expected; // the catalog, object 4 and the info number
    } rows[] = {
        {"the very bytes it was read from", bytes, "7 (LAST) info 4"},
        {"equal bytes held apart", Held(plain), "dict Catalog (last) info 0"},
        {"the file read through its path", nullptr, "dict Catalog (last) info 0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::shared_ptr<CPdfReadAhead> ahead = CPdfDocument::ReadAhead(bytes, size_t{1} << 20);
        ASSERT_TRUE(ahead);
        ASSERT_EQ(1u, ahead->streams.size());
        const CHeldBytes marked = Held(TextInObjectStream("(LAST)"));
        ahead->streams = std::move(CPdfDocument::ReadAhead(marked, size_t{1} << 20)->streams);
        ahead->references[2] = 4;
        ASSERT_EQ(1, ahead->fetched.front().first); // the catalog, as the read checked it
        ahead->fetched.front().second.setInteger(7);
        CPdfDocument document;
        if (row.opened)
            document.open(dir.PathOf("never-opened.pdf"), row.opened->size(), row.opened, ahead);
        else
            document.open(dir.Write("in.pdf", plain), plain.size(), nullptr, ahead);
        uint32_t length = 0;
        const unsigned char* text = document.xref()->getObjectText(4, 0, length);
        ASSERT_NE(nullptr, text);
        EXPECT_EQ(row.expected, Fetched(*document.xref(), 1, 0) + " " +
                                    std::string(reinterpret_cast<const char*>(text), length).substr(0, 6) +
                                    " info " + std::to_string(document.xref()->m_infoNumber));
    }
    // A rebuilt table offers nothing; a classic one its table alone, as does one past the limit.
    EXPECT_EQ(nullptr, CPdfDocument::ReadAhead(Held(ReplaceAll(plain, "startxref", "startxrex")), size_t{1} << 20));
    const std::shared_ptr<CPdfReadAhead> classic =
        CPdfDocument::ReadAhead(Held(ClassicWith("/Root 1 0 R")), size_t{1} << 20);
    ASSERT_TRUE(classic);
    EXPECT_EQ(4u, classic->entries.size());
    EXPECT_TRUE(classic->streams.empty());
    EXPECT_TRUE(CPdfDocument::ReadAhead(bytes, 0)->streams.empty());
}

CTestPdf NoPageTree()
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "(not a page tree)");
    return pdf;
}

// Files with no usable catalog and page tree, or encrypted, end in the reader's message and
// exit status, however their cross-reference looks.
TEST(XRef, Refusals)
{
    const std::string damaged = "PDF file was damaged (-4)";
    const std::string encrypted = "PDF file is encrypted (-3)";
    const struct {
        const char* name;
        std::string bytes;
        std::string expected;
    } rows[] = {
        {"empty file", "", damaged},
        {"one byte", "%", damaged},
        {"objects but no catalog", "%PDF-1.4\n1 0 obj\n(one)\nendobj\n2 0 obj\n<< /Type /Pages >>\nendobj\n", damaged},
        {"the same without startxref", ReplaceAll(NoPageTree().ClassicXRef("/Root 1 0 R"), "startxref", "startxrex"), damaged},
        {"Encrypt reference", ClassicWith("/Root 1 0 R /Encrypt 3 0 R"), encrypted},
        {"Encrypt direct", ClassicWith("/Root 1 0 R /Encrypt << /Filter /Standard >>"), encrypted},
        {"Encrypt in a trailer found by the scan", ClassicEndingIn("") + "trailer << /Root 1 0 R /Encrypt 3 0 R >>",
         encrypted},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, Describe(row.bytes));
    }
}

// A cross-reference that cannot be used is rebuilt from a scan of the file: the last definition
// of a number wins (object stream members count from where their object stream stands), and
// the trailer is the last one whose /Root leads to a catalog, else the last catalog found.
TEST(XRef, Repairs)
{
    const std::string stream = StreamWith("/Root 1 0 R");
    std::string typeThree = stream;
    typeThree[typeThree.find("stream\n", typeThree.find("/Type /XRef")) + 7 + 7] = 3;  // object 1's type byte
    std::string loop = ClassicWith("/Root 1 0 R /Prev 999999");
    const std::string loopAt = loop.substr(loop.rfind("startxref") + 10);
    loop = ReplaceAll(loop, "/Prev 999999", "/Prev " + std::to_string(std::stoul(loopAt)));
    CTestPdf twice = OnePage();
    twice.Add(4, "(v1)");
    twice.AddRaw("4 0 obj\n(v2)\nendobj\n99999999999 0 obj\n(number too large)\nendobj\n7 0 objx\n");
    const std::string objectStream = ReplaceAll(ObjectStreamFile(), "startxref", "startxrex") + "4 0 obj\n(direct)\nendobj\n";
    CTestPdf before("1.5");
    before.Add(4, "(before)");
    before.AddObjectStream(10, {{1, kCatalog}, {2, kPages}, {3, kPage}, {4, "(member)"}});
    CTestPdf badLength = OnePage();
    badLength.Add(5, "<< /Length 99 >>\nstream\r\nabc\r\nendstream");
    badLength.Add(6, "<< /Length 1 >>\nstream\nabc\nendstream");
    badLength.Add(7, "<< /Length 5 0 R >>\nstream\nab\rendstream");
    CTestPdf noEnd = OnePage();
    noEnd.Add(5, "<< /Length 99 >>\nstream\nabc\nendstreax");
    std::string shifted = ClassicWith("/Root 1 0 R");
    shifted.insert(shifted.find("1 0 obj"), "% seven\n");
    char pageEntry[24];
    std::snprintf(pageEntry, sizeof pageEntry, "%010u 00000 n", OnePage().Offset(3));
    const std::string one = "rebuilt, root 1, info 0, header 0, types 0111:";
    const std::string withStream = "rebuilt, root 1, info 0, header 0, types 01111:";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::pair<int32_t, int32_t>> objects;
        std::string expected;
    } rows[] = {
        {"catalog whose Pages is no dictionary: the table that reads is kept", NoPageTree().ClassicXRef("/Root 1 0 R"), {},
         "root 1, info 0, header 0, types 011:"},
        {"no startxref", ReplaceAll(ClassicWith("/Root 1 0 R"), "startxref", "startxrex"), {{2, 0}}, one + " dict Pages"},
        {"zero bytes before the startxref offset count as spaces",
         ReplaceAll(ClassicWith("/Root 1 0 R"), "startxref\n", std::string("startxref\0\n\0", 13)), {},
         "root 1, info 0, header 0, types 0111:"},
        {"startxref 0", ClassicEndingIn("startxref\n0\n%%EOF\n"), {}, one},
        {"startxref at junk", ClassicEndingIn("startxref\n3\n%%EOF\n"), {}, one},
        {"entries 8 bytes off", shifted, {{3, 0}}, one + " dict Page"},
        {"entry past the end", ReplaceAll(ClassicWith("/Root 1 0 R"), pageEntry, "0009999999 00000 n"), {}, one},
        {"junk before the header: offsets count from the header", "0123456789" + shifted, {{2, 0}},
         "rebuilt, root 1, info 0, header 10, types 0111: dict Pages"},
        {"Prev loops to itself", loop, {}, one},
        {"trailer not a dictionary: the catalog found serves", ReplaceAll(ClassicWith("/Root 1 0 R /Info 3 0 R"), "trailer\n<<", "trailer\n[ <<"), {}, one},
        {"Root missing", ClassicWith("/Info 3 0 R"), {}, one},
        {"Root direct", ClassicWith("/Root << >>"), {}, one},
        {"Root pointing at no catalog", ClassicWith("/Root 3 0 R /Info 2 0 R"), {}, one},
        {"table entry broken", ReplaceAll(ClassicWith("/Root 1 0 R /Info 3 0 R"), " 00000 n", " 00000 x"), {},
         "rebuilt, root 1, info 3, header 0, types 0111:"},
        {"stream Size of wrong type", StreamWith("/Root 1 0 R /Size /Five /Info 2 0 R"), {}, "rebuilt, root 1, info 2, header 0, types 01111:"},
        {"stream Size huge", StreamWith("/Root 1 0 R /Size 2147483647"), {}, withStream},
        {"stream Size negative", StreamWith("/Root 1 0 R /Size -5"), {}, withStream},
        {"stream W not an array", ReplaceAll(stream, "/W [", "/W 5 /X ["), {}, withStream},
        {"stream W too short", ReplaceAll(stream, "/W [1 4 2]", "/W [1 4]"), {}, withStream},
        {"stream W of nine bytes", ReplaceAll(stream, "/W [1 4 2]", "/W [1 9 2]"), {}, withStream},
        {"stream Index not integers", StreamWith("/Root 1 0 R /Index [0 /A]"), {}, withStream},
        {"stream Index count huge", StreamWith("/Root 1 0 R /Index [0 2000000000]"), {}, withStream},
        {"stream data short", StreamWith("/Root 1 0 R /Index [0 6]"), {}, withStream},
        {"stream Length indirect", ReplaceAll(stream, "/Length ", "/Length 3 0 R /L "), {}, withStream},
        {"stream Length wrong", ReplaceAll(stream, "/Length ", "/Length 1 /L "), {}, withStream},
        {"stream entry of type 3", typeThree, {}, withStream},
        {"last definition wins; malformed headers are passed over", twice.Finish(""), {{4, 0}, {7, 0}},
         "rebuilt, root 1, info 0, header 0, types 01111: v2 null"},
        {"object stream members, and a definition after it wins", objectStream, {{1, 0}, {4, 0}},
         "rebuilt, root 1, info 0, header 0, types 022210000011: dict Catalog direct"},
        {"object stream member wins over a definition before it", ReplaceAll(before.XRefStream(11, {}, "/Root 1 0 R"), "startxref", "startxrex"),
         {{4, 0}, {2, 0}}, "rebuilt, root 1, info 0, header 0, types 022220000011: member dict Pages"},
        {"wrong Lengths end at endstream (a table that reads is kept)", badLength.ClassicXRef("/Root 1 0 R"), {{5, 0}, {6, 0}, {7, 0}},
         "root 1, info 0, header 0, types 01110111: stream of 3 stream of 3 stream of 2"},
        {"no endstream after a wrong Length", noEnd.ClassicXRef("/Root 1 0 R"), {{5, 0}},
         "root 1, info 0, header 0, types 011101: Missing 'endstream' (-2)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, Describe(row.bytes, row.objects));
    }
}

// An input whose table is rebuilt is appended as an intact copy is: the same output, standard
// output and status, and one line on standard error, also when the page filter opens it first.
TEST(XRef, RebuiltInputAppendsLikeAnIntactCopy)
{
    const std::string intact = ClassicWith("/Root 1 0 R");
    CTestDir whole;
    CTestDir broken;
    whole.Write("a.pdf", intact);
    whole.Write("b.pdf", intact);
    broken.Write("a.pdf", ReplaceAll(intact, "startxref", "startxrex"));
    broken.Write("b.pdf", intact);
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-l5"}}) {
        std::vector<std::string> args = {"a.pdf", "b.pdf", "-oresult.pdf"};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(args.back());
        const ProgramResult expected = RunProgram(FOLIOBIND_EXE, args, whole.Path());
        const ProgramResult repaired = RunProgram(FOLIOBIND_EXE, args, broken.Path());
        EXPECT_EQ(0, repaired.exitStatus);
        EXPECT_EQ(expected.out, repaired.out);
        EXPECT_EQ("", expected.err);
        EXPECT_EQ("foliobind: 'a.pdf': cross-reference rebuilt\n", repaired.err);
        EXPECT_EQ(CTestDir::Read(whole.PathOf("result.pdf")), CTestDir::Read(broken.PathOf("result.pdf")));
    }
}

// A size the caller expects only spares measuring the file: a wrong one (the file grew or
// shrank since it was looked up) reads the file as it is.
TEST(Document, ExpectedSizeIsOnlyAHint)
{
    CTestDir dir;
    const std::string bytes = ClassicWith("/Root 1 0 R");
    const std::string path = dir.Write("in.pdf", bytes);
    const uint64_t size = bytes.size();
    for (const uint64_t expected : {size, size - 1, size + 1, uint64_t{0}, uint64_t{5} << 20, kUnknownFileSize}) {
        SCOPED_TRACE(expected);
        CPdfDocument document;
        document.open(path, expected);
        ASSERT_TRUE(document.heldBytes());
        EXPECT_EQ(bytes, std::string(document.heldBytes()->data(), document.heldBytes()->size()));
        EXPECT_EQ("dict Pages", Fetched(*document.xref(), 2, 0));
    }
    // Bytes the caller read already stand for the file when they are the size it expects: the
    // file is then not opened at all.
    const CHeldBytes read = std::make_shared<CByteBuffer>(bytes.begin(), bytes.end());
    for (const uint64_t expected : {size, size + 1}) {
        SCOPED_TRACE(expected);
        CPdfDocument document;
        document.open(path, expected, read);
        EXPECT_EQ(document.heldBytes() == read, expected == size);
    }
    CPdfDocument unopened;
    unopened.open(dir.PathOf("gone.pdf"), size, read);
    EXPECT_EQ("dict Pages", Fetched(*unopened.xref(), 2, 0));
}

// Inputs that cannot be read are named: offsets are 32-bit, so a file of 2 GiB or more is
// refused before anything is read from it; a missing file names its path and errno.
TEST(Document, UnreadableInputsNamed)
{
    CPdfDocument document;
    try {
        document.open("/nonexistent/x.pdf");
        ADD_FAILURE() << "opened";
    } catch (const CPdfException& e) {
        EXPECT_STREQ("Can't open file: '/nonexistent/x.pdf', err no: 2", e.what());
    }
    CTestDir dir;
    std::string path = dir.Write("big.pdf", ClassicWith("/Root 1 0 R"));
    std::error_code error;
    std::filesystem::resize_file(path, uint64_t(1) << 31, error);  // sparse: costs no disk
    if (error)
        GTEST_SKIP() << "cannot make a sparse file here";
    try {
        document.open(path);
        FAIL() << "opened";
    } catch (const CPdfException& e) {
        EXPECT_EQ("File too large (2 GiB or more): '" + path + "'", e.what());
    }
    EXPECT_FALSE(document.isOpen());
}

} // namespace
