// The duplicate search: objects the second file shares with the first are written once, and
// only when everything behind their references is shared too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

const std::string kImageData(4000, '\x5A');

// One page that shows text in a font with an embedded font file, and an image. The objects
// sit at the given numbers so the two files can place them differently.
struct SharedLayout {
    uint32_t font;
    uint32_t descriptor;
    uint32_t fontFile;
    uint32_t image;
};

std::string PageWithFontAndImage(const SharedLayout& at, const std::string& text, const std::string& descriptorFlags = "32")
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 " +
                   std::to_string(at.font) + " 0 R >> /XObject << /Im " + std::to_string(at.image) + " 0 R >> >> >>");
    pdf.AddStream(4, "<< >>", "BT /F1 12 Tf 72 700 Td (" + text + ") Tj ET q 10 0 0 10 0 0 cm /Im Do Q");
    pdf.Add(at.font, "<< /Type /Font /Subtype /Type1 /BaseFont /Sample /FontDescriptor " + std::to_string(at.descriptor) +
                         " 0 R >>");
    pdf.Add(at.descriptor, "<< /Type /FontDescriptor /FontName /Sample /Flags " + descriptorFlags +
                               " /FontFile " + std::to_string(at.fontFile) + " 0 R >>");
    pdf.AddStream(at.fontFile, "<< /Length1 20 >>", "font program bytes..");
    pdf.AddStream(at.image, "<< /Type /XObject /Subtype /Image /Width 40 /Height 100 /ColorSpace /DeviceGray "
                            "/BitsPerComponent 8 >>",
                  kImageData);
    return pdf.ClassicXRef("/Root 1 0 R");
}

const SharedLayout kFirstLayout = {5, 6, 7, 8};

// Same objects under other numbers: the references differ as text but lead to duplicates.
TEST(Duplicates, SharedFontAndImageAreWrittenOnce)
{
    const std::string first = PageWithFontAndImage(kFirstLayout, "one");
    const std::string second = PageWithFontAndImage({8, 5, 6, 7}, "two");
    const std::string output = AppendBytes(first, second);
    EXPECT_EQ(CountOf(output, "/Type /Font "), 1u);
    EXPECT_EQ(CountOf(output, "/Subtype /Image"), 1u);
    EXPECT_EQ(CountOf(output, "font program bytes.."), 1u);
    EXPECT_LT(output.size(), first.size() + kImageData.size() / 2);
    // The second page (output 11) uses the first file's font 5 and image 8.
    EXPECT_NE(OutputObject(output, 11).find("/Font << /F1 5 0 R >> /XObject << /Im 8 0 R >>"), std::string::npos)
        << OutputObject(output, 11);
    // Dropped duplicates are free in the table: the second file's 5 to 8 are output 13 to 16.
    for (uint32_t number = 13; number <= 16; ++number)
        EXPECT_EQ(OutputObject(output, number), "") << number;
}

// Two fonts that read the same but whose descriptors differ: the second file's font is the
// first file's font whose descriptor it shares, whatever the reference numbers say as text.
TEST(Duplicates, FontsAreMatchedByWhatTheirReferencesLeadTo)
{
    auto build = [](const std::vector<std::pair<uint32_t, uint32_t>>& fonts) {
        CTestPdf pdf("1.4");
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        std::string resources;
        for (const auto& font : fonts)
            resources += " /F" + std::to_string(font.first) + " " + std::to_string(font.first) + " 0 R";
        pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font <<" + resources + " >> >> >>");
        for (const auto& font : fonts) {
            pdf.Add(font.first, "<< /Type /Font /Subtype /Type1 /BaseFont /Sample /FontDescriptor " +
                                    std::to_string(font.first + 1) + " 0 R >>");
            pdf.Add(font.first + 1, "<< /Type /FontDescriptor /FontName /Sample /Flags " + std::to_string(font.second) + " >>");
        }
        return pdf.ClassicXRef("/Root 1 0 R");
    };
    // First file: font 5 with flags 32, font 9 with flags 4. Second file: font 5 with flags 4.
    const std::string first = build({{5, 32}, {9, 4}});
    const std::string second = build({{5, 4}});
    const std::string output = AppendBytes(first, second);
    EXPECT_EQ(CountOf(output, "/Type /Font "), 2u);
    EXPECT_EQ(CountOf(output, "/Type /FontDescriptor"), 2u);
    // The second page (output 13) uses font 9, not font 5 whose text looks the same.
    EXPECT_NE(OutputObject(output, 13).find("/Font << /F5 9 0 R >>"), std::string::npos) << OutputObject(output, 13);
}

