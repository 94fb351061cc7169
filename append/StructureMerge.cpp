// The structure trees (tags) of both files in one: the second file's top-level elements join
// the first root's /K, its parent-tree entries move past the first file's keys, and its pages'
// /StructParents and annotations' /StructParent move with them (CollectSecondEdits).
#include "append/Engine.h"

#include <set>

#include "append/NameTree.h"
#include "xref/XRef.h"

namespace {


// The first parent-tree key a file leaves free: its /ParentTreeNextKey, or past its last key.
int64_t NextParentKey(const CPdfDictionary& root, const std::vector<CTreeEntry>& entries)
{
    int64_t next = 0;
    for (const CTreeEntry& entry : entries)
        next = std::max(next, entry.number + 1);
    CPdfElement value;
    root.getResolved("ParentTreeNextKey", value);
    if (value.is(PdfKind::Integer))
        next = std::max<int64_t>(next, value.integer());
    return next;
}

std::vector<CPdfElement> Kids(const CPdfDictionary& root)
{
    std::vector<CPdfElement> kids;
    const CPdfElement* value = root.find("K");
    if (!value)
        return kids;
    CPdfElement resolved;
    resolve(*value, root.xref(), resolved);
    if (const CPdfArray* array = resolved.array()) {
        for (size_t i = 0; i < array->size(); ++i)
            kids.push_back(array->at(i));
    } else {
        kids.push_back(*value);
    }
    return kids;
}

// A dictionary of names (role and class maps): the first file's entries, then the second
// file's under names the first does not use.
std::string JoinedMapText(const CPdfElement& map1, const CPdfElement& map2, const CReferenceMapper& first,
                          const CReferenceMapper& second)
{
    std::string out = "<<";
    const CPdfDictionary* dictionary1 = map1.dictionary();
    if (dictionary1) {
        for (const auto& [key, value] : dictionary1->entries())
            out += "\n" + PdfNameText(key) + " " + ElementText(value, first);
    }
    if (const CPdfDictionary* dictionary2 = map2.dictionary()) {
        for (const auto& [key, value] : dictionary2->entries()) {
            if (!dictionary1 || !dictionary1->find(key))
                out += "\n" + PdfNameText(key) + " " + ElementText(value, second);
        }
    }
    return out + "\n>>";
}

} // namespace

void CAppendEngine::PlanStructure(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2)
{
    const CPdfElement* raw1 = catalog1.find("StructTreeRoot");
    const CPdfElement* raw2 = catalog2.find("StructTreeRoot");
    CPdfElement tree1;
    CPdfElement tree2;
    if (raw1)
        resolve(*raw1, m_xref1, tree1);
    if (raw2)
        resolve(*raw2, m_xref2, tree2);
    const CPdfDictionary* root1 = tree1.dictionary();
    const CPdfDictionary* root2 = tree2.dictionary();
    std::vector<CTreeEntry> parents1;
    if (root1 && root1->find("ParentTree"))
        CollectNumberTree(m_xref1, *root1->find("ParentTree"), false, parents1);
    if (!root2) {
        // Structure parents of an untagged second file must not index the first file's tree.
        m_plan.structParentShift = root1 ? NextParentKey(*root1, parents1) : 0;
        return;
    }
    if (!root1) {
        const CPdfElement kept = *raw2;
        EditCatalog("StructTreeRoot", [this, kept]() { return SecondValueText(kept); });
        if (const CPdfElement* markInfo = catalog2.find("MarkInfo"); markInfo && !catalog1.find("MarkInfo")) {
            const CPdfElement keptMark = *markInfo;
            EditCatalog("MarkInfo", [this, keptMark]() { return SecondValueText(keptMark); });
        }
        return;
    }
    const uint32_t number1 = raw1->is(PdfKind::Reference) ? static_cast<uint32_t>(raw1->refNumber()) : 0;
    if (number1 == 0 || number1 >= m_entries1->size() || number1 == m_root1 || number1 == m_pages1 ||
        !raw2->is(PdfKind::Reference))
        return; // a root written in place in the catalog has no number for elements to lead to
    std::vector<CTreeEntry> parents2;
    if (root2->find("ParentTree"))
        CollectNumberTree(m_xref2, *root2->find("ParentTree"), true, parents2);
    const int64_t shift = NextParentKey(*root1, parents1);
    const int64_t next = shift + NextParentKey(*root2, parents2);
    m_plan.structParentShift = shift;
    for (CTreeEntry& entry : parents2)
        entry.number += shift;
    parents1.insert(parents1.end(), parents2.begin(), parents2.end());
    const uint32_t parentTree = AddNewObject([this, parents1]() {
        return FlatNumberTreeText(parents1, FirstMapper(), SecondMapper());
    });

    const std::string parent = std::to_string(number1) + " " +
                               std::to_string((*m_entries1)[number1].fetchGeneration()) + " R";
    const std::vector<CPdfElement> kids1 = Kids(*root1);
    const std::vector<CPdfElement> kids2 = Kids(*root2);
    for (const CPdfElement& kid : kids2) {
        if (kid.is(PdfKind::Reference) && kid.refNumber() > 0)
            m_plan.secondEdits[static_cast<uint32_t>(kid.refNumber())].push_back({"P", parent});
    }
    m_plan.secondDropped.insert(static_cast<uint32_t>(raw2->refNumber()));

    std::vector<CLazyKeyEdit>& edits = m_plan.firstDeferred[number1];
    edits.push_back({"K", [this, kids1, kids2]() {
                         std::string out = "[";
                         for (const CPdfElement& kid : kids1)
                             out += ElementText(kid, FirstMapper()) + " ";
                         for (const CPdfElement& kid : kids2)
                             out += ElementText(kid, SecondMapper()) + " ";
                         return out + "]";
                     }});
    edits.push_back({"ParentTree", [parentTree]() { return std::to_string(parentTree) + " 0 R"; }});
    edits.push_back({"ParentTreeNextKey", [next]() { return std::to_string(next); }});
    for (const char* key : {"RoleMap", "ClassMap"}) {
        CPdfElement map1;
        CPdfElement map2;
        root1->getResolved(key, map1);
        root2->getResolved(key, map2);
        if (map2.dictionary())
            edits.push_back({key, [this, map1, map2]() { return JoinedMapText(map1, map2, FirstMapper(), SecondMapper()); }});
    }
    if (const CPdfElement* ids2 = root2->find("IDTree")) {
        std::vector<CTreeEntry> ids;
        if (const CPdfElement* ids1 = root1->find("IDTree"))
            CollectNameTree(m_xref1, *ids1, false, ids);
        std::set<std::string> used;
        for (const CTreeEntry& entry : ids)
            used.insert(entry.name);
        std::vector<CTreeEntry> second;
        CollectNameTree(m_xref2, *ids2, true, second);
        for (CTreeEntry& entry : second) {
            if (used.insert(entry.name).second)
                ids.push_back(std::move(entry)); // an ID both files use stays the first file's
        }
        const uint32_t idTree = AddNewObject([this, ids]() { return FlatNameTreeText(ids, FirstMapper(), SecondMapper()); });
        edits.push_back({"IDTree", [idTree]() { return std::to_string(idTree) + " 0 R"; }});
    }
    if (const CPdfElement* markInfo = catalog2.find("MarkInfo"); markInfo && !catalog1.find("MarkInfo")) {
        const CPdfElement keptMark = *markInfo;
        EditCatalog("MarkInfo", [this, keptMark]() { return SecondValueText(keptMark); });
    }
}
