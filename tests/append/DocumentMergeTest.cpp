// The second file's document-level data in the output: named destinations renamed where the
// first file uses the name (and their uses with them), forms, page labels, layers and structure
// merged. Each row appends two small files and reads the merged objects back byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "append/DestinationUses.h"
#include "tests/append/AppendTestSupport.h"
#include "tests/support/PdfBuilder.h"

namespace {

// Catalog 1 (with catalogExtra), page-tree root 2, one page 3 (with pageExtra), then objects
// from 4 on. The output numbers the second file's object k as 3 + (number of first objects) + k.
std::string Doc(const std::string& catalogExtra, const std::vector<std::string>& objects,
                const std::string& pageExtra = "")
{
    CTestPdf pdf("1.4");
    pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R" + catalogExtra + " >>");
    pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]" + pageExtra + " >>");
    uint32_t number = 4;
    for (const std::string& object : objects)
        pdf.Add(number++, object);
    return pdf.ClassicXRef("/Root 1 0 R");
}

std::string Object(uint32_t number, const std::string& body)
{
    return std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
}

// Applies the edits FindRenamedDestinations finds in text.
std::string Renamed(const std::string& text, const CNameRenames& renames)
{
    std::vector<CSpanEdit> edits;
    FindRenamedDestinations(text, 0, text.size(), renames, edits);
    std::string out;
    size_t at = 0;
    for (const CSpanEdit& edit : edits) {
        out += text.substr(at, edit.start - at) + edit.text;
        at = edit.end;
    }
    return out + text.substr(at);
}

const std::string kTreeAB = "<< /Names [(a) [3 0 R /Fit] (b) [3 0 R /XYZ 0 792 0]] >>";