// A font whose text matches but whose descriptor exists only in the second file is copied.
TEST(Duplicates, FontDifferingBehindAReferenceIsNotShared)
{
    const std::string first = PageWithFontAndImage(kFirstLayout, "one", "32");
    const std::string second = PageWithFontAndImage(kFirstLayout, "two", "4");
    const std::string output = AppendBytes(first, second);
    EXPECT_EQ(CountOf(output, "/Type /Font "), 2u);
    EXPECT_EQ(CountOf(output, "/Type /FontDescriptor"), 2u);
    // The font program and the image are shared; the second font points at its own descriptor.
    EXPECT_EQ(CountOf(output, "font program bytes.."), 1u);
    EXPECT_EQ(CountOf(output, "/Subtype /Image"), 1u);
    EXPECT_EQ(OutputObject(output, 13),
              "13 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont /Sample /FontDescriptor 14 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 14),
              "14 0 obj\n<< /Type /FontDescriptor /FontName /Sample /Flags 4 /FontFile 7 0 R >>\nendobj\n");
}

// Appending a file to itself: pages and page-tree nodes are copied again; the resources once.
TEST(Duplicates, FileAppendedToItself)
{
    const std::string file = PageWithFontAndImage(kFirstLayout, "same");
    const std::string output = AppendBytes(file, file);
    EXPECT_EQ(CountOf(output, "/Type /Page "), 2u);
    EXPECT_EQ(CountOf(output, "/Type /Pages "), 2u);
    EXPECT_EQ(CountOf(output, "/Type /Font "), 1u);
    // The content streams are identical too, so the second page shows the first one's.
    EXPECT_NE(OutputObject(output, 11).find("/Contents 4 0 R"), std::string::npos);
}

// Objects that refer to each other in a cycle are kept (a cycle proves nothing); objects with
// an embedded TrueType font or a /Parent are never shared.
TEST(Duplicates, CyclesAndUnsharedObjectsAreCopied)
{
    auto build = [](const std::string& text) {
        CTestPdf pdf("1.4");
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /Names 5 0 R /AA 7 0 R >>");
        pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
        pdf.AddStream(4, "<< >>", text);
        pdf.Add(5, "<< /Next 6 0 R >>");
        pdf.Add(6, "<< /Next 5 0 R >>");
        pdf.Add(7, "<< /FontFile2 8 0 R >>");
        pdf.Add(8, "<< /Parent 9 0 R >>");
        pdf.Add(9, "(leaf)");
        return pdf.ClassicXRef("/Root 1 0 R");
    };
    const std::string output = AppendBytes(build("BT ET"), build("q Q"));
    EXPECT_EQ(OutputObject(output, 14), "14 0 obj\n<< /Next 15 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 15), "15 0 obj\n<< /Next 14 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 16), "16 0 obj\n<< /FontFile2 17 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 17), "17 0 obj\n<< /Parent 9 0 R >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 18), ""); // "(leaf)" is the first file's object 9
}

// An annotation that names its page does not make the page a duplicate: appending a file with
// annotations to itself keeps both page trees whole.
TEST(Duplicates, AnnotationsDoNotShareTheirPages)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R] >>");
    pdf.Add(4, "<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /P 3 0 R /Contents (note) >>");
    const std::string file = pdf.ClassicXRef("/Root 1 0 R");
    const std::string output = AppendBytes(file, file);
    EXPECT_EQ(OutputObject(output, 6), "6 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [7 0 R] /Count 1 >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 7),
              "7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Annots [8 0 R] >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 8),
              "8 0 obj\n<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /P 7 0 R /Contents (note) >>\nendobj\n");
}

