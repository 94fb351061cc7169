// PDF values. A CPdfElement is a small tagged value; arrays, dictionaries and streams are
// shared, reference-counted objects that elements point to. Reading "4 0 obj << /Kids [9 0 R] >>"
// gives Integer 4, Integer 0, Keyword obj, then a Dictionary whose "Kids" is an Array holding
// the Reference (9, 0). Containers remember the cross-reference they were read through, so a
// reference inside them can be followed on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

class CPdfXRef;
class CPdfStream;
class CPdfArray;
class CPdfDictionary;

enum class PdfKind : uint32_t {
    Boolean = 0,
    Integer = 1,
    Real = 2,
    String = 3,
    Name = 4,
    Null = 5,
    Array = 6,
    Dictionary = 7,
    Stream = 8,
    Reference = 9,
    Keyword = 10,
    Invalid = 11,
    EndOfData = 12,
    Empty = 13,
};

class CPdfElement {
public:
    CPdfElement() = default;
    CPdfElement(const CPdfElement& other) : m_kind(other.m_kind), m_value(other.m_value), m_text(other.m_text)
    {
        addShared(m_kind, m_value);
    }
    CPdfElement(CPdfElement&& other) noexcept
        : m_kind(other.m_kind), m_value(other.m_value), m_text(std::move(other.m_text))
    {
        other.forget();
    }
    CPdfElement& operator=(const CPdfElement& other);
    CPdfElement& operator=(CPdfElement&& other) noexcept;
    ~CPdfElement() { releaseShared(m_kind, m_value); }

    // Releases whatever the value holds; the kind becomes Empty.
    void clear()
    {
        const PdfKind kind = m_kind;
        const Value value = m_value;
        forget();
        releaseShared(kind, value);
    }

    PdfKind kind() const { return m_kind; }
    bool is(PdfKind kind) const { return m_kind == kind; }
    bool isKeyword(std::string_view text) const { return m_kind == PdfKind::Keyword && m_text == text; }
    bool isName(std::string_view text) const { return m_kind == PdfKind::Name && m_text == text; }

    void setBoolean(bool value)
    {
        setPlain(PdfKind::Boolean);
        m_value.boolean = value;
    }
    void setInteger(int32_t value)
    {
        setPlain(PdfKind::Integer);
        m_value.integer = value;
    }
    void setReal(double value)
    {
        setPlain(PdfKind::Real);
        m_value.real = value;
    }
    void setReference(int32_t number, int32_t generation)
    {
        setPlain(PdfKind::Reference);
        m_value.reference.number = number;
        m_value.reference.generation = generation;
    }
    void setNull() { setPlain(PdfKind::Null); }
    void setInvalid() { setPlain(PdfKind::Invalid); }
    void setEndOfData() { setPlain(PdfKind::EndOfData); }
    void setString(std::string_view text) { setText(PdfKind::String, text); }
    void setName(std::string_view text) { setText(PdfKind::Name, text); }
    void setKeyword(std::string_view text) { setText(PdfKind::Keyword, text); }

    // A new, empty container (count 1) bound to xref (may be null); this element holds it.
    CPdfArray& newArray(CPdfXRef* xref);
    CPdfDictionary& newDictionary(CPdfXRef* xref);
    // Refer to an existing container or stream; adds one reference.
    void setDictionary(CPdfDictionary* dictionary);
    void setStream(CPdfStream* stream);

