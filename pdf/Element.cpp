#include "pdf/Element.h"

#include <algorithm>
#include <iterator>

#include "pdf/RefHolder.h"

#include "streams/Stream.h"
#include "xref/XRef.h"

CPdfElement& CPdfElement::operator=(const CPdfElement& other)
{
    // The copy is made first: other may live inside what this element holds.
    if (this != &other)
        *this = CPdfElement(other);
    return *this;
}

CPdfElement& CPdfElement::operator=(CPdfElement&& other) noexcept
{
    if (this != &other) {
        // As for a copy, other may live inside what this element held.
        const PdfKind kind = m_kind;
        const Value value = m_value;
        m_kind = other.m_kind;
        m_value = other.m_value;
        m_text = std::move(other.m_text);
        other.forget();
        releaseShared(kind, value);
    }
    return *this;
}

void CPdfElement::addReference(PdfKind kind, const Value& value)
{
    if (kind == PdfKind::Array)
        value.array->addRef();
    else if (kind == PdfKind::Dictionary)
        value.dictionary->addRef();
    else
        value.stream->addRef();
}

void CPdfElement::releaseReference(PdfKind kind, const Value& value)
{
    if (kind == PdfKind::Array)
        value.array->release();
    else if (kind == PdfKind::Dictionary)
        value.dictionary->release();
    else
        value.stream->release();
}

void CPdfElement::setText(PdfKind kind, std::string_view text)
{
    // The text is taken before anything is released: it may lie in this element's own text
    // (which assign copes with) or inside what its value holds.
    const PdfKind oldKind = m_kind;
    const Value oldValue = m_value;
    m_text.assign(text.data(), text.size());
    m_kind = kind;
    m_value = Value{};
    releaseShared(oldKind, oldValue);
}

CPdfArray& CPdfElement::newArray(CPdfXRef* xref)
{
    clear();
    m_kind = PdfKind::Array;
    m_value.array = CPdfRef<CPdfArray>::create(xref).detach(); // this element holds the first reference
    return *m_value.array;
}

CPdfDictionary& CPdfElement::newDictionary(CPdfXRef* xref)
{
    clear();
    m_kind = PdfKind::Dictionary;
    m_value.dictionary = CPdfRef<CPdfDictionary>::create(xref).detach(); // this element holds it
    return *m_value.dictionary;
}

void CPdfElement::setDictionary(CPdfDictionary* dictionary)
{
    dictionary->addRef(); // before clear: the dictionary may be what this element holds
    clear();
    m_kind = PdfKind::Dictionary;
    m_value.dictionary = dictionary;
}

void CPdfElement::setStream(CPdfStream* stream)
{
    stream->addRef();
    clear();
    m_kind = PdfKind::Stream;
    m_value.stream = stream;
}

void resolve(const CPdfElement& element, CPdfXRef* xref, CPdfElement& out)
{
    if (element.is(PdfKind::Reference) && xref) {
        CPdfElement fetched;
        xref->fetch(element.refNumber(), element.refGeneration(), fetched);
        out = std::move(fetched);
        return;
    }
    out = element;
}

void CPdfArray::release()
{
    if (--m_refCount == 0)
        delete this;
}

void CPdfDictionary::release()
{
    if (--m_refCount == 0)
        delete this;
}

namespace {

bool KeyBefore(const CPdfDictionary::Entry& entry, std::string_view key)
{
    return std::string_view(entry.first) < key;
}

bool EntryBefore(const CPdfDictionary::Entry& a, const CPdfDictionary::Entry& b)
{
    return a.first < b.first;
}

} // namespace

void CPdfDictionary::set(const std::string& key, const CPdfElement& value)
{
    set(std::string(key), CPdfElement(value));
}

void CPdfDictionary::set(std::string key, CPdfElement&& value)
{
    if (m_entries.empty() || m_entries.back().first < key) {
        m_entries.emplace_back(std::move(key), std::move(value));
        return;
    }
    const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), key, KeyBefore);
    if (at == m_entries.end() || at->first != key)
        m_entries.emplace(at, std::move(key), std::move(value));
}

void CPdfDictionary::setAll(Entries entries)
{
    // Entries held already go first, so that they win over new ones of the same key.
    if (!m_entries.empty())
        entries.insert(entries.begin(), std::make_move_iterator(m_entries.begin()), std::make_move_iterator(m_entries.end()));
    // Most dictionaries are short: an insertion sort (stable too) spares the merge sort's buffer.
    constexpr size_t kInsertionSortLimit = 16;
    if (entries.size() <= kInsertionSortLimit) {
        for (size_t i = 1; i < entries.size(); ++i) {
            for (size_t j = i; j > 0 && EntryBefore(entries[j], entries[j - 1]); --j)
                std::swap(entries[j], entries[j - 1]);
        }
    } else if (!std::is_sorted(entries.begin(), entries.end(), EntryBefore)) {
        std::stable_sort(entries.begin(), entries.end(), EntryBefore);
    }
    // Of equal keys the first stays.
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const Entry& a, const Entry& b) { return a.first == b.first; }),
                  entries.end());
    m_entries = std::move(entries);
}

const CPdfElement* CPdfDictionary::find(std::string_view key) const
{
    const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), key, KeyBefore);
    return at == m_entries.end() || at->first != key ? nullptr : &at->second;
}

void CPdfDictionary::get(std::string_view key, CPdfElement& out) const
{
    if (const CPdfElement* value = find(key))
        out = *value;
    else
        out.setNull();
}

void CPdfDictionary::getResolved(std::string_view key, CPdfElement& out) const
{
    if (const CPdfElement* value = find(key))
        resolve(*value, m_xref, out);
    else
        out.setNull();
}
