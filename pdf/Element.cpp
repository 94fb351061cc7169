#include "pdf/Element.h"

#include "pdf/RefHolder.h"

#include "streams/Stream.h"
#include "xref/XRef.h"

CPdfElement::CPdfElement(const CPdfElement& other)
{
    copyFrom(other);
}

CPdfElement::CPdfElement(CPdfElement&& other) noexcept
{
    moveFrom(other);
}

CPdfElement& CPdfElement::operator=(const CPdfElement& other)
{
    if (this != &other) {
        CPdfElement copy(other); // other may live inside what clear() releases
        clear();
        moveFrom(copy);
    }
    return *this;
}

CPdfElement& CPdfElement::operator=(CPdfElement&& other) noexcept
{
    if (this != &other) {
        CPdfElement taken(std::move(other));
        clear();
        moveFrom(taken);
    }
    return *this;
}

CPdfElement::~CPdfElement()
{
    clear();
}

void CPdfElement::clear()
{
    switch (m_kind) {
    case PdfKind::Array:
        m_value.array->release();
        break;
    case PdfKind::Dictionary:
        m_value.dictionary->release();
        break;
    case PdfKind::Stream:
        m_value.stream->release();
        break;
    default:
        break;
    }
    m_text.clear();
    m_value = Value{};
    m_kind = PdfKind::Empty;
}

void CPdfElement::copyFrom(const CPdfElement& other)
{
    m_kind = other.m_kind;
    m_value = other.m_value;
    m_text = other.m_text;
    switch (m_kind) {
    case PdfKind::Array:
        m_value.array->addRef();
        break;
    case PdfKind::Dictionary:
        m_value.dictionary->addRef();
        break;
    case PdfKind::Stream:
        m_value.stream->addRef();
        break;
    default:
        break;
    }
}

void CPdfElement::moveFrom(CPdfElement& other) noexcept
{
    m_kind = other.m_kind;
    m_value = other.m_value;
    m_text = std::move(other.m_text);
    other.m_kind = PdfKind::Empty;
    other.m_value = Value{};
    other.m_text.clear();
}

void CPdfElement::setPlain(PdfKind kind)
{
    clear();
    m_kind = kind;
}

void CPdfElement::setText(PdfKind kind, std::string text)
{
    clear();
    m_kind = kind;
    m_text = std::move(text);
}

void CPdfElement::setBoolean(bool value)
{
    setPlain(PdfKind::Boolean);
    m_value.boolean = value;
}

void CPdfElement::setInteger(int32_t value)
{
    setPlain(PdfKind::Integer);
    m_value.integer = value;
}

void CPdfElement::setReal(double value)
{
    setPlain(PdfKind::Real);
    m_value.real = value;
}

void CPdfElement::setReference(int32_t number, int32_t generation)
{
    setPlain(PdfKind::Reference);
    m_value.reference.number = number;
    m_value.reference.generation = generation;
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

void CPdfDictionary::set(const std::string& key, const CPdfElement& value)
{
    m_entries.emplace(key, value);
}

const CPdfElement* CPdfDictionary::find(std::string_view key) const
{
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : &it->second;
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
