// Named destinations, the other name trees and article threads of both files in one output.
// A second-file name that the first file uses too is renamed (destinations everywhere the
// second file uses them, see CollectSecondEdits), so that each file's links keep their targets.
#include "append/Engine.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "append/NameTree.h"
#include "xref/XRef.h"

namespace {

// Name trees of the /Names dictionary merged entry by entry; any other key keeps the first
// file's value.
constexpr const char* kNameTrees[] = {"Dests",     "EmbeddedFiles", "JavaScript", "AP",
                                      "Pages",     "Templates",     "IDS",        "URLS",
                                      "Renditions", "AlternatePresentations"};

bool IsNameTreeKey(const std::string& key)
{
    return std::any_of(std::begin(kNameTrees), std::end(kNameTrees), [&key](const char* tree) { return key == tree; });
}

// The second file's entries renamed where the first file has the name.
// isUsed1 and isUsed2 tell the first file's names and the second's.
template <typename IsUsed1, typename IsUsed2>
void RenameClashes(std::vector<CTreeEntry>& entries, const IsUsed1& isUsed1, const IsUsed2& isUsed2,
                   CNameRenames& renames, std::set<std::string>& taken)
{
    const auto isUsed = [&](const std::string& name) { return isUsed1(name) || isUsed2(name); };
    for (CTreeEntry& entry : entries) {
        if (!isUsed1(entry.name))
            continue;
        auto found = renames.find(entry.name);
        if (found == renames.end())
            found = renames.emplace(entry.name, SuffixedName(entry.name, isUsed, taken)).first;
        entry.name = found->second;
    }
}

std::set<std::string> NamesOf(const std::vector<CTreeEntry>& entries)
{
    std::set<std::string> names;
    for (const CTreeEntry& entry : entries)
        names.insert(entry.name);
    return names;
}

// The entries of an old-style /Dests dictionary, as tree entries of one file.
std::vector<CTreeEntry> DictionaryEntries(const CPdfDictionary* dictionary, bool isSecond)
{
    std::vector<CTreeEntry> entries;
    if (!dictionary)
        return entries;
    for (const auto& [key, value] : dictionary->entries()) {
        CTreeEntry entry;
        entry.name = key;
        entry.value = value;
        entry.isSecond = isSecond;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string DictionaryText(const std::vector<CTreeEntry>& entries, const CReferenceMapper& first,
                           const CReferenceMapper& second)
{
    std::string out = "<<";
    for (const CTreeEntry& entry : entries) {
        out += '\n';
        out += PdfNameText(entry.name);
        out += ' ';
        AppendElementText(entry.value, entry.isSecond ? second : first, out);
    }
    out += "\n>>";
    return out;
}

} // namespace

void CAppendEngine::PlanNames(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2)
{
    CPdfElement names1;
    CPdfElement names2;
    CPdfElement dests1;
    CPdfElement dests2;
    catalog1.getResolved("Names", names1);
    catalog2.getResolved("Names", names2);
    catalog1.getResolved("Dests", dests1);
    catalog2.getResolved("Dests", dests2);
    const CPdfDictionary* nameDictionary1 = names1.dictionary();
    const CPdfDictionary* nameDictionary2 = names2.dictionary();
    if (!nameDictionary2 && !dests2.dictionary())
        return;

    // Destination names of both files, by tree and by old-style dictionary. A kept output's
    // tree is the one the line before wrote: it is taken as that line left it, not read again.
    std::vector<CTreeEntry> tree1;
    std::vector<CTreeEntry> tree2;
    if (nameDictionary2 && nameDictionary2->find("Dests"))
        CollectNameTree(m_xref2, *nameDictionary2->find("Dests"), true, tree2);
    const CPdfElement* destTree1 = nameDictionary1 ? nameDictionary1->find("Dests") : nullptr;
    const bool isTreeKept = destTree1 && !tree2.empty() && m_own.isActive &&
                            m_own.dests.number != 0 && destTree1->is(PdfKind::Reference) &&
                            destTree1->refNumber() == static_cast<int32_t>(m_own.dests.number);
    std::set<std::string> read1; // the first file's names, but for those of a kept tree
    if (isTreeKept) {
        tree1 = std::move(m_own.dests.entries);
        m_own.dests.number = 0; // the running line has it; a line that fails leaves none
    } else if (destTree1) {
        CollectNameTree(m_xref1, *destTree1, false, tree1);
    }
    if (!isTreeKept)
        read1 = NamesOf(tree1);
    const std::set<std::string>* kept1 = isTreeKept ? &m_own.dests.names : nullptr;
    const auto isUsed1 = [&read1, kept1](const std::string& name) {
        return read1.count(name) != 0 || (kept1 && kept1->count(name) != 0);
    };
    std::vector<CTreeEntry> dictionary1 = DictionaryEntries(dests1.dictionary(), false);
    std::vector<CTreeEntry> dictionary2 = DictionaryEntries(dests2.dictionary(), true);
    for (const CTreeEntry& entry : dictionary1)
        read1.insert(entry.name);
    // The second file's names are put in order only when a first clash needs them, before any
    // is renamed: most pairs have no clash, and a tree may hold thousands.
    std::set<std::string> used2;
    bool isUsed2Read = false;
    const auto isUsed2 = [&](const std::string& name) {
        if (!isUsed2Read) {
            used2 = NamesOf(tree2);
            for (const CTreeEntry& entry : dictionary2)
                used2.insert(entry.name);
            isUsed2Read = true;
        }
        return used2.count(name) != 0;
    };
    std::set<std::string> taken;
    RenameClashes(tree2, isUsed1, isUsed2, m_plan.destRenames, taken);
    RenameClashes(dictionary2, isUsed1, isUsed2, m_plan.destRenames, taken);

    if (!dictionary2.empty()) {
        std::vector<CTreeEntry> merged = dictionary1;
        merged.insert(merged.end(), dictionary2.begin(), dictionary2.end());
        const uint32_t number = AddNewObject([this, merged]() {
            return DictionaryText(merged, FirstMapper(), SecondMapper());
        });
        EditCatalog("Dests", [number]() { return std::to_string(number) + " 0 R"; });
    }
    if (!nameDictionary2)
        return;

    // The /Names dictionary: every key of either file; trees both files have are merged.
    std::vector<std::pair<std::string, std::function<std::string()>>> values;
    std::set<std::string> allKeys;
    if (nameDictionary1) {
        for (const auto& entry : nameDictionary1->entries())
            allKeys.insert(entry.first);
    }
    for (const auto& entry : nameDictionary2->entries())
        allKeys.insert(entry.first);
    for (const std::string& key : allKeys) {
        const CPdfElement* value1 = nameDictionary1 ? nameDictionary1->find(key) : nullptr;
        const CPdfElement* value2 = nameDictionary2->find(key);
        const bool isDests = key == "Dests";
        if (value1 && (!value2 || !IsNameTreeKey(key) || (isDests && tree2.empty()))) {
            CPdfElement kept = *value1;
            values.emplace_back(key, [this, kept]() { return ElementText(kept, FirstMapper()); });
            continue;
        }
        if (!value1 && !(isDests && !m_plan.destRenames.empty())) {
            CPdfElement kept = *value2;
            values.emplace_back(key, [this, kept]() { return SecondValueText(kept); });
            continue;
        }
        std::vector<CTreeEntry> entries1;
        if (isDests)
            entries1.swap(tree1); // the one key "Dests" takes the destinations read above
        std::vector<CTreeEntry> entries2 = isDests ? tree2 : std::vector<CTreeEntry>();
        if (!isDests) {
            if (value1)
                CollectNameTree(m_xref1, *value1, false, entries1);
            CollectNameTree(m_xref2, *value2, true, entries2);
            CNameRenames renames;
            std::set<std::string> treeTaken;
            const std::set<std::string> names1 = NamesOf(entries1);
            const std::set<std::string> names2 = NamesOf(entries2);
            const auto isUsed1 = [&names1](const std::string& name) { return names1.count(name) != 0; };
            const auto isUsed2 = [&names2](const std::string& name) { return names2.count(name) != 0; };
            RenameClashes(entries2, isUsed1, isUsed2, renames, treeTaken);
        }
        entries1.insert(entries1.end(), entries2.begin(), entries2.end());
        if (isDests && m_own.isActive)
            NoteKeptDests(tree2, isTreeKept);
        const uint32_t number = AddNewObject([this, isDests, entries = std::move(entries1)]() mutable {
            std::vector<CTreeEntry>* written = isDests && m_own.isActive ? &m_own.nextDests.entries : nullptr;
            return FlatNameTreeText(std::move(entries), FirstMapper(), SecondMapper(), written);
        });
        if (isDests && m_own.isActive)
            m_own.nextDests.number = number;
        values.emplace_back(key, [number]() { return std::to_string(number) + " 0 R"; });
    }
    const uint32_t number = AddNewObject([values]() {
        std::string out = "<<";
        for (const auto& [key, value] : values)
            out += "\n" + PdfNameText(key) + " " + value();
        return out + "\n>>";
    });
    EditCatalog("Names", [number]() { return std::to_string(number) + " 0 R"; });
}

// Article threads: the second file's follow the first file's.
void CAppendEngine::PlanThreads(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2)
{
    CPdfElement threads1;
    CPdfElement threads2;
    catalog1.getResolved("Threads", threads1);
    catalog2.getResolved("Threads", threads2);
    if (!threads2.array() || threads2.array()->size() == 0)
        return;
    EditCatalog("Threads", [this, threads1, threads2]() {
        std::string text = threads1.array() ? ElementText(threads1, FirstMapper()) : "[]";
        const std::string second = ElementText(threads2, SecondMapper());
        text.pop_back();
        return text + (text.size() > 1 ? " " : "") + second.substr(1);
    });
}
