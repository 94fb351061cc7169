// One interactive form for both files: the second file's fields join the first file's, under
// names of their own, with the defaults they relied on written into them, so that neither
// file's form-level settings change how the other's fields look. An XFA form describes one
// document's pages only and is left out.
#include "append/Engine.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "xref/XRef.h"

namespace {

// Keys of the form dictionary that the merge computes; the first file's others stay.
constexpr const char* kMergedFormKeys[] = {"Fields", "DR", "DA", "Q", "NeedAppearances", "SigFlags", "CO", "XFA"};

bool IsMergedFormKey(const std::string& key)
{
    return std::any_of(std::begin(kMergedFormKeys), std::end(kMergedFormKeys),
                       [&key](const char* merged) { return key == merged; });
}

// A widget without an appearance stream, among the fields under field (terminal fields are
// their widgets, or have them as kids); visits at most limit objects, to a depth of 32.
bool HasWidgetWithoutAppearance(const CPdfElement& field, int depth, size_t& limit)
{
    CPdfElement resolved;
    resolve(field, nullptr, resolved);
    const CPdfDictionary* dictionary = resolved.dictionary();
    if (!dictionary || depth > 32 || limit == 0)
        return false;
    --limit;
    CPdfElement kids;
    dictionary->getResolved("Kids", kids);
    if (const CPdfArray* array = kids.array()) {
        for (size_t i = 0; i < array->size(); ++i) {
            CPdfElement kid;
            array->getResolved(i, kid);
            if (HasWidgetWithoutAppearance(kid, depth + 1, limit))
                return true;
        }
        return false;
    }
    return dictionary->find("Rect") && !dictionary->find("AP");
}

bool NeedsAppearances(const CPdfDictionary& form, const std::vector<CPdfElement>& fields)
{
    CPdfElement flag;
    form.getResolved("NeedAppearances", flag);
    if (!flag.is(PdfKind::Boolean) || !flag.boolean())
        return false;
    size_t limit = 100000;
    for (const CPdfElement& field : fields) {
        CPdfElement resolved;
        resolve(field, form.xref(), resolved);
        if (HasWidgetWithoutAppearance(resolved, 0, limit))
            return true;
    }
    return false;
}


// A top-level field resolved, and its /T (Empty when it has none).
struct CNamedField {
    CPdfElement resolved;
    CPdfElement name;
};

CNamedField NamedField(const CPdfElement& field, CPdfXRef* xref)
{
    CNamedField named;
    resolve(field, xref, named.resolved);
    if (named.resolved.dictionary())
        named.resolved.dictionary()->getResolved("T", named.name);
    return named;
}

} // namespace

