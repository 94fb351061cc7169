// Output identity: the sha256 of the program's outputs for a fixed set of inputs (generated
// pairs, the bundled samples, a list job and a few corpus pairs) must stay what it was when the
// set was recorded, so that work on speed never changes an output byte. Generated inputs are
// written by tools/bench/make_pair.py; their own sums are recorded too, and a generator whose
// bytes differ on this machine (another zlib) skips its rows instead of failing them.
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
const std::string kCorpus = kSource + "/../shared/corpus/peers";
const std::string kSamples = kSource + "/testdata/samples";

// Generated inputs: file name and make_pair.py arguments.
struct Generated {
    const char* name;
    std::vector<std::string> args;
};
const Generated kGenerated[] = {
    {"classic", {"pair", "classic-a.pdf", "classic-b.pdf", "--pages", "30"}},
    {"objstm", {"pair", "objstm-a.pdf", "objstm-b.pdf", "--pages", "30", "--form", "objstm"}},
    {"tiny", {"pair", "tiny-a.pdf", "tiny-b.pdf", "--pages", "250", "--tiny"}},
    {"list", {"list", "list", "--count", "5"}},
};

// One append: a row name, where its inputs live ("gen", "samples" or "corpus"), the two inputs
// (or a list file and "") and options.
struct Row {
    const char* name;
    const char* place;
    const char* first;
    const char* second;
    const char* options;
};
const Row kRows[] = {
    {"classic pair", "gen", "classic-a.pdf", "classic-b.pdf", ""},
    {"object-stream pair", "gen", "objstm-a.pdf", "objstm-b.pdf", ""},
    {"classic onto object streams", "gen", "objstm-a.pdf", "classic-b.pdf", ""},
    {"object streams without bookmarks", "gen", "classic-a.pdf", "objstm-b.pdf", "-nobookmarks"},
    {"tiny pages", "gen", "tiny-a.pdf", "tiny-b.pdf", ""},
    {"classic file onto itself", "gen", "classic-a.pdf", "classic-a.pdf", ""},
    {"list of five", "gen", "list/list.txt", "", "-temp"},
    {"samples a b", "samples", "sample-a-classic.pdf", "sample-b-xrefstream.pdf", ""},
    {"samples b c", "samples", "sample-b-xrefstream.pdf", "sample-c-plain.pdf", ""},
    {"samples c a", "samples", "sample-c-plain.pdf", "sample-a-classic.pdf", ""},
    {"shared fonts", "corpus", "pdfjs__tracemonkey.pdf", "pdfjs__tracemonkey_freetext.pdf", ""},
    {"outlines both", "corpus", "pdfcpu__T4.pdf", "pdfcpu__golang.pdf", ""},
    {"linearized", "corpus", "pdfcpu__WaldenFull.pdf", "pdfcpu__ECSTR11-01.pdf", ""},
    {"generations", "corpus", "qpdf__delete-and-reuse.pdf", "qpdf__gen1.pdf", ""},
    {"hybrid", "corpus", "qpdf__hybrid-xref.pdf", "pysamples__pdflatex-outline.pdf", ""},
    {"object streams onto outlines", "corpus", "qpdf__page-labels-and-outlines.pdf", "qpdf__c-object-streams.pdf", ""},
    {"inherited", "corpus", "qpdf__shared-images.pdf", "qpdf__inherited-rotate.pdf", ""},
    {"itself", "corpus", "pdfcpu__gobook.0.pdf", "pdfcpu__gobook.0.pdf", ""},
    {"no bookmarks", "corpus", "qpdf__minimal.pdf", "pdfcpu__gobook.0.pdf", "-nobookmarks"},
};

std::map<std::string, std::string> ReadSums()
{
    std::map<std::string, std::string> sums;
    std::ifstream file(kSumsFile);
    std::string line;
    while (std::getline(file, line)) {
        if (line.size() > 65 && line[0] != '#')
            sums[line.substr(65)] = line.substr(0, 64);
    }
    return sums;
}

