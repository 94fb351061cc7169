// Round trips over pairs of real files from the peer corpus: every input that qpdf reads
// cleanly is appended to another one, and the output must pass qpdf's check, hold both files'
// pages, show the first file's text and then the second's, carry both outlines (first's, then
// second's with page numbers moved on), and render every page. The pairs are split into shards
// so that each test case stays short. Differences that come from inputs that readers repair or
// that the program refuses are listed in kKnown; they are printed, not failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "append/Engine.h"
#include "pdf/Document.h"
#include "pdf/Exception.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

const std::string kCorpus = FOLIOBIND_SOURCE_DIR "/../shared/corpus/peers";
constexpr int kShards = 12;
constexpr int kRepairShards = 4;

const struct {
    const char* file;
    bool isSecondOnly; // the difference shows only when the file is the second of the pair
    const char* check;
    const char* cause;
} kKnown[] = {
    {"pdfjs__poppler-67295-0.pdf", false, "pages",
     "its root says /Count 9999999999 for one page; qpdf repeats the number, the output carries the true count"},
    {"pdfjs__poppler-67295-0.pdf", false, "text", "pdftotext refuses the input for its false page count; the output reads"},
    {"qpdf__outlines-with-loop.pdf", false, "refused",
     "its outline items lead back to one another, which the output would repeat: damaged"},
    {"qpdf__direct-outlines.pdf", false, "outlines",
     "its catalog holds the outline dictionary itself, not a reference to it, so it is not merged"},
};

// Inputs qpdf checks without errors and that are not encrypted, as the corpus index lists them.
std::vector<std::string> ReadableFiles()
{
    std::ifstream index(kCorpus + "/SOURCES.md");
    std::vector<std::string> files;
    for (std::string line; std::getline(index, line);) {
        if (line.rfind("| ", 0) != 0 || line.find("qpdf --check: ok |") == std::string::npos ||
            line.find("encrypted") != std::string::npos)
            continue;
        const std::string name = line.substr(2, line.find(" |") - 2);
        if (std::filesystem::exists(kCorpus + "/" + name))
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Pair {
    std::string first;
    std::string second;
    bool noBookmarks;
};

// Every readable file once as first and once as second file, plus pairs chosen for outlines on
// both sides, large page counts and -nobookmarks.
std::vector<Pair> Pairs()
{
    const std::vector<std::string> files = ReadableFiles();
    std::vector<Pair> pairs;
    for (size_t i = 0; i < files.size(); ++i)
        pairs.push_back({files[i], files[(i * 7 + 3) % files.size()], false});
    for (const Pair& pair : {Pair{"pdfcpu__golang.pdf", "pdfcpu__T4.pdf", false},
                             Pair{"pdfcpu__WaldenFull.pdf", "pdfcpu__ECSTR11-01.pdf", false},
                             Pair{"pdfcpu__itu-t81.pdf", "pdfcpu__gobook.0.pdf", false},
                             Pair{"pdfcpu__adobe_errata.pdf", "pdfcpu__adobeImplOfPDFSpec.pdf", true},
                             Pair{"pdfcpu__T4.pdf", "pdfcpu__T4.pdf", false}}) {
        if (std::filesystem::exists(kCorpus + "/" + pair.first) && std::filesystem::exists(kCorpus + "/" + pair.second))
            pairs.push_back(pair);
    }
    return pairs;
}

std::string OutlineJson(const std::string& path)
{
    return RunTool("qpdf", {"--json", "--json-key=outlines", path}).out;
}

// Outline items as qpdf lists them: their titles and target pages, in reading order.
std::vector<std::string> OutlineLines(const std::string& json, uint64_t pageShift)
{
    std::istringstream stream(json);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);) {
        const size_t title = line.find("\"title\": ");
        const size_t page = line.find("\"destpageposfrom1\": ");
        if (title != std::string::npos)
            lines.push_back(line.substr(title));
        else if (page != std::string::npos && line[page + 20] >= '0' && line[page + 20] <= '9')
            lines.push_back("page " + std::to_string(std::stoull(line.substr(page + 20)) + pageShift));
        else if (page != std::string::npos)
            lines.push_back("page none");
    }
    return lines;
}

