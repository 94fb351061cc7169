// Page labels of both files: every output page shows the label it showed in its own file, and
// a file without labels shows 1, 2, 3 ... for its own pages.
#include "append/Engine.h"

#include "append/NameTree.h"
#include "xref/XRef.h"

namespace {

// The entries of a file's label tree for its own pages, starting at page 0: a file without
// labels, or whose first range starts later, numbers its first pages in decimal.
std::vector<CTreeEntry> LabelRanges(CPdfXRef* xref, const CPdfDictionary& catalog, bool isSecond, int64_t pages,
                                    int64_t shift)
{
    std::vector<CTreeEntry> entries;
    if (const CPdfElement* labels = catalog.find("PageLabels"))
        CollectNumberTree(xref, *labels, isSecond, entries);
    std::vector<CTreeEntry> ranges;
    bool startsAtZero = false;
    for (CTreeEntry& entry : entries) {
        if (entry.number < 0 || entry.number >= pages)
            continue; // a range for pages the file does not have would label the other file's
        startsAtZero = startsAtZero || entry.number == 0;
        entry.number += shift;
        ranges.push_back(std::move(entry));
    }
    if (!startsAtZero) {
        CTreeEntry decimal;
        decimal.number = shift;
        CPdfDictionary& style = decimal.value.newDictionary(nullptr);
        CPdfElement name;
        name.setName("D");
        style.set("S", name);
        ranges.insert(ranges.begin(), std::move(decimal));
    }
    return ranges;
}

} // namespace

void CAppendEngine::PlanPageLabels(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2)
{
    if (!catalog1.find("PageLabels") && !catalog2.find("PageLabels"))
        return;
    std::vector<CTreeEntry> entries = LabelRanges(m_xref1, catalog1, false, m_leaves1, 0);
    std::vector<CTreeEntry> entries2 = LabelRanges(m_xref2, catalog2, true, m_leaves2, m_leaves1);
    entries.insert(entries.end(), entries2.begin(), entries2.end());
    const uint32_t number = AddNewObject([this, entries]() {
        return FlatNumberTreeText(entries, FirstMapper(), SecondMapper());
    });
    EditCatalog("PageLabels", [number]() { return std::to_string(number) + " 0 R"; });
}
