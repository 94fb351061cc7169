#include "append/TreeWalk.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "append/ObjectText.h"
#include "pdf/ByteClass.h"
#include "pdf/Element.h"
#include "pdf/Exception.h"
#include "pdf/Parser.h"
#include "streams/MemoryStream.h"

namespace {

constexpr uint32_t kNoItem = UINT32_MAX;

// The kids of an array written as nothing but integers and "R" between white space, which is
// how page trees write them, read as the general parser would: every "a b R" is a reference,
// other items are not kids. False, with kids as they were, for any other array.
bool ReadPlainKids(std::string_view array, std::vector<uint32_t>& kids)
{
    if (array.size() < 2 || array.front() != '[' || array.back() != ']')
        return false;
    const size_t before = kids.size();
    int64_t previous[2] = {-1, -1}; // the last two items while both are integers, else -1
    size_t at = 1;
    while (at + 1 < array.size()) {
        const auto c = static_cast<unsigned char>(array[at]);
        if (IsPdfWhite(c)) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end + 1 < array.size() && !IsPdfWhite(static_cast<unsigned char>(array[end])))
            ++end;
        const std::string_view word = array.substr(at, end - at);
        at = end;
        if (word == "R") {
            if (previous[0] > 0 && previous[1] >= 0)
                kids.push_back(static_cast<uint32_t>(previous[0]));
            previous[0] = previous[1] = -1;
            continue;
        }
        // Up to nine digits: an integer that fits, as the parser reads it.
        if (word.size() > 9 || !std::all_of(word.begin(), word.end(), [](char d) { return IsDigit(d); })) {
            kids.resize(before);
            return false;
        }
        int64_t value = 0;
        for (const char d : word)
            value = value * 10 + (d - '0');
        previous[0] = previous[1];
        previous[1] = value;
    }
    return true;
}

// Object numbers reached so far; each number is entered at most once, so a walk ends within
// the cross-reference's size whatever the file says.
class CReached {
public:
    CReached(CObjectReader& reader, CObjectText& text) : m_reader(reader), m_text(text), m_isReached(reader.size()) {}

    // Marks number as reached; false for numbers without an object. Reaching a number twice
    // is damage.
    bool Mark(uint32_t number)
    {
        if (number == 0 || number >= m_isReached.size())
            return false;
        if (m_isReached[number])
            throw CPdfDamaged();
        m_isReached[number] = true;
        return true;
    }

    // Reads a number just marked into the text; false unless it is a dictionary.
    bool Load(uint32_t number) { return m_reader.Read(number, m_text) && m_text.scan.m_dictOpen != kNoIndex; }

    bool Enter(uint32_t number) { return Mark(number) && Load(number); }

    // Pages are most of a page tree: most can be told from nodes by their bytes alone.
    bool IsPlainLeaf(uint32_t number) { return m_reader.IsPlainLeaf(number); }

    // The object number of a reference that makes up the whole value of key, or 0.
    uint32_t ReferenceUnder(std::string_view key) const
    {
        const CObjectKey* found = m_text.scan.FindKey(m_text.head, key);
        const CObjectRef* reference = found ? m_text.scan.ReferenceValue(*found) : nullptr;
        return reference ? reference->number : 0;
    }

    // The references that are items of the array under /Kids, directly or as an object of its
    // own (a reference inside a kid written out in place is no kid); false without such an array.
    // An array of its own is read into a text of its own: the node's text stays whole, to be kept.
    bool KidsOf(std::vector<uint32_t>& kids)
    {
        const CObjectKey* key = m_text.scan.FindKey(m_text.head, "Kids");
        if (!key || !key->HasValue())
            return false;
        const CObjectText* holder = &m_text;
        size_t start = key->valueStart;
        size_t end = key->valueEnd;
        if (const CObjectRef* reference = m_text.scan.ReferenceValue(*key)) {
            if (!m_reader.Read(reference->number, m_kidsText) || m_kidsText.scan.m_firstValueEnd == kNoIndex)
                return false;
            holder = &m_kidsText;
            start = m_kidsText.scan.m_firstValueStart;
            end = m_kidsText.scan.m_firstValueEnd;
        }
        const std::string& head = holder->head;
        if (head[start] != '[')
            return false;
        if (ReadPlainKids(std::string_view(head).substr(start, end - start), kids))
            return true;
        CPdfParser parser(m_reader.xref(), CPdfRef<CPdfStream>::create<CPdfMemoryStream>(head.substr(start, end - start)));
        CPdfElement array;
        parser.parseObject(array);
        for (size_t i = 0; array.array() && i < array.array()->size(); ++i) {
            const CPdfElement& kid = array.array()->at(i);
            if (kid.is(PdfKind::Reference) && kid.refNumber() > 0)
                kids.push_back(static_cast<uint32_t>(kid.refNumber()));
        }
        return true;
    }

private:
    CObjectReader& m_reader;
    CObjectText& m_text;
    CObjectText m_kidsText;
    std::vector<bool> m_isReached;
};

} // namespace

int64_t CountPageTreeLeaves(CObjectReader& reader, uint32_t rootNumber, CObjectText& text,
                            const std::function<bool(uint32_t, CObjectText&)>& keep)
{
    CReached reached(reader, text);
    std::vector<uint32_t> pending; // kids still to walk, last first
    if (!reached.Enter(rootNumber) || !reached.KidsOf(pending))
        return 0;
    bool isKeeping = keep && keep(rootNumber, text);
    int64_t leaves = 0;
    std::vector<uint32_t> kids;
    while (!pending.empty()) {
        const uint32_t number = pending.back();
        pending.pop_back();
        if (!reached.Mark(number))
            continue;
        if (!isKeeping && reached.IsPlainLeaf(number)) {
            ++leaves;
            continue;
        }
        if (!reached.Load(number))
            continue;
        kids.clear();
        if (!reached.KidsOf(kids)) {
            ++leaves;
            if (isKeeping)
                isKeeping = keep(number, text);
        }
        pending.insert(pending.end(), kids.rbegin(), kids.rend());
    }
    return leaves;
}

void CheckOutlineItems(CObjectReader& reader, uint32_t outlineRoot, CObjectText& text,
                       std::vector<uint32_t>* topLevel, const std::function<bool(uint32_t, CObjectText&)>& keep)
{
    CReached reached(reader, text);
    std::vector<uint32_t> pending{outlineRoot}; // heads of /Next chains
    uint32_t topHead = kNoItem;                  // the root's /First, once the root is read
    while (!pending.empty()) {
        uint32_t item = pending.back();
        pending.pop_back();
        const bool isTopChain = item == topHead;
        while (reached.Enter(item)) {
            if (isTopChain && topLevel)
                topLevel->push_back(item);
            pending.push_back(reached.ReferenceUnder("First"));
            if (topHead == kNoItem)
                topHead = pending.back();
            const uint32_t read = item;
            item = reached.ReferenceUnder("Next");
            if (keep)
                keep(read, text);
        }
    }
}