std::string Sha256(const std::string& path)
{
    if (!std::filesystem::exists(path))
        return "no output";
    return RunTool("sha256sum", {path}).out.substr(0, 64);
}

std::string Place(const Row& row, const CTestDir& dir)
{
    const std::string place = row.place;
    return place == "gen" ? dir.Path() : place == "samples" ? kSamples : kCorpus;
}

// Runs the program on the row; the output's sum, or "no output".
std::string RunRow(const Row& row, const CTestDir& dir)
{
    const std::string folder = Place(row, dir);
    const std::string output = dir.PathOf("out.pdf");
    std::filesystem::remove(output);
    std::vector<std::string> args = {folder + "/" + row.first};
    if (*row.second)
        args.push_back(folder + "/" + row.second);
    args.push_back("-o" + output);
    // A list job takes no "-quiet" in third place: that would name its output.
    for (const char* option : {row.options, "-quiet"}) {
        if (*option)
            args.push_back(option);
        if (std::string(option) == "-temp")
            args.push_back(dir.Path());
    }
    RunProgram(FOLIOBIND_EXE, args, dir.Path());
    return Sha256(output);
}

// Writes the generated inputs into dir; false when python3 is missing.
bool Generate(const CTestDir& dir)
{
    if (FindTool("python3").empty())
        return false;
    for (const Generated& generated : kGenerated) {
        std::vector<std::string> args = {kSource + "/tools/bench/make_pair.py"};
        args.insert(args.end(), generated.args.begin(), generated.args.end());
        if (RunProgram(FindTool("python3"), args, dir.Path()).exitStatus != 0)
            return false;
    }
    return true;
}

// The generated files' names, as recorded ("input <name>").
std::vector<std::string> GeneratedInputs()
{
    std::vector<std::string> names = {"classic-a.pdf", "classic-b.pdf", "objstm-a.pdf", "objstm-b.pdf", "tiny-a.pdf",
                                      "tiny-b.pdf"};
    for (int k = 1; k <= 5; ++k)
        names.push_back("list/p000" + std::to_string(k) + ".pdf");
    return names;
}

TEST(OutputIdentity, OutputsKeepTheirRecordedSums)
{
    if (FindTool("sha256sum").empty())
        GTEST_SKIP() << "sha256sum is not installed";
    CTestDir dir;
    const bool isGenerated = Generate(dir);
    const bool isRecording = std::getenv("FOLIOBIND_RECORD_SUMS") != nullptr;
    const std::map<std::string, std::string> recorded = ReadSums();
    std::map<std::string, std::string> current;
    bool isSameInput = isGenerated;
    for (const std::string& name : GeneratedInputs()) {
        current["input " + name] = isGenerated ? Sha256(dir.PathOf(name)) : "";
        auto found = recorded.find("input " + name);
        isSameInput = isSameInput && found != recorded.end() && found->second == current["input " + name];
    }
    const bool hasCorpus = std::filesystem::is_directory(kCorpus);
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::string place = row.place;
        const bool isGenAvailable = isRecording ? isGenerated : isSameInput;
        const bool isAvailable = place == "gen" ? isGenAvailable : place != "corpus" || hasCorpus;
        if (!isAvailable) {
            std::printf("skipped: %s (inputs not available as recorded)\n", row.name);
            continue;
        }
        current[row.name] = RunRow(row, dir);
        if (!isRecording) {
            EXPECT_EQ(current[row.name], recorded.count(row.name) ? recorded.at(row.name) : "not recorded");
        }
    }
    if (isRecording) {
        std::ofstream file(kSumsFile, std::ios::binary);
        file << "# sha256 of outputs and generated inputs; tests/append/OutputIdentityTest.cpp\n";
        for (const auto& [name, sum] : current)
            file << sum << ' ' << name << '\n';
    }
}

} // namespace
