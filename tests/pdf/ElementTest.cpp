#include "pdf/Element.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/PdfBuilder.h"
#include "tests/support/TestStreams.h"
#include "xref/XRef.h"

namespace {

// An element set by `set` over one that held the text "old", which the setter must drop.
CPdfElement Made(const std::function<void(CPdfElement&)>& set)
{
    CPdfElement element;
    element.setKeyword("old");
    set(element);
    return element;
}

// An element holding a new sentinel stream; the stream goes when the last holder lets go.
CPdfElement SentinelElement(int& destroyed)
{
    CPdfRef<CPdfStream> stream = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
    return Made([&](CPdfElement& e) { e.setStream(stream.get()); });
}

CPdfElement Reference(int32_t number, int32_t generation)
{
    return Made([&](CPdfElement& e) { e.setReference(number, generation); });
}

// Kind, value and text in one line, so a row states an element whole.
std::string Show(const CPdfElement& e)
{
    static const char* const kKinds[] = {"Boolean", "Integer", "Real", "String", "Name", "Null", "Array",
        "Dictionary", "Stream", "Reference", "Keyword", "Invalid", "EndOfData", "Empty"};
    std::string shown = kKinds[static_cast<unsigned>(e.kind())];
    if (e.is(PdfKind::Boolean))
        shown += e.boolean() ? " true" : " false";
    if (e.is(PdfKind::Integer))
        shown += " " + std::to_string(e.integer());
    if (e.is(PdfKind::Real))
        shown += " " + std::to_string(e.real());
    if (e.is(PdfKind::Reference))
        shown += " " + std::to_string(e.refNumber()) + " " + std::to_string(e.refGeneration()) + " R";
    return shown + " (" + e.text() + ")";
}

struct ValueRow {
    std::function<void(CPdfElement&, int& destroyed)> set;
    std::string shown;
};

// One value of every kind; the shared ones hold a sentinel stream, directly or through a container.
const ValueRow kValues[] = {
    {[](CPdfElement& e, int&) { e.setBoolean(true); }, "Boolean true ()"},
    {[](CPdfElement& e, int&) { e.setInteger(-2147483647 - 1); }, "Integer -2147483648 ()"},
    {[](CPdfElement& e, int&) { e.setReal(-0.25); }, "Real -0.250000 ()"},
    {[](CPdfElement& e, int&) { e.setReference(2147483647, -1); }, "Reference 2147483647 -1 R ()"},
    {[](CPdfElement& e, int&) { e.setNull(); }, "Null ()"},
    {[](CPdfElement& e, int&) { e.setInvalid(); }, "Invalid ()"},
    {[](CPdfElement& e, int&) { e.setEndOfData(); }, "EndOfData ()"},
    {[](CPdfElement& e, int&) { e.clear(); }, "Empty ()"},
    {[](CPdfElement& e, int&) { e.setString("a\xff"); }, "String (a\xff)"},
    {[](CPdfElement& e, int&) { e.setName("Kids"); }, "Name (Kids)"},
    {[](CPdfElement& e, int&) { e.setKeyword("obj"); }, "Keyword (obj)"},
    {[](CPdfElement& e, int& d) { e.setStream(SentinelElement(d).stream()); }, "Stream ()"},
    {[](CPdfElement& e, int& d) { e.newArray(nullptr).append(SentinelElement(d)); }, "Array ()"},
    {[](CPdfElement& e, int& d) { e.newDictionary(nullptr).set("S", SentinelElement(d)); }, "Dictionary ()"},
};

// target := from, through the text setter of from's kind where it has one: the text may lie in
// target itself or inside what target holds.
void SetAgain(CPdfElement& target, const CPdfElement& from)
{
    if (from.is(PdfKind::String))
        target.setString(from.text());
    else if (from.is(PdfKind::Name))
        target.setName(from.text());
    else if (from.is(PdfKind::Keyword))
        target.setKeyword(from.text());
    else
        target = from;
}

const void* Held(const CPdfElement& e)
{
    if (e.array())
        return e.array();
    if (e.dictionary())
        return e.dictionary();
    return e.stream();
}

struct Handover {
    const char* name;
    std::function<CPdfElement(CPdfElement&)> take;
    bool isSourceKept;
};

// The ways a value passes from one element to another.
const Handover kHandovers[] = {
    {"copy", [](CPdfElement& s) { return CPdfElement(s); }, true},
    {"assignment over text", [](CPdfElement& s) { CPdfElement t = Made([](CPdfElement&) {}); t = s; return t; }, true},
    {"move", [](CPdfElement& s) { return CPdfElement(std::move(s)); }, false},
    {"move assignment over text",
     [](CPdfElement& s) { CPdfElement t = Made([](CPdfElement&) {}); t = std::move(s); return t; }, false},
    {"self assignments",
     [](CPdfElement& s) { CPdfElement& a = s; s = a; s = std::move(a); return CPdfElement(s); }, true},
    {"set again to what it holds", [](CPdfElement& s) {
         if (s.dictionary())
             s.setDictionary(s.dictionary());
         if (s.stream())
             s.setStream(s.stream());
         return CPdfElement(s);
     }, true},
    // From inside a container that the target alone holds: the value must be taken before the
    // container goes.
    {"assignment from inside its own array",
     [](CPdfElement& s) { CPdfElement t; t.newArray(nullptr).append(s); t = t.array()->at(0); return t; }, true},
    {"move from inside its own array", [](CPdfElement& s) {
         CPdfElement t;
         t.newArray(nullptr).append(s);
         t = std::move(const_cast<CPdfElement&>(t.array()->at(0)));
         return t;
     }, true},
    {"text set from itself", [](CPdfElement& s) { CPdfElement t(s); SetAgain(t, t); return t; }, true},
    {"text set from inside its own array", [](CPdfElement& s) {
         CPdfElement t;
         t.newArray(nullptr).append(s);
         SetAgain(t, t.array()->at(0));
         return t;
     }, true},
    {"get from its own dictionary", [](CPdfElement& s) {
         CPdfElement t;
         t.newDictionary(nullptr).set("K", s);
         t.dictionary()->get("K", t);
         return t;
     }, true},
    {"resolve from its own dictionary", [](CPdfElement& s) {
         CPdfElement t;
         t.newDictionary(nullptr).set("K", s);
         t.dictionary()->getResolved("K", t);
         return t;
     }, true},
};

// Every setter drops the old text. However a value is handed over, kind, value and text arrive
// whole; a shared container or stream stays while any holder has it and goes with the last one;
// a moved-from element is Empty.
TEST(Element, HandoversKeepValuesAndShareContainers)
{
    for (const ValueRow& value : kValues) {
        for (const Handover& handover : kHandovers) {
            SCOPED_TRACE(value.shown + " by " + handover.name);
            int destroyed = 0;
            CPdfElement source = Made([&](CPdfElement& e) { value.set(e, destroyed); });
            EXPECT_EQ(value.shown, Show(source));
            const void* held = Held(source);
            CPdfElement target = handover.take(source);
            EXPECT_EQ(value.shown, Show(target));
            EXPECT_EQ(held, Held(target));
            EXPECT_EQ(handover.isSourceKept ? value.shown : "Empty ()", Show(source));
            EXPECT_EQ(handover.isSourceKept ? held : nullptr, Held(source));
            source.clear();
            EXPECT_EQ(0, destroyed);
            target.clear();
            EXPECT_EQ(held ? 1 : 0, destroyed);
        }
    }
}

// Destroying the outermost container releases everything below it, shared parts included.
TEST(Element, NestedContainersAreReleasedTogether)
{
    int destroyed = 0;
    {
        CPdfElement root;
        CPdfElement kids;
        CPdfArray& array = kids.newArray(nullptr);
        for (int i = 0; i < 3; ++i) {
            CPdfElement page;
            page.newDictionary(nullptr).set("Contents", SentinelElement(destroyed));
            array.append(page);
        }
        root.newDictionary(nullptr).set("Kids", kids);
        root.dictionary()->set("Self", kids);
    }
    EXPECT_EQ(3, destroyed);
}

// Keys sort byte-wise as unsigned values, a prefix before its extensions. A repeated key keeps
// its first value, and the dropped one keeps no reference. Absent keys (case counts) give Null,
// not Empty, releasing what out held.
TEST(Dictionary, KeysAndLookups)
{
    int destroyed = 0;
    CPdfElement element;
    CPdfDictionary& dictionary = element.newDictionary(nullptr);
    for (const char* key : {"\xff", "B", "a", "AB", "\x80", "Size", "A", "", "A\x7f", "Z"})
        dictionary.set(key, Made([&](CPdfElement& e) { e.setName(key); }));
    dictionary.set("Size", Made([](CPdfElement& e) { e.setInteger(20); }));
    dictionary.set("Size", SentinelElement(destroyed));
    EXPECT_EQ(1, destroyed);
    std::vector<std::string> keys;
    for (const auto& [key, value] : dictionary.entries()) {
        keys.push_back(key);
        EXPECT_EQ("Name (" + key + ")", Show(value));
    }
    EXPECT_EQ((std::vector<std::string>{"", "A", "AB", "A\x7f", "B", "Size", "Z", "a", "\x80", "\xff"}), keys);
    CPdfElement out = SentinelElement(destroyed);
    dictionary.get("size", out);
    EXPECT_EQ("Null ()", Show(out));
    EXPECT_EQ(2, destroyed);
    dictionary.getResolved("Siz", out);
    EXPECT_EQ("Null ()", Show(out));
    EXPECT_EQ(nullptr, dictionary.find("Size2"));
    ASSERT_NE(nullptr, dictionary.find("Size"));
    EXPECT_EQ("Name (Size)", Show(*dictionary.find("Size")));
}

// References inside dictionaries and arrays are followed one level through their
// cross-reference: Null when the object is absent or its generation differs, the reference
// itself when there is no cross-reference. get() never follows.
TEST(Dictionary, GetResolved)
{
    CTestPdf pdf;
    pdf.Add(1, "<< /Type /Catalog >>");
    pdf.Add(2, "(hello)");
    pdf.Add(3, "2 0 R");
    CPdfRef<CPdfStream> file = CPdfRef<CPdfStream>::create<CPdfMemoryStream>(pdf.ClassicXRef("/Root 1 0 R"));
    CPdfXRef small;
    small.read(file.get());
    CPdfXRef empty;
    struct Row { CPdfXRef* xref; CPdfElement value; std::string resolved; };
    const Row rows[] = {
        {&small, Reference(2, 0), "String (hello)"},
        {&small, Reference(3, 0), "Reference 2 0 R ()"},
        {&small, Reference(9, 0), "Null ()"},
        {&small, Reference(2, 1), "Null ()"},
        {&small, Made([](CPdfElement& e) { e.setInteger(4); }), "Integer 4 ()"},
        {&empty, Reference(1, 0), "Null ()"},
        {nullptr, Reference(12, 3), "Reference 12 3 R ()"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Show(row.value) + (row.xref == &small ? " in a file" : row.xref ? " in no file" : " alone"));
        CPdfElement dictionary, array, out;
        dictionary.newDictionary(row.xref).set("K", row.value);
        array.newArray(row.xref).append(row.value);
        dictionary.dictionary()->getResolved("K", out);
        EXPECT_EQ(row.resolved, Show(out));
        array.array()->getResolved(0, out);
        EXPECT_EQ(row.resolved, Show(out));
        dictionary.dictionary()->get("K", out);
        EXPECT_EQ(Show(row.value), Show(out));
        EXPECT_THROW(array.array()->getResolved(1, out), std::out_of_range);
    }
}

// The holder: share adds a reference, move leaves the source empty, and a holder keeps a stream
// alive after the element that held it lets go.
TEST(RefHolder, SharesAndMoves)
{
    int destroyed = 0;
    CPdfRef<CPdfStream> first = CPdfRef<CPdfStream>::create<CSentinelStream>(destroyed);
    {
        CPdfRef<CPdfStream> shared = CPdfRef<CPdfStream>::share(first.get());
        CPdfRef<CPdfStream> copied(shared);
        CPdfRef<CPdfStream> moved(std::move(copied));
        EXPECT_FALSE(copied); // NOLINT(bugprone-use-after-move): the state after a move is the point
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
    CPdfRef<CPdfStream> kept = CPdfRef<CPdfStream>::share(element.stream());
    element.clear();
    EXPECT_EQ(2, destroyed);
    kept.reset();
    EXPECT_EQ(3, destroyed);
}

} // namespace
