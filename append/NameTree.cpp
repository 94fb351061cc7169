#include "append/NameTree.h"

#include <algorithm>
#include <set>

namespace {

constexpr int kMaxTreeDepth = 32;

class CTreeReader {
public:
    CTreeReader(CPdfXRef* xref, bool isNumberTree, bool isSecond, std::vector<CTreeEntry>& out)
        : m_xref(xref), m_isNumberTree(isNumberTree), m_isSecond(isSecond), m_out(out)
    {
    }

    void Read(const CPdfElement& node, int depth)
    {
        if (depth > kMaxTreeDepth)
            return;
        if (node.is(PdfKind::Reference) && !m_visited.insert(node.refNumber()).second)
            return; // a node met twice: its entries are in already
        CPdfElement resolved;
        resolve(node, m_xref, resolved);
        const CPdfDictionary* dictionary = resolved.dictionary();
        if (!dictionary)
            return;
        CPdfElement leaves;
        dictionary->getResolved(m_isNumberTree ? "Nums" : "Names", leaves);
        if (const CPdfArray* array = leaves.array())
            TakeLeaves(*array);
        CPdfElement kids;
        dictionary->getResolved("Kids", kids);
        if (const CPdfArray* array = kids.array()) {
            for (size_t i = 0; i < array->size(); ++i)
                Read(array->at(i), depth + 1);
        }
    }

private:
    void TakeLeaves(const CPdfArray& array)
    {
        for (size_t i = 0; i + 1 < array.size(); i += 2) {
            CPdfElement key;
            array.getResolved(i, key);
            CTreeEntry entry;
            if (m_isNumberTree && key.is(PdfKind::Integer))
                entry.number = key.integer();
            else if (!m_isNumberTree && (key.is(PdfKind::String) || key.is(PdfKind::Name)))
                entry.name = key.text();
            else
                continue;
            entry.value = array.at(i + 1);
            entry.isSecond = m_isSecond;
            m_out.push_back(std::move(entry));
        }
    }

    CPdfXRef* m_xref;
    bool m_isNumberTree;
    bool m_isSecond;
    std::vector<CTreeEntry>& m_out;
    std::set<int32_t> m_visited;
};

void AppendValue(const CTreeEntry& entry, const CReferenceMapper& first, const CReferenceMapper& second,
                 std::string& out)
{
    out += ' ';
    AppendElementText(entry.value, entry.isSecond ? second : first, out);
}

} // namespace

void CollectNameTree(CPdfXRef* xref, const CPdfElement& node, bool isSecond, std::vector<CTreeEntry>& out)
{
    CTreeReader(xref, false, isSecond, out).Read(node, 0);
}

void CollectNumberTree(CPdfXRef* xref, const CPdfElement& node, bool isSecond, std::vector<CTreeEntry>& out)
{
    CTreeReader(xref, true, isSecond, out).Read(node, 0);
}

std::string FlatNameTreeText(std::vector<CTreeEntry> entries, const CReferenceMapper& first,
                             const CReferenceMapper& second, std::vector<CTreeEntry>* written)
{
    // A stable sort of the whole, done as one of the second file's entries merged into the
    // first file's, which are in order already when the output's tree was written so.
    const auto byName = [](const CTreeEntry& a, const CTreeEntry& b) { return a.name < b.name; };
    const auto middle = std::find_if(entries.begin(), entries.end(), [](const CTreeEntry& entry) { return entry.isSecond; });
    if (!std::is_sorted(entries.begin(), middle, byName))
        std::stable_sort(entries.begin(), middle, byName);
    std::stable_sort(middle, entries.end(), byName);
    std::inplace_merge(entries.begin(), middle, entries.end(), byName);
    std::string out = "<< /Names [";
    for (CTreeEntry& entry : entries) {
        out += '\n';
        if (!entry.text.empty()) {
            out += entry.text;
            continue;
        }
        const size_t entryStart = out.size();
        out += PdfHexStringText(entry.name);
        AppendValue(entry, first, second, out);
        if (written) {
            entry.text.assign(out.data() + entryStart, out.size() - entryStart);
            entry.value = CPdfElement();
            entry.isSecond = false;
        }
    }
    out += "\n] >>";
    if (written)
        *written = std::move(entries);
    return out;
}

std::string FlatNumberTreeText(std::vector<CTreeEntry> entries, const CReferenceMapper& first,
                               const CReferenceMapper& second)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const CTreeEntry& a, const CTreeEntry& b) { return a.number < b.number; });
    std::string out = "<< /Nums [";
    for (const CTreeEntry& entry : entries) {
        out += '\n';
        out += std::to_string(entry.number);
        AppendValue(entry, first, second, out);
    }
    out += "\n] >>";
    return out;
}