// A second file whose trailer /Info names its page-tree root: the root is copied all the same.
TEST(Duplicates, InfoNamingThePageRootKeepsIt)
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    const std::string file = pdf.ClassicXRef("/Root 1 0 R /Info 2 0 R");
    const std::string output = AppendBytes(file, file);
    EXPECT_EQ(OutputObject(output, 5), "5 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [6 0 R] /Count 1 >>\nendobj\n");
    EXPECT_EQ(OutputObject(output, 2), "2 0 obj\n<< /Type /Pages /Kids [3 0 R 5 0 R ] /Count 2 >>\nendobj\n");
}

// Streams that agree in dictionary, length and first bytes and differ further on: each
// second-file stream is matched with the first-file stream whose data it has, or copied.
TEST(Duplicates, StreamsAlikeUpToTheirLastBytesAreToldApart)
{
    auto build = [](const std::vector<std::string>& endings) {
        CTestPdf pdf("1.4");
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        std::string names;
        for (size_t k = 0; k < endings.size(); ++k)
            names += " /X" + std::to_string(k) + " " + std::to_string(4 + k) + " 0 R";
        pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject <<" + names +
                       " >> >> >>");
        for (size_t k = 0; k < endings.size(); ++k)
            pdf.AddStream(static_cast<uint32_t>(4 + k), "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>",
                          std::string(200, '%') + "\n" + endings[k]);
        return pdf.ClassicXRef("/Root 1 0 R");
    };
    const std::string output = AppendBytes(build({"0 g", "1 g", "2 g"}), build({"1 g", "3 g", "2 g"}));
    // The second page is output 9: its first and third forms are the first file's 5 and 6.
    EXPECT_NE(OutputObject(output, 9).find("<< /X0 5 0 R /X1 11 0 R /X2 6 0 R >>"), std::string::npos)
        << OutputObject(output, 9);
    EXPECT_EQ(CountOf(output, "3 g"), 1u);
    EXPECT_EQ(CountOf(output, "1 g"), 1u);
}

// True when every "n g R" in the output names an object in use in its table.
bool AllReferencesResolve(const std::string& output)
{
    const std::string xref = OutputXref(output);
    const size_t firstEntry = xref.find('\r') + 1;
    std::vector<bool> inUse;
    for (size_t at = firstEntry; at + 20 <= xref.size(); at += 20)
        inUse.push_back(xref[at + 17] == 'n');
    const size_t bodyEnd = output.rfind("xref\n0 ");
    for (size_t r = output.find(" R", 0); r < bodyEnd; r = output.find(" R", r + 1)) {
        size_t generationStart = r;
        auto isDigit = [&output](size_t at) { return output[at] >= '0' && output[at] <= '9'; };
        while (generationStart > 0 && isDigit(generationStart - 1))
            --generationStart;
        size_t numberStart = generationStart - 1;
        while (numberStart > 0 && isDigit(numberStart - 1))
            --numberStart;
        if (generationStart == r || output[generationStart - 1] != ' ' || numberStart == generationStart - 1)
            continue;
        const size_t number = std::stoul(output.substr(numberStart, generationStart - 1 - numberStart));
        if (number >= inUse.size() || !inUse[number])
            return false;
    }
    return true;
}

// A long chain of objects each naming the next, all matching first-file objects by shape,
// must not exhaust the stack, and no reference may be left leading nowhere.
TEST(Duplicates, LongReferenceChainIsBounded)
{
    auto build = [](uint32_t links) {
        CTestPdf pdf("1.4");
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /Chain 4 0 R >>");
        pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
        for (uint32_t number = 4; number < 4 + links; ++number)
            pdf.Add(number, "<< /Next " + std::to_string(number + 1) + " 0 R >>");
        pdf.Add(4 + links, "(end)");
        return pdf.ClassicXRef("/Root 1 0 R");
    };
    const std::string output = AppendBytes(build(5), build(20000));
    EXPECT_TRUE(AllReferencesResolve(output));
    // The second file's last links stand on the first file's chain.
    EXPECT_EQ(OutputObject(output, 20003 + 9), "");
    EXPECT_EQ(OutputObject(output, 13), "13 0 obj\n<< /Next 14 0 R >>\nendobj\n");
}

} // namespace
