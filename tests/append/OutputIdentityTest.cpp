// Output identity: the sha256 of the program's outputs for a fixed set of inputs (generated
// pairs, the bundled samples, a list job and a few corpus pairs) must stay what it was when the
// set was recorded, so that work on speed never changes an output byte. Generated inputs are
// written by tools/bench/make_pair.py; their own sums are recorded too, and a generator that
// fails or whose bytes differ on this machine (another zlib) fails the rows that use them.
// Without the peer corpus the corpus rows (the last ones) are not run and the test is skipped.
// FOLIOBIND_RECORD_SUMS=1 rewrites the sums file from the current program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

const std::string kSource = FOLIOBIND_SOURCE_DIR;
const std::string kSumsFile = kSource + "/testdata/golden/output-sha256.txt";

// make_pair.py arguments of the generated inputs.
const std::vector<std::vector<std::string>> kGenerated = {
    {"pair", "classic-a.pdf", "classic-b.pdf", "--pages", "30"},
    {"pair", "objstm-a.pdf", "objstm-b.pdf", "--pages", "30", "--form", "objstm"},
    {"pair", "tiny-a.pdf", "tiny-b.pdf", "--pages", "250", "--tiny"},
    {"list", "list", "--count", "5"},
};

// One append: the row's recorded name, the folder of its inputs (generated, samples or the
// corpus), the two inputs (or a list file and "") and an option.
enum class Place { Generated, Samples, Corpus };
struct Row {
    const char* name;
    Place place;
    const char* first;
    const char* second;
    const char* option;
};
const Row kRows[] = {
    {"classic pair", Place::Generated, "classic-a.pdf", "classic-b.pdf", ""},
    {"object-stream pair", Place::Generated, "objstm-a.pdf", "objstm-b.pdf", ""},
    {"classic onto object streams", Place::Generated, "objstm-a.pdf", "classic-b.pdf", ""},
    {"object streams without bookmarks", Place::Generated, "classic-a.pdf", "objstm-b.pdf", "-nobookmarks"},
    {"tiny pages", Place::Generated, "tiny-a.pdf", "tiny-b.pdf", ""},
    {"classic file onto itself", Place::Generated, "classic-a.pdf", "classic-a.pdf", ""},
    {"list of five", Place::Generated, "list/list.txt", "", "-temp"},
    {"samples a b", Place::Samples, "sample-a-classic.pdf", "sample-b-xrefstream.pdf", ""},
    {"samples b c", Place::Samples, "sample-b-xrefstream.pdf", "sample-c-plain.pdf", ""},
    {"samples c a", Place::Samples, "sample-c-plain.pdf", "sample-a-classic.pdf", ""},
    {"shared fonts", Place::Corpus, "pdfjs__tracemonkey.pdf", "pdfjs__tracemonkey_freetext.pdf", ""},
    {"outlines both", Place::Corpus, "pdfcpu__T4.pdf", "pdfcpu__golang.pdf", ""},
    {"linearized", Place::Corpus, "pdfcpu__WaldenFull.pdf", "pdfcpu__ECSTR11-01.pdf", ""},
    {"generations", Place::Corpus, "qpdf__delete-and-reuse.pdf", "qpdf__gen1.pdf", ""},
    {"hybrid", Place::Corpus, "qpdf__hybrid-xref.pdf", "pysamples__pdflatex-outline.pdf", ""},
    {"object streams onto outlines", Place::Corpus, "qpdf__page-labels-and-outlines.pdf", "qpdf__c-object-streams.pdf", ""},
    {"inherited", Place::Corpus, "qpdf__shared-images.pdf", "qpdf__inherited-rotate.pdf", ""},
    {"itself", Place::Corpus, "pdfcpu__gobook.0.pdf", "pdfcpu__gobook.0.pdf", ""},
    {"no bookmarks", Place::Corpus, "qpdf__minimal.pdf", "pdfcpu__gobook.0.pdf", "-nobookmarks"},
};

