#include "append/NameTree.h"

#include <algorithm>
#include <set>

#include "pdf/ByteClass.h"
#include "pdf/Lexer.h"
#include "xref/XRef.h"

namespace {

constexpr int kMaxTreeDepth = 32;
constexpr size_t kMaxPlainDigits = 9; // below 2^31: read as the parser reads them

// A node of the common shape read from its text without building values: a dictionary of
// "/Names" (plain strings and references), "/Kids" (references) and "/Limits" (plain strings),
// nothing else, each key once. Any other text is left to the parser, which reads every shape.
class CPlainNode {
public:
    struct CRef {
        int32_t number = 0;
        int32_t generation = 0;
    };

    CPlainNode(const unsigned char* text, size_t length) : m_at(text), m_end(text + length) {}

    bool Read()
    {
        if (!Expect('<') || !Next('<'))
            return false;
        bool seen[3] = {false, false, false};
        for (;;) {
            SkipWhite();
            if (m_at < m_end && *m_at == '>')
                return Expect('>') && Next('>') && (SkipWhite(), m_at == m_end);
            int key = -1;
            if (!ReadKey(key) || seen[key] || !Expect('['))
                return false;
            seen[key] = true;
            if (!ReadItems(key))
                return false;
        }
    }

    std::vector<std::pair<std::string, CRef>> leaves;
    std::vector<CRef> kids;

private:
    enum { kNames, kKids, kLimits };

    void SkipWhite()
    {
        while (m_at < m_end && IsPdfWhite(*m_at))
            ++m_at;
    }
    // The next byte is c, after white space (Expect) or straight on (Next).
    bool Expect(unsigned char c)
    {
        SkipWhite();
        return Next(c);
    }
    bool Next(unsigned char c)
    {
        if (m_at == m_end || *m_at != c)
            return false;
        ++m_at;
        return true;
    }
    std::string_view Word()
    {
        const unsigned char* start = m_at;
        while (m_at < m_end && IsPdfRegular(*m_at))
            ++m_at;
        return std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(m_at - start));
    }
    bool ReadKey(int& key)
    {
        if (!Expect('/'))
            return false;
        const std::string_view name = Word();
        key = name == "Names" ? kNames : name == "Kids" ? kKids : name == "Limits" ? kLimits : -1;
        return key >= 0;
    }
    bool ReadItems(int key)
    {
        for (;;) {
            SkipWhite();
            if (m_at < m_end && *m_at == ']') {
                ++m_at;
                return true;
            }
            std::string name;
            CRef ref;
            if (key == kKids) {
                if (!ReadRef(ref))
                    return false;
                kids.push_back(ref);
            } else if (!ReadString(name)) {
                return false;
            } else if (key == kNames) {
                if (!ReadRef(ref))
                    return false;
                leaves.emplace_back(std::move(name), ref);
            }
        }
    }
    // "(bytes)" holding no parenthesis or backslash, or "<hex>" of an even count of digits.
    bool ReadString(std::string& out)
    {
        SkipWhite();
        if (m_at == m_end || (*m_at != '(' && *m_at != '<'))
            return false;
        const unsigned char open = *m_at++;
        const unsigned char* start = m_at;
        if (open == '(') {
            while (m_at < m_end && *m_at != ')' && *m_at != '(' && *m_at != '\\')
                ++m_at;
            if (m_at == m_end || *m_at != ')')
                return false;
            out.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(m_at - start));
            ++m_at;
            return true;
        }
        while (m_at < m_end && HexValue(*m_at) >= 0)
            ++m_at;
        if (m_at == m_end || *m_at != '>' || (m_at - start) % 2 != 0)
            return false;
        for (const unsigned char* digit = start; digit != m_at; digit += 2)
            out.push_back(static_cast<char>(HexValue(digit[0]) * 16 + HexValue(digit[1])));
        ++m_at;
        return true;
    }
    bool ReadInteger(int32_t& out)
    {
        SkipWhite();
        const std::string_view digits = Word();
        if (digits.empty() || digits.size() > kMaxPlainDigits ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return IsDigit(c); }))
            return false;
        out = LexIntegerValue(digits);
        return true;
    }
    bool ReadRef(CRef& out)
    {
        if (!ReadInteger(out.number) || !ReadInteger(out.generation))
            return false;
        SkipWhite();
        return Word() == "R";
    }

    const unsigned char* m_at;
    const unsigned char* m_end;
};

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
        if (!m_isNumberTree && ReadPlain(node, depth))
            return;
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
    // A member of an object stream read as CPlainNode reads it; false, having taken nothing,
    // when the node is of another kind or shape.
    bool ReadPlain(const CPdfElement& node, int depth)
    {
        if (!node.is(PdfKind::Reference) || node.refGeneration() != 0 || node.refNumber() < 0)
            return false;
        const std::vector<CPdfXRefEntry>& entries = m_xref->getEntries();
        const auto number = static_cast<size_t>(node.refNumber());
        if (number >= entries.size() || entries[number].type != 2)
            return false;
        uint32_t length = 0;
        const unsigned char* text = m_xref->getObjectText(node.refNumber(), 0, length);
        if (!text)
            return false;
        CPlainNode plain(text, length);
        if (!plain.Read())
            return false;
        for (auto& [name, ref] : plain.leaves) {
            CTreeEntry& entry = m_out.emplace_back();
            entry.name = std::move(name);
            entry.value.setReference(ref.number, ref.generation);
            entry.isSecond = m_isSecond;
        }
        for (const CPlainNode::CRef& ref : plain.kids) {
            CPdfElement kid;
            kid.setReference(ref.number, ref.generation);
            Read(kid, depth + 1);
        }
        return true;
    }

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