void CAppendEngine::PlanForm(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2)
{
    CPdfElement form1;
    CPdfElement form2;
    catalog1.getResolved("AcroForm", form1);
    catalog2.getResolved("AcroForm", form2);
    const CPdfDictionary* dictionary2 = form2.dictionary();
    if (!dictionary2)
        return;
    const CPdfDictionary* dictionary1 = form1.dictionary();
    if (!dictionary1) {
        if (!dictionary2->find("XFA")) {
            const CPdfElement raw = *catalog2.find("AcroForm");
            EditCatalog("AcroForm", [this, raw]() { return SecondValueText(raw); });
            return;
        }
        CPdfElement withoutXfa;
        CPdfDictionary& copy = withoutXfa.newDictionary(m_xref2);
        for (const auto& [key, value] : dictionary2->entries()) {
            if (key != "XFA")
                copy.set(key, value);
        }
        const uint32_t number = AddNewObject([this, withoutXfa]() { return SecondValueText(withoutXfa); });
        EditCatalog("AcroForm", [number]() { return std::to_string(number) + " 0 R"; });
        return;
    }
    const std::vector<CPdfElement> fields1 = ArrayItems(dictionary1, "Fields");
    const std::vector<CPdfElement> fields2 = ArrayItems(dictionary2, "Fields");
    const std::function<std::string()> resources = MergedFormResources(*dictionary1, *dictionary2);
    // Readers that honour /NeedAppearances redraw every field of the form, so it is kept only
    // where a file asked for it and has widgets that cannot be drawn otherwise.
    const bool needsAppearances = NeedsAppearances(*dictionary1, fields1) || NeedsAppearances(*dictionary2, fields2);
    PlanFieldEdits(fields1, fields2, *dictionary2);

    const CPdfElement keep1 = form1;
    const CPdfElement keep2 = form2;
    const uint32_t number = AddNewObject([this, keep1, keep2, fields1, fields2, resources, needsAppearances]() {
        const CPdfDictionary& first = *keep1.dictionary();
        const CPdfDictionary& second = *keep2.dictionary();
        std::string out = "<<\n/Fields " + JoinedItemsText(fields1, fields2, FirstMapper(), SecondMapper());
        const std::string resourcesText = resources();
        if (!resourcesText.empty())
            out += "\n/DR " + resourcesText;
        for (const char* key : {"DA", "Q"}) {
            if (const CPdfElement* value = first.find(key))
                out += "\n/" + std::string(key) + " " + ElementText(*value, FirstMapper());
        }
        if (needsAppearances)
            out += "\n/NeedAppearances true";
        CPdfElement flag1;
        CPdfElement flag2;
        first.getResolved("SigFlags", flag1);
        second.getResolved("SigFlags", flag2);
        const int32_t sigFlags = (flag1.is(PdfKind::Integer) ? flag1.integer() : 0) |
                                 (flag2.is(PdfKind::Integer) ? flag2.integer() : 0);
        if (sigFlags != 0)
            out += "\n/SigFlags " + std::to_string(sigFlags);
        const std::vector<CPdfElement> order1 = ArrayItems(&first, "CO");
        const std::vector<CPdfElement> order2 = ArrayItems(&second, "CO");
        if (!order1.empty() || !order2.empty())
            out += "\n/CO " + JoinedItemsText(order1, order2, FirstMapper(), SecondMapper());
        for (const auto& [key, value] : first.entries()) {
            if (!IsMergedFormKey(key))
                out += "\n" + PdfNameText(key) + " " + ElementText(value, FirstMapper());
        }
        return out + "\n>>";
    });
    EditCatalog("AcroForm", [number]() { return std::to_string(number) + " 0 R"; });
}

// Default resources of both forms. A second-file font under a name the first form uses too is
// listed under another name, which the second file's /DA strings then use; in other categories
// the first file's entry wins.
std::function<std::string()> CAppendEngine::MergedFormResources(const CPdfDictionary& form1, const CPdfDictionary& form2)
{
    CPdfElement resources1;
    CPdfElement resources2;
    form1.getResolved("DR", resources1);
    form2.getResolved("DR", resources2);
    const CPdfDictionary* dictionary1 = resources1.dictionary();
    const CPdfDictionary* dictionary2 = resources2.dictionary();
    if (!dictionary2) {
        const std::string kept = dictionary1 ? ElementText(*form1.find("DR"), FirstMapper()) : std::string();
        return [kept]() { return std::string(kept); };
    }
    std::set<std::string> categories;
    if (dictionary1) {
        for (const auto& entry : dictionary1->entries())
            categories.insert(entry.first);
    }
    for (const auto& entry : dictionary2->entries())
        categories.insert(entry.first);
    std::vector<std::pair<std::string, std::function<std::string()>>> parts;
    for (const std::string& category : categories) {
        const CPdfElement* value1 = dictionary1 ? dictionary1->find(category) : nullptr;
        const CPdfElement* value2 = dictionary2->find(category);
        CPdfElement resolved1;
        CPdfElement resolved2;
        if (value1)
            resolve(*value1, m_xref1, resolved1);
        if (value2)
            resolve(*value2, m_xref2, resolved2);
        if (!resolved1.dictionary() || !resolved2.dictionary()) {
            const CPdfElement kept = value1 ? *value1 : *value2;
            const bool isFirst = value1 != nullptr;
            parts.emplace_back(category, [this, kept, isFirst]() {
                return ElementText(kept, isFirst ? FirstMapper() : SecondMapper());
            });
            continue;
        }
        std::set<std::string> used;
        for (const auto& entry : resolved1.dictionary()->entries())
            used.insert(entry.first);
        for (const auto& entry : resolved2.dictionary()->entries())
            used.insert(entry.first);
        std::vector<std::pair<std::string, CPdfElement>> added;
        std::set<std::string> taken;
        for (const auto& [name, value] : resolved2.dictionary()->entries()) {
            if (!resolved1.dictionary()->find(name)) {
                added.emplace_back(name, value);
            } else if (category == "Font") {
                const std::string renamed = SuffixedName(name, used, taken);
                m_plan.fontRenames[name] = renamed;
                added.emplace_back(renamed, value);
            }
        }
        const CPdfElement kept1 = resolved1;
        parts.emplace_back(category, [this, kept1, added]() {
            std::string out = "<<";
            for (const auto& [name, value] : kept1.dictionary()->entries())
                out += "\n" + PdfNameText(name) + " " + ElementText(value, FirstMapper());
            for (const auto& [name, value] : added)
                out += "\n" + PdfNameText(name) + " " + ElementText(value, SecondMapper());
            return out + "\n>>";
        });
    }
    // Written once the second file's numbers are decided.
    return [parts]() {
        std::string out = "<<";
        for (const auto& [category, value] : parts)
            out += "\n" + PdfNameText(category) + " " + value();
        return out + "\n>>";
    };
}