std::string Sha256(const std::string& path)
{
    return std::filesystem::exists(path) ? RunTool("sha256sum", {path}).out.substr(0, 64) : "no output";
}

// Runs the program on the row in dir (where the generated inputs are); the output's sum.
std::string RunRow(const Row& row, const CTestDir& dir)
{
    const std::string folder = row.place == Place::Generated ? dir.Path()
                               : row.place == Place::Samples ? kSource + "/testdata/samples"
                                                             : kSource + "/../shared/corpus/peers";
    const std::string output = dir.PathOf("out.pdf");
    std::filesystem::remove(output);
    std::vector<std::string> args = {folder + "/" + row.first};
    if (*row.second)
        args.push_back(folder + "/" + row.second);
    args.push_back("-o" + output);
    // A list job takes no "-quiet" in third place: that would name its output.
    if (*row.option)
        args.push_back(row.option);
    if (std::string(row.option) == "-temp")
        args.push_back(dir.Path());
    args.push_back("-quiet");
    const ProgramResult run = RunProgram(FOLIOBIND_EXE, args, dir.Path());
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    return Sha256(output);
}

// Writes the generated inputs into dir and returns their sums as "input <name>"; empty when
// python3 or the generator fails.
std::map<std::string, std::string> Generate(const CTestDir& dir)
{
    if (FindTool("python3").empty())
        return {};
    for (std::vector<std::string> args : kGenerated) {
        args.insert(args.begin(), kSource + "/tools/bench/make_pair.py");
        if (RunProgram(FindTool("python3"), args, dir.Path()).exitStatus != 0)
            return {};
    }
    std::map<std::string, std::string> sums;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        if (entry.path().extension() == ".pdf")
            sums["input " + entry.path().lexically_relative(dir.Path()).string()] = Sha256(entry.path());
    }
    return sums;
}

TEST(OutputIdentity, OutputsKeepTheirRecordedSums)
{
    if (FindTool("sha256sum").empty())
        GTEST_SKIP() << "sha256sum is not installed";
    CTestDir dir;
    std::map<std::string, std::string> current = Generate(dir);
    const bool isGenerated = !current.empty();
    const bool isRecording = std::getenv("FOLIOBIND_RECORD_SUMS") != nullptr;
    std::map<std::string, std::string> recorded, recordedInputs;
    std::ifstream file(kSumsFile);
    for (std::string line; std::getline(file, line);) {
        if (line.size() > 65 && line[0] != '#')
            (line.compare(65, 6, "input ") == 0 ? recordedInputs : recorded)[line.substr(65)] = line.substr(0, 64);
    }
    EXPECT_TRUE(isGenerated) << "python3 or tools/bench/make_pair.py failed";
    if (isGenerated && !isRecording) {
        EXPECT_EQ(current, recordedInputs) << "make_pair.py (or zlib) writes other bytes than were recorded";
    }
    const bool hasGenerated = isGenerated && (isRecording || current == recordedInputs);
    const bool hasCorpus = std::filesystem::is_directory(kSource + "/../shared/corpus/peers");
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        if (row.place == Place::Corpus && !hasCorpus)
            GTEST_SKIP() << "the peer corpus is absent: its rows were not run (nor sums recorded)";
        if (row.place == Place::Generated && !hasGenerated) {
            ADD_FAILURE() << "its inputs are not the recorded ones";
            continue;
        }
        current[row.name] = RunRow(row, dir);
        if (!isRecording) {
            EXPECT_EQ(current[row.name], recorded.count(row.name) ? recorded.at(row.name) : "not recorded");
        }
    }
    if (isRecording) {
        std::ofstream sums(kSumsFile, std::ios::binary);
        sums << "# sha256 of outputs and generated inputs; tests/append/OutputIdentityTest.cpp\n";
        for (const auto& [name, sum] : current)
            sums << sum << ' ' << name << '\n';
    }
}

} // namespace