TEST(DocumentMerge, Rows)
{
    // First file: objects 0-4 (shift 4); the second's page 3 is output 7.
    const std::string namesAB = Doc(" /Names << /Dests 4 0 R >>", {kTreeAB});
    CheckAppendRows({
        // A clashing name (b) is renamed in the merged tree and in every use: a link's /Dest, a
        // go-to action's /D, as a string or a name; a remote go-to's /D names another file's
        // destination and stays. New objects follow the table (5 + 7 - 1 entries): the tree 11,
        // the names 12.
        {"string names clash", namesAB,
         Doc(" /Names << /Dests 4 0 R >>",
             {"<< /Names [(b) [3 0 R /Fit] (c) [3 0 R /Fit]] >>",
              "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /Dest (b) >>",
              "<< /S /GoTo /D <62> /Next << /S /GoToR /F (x.pdf) /D (b) >> >>"}),
         {{11, Object(11, "<< /Names [\n<61> [3 0 R /Fit]\n<62> [3 0 R /XYZ 0 792 0]\n<622D32> [7 0 R /Fit]\n"
                          "<63> [7 0 R /Fit]\n] >>")},
          {12, Object(12, "<<\n/Dests 11 0 R\n>>")},
          {1, Object(1, "<< /Type /Catalog /Pages 2 0 R /Names 12 0 R >>")},
          {9, Object(9, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /Dest (b-2) >>")},
          {10, Object(10, "<< /S /GoTo /D (b-2) /Next << /S /GoToR /F (x.pdf) /D (b) >> >>")}}},
        // The name a clash would take is the second file's own already: the next one is taken.
        {"renamed past a name of the second file", namesAB,
         Doc(" /Names << /Dests 4 0 R >>", {"<< /Names [(b) [3 0 R /Fit] (b-2) [3 0 R /Fit]] >>"}),
         {{9, Object(9, "<< /Names [\n<61> [3 0 R /Fit]\n<62> [3 0 R /XYZ 0 792 0]\n<622D32> [7 0 R /Fit]\n"
                        "<622D33> [7 0 R /Fit]\n] >>")}}},
        // Old-style /Dests dictionaries: names given as names; a second name that the first file's
        // tree uses is renamed in the merged dictionary (object 10) and in the bookmark.
        {"dictionary names clash with the tree", namesAB,
         Doc(" /Dests 4 0 R /Outlines 5 0 R",
             {"<< /b [3 0 R /Fit] /d [3 0 R /Fit] >>", "<< /Type /Outlines /First 6 0 R /Last 6 0 R /Count 1 >>",
              "<< /Title (x) /Parent 5 0 R /Dest /b >>"}),
         {{11, Object(11, "<<\n/b-2 [7 0 R /Fit]\n/d [7 0 R /Fit]\n>>")},
          {10, Object(10, "<< /Title (x) /Parent 9 0 R /Dest /b-2 >>")}},
         {{"/Dests 11 0 R", 1}}},
        // A tree of kids with /Limits reads as its leaves; the output tree is one sorted node.
        {"tree with kids", Doc(" /Names << /Dests 4 0 R >>", {"<< /Names [(m) [3 0 R /Fit]] >>"}),
         Doc(" /Names << /Dests 4 0 R >>",
             {"<< /Kids [5 0 R 6 0 R] >>", "<< /Limits [(a) (b)] /Names [(a) [3 0 R /Fit] (b) [3 0 R /Fit]] >>",
              "<< /Limits [(x) (z)] /Names [(z) [3 0 R /Fit]] >>"}),
         {{11, Object(11, "<< /Names [\n<61> [7 0 R /Fit]\n<62> [7 0 R /Fit]\n<6D> [3 0 R /Fit]\n"
                          "<7A> [7 0 R /Fit]\n] >>")}}},
        // Only the second file has names: the catalog leads to them, renumbered.
        {"names of the second file only", Doc("", {}),
         Doc(" /Names 4 0 R", {"<< /Dests 5 0 R /EmbeddedFiles << /Names [(f) 6 0 R] >> >>",
                               "<< /Names [(a) [3 0 R /Fit]] >>", "<< /Type /Filespec /F (f) >>"}),
         {{10, Object(10, "<<\n/Dests 8 0 R\n/EmbeddedFiles <</Names [<66> 9 0 R]>>\n>>")},
          {1, Object(1, "<<\r/Names 10 0 R /Type /Catalog /Pages 2 0 R >>")}}},
    });
}

// A second file whose name-tree nodes (objects 4 to 8) lie in object stream 20 merges as the same
// file with those nodes stored: the nodes of the common shape are read from their text, all
// others through the parser, and either way the merged tree is the same. Object 9 is a
// destination; object 10 a node stored in both files.
TEST(DocumentMerge, TreesInObjectStreamsReadAsStored)
{
    const auto second = [](const std::vector<std::string>& nodes, bool isCompressed) {
        CTestPdf pdf("1.5");
        pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /Names << /Dests 4 0 R >> >>");
        pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
        std::vector<std::pair<uint32_t, std::string>> members;
        for (size_t i = 0; i < nodes.size(); ++i)
            members.emplace_back(static_cast<uint32_t>(4 + i), nodes[i]);
        for (const auto& [number, body] : members) {
            if (!isCompressed)
                pdf.Add(number, body);
        }
        if (isCompressed)
            pdf.AddObjectStream(20, members);
        else
            pdf.Add(20, "<< >>");
        pdf.Add(9, "[3 0 R /Fit]");
        pdf.Add(10, "<< /Names [(k) 9 0 R] >>");
        return pdf.XRefStream(21, CTestXRefStreamOptions(), "/Root 1 0 R");
    };
    // The merged tree as written: "<< /Names [\n" to its end.
    const auto mergedTree = [](const std::string& output) {
        const size_t start = output.find("<< /Names [\n");
        return start == std::string::npos ? "<no tree>" : output.substr(start, output.find("] >>", start) + 4 - start);
    };
    const std::string first = Doc(" /Names << /Dests 4 0 R >>", {kTreeAB});
    // Whether the stored file has a tree to merge, and its nodes.
    const std::vector<std::pair<bool, std::vector<std::string>>> rows = {
        {true, {"<< /Names [(b) 9 0 R (c) 9 0 R] >>"}},
        {true, {"<<\r/Kids [5 0 R 6 0 R 10 0 R]/Limits[(a)(z)]>>", "<< /Limits [(c) (d)] /Names [(c) 9 0 R (d) 9 0 R] >>",
         "<< /Names [<62> 9 0 R <6a6B> 9 0 R <> 9 0 R] /Limits [<> <6a6B>] >>"}},
        {true, {"<< /Kids [5 0 R 5 0 R 4 0 R] >>", "<< /Names [(c) 9 0 R] >>"}},
        {true, {"<< /Names [(x\\)y) 9 0 R (p\\101) 9 0 R (q(r)) 9 0 R] >>"}},
        {true, {"<< /Names [<6> 9 0 R] >>"}},
        {true, {"<< /Names [<6 2> 9 0 R] >>"}},
        {true, {"<< /Names [(b) [3 0 R /Fit] (d) << /D [3 0 R /Fit] >> (e) 9 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 R % (c) 9 0 R\n (e) 9 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 R] >> junk"}},
        {false, {"<< /Names [(b) 9 0 R] /Length 2 >>\nstream\nab\nendstream"}},
        {true, {"<< /Nam#65s [(b) 9 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 R] /Names [(c) 9 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 R (c)] >>"}},
        {true, {"<< /Names [(b) 9 0R (c)9 0 R(d) 09 00 R] >>"}},
        {true, {"<< /Names 5 0 R >>", "[(b) 9 0 R]"}},
        {true, {"<< /Names [/b 9 0 R (c) 9 1 R (d) 12345678901 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 S (c) 9 0 R] >>"}},
        {true, {"<< /Type /Names /Names [(b) 9 0 R] >>"}},
        {true, {"<< /Kids [5 0 R] >>", "<< /Kids [6 0 R] /Names [(c) 9 0 R] >>", "<< /Names [(d) 9 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 R]"}},
        {false, {"< < /Names [(b) 9 0 R] >>"}},
        {true, {"<< /Names [(b) 9 0 R] > >"}},
        {false, {"[(b) 9 0 R]"}},
    };
    for (const auto& [hasTree, nodes] : rows) {
        SCOPED_TRACE(nodes[0]);
        const std::string stored = mergedTree(AppendBytes(first, second(nodes, false)));
        EXPECT_EQ(stored != "<no tree>", hasTree);
        EXPECT_EQ(mergedTree(AppendBytes(first, second(nodes, true))), stored);
    }
}

// Uses of renamed destinations, in the forms a file may spell them; anything else stays. The
// quick test says whether a use may be renamed: never false where one is.
TEST(DocumentMerge, DestinationUses)
{
    const CNameRenames renames = {{"b", "b-2"}, {"a b", "a b-2"}, {"x(y", "x(y-2"}};
    struct Row {
        const char* text;
        const char* expected; // null: as it was
        bool mayRename;
    };
    const Row rows[] = {
        {"<< /Dest (b) >>", "<< /Dest (b-2) >>", true},
        {"<< /Dest <62> >>", "<< /Dest (b-2) >>", true},
        {"<< /Dest /b >>", "<< /Dest /b-2 >>", true},
        {"<< /Dest /a#20b >>", "<< /Dest /a#20b-2 >>", true},
        {"<< /Dest (x\\(y) >>", "<< /Dest (x\\(y-2) >>", true},
        {"<< /Dest [3 0 R /Fit] /Next (b) >>", nullptr, false},
        {"<< /A << /S /GoTo /D (b) >> /Parent 4 0 R /D /b >>", "<< /A << /S /GoTo /D (b-2) >> /Parent 4 0 R /D /b-2 >>",
         true},
        {"<< /A << /S /GoToR /F (o.pdf) /D (b) >> >>", nullptr, true},
        {"<< /S /GoToE /D (b) >>", nullptr, true},
        {"<< /Title (b) /Dest (c) /Kids [<< /D (b) >>] >>", "<< /Title (b) /Dest (c) /Kids [<< /D (b-2) >>] >>", true},
        {"<< /D % (b)\n(b) >>", "<< /D % (b)\n(b-2) >>", true},
        {"<< /D\r\n%/D (c)\r%\n/b >>", "<< /D\r\n%/D (c)\r%\n/b-2 >>", true},
        {"<< /T (/D) /D/D/D (b) >>", "<< /T (/D) /D/D/D (b-2) >>", true},
        {"<< /T (/D (b)) /Dest (c) >>", nullptr, true},
        {"<< /D (b", nullptr, false},
        {"<< /D (b) /A << /S /GoToR /D (b)", "<< /D (b-2) /A << /S /GoToR /D (b)", true},
        {"<< /S /GoToR /D (b) /A << /D (b) /Next [<< /D (b)", "<< /S /GoToR /D (b) /A << /D (b-2) /Next [<< /D (b-2)", true},
        {"<< /Dest(b)>>", "<< /Dest(b-2)>>", true},
        {"<< /D/b>>", "<< /D/b-2>>", true},
        {"<< /D (c) /Dest (d) /D [(b)] /Dest << /D (e) >> >>", nullptr, false},
        // Names that begin like the keys are none of them.
        {"<< /DA (b) /Dests (b) /D#20 (b) /DecodeParms << /D1 (b) >> >>", nullptr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Renamed(row.text, renames), row.expected ? row.expected : row.text);
        const std::string_view text = row.text;
        EXPECT_EQ(MayRenameDestinations(text, 0, text.size(), renames), row.mayRename);
        EXPECT_FALSE(MayRenameDestinations(text, 0, text.size(), {}));
    }
}

// Forms, labels, layers, structure and objects of one page, each in a pair of small files.
TEST(DocumentMerge, FormsLabelsLayersStructure)
{
    const std::string field = "<< /FT /Tx /T (name) /Rect [0 0 1 1] /P 3 0 R >>";
    const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const std::string tagged =
        Doc(" /StructTreeRoot 4 0 R /MarkInfo << /Marked true >>",
            {"<< /Type /StructTreeRoot /K [5 0 R] /ParentTree << /Nums [0 [5 0 R]] >> /ParentTreeNextKey 1 >>",
             "<< /Type /StructElem /S /P /P 4 0 R /Pg 3 0 R /K 0 >>"},
            " /StructParents 0");
    const std::string annotated = Doc("", {"<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] /Contents (n) >>"},
                                      " /Annots [4 0 R]");
    CheckAppendRows({
        // A field name both forms use is renamed; the second form's /DA and /Q are written into
        // its field, with its font (output 10) renamed where the first form's resources use the
        // name. The merged form is new object 11 (6 + 6 - 1).
        {"forms", Doc(" /AcroForm << /Fields [4 0 R] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 5 0 R >> >> >>",
                      {field, font}),
         Doc(" /AcroForm << /Fields [4 0 R] /DA (/Helv 9 Tf 1 g) /Q 1 /DR << /Font << /Helv 5 0 R >> >> "
             "/NeedAppearances true /XFA 7 0 R >>",
             {field, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}),
         {{9, Object(9, "<<\r/DA (/Helv-2 9 Tf 1 g)\r/Q 1 /FT /Tx /T (name-2) /Rect [0 0 1 1] /P 8 0 R >>")},
          {11, Object(11, "<<\n/Fields [4 0 R 9 0 R ]\n/DR <<\n/Font <<\n/Helv 5 0 R\n/Helv-2 10 0 R\n>>\n>>"
                          "\n/DA <2F48656C76203020546620302067>\n/NeedAppearances true\n>>")},
          {1, Object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 11 0 R >>")}}},
        // The first file has no labels: its page shows 1; the second file's page keeps "i".
        {"labels", Doc("", {}), Doc(" /PageLabels << /Nums [0 << /S /r >>] >>", {}),
         {{7, Object(7, "<< /Nums [\n0 <</S /D>>\n1 <</S /r>>\n] >>")}}},
        // Base states differ: the second file's groups that its own /ON does not list start off.
        // Its groups join the first file's /Order, which the second file did not have.
        {"layers", Doc(" /OCProperties << /OCGs [4 0 R] /D << /Order [4 0 R] >> >>", {"<< /Type /OCG /Name (A) >>"}),
         Doc(" /OCProperties << /OCGs [4 0 R 5 0 R] /D << /BaseState /OFF /ON [4 0 R] >> >>",
             {"<< /Type /OCG /Name (B) >>", "<< /Type /OCG /Name (C) >>"}),
         {{10, Object(10, "<<\n/OCGs [4 0 R 8 0 R 9 0 R ]\n/D <<\n/OFF [9 0 R ]\n/ON [8 0 R ]"
                          "\n/Order [4 0 R 8 0 R 9 0 R ]\n>>\n>>")}}},
        // Both tagged: the second file's element hangs under the first root, its page's
        // /StructParents and its parent-tree key move past the first file's; its root (9) goes.
        {"structure", tagged, tagged,
         {{4, Object(4, "<< /Type /StructTreeRoot /K [5 0 R 10 0 R ] /ParentTree 11 0 R /ParentTreeNextKey 2 >>")},
          {10, Object(10, "<< /Type /StructElem /S /P /P 4 0 R /Pg 8 0 R /K 0 >>")},
          {8, Object(8, "<< /Type /Page /Parent 7 0 R /MediaBox [0 0 612 792] /StructParents 1 >>")},
          {9, ""},
          {11, Object(11, "<< /Nums [\n0 [5 0 R]\n1 [10 0 R]\n] >>")}}},
        // A file onto itself: each page keeps an annotation of its own.
        {"annotations stay one per page", annotated, annotated,
         {{8, Object(8, "<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] /Contents (n) >>")}},
         {{"/Annots [8 0 R]", 1}}},
    });
}

} // namespace
