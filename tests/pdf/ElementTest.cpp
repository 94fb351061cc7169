#include "pdf/Element.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestStreams.h"
#include "xref/XRef.h"

namespace {

// An element holding a new sentinel stream; the stream goes when the last holder lets go.
CPdfElement SentinelElement(int& destroyed)
{
    CPdfRef<CPdfStream> stream = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
    CPdfElement element;
    element.setStream(stream.get());
    return element;
}

CPdfElement Text(PdfKind kind, const std::string& text)
{
    CPdfElement element;
    if (kind == PdfKind::String)
        element.setString(text);
    else if (kind == PdfKind::Name)
        element.setName(text);
    else
        element.setKeyword(text);
    return element;
}

CPdfElement Integer(int32_t value)
{
    CPdfElement element;
    element.setInteger(value);
    return element;
}

CPdfElement Reference(int32_t number, int32_t generation)
{
    CPdfElement element;
    element.setReference(number, generation);
    return element;
}

TEST(Element, NewAndClearedAreEmpty)
{
    CPdfElement element;
    EXPECT_TRUE(element.is(PdfKind::Empty));
    element.clear();
    element.clear();
    EXPECT_TRUE(element.is(PdfKind::Empty));
    element.setName("Type");
    element.clear();
    EXPECT_TRUE(element.is(PdfKind::Empty));
    EXPECT_EQ("", element.text());
}

// Copies of every kind keep kind and value; texts are copied, not shared.
TEST(Element, CopiesKeepKindAndValue)
{
    std::vector<std::pair<const char*, CPdfElement>> rows;
    CPdfElement e;
    e.setBoolean(true);
    rows.emplace_back("boolean", e);
    e.setInteger(-2147483647 - 1);
    rows.emplace_back("integer", e);
    e.setReal(-0.25);
    rows.emplace_back("real", e);
    e.setReference(2147483647, -1);
    rows.emplace_back("reference", e);
    e.setNull();
    rows.emplace_back("null", e);
    e.setInvalid();
    rows.emplace_back("invalid", e);
    e.setEndOfData();
    rows.emplace_back("end of data", e);
    rows.emplace_back("string", Text(PdfKind::String, "a\xff"));
    rows.emplace_back("name", Text(PdfKind::Name, "Kids"));
    rows.emplace_back("keyword", Text(PdfKind::Keyword, "obj"));
    for (const auto& [name, original] : rows) {
        SCOPED_TRACE(name);
        CPdfElement copied(original);
        CPdfElement assigned;
        assigned.setString("previous text");
        assigned = original;
        for (const CPdfElement* copy : {&copied, &assigned}) {
            EXPECT_EQ(original.kind(), copy->kind());
            EXPECT_EQ(original.text(), copy->text());
            switch (original.kind()) {
            case PdfKind::Boolean:
                EXPECT_TRUE(copy->boolean());
                break;
            case PdfKind::Integer:
                EXPECT_EQ(-2147483647 - 1, copy->integer());
                break;
            case PdfKind::Real:
                EXPECT_EQ(-0.25, copy->real());
                break;
            case PdfKind::Reference:
                EXPECT_EQ(2147483647, copy->refNumber());
                EXPECT_EQ(-1, copy->refGeneration());
                break;
            default:
                break;
            }
        }
    }
}

TEST(Element, StringCopiesAreIndependent)
{
    CPdfElement original = Text(PdfKind::String, "abc");
    CPdfElement copy(original);
    original.clear();
    EXPECT_EQ("abc", copy.text());
    original.setString("xyz");
    copy.setString("changed");
    EXPECT_EQ("xyz", original.text());
}

// A setter replaces the old value completely: no text survives a change of kind.
TEST(Element, SettersDropTheOldText)
{
    CPdfElement element = Text(PdfKind::Keyword, "R");
    element.setInteger(5);
    EXPECT_EQ("", element.text());
    EXPECT_FALSE(element.isKeyword("R"));
    element.setName("R");
    EXPECT_TRUE(element.isName("R"));
    EXPECT_FALSE(element.isKeyword("R"));
}

TEST(Element, CopiedArrayIsSharedUntilBothAreCleared)
{
    int destroyed = 0;
    CPdfElement first;
    first.newArray(nullptr).append(SentinelElement(destroyed));
    CPdfElement second(first);
    EXPECT_EQ(first.array(), second.array());
    first.clear();
    EXPECT_EQ(0, destroyed);
    ASSERT_EQ(1u, second.array()->size());
    EXPECT_TRUE(second.array()->at(0).is(PdfKind::Stream));
    second.clear();
    EXPECT_EQ(1, destroyed);
}

TEST(Element, CopiedDictionaryAndStreamAreShared)
{
    int destroyed = 0;
    CPdfElement dictionary;
    dictionary.newDictionary(nullptr).set("S", SentinelElement(destroyed));
    CPdfElement assigned;
    assigned = dictionary;
    EXPECT_EQ(dictionary.dictionary(), assigned.dictionary());
    dictionary.clear();
    EXPECT_EQ(0, destroyed);
    CPdfElement stream;
    assigned.dictionary()->get("S", stream);
    assigned.clear();
    EXPECT_EQ(0, destroyed);
    CPdfElement streamCopy(stream);
    stream.clear();
    EXPECT_EQ(0, destroyed);
    streamCopy.clear();
    EXPECT_EQ(1, destroyed);
}

TEST(Element, MoveLeavesTheSourceEmpty)
{
    int destroyed = 0;
    CPdfElement source;
    source.newArray(nullptr).append(SentinelElement(destroyed));
    CPdfArray* array = source.array();
    CPdfElement moved(std::move(source));
    EXPECT_TRUE(source.is(PdfKind::Empty)); // NOLINT(bugprone-use-after-move): the state after a move is the point
    EXPECT_EQ(array, moved.array());
    CPdfElement assigned = Text(PdfKind::String, "old");
    assigned = std::move(moved);
    EXPECT_TRUE(moved.is(PdfKind::Empty)); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(array, assigned.array());
    EXPECT_EQ(0, destroyed);
    assigned.clear();
    EXPECT_EQ(1, destroyed);

    CPdfElement text = Text(PdfKind::Name, "Kids");
    CPdfElement taken(std::move(text));
    EXPECT_TRUE(text.is(PdfKind::Empty)); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ("", text.text());
    EXPECT_EQ("Kids", taken.text());
}

TEST(Element, SelfAssignmentKeepsTheValue)
{
    int destroyed = 0;
    CPdfElement array;
    array.newArray(nullptr).append(SentinelElement(destroyed));
    CPdfElement text = Text(PdfKind::String, "abc");
    for (CPdfElement* element : {&array, &text}) {
        CPdfElement& alias = *element;
        *element = alias;
        *element = std::move(alias);
    }
    EXPECT_EQ("abc", text.text());
    ASSERT_TRUE(array.is(PdfKind::Array));
    EXPECT_EQ(1u, array.array()->size());
    EXPECT_EQ(0, destroyed);
    array.clear();
    EXPECT_EQ(1, destroyed);
}

// Assigning from a value that lives inside the container the target holds alone: the value
// must be taken before the container goes.
TEST(Element, AssignFromInsideOwnContainer)
{
    CPdfElement holder;
    holder.newArray(nullptr).append(Text(PdfKind::String, "inner"));
    holder = holder.array()->at(0);
    EXPECT_EQ("inner", holder.text());

    holder.newArray(nullptr).append(Text(PdfKind::Name, "moved"));
    holder = std::move(const_cast<CPdfElement&>(holder.array()->at(0)));
    EXPECT_TRUE(holder.isName("moved"));

    holder.newDictionary(nullptr).set("K", Text(PdfKind::Keyword, "got"));
    holder.dictionary()->get("K", holder);
    EXPECT_TRUE(holder.isKeyword("got"));

    holder.newDictionary(nullptr).set("K", Integer(7));
    holder.dictionary()->getResolved("K", holder);
    EXPECT_EQ(7, holder.integer());
}

TEST(Element, SetContainerItAlreadyHolds)
{
    int destroyed = 0;
    CPdfElement element;
    element.newDictionary(nullptr).set("S", SentinelElement(destroyed));
    element.setDictionary(element.dictionary());
    ASSERT_TRUE(element.is(PdfKind::Dictionary));
    CPdfElement stream;
    element.dictionary()->get("S", stream);
    element.clear();
    stream.setStream(stream.stream());
    EXPECT_EQ(0, destroyed);
    stream.clear();
    EXPECT_EQ(1, destroyed);
}

// Destroying the outermost container releases everything below it.
TEST(Element, NestedContainersAreReleasedTogether)
{
    int destroyed = 0;
    {
        CPdfElement root;
        CPdfDictionary& dictionary = root.newDictionary(nullptr);
        CPdfElement kids;
        CPdfArray& array = kids.newArray(nullptr);
        for (int i = 0; i < 3; ++i) {
            CPdfElement page;
            page.newDictionary(nullptr).set("Contents", SentinelElement(destroyed));
            array.append(page);
        }
        dictionary.set("Kids", kids);
        dictionary.set("Self", kids);
    }
    EXPECT_EQ(3, destroyed);
}

TEST(Dictionary, FirstValueWins)
{
    int destroyed = 0;
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(nullptr);
    dictionary.set("Length", Integer(10));
    dictionary.set("Length", Integer(20));
    dictionary.set("Length", SentinelElement(destroyed));
    EXPECT_EQ(1, destroyed); // the dropped stream value holds no reference
    CPdfElement out;
    dictionary.get("Length", out);
    EXPECT_EQ(10, out.integer());
    EXPECT_EQ(1u, dictionary.entries().size());
}

// Keys sort byte-wise as unsigned values; a prefix comes before its extensions.
TEST(Dictionary, KeyOrder)
{
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(nullptr);
    for (const char* key : {"\xff", "B", "a", "AB", "\x80", "A", "", "A\x7f", "Z"})
        dictionary.set(key, Integer(1));
    std::vector<std::string> keys;
    for (const auto& entry : dictionary.entries())
        keys.push_back(entry.first);
    EXPECT_EQ((std::vector<std::string>{"", "A", "AB", "A\x7f", "B", "Z", "a", "\x80", "\xff"}), keys);
}

// Lookups of absent keys give Null (not Empty), whatever out held before.
TEST(Dictionary, AbsentKeyGivesNull)
{
    int destroyed = 0;
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(nullptr);
    dictionary.set("Size", Integer(3));
    CPdfElement out;
    dictionary.get("size", out);
    EXPECT_TRUE(out.is(PdfKind::Null));
    out = SentinelElement(destroyed);
    dictionary.getResolved("Siz", out);
    EXPECT_TRUE(out.is(PdfKind::Null));
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ(nullptr, dictionary.find("Size2"));
    ASSERT_NE(nullptr, dictionary.find("Size"));
}

TEST(Dictionary, GetResolvedWithoutCrossReferenceGivesTheReference)
{
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(nullptr);
    dictionary.set("Root", Reference(12, 3));
    CPdfElement out;
    dictionary.getResolved("Root", out);
    ASSERT_TRUE(out.is(PdfKind::Reference));
    EXPECT_EQ(12, out.refNumber());
    EXPECT_EQ(3, out.refGeneration());
}

// A small file with a classic table: object 2 is a string, 3 refers on to 2.
std::string SmallPdf()
{
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (const char* body : {"<< /Type /Catalog >>", "(hello)", "2 0 R"}) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

TEST(Dictionary, GetResolvedFollowsOneLevel)
{
    CPdfRef<CPdfStream> file = CPdfRef<CPdfStream>::create<CPdfMemoryStream>(SmallPdf());
    CPdfXRef xref;
    xref.read(file.get());
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(&xref);
    dictionary.set("Direct", Reference(2, 0));
    dictionary.set("Chain", Reference(3, 0));
    dictionary.set("Missing", Reference(9, 0));
    dictionary.set("WrongGeneration", Reference(2, 1));
    dictionary.set("Plain", Integer(4));
    struct Row {
        const char* key;
        PdfKind kind;
        std::string text;
    };
    for (const Row& row : {Row{"Direct", PdfKind::String, "hello"}, Row{"Chain", PdfKind::Reference, ""},
                           Row{"Missing", PdfKind::Null, ""}, Row{"WrongGeneration", PdfKind::Null, ""},
                           Row{"Plain", PdfKind::Integer, ""}}) {
        SCOPED_TRACE(row.key);
        CPdfElement out;
        dictionary.getResolved(row.key, out);
        EXPECT_EQ(row.kind, out.kind());
        EXPECT_EQ(row.text, out.text());
    }
    CPdfElement chained;
    dictionary.getResolved("Chain", chained);
    EXPECT_EQ(2, chained.refNumber());
    CPdfElement raw;
    dictionary.get("Direct", raw);
    EXPECT_TRUE(raw.is(PdfKind::Reference));
}

TEST(Dictionary, GetResolvedOnEmptyCrossReferenceGivesNull)
{
    CPdfXRef xref;
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(&xref);
    dictionary.set("Root", Reference(1, 0));
    CPdfElement out;
    dictionary.getResolved("Root", out);
    EXPECT_TRUE(out.is(PdfKind::Null));
}

TEST(Array, KeepsSourceOrderAndResolvesItems)
{
    CPdfElement element;
    CPdfArray& array = element.newArray(nullptr);
    for (int32_t i = 0; i < 5; ++i)
        array.append(Integer(i));
    array.append(Reference(7, 0));
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(static_cast<int32_t>(i), array.at(i).integer());
    CPdfElement out;
    array.getResolved(5, out);
    EXPECT_TRUE(out.is(PdfKind::Reference));
    EXPECT_THROW(array.at(6), std::out_of_range);
}

// The holder: share adds a reference, adopt takes one over, move leaves the source empty.
TEST(RefHolder, SharesAdoptsAndMoves)
{
    int destroyed = 0;
    CPdfRef<CPdfStream> first = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
    {
        CPdfRef<CPdfStream> shared = CPdfRef<CPdfStream>::share(first.get());
        CPdfRef<CPdfStream> copied(shared);
        CPdfRef<CPdfStream> moved(std::move(copied));
        EXPECT_FALSE(copied); // NOLINT(bugprone-use-after-move)
        CPdfRef<CPdfStream>& alias = moved;
        moved = alias; // self-assignment keeps the reference
        first.reset();
        EXPECT_EQ(0, destroyed);
    }
    EXPECT_EQ(1, destroyed);
    CPdfRef<CPdfStream> replaced = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
    replaced = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
    EXPECT_EQ(2, destroyed);
    CPdfElement element;
    element.setStream(replaced.get());
    replaced.reset();
    EXPECT_EQ(2, destroyed);
    CPdfStream* detached = CPdfRef<CPdfStream>::share(element.stream()).detach();
    CPdfRef<CPdfStream> adopted = CPdfRef<CPdfStream>::adopt(detached);
    element.clear();
    EXPECT_EQ(2, destroyed);
    adopted.reset();
    EXPECT_EQ(3, destroyed);
}

} // namespace