uint64_t QpdfPages(const std::string& path)
{
    return std::stoull("0" + RunTool("qpdf", {"--show-npages", path}).out);
}

struct InputFacts {
    uint64_t pages = 0;
    std::string text;
    bool isTextClean = false; // pdftotext read it without complaint
    std::string outlineJson;
};

// What the tools say about an input, read once per input.
const InputFacts& Facts(const std::string& path)
{
    static std::map<std::string, InputFacts> cache;
    if (cache.count(path) == 0) {
        const ProgramResult text = RunTool("pdftotext", {path, "-"});
        cache[path] = {QpdfPages(path), text.out, text.exitStatus == 0 && text.err.empty(), OutlineJson(path)};
    }
    return cache[path];
}

// A failed check: printed when kKnown explains it, else a test failure.
void Report(const Pair& pair, const std::string& check, const std::string& detail)
{
    for (const auto& known : kKnown) {
        if (check == known.check && (pair.second == known.file || (!known.isSecondOnly && pair.first == known.file))) {
            std::printf("known difference, %s + %s, %s: %s\n", pair.first.c_str(), pair.second.c_str(), check.c_str(),
                        known.cause);
            return;
        }
    }
    ADD_FAILURE() << pair.first << " + " << pair.second << ": " << check << ": " << detail;
}

void CheckPair(const Pair& pair, CTestDir& dir)
{
    const std::string first = kCorpus + "/" + pair.first, second = kCorpus + "/" + pair.second;
    const std::string output = dir.PathOf("out.pdf");
    try {
        AppendPaths(first, second, output, pair.noBookmarks ? std::vector<std::string>{"-quiet", "-nobookmarks"}
                                                            : std::vector<std::string>{"-quiet"});
    } catch (const CPdfException& error) {
        return Report(pair, "refused", error.what());
    }
    const ProgramResult check = RunTool("qpdf", {"--check", output});
    if (check.exitStatus != 0)
        Report(pair, "check", check.out + check.err);
    const InputFacts& facts1 = Facts(first);
    const InputFacts& facts2 = Facts(second);
    const uint64_t pages = QpdfPages(output);
    if (pages != facts1.pages + facts2.pages)
        Report(pair, "pages", std::to_string(pages) + " != " + std::to_string(facts1.pages + facts2.pages));
    if (facts1.isTextClean && facts2.isTextClean &&
        RunTool("pdftotext", {"-q", output, "-"}).out != facts1.text + facts2.text)
        Report(pair, "text", "pdftotext differs from the inputs' texts in a row");
    std::vector<std::string> outline = OutlineLines(facts1.outlineJson, 0);
    if (!pair.noBookmarks) {
        const std::vector<std::string> shifted = OutlineLines(facts2.outlineJson, facts1.pages);
        outline.insert(outline.end(), shifted.begin(), shifted.end());
    }
    if (OutlineLines(OutlineJson(output), 0) != outline)
        Report(pair, "outlines", "titles or target pages differ");
    const std::string folder = dir.PathOf("pages");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    const ProgramResult render = RunTool("pdftoppm", {"-r", "2", "-gray", output, folder + "/p"});
    const auto count = std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
    if (render.exitStatus != 0 || static_cast<uint64_t>(count) != pages)
        Report(pair, "render", std::to_string(count) + " pages rendered of " + std::to_string(pages));
}

class CorpusAppend : public testing::TestWithParam<int> {};