    bool boolean() const { return m_value.boolean; }
    int32_t integer() const { return m_value.integer; }
    double real() const { return m_value.real; }
    // Text of a String, Name or Keyword (empty for other kinds).
    const std::string& text() const { return m_text; }
    CPdfArray* array() const { return m_kind == PdfKind::Array ? m_value.array : nullptr; }
    CPdfDictionary* dictionary() const { return m_kind == PdfKind::Dictionary ? m_value.dictionary : nullptr; }
    CPdfStream* stream() const { return m_kind == PdfKind::Stream ? m_value.stream : nullptr; }
    int32_t refNumber() const { return m_value.reference.number; }
    int32_t refGeneration() const { return m_value.reference.generation; }

private:
    union Value;
    void setPlain(PdfKind kind)
    {
        clear();
        m_kind = kind;
    }
    void setText(PdfKind kind, std::string_view text);
    // Empty, without releasing what the value held.
    void forget() noexcept
    {
        m_kind = PdfKind::Empty;
        m_value = Value{};
        m_text.clear();
    }
    static bool isShared(PdfKind kind)
    {
        return kind == PdfKind::Array || kind == PdfKind::Dictionary || kind == PdfKind::Stream;
    }
    // One reference more or less to the container or stream a value of that kind points to.
    static void addShared(PdfKind kind, const Value& value)
    {
        if (isShared(kind))
            addReference(kind, value);
    }
    static void releaseShared(PdfKind kind, const Value& value)
    {
        if (isShared(kind))
            releaseReference(kind, value);
    }
    static void addReference(PdfKind kind, const Value& value);
    static void releaseReference(PdfKind kind, const Value& value);

    PdfKind m_kind = PdfKind::Empty;
    union Value {
        bool boolean;
        int32_t integer;
        double real;
        struct {
            int32_t number;
            int32_t generation;
        } reference;
        CPdfArray* array;
        CPdfDictionary* dictionary;
        CPdfStream* stream;
    } m_value{};
    std::string m_text;
};

// out := the object a Reference leads to through xref (one level), or a copy of element.
void resolve(const CPdfElement& element, CPdfXRef* xref, CPdfElement& out);

class CPdfArray {
public:
    explicit CPdfArray(CPdfXRef* xref) : m_xref(xref) {}
    virtual ~CPdfArray() = default;
    CPdfArray(const CPdfArray&) = delete;
    CPdfArray& operator=(const CPdfArray&) = delete;

    void addRef() { ++m_refCount; }
    void release();

    CPdfXRef* xref() const { return m_xref; }
    size_t size() const { return m_items.size(); }
    const CPdfElement& at(size_t index) const { return m_items.at(index); }
    void append(CPdfElement item) { m_items.push_back(std::move(item)); }
    // A new Empty item at the end, to be read into in place.
    CPdfElement& appendEmpty() { return m_items.emplace_back(); }
    void reserve(size_t count) { m_items.reserve(count); }
    // out := item index with a Reference followed through the array's cross-reference.
    void getResolved(size_t index, CPdfElement& out) const { resolve(m_items.at(index), m_xref, out); }

private:
    int32_t m_refCount = 1;
    CPdfXRef* m_xref;
    std::vector<CPdfElement> m_items;
};

class CPdfDictionary {
public:
    // One entry per key, in the order of the keys' bytes (compared as unsigned): a sorted array,
    // which costs one allocation where a tree would cost one per entry.
    using Entry = std::pair<std::string, CPdfElement>;
    using Entries = std::vector<Entry>;

    explicit CPdfDictionary(CPdfXRef* xref) : m_xref(xref) {}
    virtual ~CPdfDictionary() = default;
    CPdfDictionary(const CPdfDictionary&) = delete;
    CPdfDictionary& operator=(const CPdfDictionary&) = delete;

    void addRef() { ++m_refCount; }
    void release();

    CPdfXRef* xref() const { return m_xref; }
    void setXRef(CPdfXRef* xref) { m_xref = xref; }
    const Entries& entries() const { return m_entries; }

    // Stores a copy under key unless the key is present: the first value wins.
    void set(const std::string& key, const CPdfElement& value);
    void set(std::string key, CPdfElement&& value);
    // Takes entries in any order, as set would one after the other (of equal keys the first
    // wins), in one sort: a parsed dictionary may hold many keys in no order.
    void setAll(Entries entries);
    // Borrowed view of the value under key, or null when absent.
    const CPdfElement* find(std::string_view key) const;
    // out := copy of the value, or Null when absent.
    void get(std::string_view key, CPdfElement& out) const;
    // out := the value with a Reference followed, or Null when absent.
    void getResolved(std::string_view key, CPdfElement& out) const;

private:
    int32_t m_refCount = 1;
    CPdfXRef* m_xref;
    Entries m_entries;
};
