// A plain list keeps its output from line to line instead of reading it back: the result must
// be, byte for byte, what running its lines one at a time as in-place jobs gives, with the same
// standard output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/JobFixtures.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/RunProgram.h"

namespace {

struct CDocShape {
    uint32_t pages = 2;
    bool hasOutline = false;
    bool isCompressed = false; // objects in an object stream, cross-reference stream
    bool isSharedLast = false; // the shared font and image take the highest numbers
    bool isIndirectRoot = false; // the page-tree root's /Kids and /Count are objects of their own
    bool isCountFirst = false;   // the page-tree root has /Count before /Kids
    bool hasNames = false; // named destinations and form fields, some under names every such file uses
    bool isOtherImage = false; // the image's dictionary as in every file, one byte of its data not
};

// A document whose font and image are the same in every file made here, so that appends find
// duplicates, and whose pages name label.
std::string ShapedPdf(const std::string& label, const CDocShape& shape)
{
    CTestPdf pdf("1.5");
    const uint32_t font = shape.isSharedLast ? 8 + 2 * shape.pages : 6;
    const uint32_t image = font + 1;
    const std::string shared = "/Font << /F1 " + std::to_string(font) + " 0 R >> /XObject << /Im " +
                               std::to_string(image) + " 0 R >>";
    std::vector<std::pair<uint32_t, std::string>> plain;
    std::string kids;
    for (uint32_t i = 0; i < shape.pages; ++i)
        kids += std::to_string(8 + 2 * i) + " 0 R ";
    plain.push_back({1, std::string("<< /Type /Catalog /Pages 2 0 R") + (shape.hasOutline ? " /Outlines 3 0 R" : "") +
                            (shape.hasNames ? " /Names << /Dests 95 0 R >> /AcroForm << /Fields [98 0 R 99 0 R] >>" : "") + " >>"});
    if (shape.hasNames) {
        plain.push_back({95, "<< /Kids [96 0 R] >>"});
        for (const auto& [number, name] : {std::pair<uint32_t, std::string>{98, "field"}, {99, label}})
            plain.push_back({number, "<< /FT /Tx /T (" + name + ") /Type /Annot /Subtype /Widget /Rect [0 0 20 10] >>"});
        plain.push_back({96, "<< /Names [(intro) [8 0 R /Fit] (" + label + ") [8 0 R /XYZ 0 200 1.5] (x\\(y) 97 0 R] >>"});
        plain.push_back({97, "[8 0 R /FitH 100]"});
    }
    if (shape.isIndirectRoot) {
        plain.push_back({2, "<< /Type /Pages /Kids 90 0 R /Count 91 0 R >>"});
        plain.push_back({90, "[" + kids + "]"});
        plain.push_back({91, std::to_string(shape.pages)});
    } else if (shape.isCountFirst) {
        plain.push_back({2, "<< /Type /Pages /Count " + std::to_string(shape.pages) + " /Kids [" + kids + "] >>"});
    } else {
        plain.push_back({2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(shape.pages) + " >>"});
    }
    if (shape.hasOutline) {
        plain.push_back({3, "<< /Type /Outlines /First 4 0 R /Last 5 0 R /Count 2 >>"});
        plain.push_back({4, "<< /Title (" + label + " one) /Parent 3 0 R /Next 5 0 R /Dest [8 0 R /Fit] >>"});
        plain.push_back({5, "<< /Title (" + label + " two) /Parent 3 0 R /Prev 4 0 R /Dest [8 0 R /XYZ 0 0 0] >>"});
    }
    plain.push_back({font, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
    for (uint32_t i = 0; i < shape.pages; ++i)
        plain.push_back({8 + 2 * i, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << " + shared +
                                    " >> /Contents " + std::to_string(9 + 2 * i) + " 0 R >>"});
    if (shape.isCompressed)
        pdf.AddObjectStream(100, plain);
    else
        for (const auto& [number, body] : plain)
            pdf.Add(number, body);
    // Raw, so that the one byte that differs lies past the part of the data the search samples.
    pdf.AddStream(image, "<< /Type /XObject /Subtype /Image /Width 10 /Height 10 /ColorSpace /DeviceGray /BitsPerComponent 8 >>",
                  std::string(99, '\x80') + (shape.isOtherImage ? '\x11' : '\x10'), false);
    for (uint32_t i = 0; i < shape.pages; ++i)
        pdf.AddStream(9 + 2 * i, "", "BT /F1 12 Tf 20 100 Td (" + label + " " + std::to_string(i + 1) + ") Tj ET", true);
    if (!shape.isCompressed)
        return pdf.ClassicXRef("/Root 1 0 R");
    CTestXRefStreamOptions options;
    options.compress = true;
    return pdf.XRefStream(101, options, "/Root 1 0 R");
}

struct CListRow {
    const char* name;
    std::vector<std::string> files; // names of the files listed, in the order of the list
    std::vector<std::string> options;
    const char* existing;            // the file the output is a copy of before the run, or ""
};

// The files of every row: classic and compressed, with and without outlines and named
// destinations, and a damaged one.
void WriteInputs(const CScratchFolder& folder)
{
    folder.WriteFile("a.pdf", ShapedPdf("a", {2, true, false, false, false, false, true}));
    folder.WriteFile("b.pdf", ShapedPdf("b", {3, false, true}));
    folder.WriteFile("c.pdf", ShapedPdf("c", {1, true, true}));
    folder.WriteFile("d.pdf", ShapedPdf("d", {4, true, false, false, false, false, true}));
    folder.WriteFile("e.pdf", ShapedPdf("e", {2, false, false, true}));
    folder.WriteFile("f.pdf", ShapedPdf("f", {1, false, true, true}));
    folder.WriteFile("g.pdf", ShapedPdf("g", {2, true, false, false, true}));
    folder.WriteFile("h.pdf", ShapedPdf("h", {3, true, true, false, false, true, true}));
    folder.WriteFile("i.pdf", ShapedPdf("i", {2, false, false, false, false, false, false, true}));
    folder.WriteFile("bad.pdf", "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\ntrailer\n<< >>\n%%EOF\n");
}

std::vector<std::string> WithOptions(std::vector<std::string> args, const std::vector<std::string>& options)
{
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

} // namespace

TEST(ListIdentity, ListEqualsInPlaceJobsOneAtATime)
{
    const std::vector<std::string> many = {"a.pdf", "b.pdf", "c.pdf", "d.pdf", "e.pdf", "a.pdf", "c.pdf", "i.pdf", "b.pdf",
                                           "f.pdf", "e.pdf", "f.pdf", "c.pdf", "a.pdf", "b.pdf", "e.pdf", "d.pdf",
                                           "h.pdf", "a.pdf", "d.pdf"};
    const CListRow rows[] = {
        {"new output, mixed files", many, {}, ""},
        {"existing output", many, {}, "a.pdf"},
        {"existing output with object streams", many, {}, "b.pdf"},
        {"existing output with indirect kids and count", many, {}, "g.pdf"},
        {"existing output with the count before the kids", many, {}, "h.pdf"},
        {"page filter skips lines", many, {"-g1"}, ""},
        {"filter on the first lines", {"c.pdf", "c.pdf", "a.pdf", "b.pdf", "c.pdf", "d.pdf", "e.pdf"}, {"-l3"}, "a.pdf"},
        {"no bookmarks", many, {"-nobookmarks"}, ""},
        {"damaged file in the middle", {"a.pdf", "b.pdf", "c.pdf", "d.pdf", "bad.pdf", "e.pdf"}, {}, ""},
        {"filter and no bookmarks", many, {"-e2", "-nobookmarks"}, "a.pdf"},
    };
    for (const CListRow& row : rows) {
        SCOPED_TRACE(row.name);
        CScratchFolder listRun;
        CScratchFolder oneByOne;
        WriteInputs(listRun);
        WriteInputs(oneByOne);
        std::string list;
        for (const std::string& file : row.files)
            list += file + "\n";
        listRun.WriteFile("list.txt", list);
        if (*row.existing) {
            listRun.WriteFile("out.pdf", FileBytes(listRun.path() + "/" + row.existing));
            oneByOne.WriteFile("out.pdf", FileBytes(oneByOne.path() + "/" + row.existing));
        }
        const ProgramResult whole =
            RunProgram(FOLIOBIND_EXE, WithOptions({"list.txt", "-oout.pdf"}, row.options), listRun.path());
        std::string expected;
        for (const std::string& file : row.files) {
            const ProgramResult single = RunProgram(FOLIOBIND_EXE, WithOptions({"out.pdf", file}, row.options),
                                                    oneByOne.path());
            // Each run starts with the program's banner, which a list prints once.
            const size_t bannerEnd = single.out.find("\r\n\r\n");
            ASSERT_NE(bannerEnd, std::string::npos) << single.out;
            expected += expected.empty() ? single.out : single.out.substr(bannerEnd + 4);
            if (single.exitStatus != 0)
                break; // a failure that ends a job ends the list too
        }
        EXPECT_EQ(FileBytes(listRun.path() + "/out.pdf"), FileBytes(oneByOne.path() + "/out.pdf"));
        EXPECT_EQ(whole.out.substr(0, expected.size()), expected);
        EXPECT_EQ(whole.out.find("Appending", expected.size()), std::string::npos) << whole.out;
        EXPECT_TRUE(TemporaryFiles(listRun.path()).empty());
        const ProgramResult check = RunProgram("/usr/bin/qpdf", {"--check", "out.pdf"}, listRun.path());
        EXPECT_EQ(check.exitStatus, 0) << check.out;
    }
}