TEST_P(CorpusAppend, Shard)
{
    if (!std::filesystem::exists(kCorpus))
        GTEST_SKIP() << "the peer corpus is absent: " << kCorpus;
    for (const char* tool : {"qpdf", "pdftotext", "pdftoppm"}) {
        if (FindTool(tool).empty())
            GTEST_SKIP() << tool << " is not installed";
    }
    const std::vector<Pair> pairs = Pairs();
    ASSERT_GE(pairs.size(), 150u);
    CTestDir dir;
    for (size_t index = static_cast<size_t>(GetParam()); index < pairs.size(); index += kShards) {
        SCOPED_TRACE(pairs[index].first + " + " + pairs[index].second);
        CheckPair(pairs[index], dir);
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, CorpusAppend, testing::Range(0, kShards));

// Damaged inputs that qpdf reads with warnings, and that still are not appended as qpdf reads
// them. Each row must still fail: one that passes is to be taken out.
const std::map<std::string, std::string> kRepairFailures = {
    {"pdfjs__issue15590.pdf", "no page tree in the file: qpdf counts 0 pages; refused as damaged"},
    {"pdfjs__issue9105_other.pdf", "no page tree in the file: qpdf counts 0 pages; refused as damaged"},
    {"pysamples__unreadablemetadata.pdf", "no page tree in the file: qpdf counts 0 pages; refused as damaged"},
    {"qpdf__inspect.pdf", "no page tree in the file: qpdf counts 0 pages; refused as damaged"},
    {"qpdf__issue-119.pdf", "its catalog's /Pages leads nowhere: qpdf counts 0 pages; refused as damaged"},
    {"qpdf__issue-120.pdf", "its catalog's /Pages leads nowhere: qpdf counts 0 pages; refused as damaged"},
    {"qpdf__issue-143.pdf", "no page tree in the file: qpdf counts 0 pages; refused as damaged"},
    {"qpdf__pages-is-page.pdf", "its /Pages is a page, which qpdf turns into a tree; refused as damaged"},
    {"qpdf__bad-direct-root.pdf", "its catalog is a direct dictionary in a mangled trailer: no catalog object"},
    {"qpdf__duplicate-page-inherited.pdf", "one page object twice in the tree: the engine refuses it as damaged"},
    {"pdfjs__issue9418.pdf", "qpdf counts 0 pages; the rebuilt table finds its page tree, so the output has a page more"},
    {"qpdf__fuzz-16214.pdf", "its one page is broken: pdftotext reads nothing of qpdf's rewrite, an empty page of ours"},
    {"qpdf__bad24.pdf", "read as it is (no repair): a content stream without endstream is copied as it stands, "
                        "which qpdf's rewrite ends, so its text is lost"},
    {"qpdf__stream-line-enders.pdf", "read as it is (no repair): data on the line of its stream keywords is copied "
                                     "as it stands; poppler reads neither it nor the output, only qpdf's rewrite"},
    {"qpdf__direct-pages.pdf", "read as it is (no repair): pages given directly in /Kids are not carried over"},
};

// Corpus files whose index entry is not "qpdf --check: ok" and not encrypted, every shards-th
// from shard on.
std::vector<std::string> DamagedFiles(size_t shard, size_t shards)
{
    std::ifstream index(kCorpus + "/SOURCES.md");
    std::vector<std::string> files;
    for (std::string line; std::getline(index, line);) {
        if (line.rfind("| ", 0) != 0 || line.find("qpdf --check: ok |") != std::string::npos ||
            line.find("encrypted") != std::string::npos)
            continue;
        const std::string name = line.substr(2, line.find(" |") - 2);
        if (std::filesystem::exists(kCorpus + "/" + name))
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> shardFiles;
    for (size_t i = shard; i < files.size(); i += shards)
        shardFiles.push_back(files[i]);
    return shardFiles;
}

// Whether qpdf reads the file, perhaps with warnings (exit status 0 or 3), and finds it not
// encrypted.
bool QpdfReads(const std::string& path)
{
    const ProgramResult check = RunTool("qpdf", {"--check", path});
    return (check.exitStatus == 0 || check.exitStatus == 3) && check.out.find("File is not encrypted") != std::string::npos;
}

// The first failed check of appending a damaged file to a clean one in both orders: the run,
// qpdf's check of the output (no errors), its page count against qpdf's counts of the inputs, and its text
// against qpdf's own rewrite of the damaged file next to the clean file's text. "" when all pass.
std::string RepairFailure(const std::string& name, CTestDir& dir)
{
    const std::string damaged = kCorpus + "/" + name;
    const std::string clean = FOLIOBIND_SOURCE_DIR "/testdata/samples/sample-c-plain.pdf";
    const std::string rewritten = dir.PathOf("rewritten.pdf");
    RunTool("qpdf", {damaged, rewritten});
    const std::string damagedText = RunTool("pdftotext", {"-q", rewritten, "-"}).out;
    const std::string cleanText = RunTool("pdftotext", {"-q", clean, "-"}).out;
    const uint64_t pages = QpdfPages(damaged) + QpdfPages(clean);
    for (const bool isFirst : {true, false}) {
        const std::string order = isFirst ? "as first input: " : "as second input: ";
        const std::string output = dir.PathOf("out.pdf");
        try {
            AppendPaths(isFirst ? damaged : clean, isFirst ? clean : damaged, output, {"-quiet"});
        } catch (const CPdfException& error) {
            return order + "refused: " + error.what();
        }
        // Warnings (status 3) name damage inside objects, which are copied as they stand.
        const ProgramResult check = RunTool("qpdf", {"--check", output});
        if (check.exitStatus != 0 && check.exitStatus != 3)
            return order + "qpdf --check: " + check.out + check.err;
        if (QpdfPages(output) != pages)
            return order + std::to_string(QpdfPages(output)) + " pages, not " + std::to_string(pages);
        if (RunTool("pdftotext", {"-q", output, "-"}).out != (isFirst ? damagedText + cleanText : cleanText + damagedText))
            return order + "pdftotext differs from the rewrite's text and the clean file's";
    }
    return "";
}

class CorpusRepair : public testing::TestWithParam<int> {};

TEST_P(CorpusRepair, Shard)
{
    if (!std::filesystem::exists(kCorpus))
        GTEST_SKIP() << "the peer corpus is absent: " << kCorpus;
    for (const char* tool : {"qpdf", "pdftotext"}) {
        if (FindTool(tool).empty())
            GTEST_SKIP() << tool << " is not installed";
    }
    const std::vector<std::string> files = DamagedFiles(static_cast<size_t>(GetParam()), kRepairShards);
    ASSERT_GE(files.size(), 25u);
    CTestDir dir;
    size_t checked = 0;
    for (const std::string& name : files) {
        if (!QpdfReads(kCorpus + "/" + name))
            continue;
        SCOPED_TRACE(name);
        ++checked;
        const std::string failure = RepairFailure(name, dir);
        const auto known = kRepairFailures.find(name);
        if (known == kRepairFailures.end())
            EXPECT_EQ("", failure);
        else if (failure.empty())
            ADD_FAILURE() << "appends as qpdf reads it now: take it out of kRepairFailures";
        else
            std::printf("known failure, %s: %s (%s)\n", name.c_str(), known->second.c_str(), failure.c_str());
    }
    EXPECT_GE(checked, 15u);
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusRepair, testing::Range(0, kRepairShards));

// What opening the file gives: "" or the reader's refusal.
std::string OpenFailure(const std::string& path)
{
    try {
        CPdfDocument().open(path);
        return "";
    } catch (const CPdfException& error) {
        return error.what();
    }
}

// The page filters' count agrees with qpdf on every corpus file qpdf reads clean; on the
// others it counts or fails with the reader's own refusal, never with a failure of its own.
TEST(CorpusPageCount, AgreesWithQpdf)
{
    if (!std::filesystem::exists(kCorpus) || FindTool("qpdf").empty())
        GTEST_SKIP() << "the peer corpus or qpdf is absent";
    const std::vector<std::string> readable = ReadableFiles();
    size_t counted = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".pdf" && entry.path().extension() != ".PDF")
            continue;
        SCOPED_TRACE(name);
        const bool isReadable = std::binary_search(readable.begin(), readable.end(), name);
        try {
            const uint64_t pages = CAppendEngine().CountPages(entry.path().c_str());
            ++counted;
            if (isReadable && pages != QpdfPages(entry.path()) && name != "pdfjs__poppler-67295-0.pdf")
                ADD_FAILURE() << pages << " pages, qpdf says " << QpdfPages(entry.path());
        } catch (const CPdfException& error) {
            EXPECT_FALSE(isReadable) << "refused: " << error.what();
            EXPECT_EQ(OpenFailure(entry.path()), error.what());
        }
    }
    EXPECT_GE(counted, readable.size());
}

} // namespace
