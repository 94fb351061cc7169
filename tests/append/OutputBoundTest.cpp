// The output-size bound: it must never be below what the run really writes (or an output could
// pass the ten-digit offsets unnoticed), and an output over the limit is refused before any
// byte of it exists, decoding object streams only when the quick bound cannot settle it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "append/OutputBound.h"
#include "append/Engine.h"
#include "cli/Globals.h"
#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"
#include "xref/XRef.h"

namespace {

const std::string kSamples = std::string(FOLIOBIND_SOURCE_DIR) + "/testdata/samples/";

// Catalog 1, root 2, page 3, then extra objects from 4 on; with freeEntries the table grows
// to that many numbers, so a second file's references are shifted by as many. The table is a
// compressed stream, so the file stays small and the bound cannot hide in its size.
std::string OnePage(const std::vector<std::string>& extras, uint32_t freeEntries = 0)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    for (size_t i = 0; i < extras.size(); ++i)
        pdf.Add(static_cast<uint32_t>(4 + i), extras[i]);
    for (uint32_t number = static_cast<uint32_t>(4 + extras.size()); number < freeEntries; ++number)
        pdf.AddFree(number, 0);
    CTestXRefStreamOptions options;
    options.compress = true;
    return pdf.XRefStream(std::max<uint32_t>(freeEntries, static_cast<uint32_t>(4 + extras.size())), options,
                          "/Root 1 0 R");
}

// The same page with its objects in compressed object streams: the filler in one that nothing
// reads before the bound is taken, so that only the copy would decode it.
std::string Compressed(const std::string& filler)
{
    CTestPdf pdf("1.5");
    pdf.AddObjectStream(5, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                            {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                            {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>"}});
    pdf.AddObjectStream(6, {{4, "(" + filler + ")"}});
    return pdf.XRefStream(7, CTestXRefStreamOptions(), "/Root 1 0 R");
}

std::string ReferenceArray(size_t count)
{
    std::string text = "[";
    for (size_t i = 0; i < count; ++i)
        text += "1 0 R ";
    return text + "]";
}

uint64_t Bound(const std::string& path, bool isSecond, bool isExact)
{
    CPdfDocument document;
    document.open(path.c_str());
    return ObjectBytesBound(*document.xref(), std::filesystem::file_size(path), isSecond, isExact);
}

uint64_t StartXref(const std::string& pdf)
{
    const size_t at = pdf.rfind("startxref\n");
    return at == std::string::npos ? 0 : std::strtoull(pdf.c_str() + at + 10, nullptr, 10);
}

struct PairRow {
    const char* name;
    std::string first;  // file bytes, or a sample's name when it ends in ".pdf"
    std::string second;
};

std::string PathOf(CTestDir& dir, const std::string& bytesOrSample, const char* name)
{
    if (bytesOrSample.size() > 4 && bytesOrSample.compare(bytesOrSample.size() - 4, 4, ".pdf") == 0)
        return kSamples + bytesOrSample;
    return dir.Write(name, bytesOrSample);
}

std::vector<PairRow> Pairs()
{
    return {
        {"references shifted by four digits", OnePage({}, 65000), OnePage({ReferenceArray(50000)})},
        {"object streams on both sides", Compressed(std::string(50000, 'x')), Compressed(std::string(70000, 'y'))},
        {"samples a and b", "sample-a-classic.pdf", "sample-b-xrefstream.pdf"},
        {"samples b and c", "sample-b-xrefstream.pdf", "sample-c-plain.pdf"},
    };
}

// Every object of the output starts before its cross-reference section, so the bound must
// reach at least to "startxref"'s value.
TEST(OutputBound, NeverBelowWhatIsWritten)
{
    CTestDir dir;
    for (const PairRow& row : Pairs()) {
        SCOPED_TRACE(row.name);
        const std::string path1 = PathOf(dir, row.first, "a.pdf");
        const std::string path2 = PathOf(dir, row.second, "b.pdf");
        const std::string output = dir.PathOf("out.pdf");
        AppendPaths(path1, path2, output, {"-quiet"});
        const uint64_t exact = Bound(path1, false, true) + Bound(path2, true, true);
        const uint64_t quick = Bound(path1, false, false) + Bound(path2, true, false);
        EXPECT_GE(exact, StartXref(CTestDir::Read(output)));
        EXPECT_GE(quick, exact);
    }
}

// Runs the pair with a lowered limit; "" when the output was written, else the message.
std::string RunWithLimit(const std::string& path1, const std::string& path2, const std::string& output,
                         uint64_t limit)
{
    CAppendEngine engine;
    engine.SetQuiet(true);
    engine.SetMaxOutputOffset(limit);
    try {
        engine.RunAppend(path1.c_str(), path2.c_str(), output.c_str());
        return "";
    } catch (const CPdfException& error) {
        return error.what();
    }
}

TEST(OutputBound, OverTheLimitIsRefusedBeforeWriting)
{
    CTestDir dir;
    const std::string path1 = dir.Write("a.pdf", Compressed(std::string(50000, 'x')));
    const std::string path2 = dir.Write("b.pdf", Compressed(std::string(70000, 'y')));
    const uint64_t exact = Bound(path1, false, true) + Bound(path2, true, true);
    ASSERT_GT(Bound(path1, false, false) + Bound(path2, true, false), exact);
    const std::string output = dir.PathOf("out.pdf");
    const std::string refusal =
        "Output file would pass the ten-digit offsets of the xref table, nothing written: '" + output + "'";
    const struct {
        const char* name;
        uint64_t limit;
        std::string expected;
    } rows[] = {
        {"nothing fits", 0, refusal},
        {"one byte short of the decoded bound", exact - 1, refusal},
        {"the decoded bound fits, the quick one does not", exact, ""},
        {"the real limit", kMaxOutputOffset, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(output);
        EXPECT_EQ(RunWithLimit(path1, path2, output, row.limit), row.expected);
        EXPECT_EQ(std::filesystem::exists(output), row.expected.empty());
    }
}

} // namespace
