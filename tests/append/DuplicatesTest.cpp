// The duplicate search: objects the second file shares with the first are written once, and
// only when everything behind their references is shared too.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/append/AppendTestSupport.h"

namespace {

constexpr const char* kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
constexpr const char* kRoot = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string kImageData(4000, '\x5A');

// One page showing text in a font with an embedded font file, and an image; font, descriptor,
// font file and image sit at the given numbers so the two files can place them differently.
std::string FontAndImage(const uint32_t (&at)[4], const std::string& text, const std::string& flags = "32")
{
    const std::string font = std::to_string(at[0]), descriptor = std::to_string(at[1]);
    return ClassicPdf(
        {{1, kCatalog}, {2, kRoot},
         {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 " + font +
                 " 0 R >> /XObject << /Im " + std::to_string(at[3]) + " 0 R >> >> >>"},
         {4, StreamBody("<< >>", "BT /F1 12 Tf 72 700 Td (" + text + ") Tj ET q 10 0 0 10 0 0 cm /Im Do Q")},
         {at[0], "<< /Type /Font /Subtype /Type1 /BaseFont /Sample /FontDescriptor " + descriptor + " 0 R >>"},
         {at[1], "<< /Type /FontDescriptor /FontName /Sample /Flags " + flags + " /FontFile " + std::to_string(at[2]) +
                     " 0 R >>"},
         {at[2], StreamBody("<< /Length1 20 >>", "font program bytes..")},
         {at[3], StreamBody("<< /Type /XObject /Subtype /Image /Width 40 /Height 100 /ColorSpace /DeviceGray "
                            "/BitsPerComponent 8 >>", kImageData)}});
}

// One page using fonts (number, descriptor flags); each font's descriptor is the next number.
std::string Fonts(const std::vector<std::pair<uint32_t, uint32_t>>& fonts)
{
    std::vector<std::pair<uint32_t, std::string>> objects = {{1, kCatalog}, {2, kRoot}};
    std::string resources;
    for (const auto& [number, flags] : fonts) {
        resources += " /F" + std::to_string(number) + " " + std::to_string(number) + " 0 R";
        objects.emplace_back(number, "<< /Type /Font /Subtype /Type1 /BaseFont /Sample /FontDescriptor " +
                                         std::to_string(number + 1) + " 0 R >>");
        objects.emplace_back(number + 1,
                             "<< /Type /FontDescriptor /FontName /Sample /Flags " + std::to_string(flags) + " >>");
    }
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font <<" + resources;
    objects.insert(objects.begin() + 2, {3, page + " >> >> >>"});
    return ClassicPdf(objects);
}

// One page with form XObjects 4, 5, ... whose data agree in their first 200 bytes.
std::string Forms(const std::vector<std::string>& endings)
{
    std::vector<std::pair<uint32_t, std::string>> objects = {{1, kCatalog}, {2, kRoot}};
    std::string names;
    for (uint32_t k = 0; k < endings.size(); ++k) {
        names += " /X" + std::to_string(k) + " " + std::to_string(4 + k) + " 0 R";
        objects.emplace_back(4 + k, StreamBody("<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>",
                                               std::string(200, '%') + "\n" + endings[k]));
    }
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject <<" + names;
    objects.insert(objects.begin() + 2, {3, page + " >> >> >>"});
    return ClassicPdf(objects);
}

// Objects in a cycle (5, 6), with an embedded TrueType font (7) or a /Parent (8), and a leaf (9).
std::string CyclesAndUnshared(const std::string& content)
{
    return ClassicPdf({{1, "<< /Type /Catalog /Pages 2 0 R /Names 5 0 R /AA 7 0 R >>"}, {2, kRoot},
                       {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>"},
                       {4, StreamBody("<< >>", content)}, {5, "<< /Next 6 0 R >>"}, {6, "<< /Next 5 0 R >>"},
                       {7, "<< /FontFile2 8 0 R >>"}, {8, "<< /Parent 9 0 R >>"}, {9, "(leaf)"}});
}

TEST(Duplicates, Rows)
{
    const uint32_t firstLayout[4] = {5, 6, 7, 8};
    const std::string fontAndImage = FontAndImage(firstLayout, "one");
    const std::string annotated =
        ClassicPdf({{1, kCatalog}, {2, kRoot},
                    {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R] >>"},
                    {4, "<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /P 3 0 R /Contents (note) >>"}});
    const std::string infoIsRoot =
        ClassicPdf({{1, kCatalog}, {2, kRoot}, {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"}},
                   "/Root 1 0 R /Info 2 0 R");
    const std::vector<std::pair<std::string, size_t>> oneEach = {
        {"/Type /Font ", 1}, {"/Subtype /Image", 1}, {"font program bytes..", 1}, {kImageData, 1}};
    CheckAppendRows({
        // The same objects under other numbers: the second page (output 11) uses the first file's
        // font 5 and image 8, and the second file's 5 to 8 (output 13 to 16) are free.
        {"shared font and image are written once", fontAndImage, FontAndImage({8, 5, 6, 7}, "two"),
         {{11, "11 0 obj\n<< /Type /Page /Parent 10 0 R /MediaBox [0 0 612 792] /Contents 12 0 R "
              "/Resources << /Font << /F1 5 0 R >> /XObject << /Im 8 0 R >> >> >>\nendobj\n"},
          {13, ""}, {14, ""}, {15, ""}, {16, ""}}, oneEach},
        // First file: font 5 with flags 32, font 9 with flags 4; second file: font 5 with flags 4.
        // The second page (output 13) uses font 9, not font 5 whose text looks the same.
        {"fonts are matched by what their references lead to", Fonts({{5, 32}, {9, 4}}), Fonts({{5, 4}}),
         {{13, "13 0 obj\n<< /Type /Page /Parent 12 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F5 9 0 R >> >> >>"
               "\nendobj\n"}}, {{"/Type /Font ", 2}, {"/Type /FontDescriptor", 2}}},
        // A font whose descriptor exists only in the second file is copied; its font program and
        // the image are shared.
        {"font differing behind a reference", fontAndImage, FontAndImage(firstLayout, "two", "4"),
         {{13, "13 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont /Sample /FontDescriptor 14 0 R >>\nendobj\n"},
          {14, "14 0 obj\n<< /Type /FontDescriptor /FontName /Sample /Flags 4 /FontFile 7 0 R >>\nendobj\n"}},
         {{"/Type /Font ", 2}, {"/Type /FontDescriptor", 2}, {"font program bytes..", 1}, {"/Subtype /Image", 1}}},
        // A file appended to itself: pages and page-tree nodes are copied again, the resources and
        // the identical content stream once.
        {"file appended to itself", fontAndImage, fontAndImage,
         {{11, "11 0 obj\n<< /Type /Page /Parent 10 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
              "/Resources << /Font << /F1 5 0 R >> /XObject << /Im 8 0 R >> >> >>\nendobj\n"}},
         {{"/Type /Page ", 2}, {"/Type /Pages ", 2}, {"/Type /Font ", 1}}},
        // A cycle proves nothing, so it is copied; objects with an embedded TrueType font or a
        // /Parent are never shared; the leaf "(leaf)" is the first file's object 9.
        {"cycles and unshared objects are copied", CyclesAndUnshared("BT ET"), CyclesAndUnshared("q Q"),
         {{14, "14 0 obj\n<< /Next 15 0 R >>\nendobj\n"}, {15, "15 0 obj\n<< /Next 14 0 R >>\nendobj\n"},
          {16, "16 0 obj\n<< /FontFile2 17 0 R >>\nendobj\n"}, {17, "17 0 obj\n<< /Parent 9 0 R >>\nendobj\n"},
          {18, ""}}},
        // An annotation naming its page does not make the page a duplicate.
        {"annotations do not share their pages", annotated, annotated,
         {{6, "6 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [7 0 R] /Count 1 >>\nendobj\n"},
          {7, "7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Annots [8 0 R] >>\nendobj\n"},
          {8, "8 0 obj\n<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /P 7 0 R /Contents (note) >>\nendobj\n"}}},
        // A second file whose trailer /Info names its page-tree root: the root is copied all the same.
        {"info naming the page root keeps it", infoIsRoot, infoIsRoot,
         {{5, "5 0 obj\n<<\r/Parent 2 0 R /Type /Pages /Kids [6 0 R] /Count 1 >>\nendobj\n"},
          {2, "2 0 obj\n<< /Type /Pages /Kids [3 0 R 5 0 R ] /Count 2 >>\nendobj\n"}}},
        // Streams alike up to their last bytes: each second-file stream is matched with the
        // first-file stream whose data it has (output 5 and 6), or copied (output 11).
        {"streams alike up to their last bytes", Forms({"0 g", "1 g", "2 g"}), Forms({"1 g", "3 g", "2 g"}),
         {{9, "9 0 obj\n<< /Type /Page /Parent 8 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /X0 5 0 R "
              "/X1 11 0 R /X2 6 0 R >> >> >>\nendobj\n"}}, {{"3 g", 1}, {"1 g", 1}}},
    });
}

// True when every "n g R" before the table names an entry in use.
bool AllReferencesResolve(const std::string& output)
{
    const std::string xref = OutputXref(output);
    const size_t firstEntry = xref.find('\r') + 1;
    const std::regex reference("(\\d+) \\d+ R");
    const auto bodyEnd = output.begin() + static_cast<std::ptrdiff_t>(output.rfind("xref\n0 "));
    for (std::sregex_iterator match(output.begin(), bodyEnd, reference), end; match != end; ++match) {
        const size_t at = firstEntry + 20 * std::stoul((*match)[1]) + 17;
        if (at >= xref.size() || xref[at] != 'n')
            return false;
    }
    return true;
}

// A chain of objects each naming the next, all matching first-file objects by shape: 20000
// links must not exhaust the stack, no reference may lead nowhere, and the second file's last
// links stand on the first file's chain.
TEST(Duplicates, LongReferenceChainIsBounded)
{
    const auto chain = [](uint32_t links) {
        std::vector<std::pair<uint32_t, std::string>> objects = {
            {1, "<< /Type /Catalog /Pages 2 0 R /Chain 4 0 R >>"}, {2, kRoot},
            {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"}};
        for (uint32_t number = 4; number < 4 + links; ++number)
            objects.emplace_back(number, "<< /Next " + std::to_string(number + 1) + " 0 R >>");
        objects.emplace_back(4 + links, "(end)");
        return ClassicPdf(objects);
    };
    const std::string output = AppendBytes(chain(5), chain(20000));
    EXPECT_TRUE(AllReferencesResolve(output));
    EXPECT_EQ(OutputObject(output, 20003 + 9), "");
    EXPECT_EQ(OutputObject(output, 13), "13 0 obj\n<< /Next 14 0 R >>\nendobj\n");
}

} // namespace