// The second file's top-level fields: a name the first file's top-level fields use is changed,
// and the form's /DA and /Q are written into fields without their own.
void CAppendEngine::PlanFieldEdits(const std::vector<CPdfElement>& fields1, const std::vector<CPdfElement>& fields2,
                                const CPdfDictionary& form2)
{
    // A kept output's field names are those the line before wrote; read only otherwise.
    const COwnFieldNames& kept = m_own.fields;
    const bool isKept = m_own.isActive && kept.isKnown && kept.count == fields1.size() && !fields1.empty() &&
                        fields1.back().is(PdfKind::Reference) &&
                        fields1.back().refNumber() == static_cast<int32_t>(kept.last);
    std::set<std::string> read;
    if (!isKept) {
        for (const CPdfElement& field : fields1) {
            const CNamedField named = NamedField(field, m_xref1);
            if (named.name.is(PdfKind::String))
                read.insert(named.name.text());
        }
    }
    const std::set<std::string>& used = isKept ? kept.names : read;
    CPdfElement da;
    CPdfElement quadding;
    form2.getResolved("DA", da);
    form2.getResolved("Q", quadding);
    std::string daText;
    if (da.is(PdfKind::String) && !RenameDaFonts(da.text(), m_plan.fontRenames, daText))
        daText = da.text();
    std::vector<CNamedField> named2; // each field resolved once, for its name and its edits
    named2.reserve(fields2.size());
    std::set<std::string> used2;
    for (const CPdfElement& field : fields2) {
        named2.push_back(NamedField(field, m_xref2));
        if (named2.back().name.is(PdfKind::String))
            used2.insert(named2.back().name.text());
    }
    const auto usedByEither = [&used, &used2](const std::string& name) {
        return used.count(name) != 0 || used2.count(name) != 0;
    };
    std::vector<std::string> written; // the second file's names as the output will hold them
    std::set<std::string> taken;
    std::map<std::string, std::string> renames; // fields of one name in the second file stay one
    for (size_t i = 0; i < fields2.size(); ++i) {
        const CPdfElement& field = fields2[i];
        const CPdfDictionary* dictionary = named2[i].resolved.dictionary();
        const CPdfElement& name = named2[i].name;
        const bool isRenamed = name.is(PdfKind::String) && used.count(name.text()) != 0;
        if (!field.is(PdfKind::Reference) || !dictionary || field.refNumber() <= 0) {
            if (name.is(PdfKind::String))
                written.push_back(name.text());
            continue;
        }
        std::vector<CKeyEdit>& edits = m_plan.secondEdits[static_cast<uint32_t>(field.refNumber())];
        if (isRenamed) {
            auto renamed = renames.find(name.text());
            if (renamed == renames.end())
                renamed = renames.emplace(name.text(), SuffixedName(name.text(), usedByEither, taken)).first;
            edits.push_back({"T", PdfLiteralStringText(renamed->second)});
            written.push_back(renamed->second);
        } else if (name.is(PdfKind::String)) {
            written.push_back(name.text());
        }
        if (da.is(PdfKind::String) && !dictionary->find("DA"))
            edits.push_back({"DA", PdfLiteralStringText(daText)});
        if (quadding.is(PdfKind::Integer) && !dictionary->find("Q"))
            edits.push_back({"Q", std::to_string(quadding.integer())});
    }
    if (m_own.isActive)
        NoteKeptFields(isKept, std::move(read), std::move(written), fields1.size() + fields2.size(),
                       fields2.empty() ? nullptr : &fields2.back());
}
