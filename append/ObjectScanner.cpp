#include "append/ObjectScanner.h"

namespace {

// The first four bytes of a name as one number (one load, where the machine is little-endian).
constexpr uint32_t FirstFour(const char* name)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(name[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(name[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(name[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(name[3])) << 24;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

void CObjectScanner::Reset(ScanMode mode)
{
    // The vectors keep their capacity from object to object.
    std::vector<CObjectRef> refs;
    std::vector<CObjectKey> keys;
    refs.swap(m_refs);
    keys.swap(m_keys);
    *this = CObjectScanner();
    refs.clear();
    keys.clear();
    m_refs.swap(refs);
    m_keys.swap(keys);
    m_mode = mode;
    m_headerTokens = mode == ScanMode::Tail ? 3 : 0;
}

// The steps taken for every token (blanks, the token, its effect) are inline below: they run
// some hundred thousand times for an ordinary file, and calls were a third of their cost.
ScanStatus CObjectScanner::Scan(std::string_view text, bool atEnd)
{
    Token token; // every field Take reads is set by NextToken
    for (;;) {
        if (!NextToken(text, atEnd, token))
            return atEnd ? ScanStatus::Bad : ScanStatus::NeedMore;
        m_pos = token.end;
        const ScanStatus status = Take(text, token);
        if (status != ScanStatus::NeedMore)
            return status;
    }
}

inline bool CObjectScanner::SkipBlanks(std::string_view text, bool atEnd)
{
    size_t p = m_pos;
    while (p < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[p]);
        if (IsPdfWhite(c)) {
            ++p;
            continue;
        }
        if (c != '%')
            break;
        size_t q = p;
        while (q < text.size() && text[q] != '\r' && text[q] != '\n')
            ++q;
        if (q == text.size() && !atEnd) {
            m_pos = p; // the comment may go on in bytes not read yet
            return false;
        }
        p = q;
    }
    m_pos = p;
    return p < text.size();
}

inline bool CObjectScanner::NextToken(std::string_view text, bool atEnd, Token& token)
{
    if (!SkipBlanks(text, atEnd))
        return false;
    const size_t p = m_pos;
    const unsigned char c = static_cast<unsigned char>(text[p]);
    token.start = p;
    token.end = p + 1;
    switch (c) {
    case '(':
        return ReadLiteralString(text, atEnd, token);
    case '<':
    case '>': {
        if (p + 1 == text.size() && !atEnd)
            return false;
        const bool doubled = p + 1 < text.size() && text[p + 1] == static_cast<char>(c);
        if (doubled) {
            token.kind = c == '<' ? TokenKind::DictOpen : TokenKind::DictClose;
            token.end = p + 2;
            return true;
        }
        if (c == '>') {
            token.kind = TokenKind::Other;
            return true;
        }
        const size_t close = text.find('>', p + 1);
        if (close == std::string_view::npos && !atEnd)
            return false;
        token.kind = TokenKind::String;
        token.end = close == std::string_view::npos ? text.size() : close + 1;
        return true;
    }
    case '[':
        token.kind = TokenKind::ArrayOpen;
        return true;
    case ']':
        token.kind = TokenKind::ArrayClose;
        return true;
    case ')':
    case '{':
    case '}':
        token.kind = TokenKind::Other;
        return true;
    default:
        return ReadRegular(text, atEnd, token);
    }
}

bool CObjectScanner::ReadLiteralString(std::string_view text, bool atEnd, Token& token)
{
    // Balanced parentheses end the string; a backslash hides the byte after it.
    size_t depth = 0;
    for (size_t q = token.start; q < text.size(); ++q) {
        const char c = text[q];
        if (c == '\\') {
            ++q;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            token.kind = TokenKind::String;
            token.end = q + 1;
            return true;
        }
    }
    if (!atEnd)
        return false;
    token.kind = TokenKind::String;
    token.end = text.size();
    return true;
}

inline bool CObjectScanner::ReadRegular(std::string_view text, bool atEnd, Token& token)
{
    const char* bytes = text.data();
    const size_t size = text.size();
    size_t q = token.start + 1;
    if (bytes[token.start] == '/') {
        while (q < size && IsPdfRegular(static_cast<unsigned char>(bytes[q])))
            ++q;
        if (q == size && !atEnd)
            return false;
        token.end = q;
        token.kind = TokenKind::Name;
        return true;
    }
    // One pass classifies the word: all digits (an integer, its value saturating above 32 bits,
    // so that it is never an object number), a number with sign or point, or a keyword.
    const auto first = static_cast<unsigned char>(bytes[token.start]);
    bool allDigits = IsDigit(first);
    bool numeric = allDigits || first == '+' || first == '-' || first == '.';
    uint64_t value = allDigits ? first - '0' : 0;
    if (allDigits) { // most words are integers: their digits need no class lookup
        for (; q < size && IsDigit(bytes[q]); ++q)
            value = value > UINT32_MAX ? value : value * 10 + static_cast<unsigned char>(bytes[q] - '0');
    }
    for (; q < size; ++q) {
        const auto c = static_cast<unsigned char>(bytes[q]);
        if (!IsPdfRegular(c))
            break;
        if (IsDigit(c)) {
            value = value > UINT32_MAX ? value : value * 10 + (c - '0');
        } else {
            allDigits = false;
            numeric = numeric && (c == '+' || c == '-' || c == '.');
        }
    }
    if (q == size && !atEnd)
        return false;
    token.end = q;
    token.kind = allDigits ? TokenKind::Integer : numeric ? TokenKind::Number : TokenKind::Keyword;
    token.value = allDigits ? value : 0;
    return true;
}

ScanStatus CObjectScanner::TakeHeader(std::string_view text, const Token& token)
{
    const int index = m_headerTokens++;
    if (index < 2) {
        if (token.kind != TokenKind::Integer || token.value > UINT32_MAX)
            return ScanStatus::Bad;
        (index == 0 ? m_number : m_generation) = static_cast<uint32_t>(token.value);
        if (index == 0) {
            m_headerStart = token.start;
            m_headerNumberEnd = token.end;
        }
        return ScanStatus::NeedMore;
    }
    if (token.kind != TokenKind::Keyword || text.substr(token.start, token.end - token.start) != "obj")
        return ScanStatus::Bad;
    m_bodyStart = token.end;
    return ScanStatus::NeedMore;
}

inline void CObjectScanner::NoteName(std::string_view name, size_t at)
{
    // Pages and page-tree nodes, object streams, objects that hang in a tree by "Parent", and
    // embedded TrueType fonts are never shared between the two files; nor are annotations and
    // structure elements, which belong to one page (keys of such objects: NoteKey). Most names
    // differ from all of these in their first four bytes, which are compared at once.
    if (name.size() < 4 || m_hasUnsharedName)
        return;
    constexpr uint32_t kPage = FirstFour("Page");
    constexpr uint32_t kPare = FirstFour("Pare");
    constexpr uint32_t kObjS = FirstFour("ObjS");
    constexpr uint32_t kFont = FirstFour("Font");
    constexpr uint32_t kAnno = FirstFour("Anno");
    constexpr uint32_t kStru = FirstFour("Stru");
    const uint32_t first = FirstFour(name.data());
    if (first == kPage || first == kAnno)
        NoteUnshared(true, at);
    else if (first == kPare)
        NoteUnshared(StartsWith(name, "Parent"), at);
    else if (first == kObjS)
        NoteUnshared(StartsWith(name, "ObjStm"), at);
    else if (first == kFont)
        NoteUnshared(StartsWith(name, "FontFile2"), at);
    else if (first == kStru)
        NoteUnshared(StartsWith(name, "StructElem") || StartsWith(name, "StructTreeRoot"), at);
}

inline ScanStatus CObjectScanner::Take(std::string_view text, const Token& token)
{
    if (m_headerTokens < 3)
        return TakeHeader(text, token);
    const bool isBody = m_mode != ScanMode::Tail;
    switch (token.kind) {
    case TokenKind::Integer:
        if (isBody)
            TakeStructure(text, token);
        m_integers[0] = m_integers[1];
        m_integers[1] = {token.start, token.end, token.value};
        m_integerRun += m_integerRun < 2;
        m_isFirstToken = false;
        return ScanStatus::NeedMore;
    case TokenKind::Keyword: {
        const std::string_view word(text.data() + token.start, token.end - token.start);
        if (word == "R") {
            TakeReference(token);
        } else if (word == "endobj") {
            m_endobjStart = token.start;
            m_endobjEnd = token.end;
            return ScanStatus::EndObj;
        } else if (word == "stream" && m_mode == ScanMode::Stored) {
            m_streamEnd = token.end;
            return ScanStatus::Stream;
        } else if (word == "endstream" && !isBody && m_isFirstToken) {
            m_sawEndstream = true;
        }
        break;
    }
    case TokenKind::Name:
        if (isBody)
            NoteName(std::string_view(text.data() + token.start + 1, token.end - token.start - 1), token.start);
        break;
    default:
        break;
    }
    if (isBody)
        TakeStructure(text, token);
    m_integerRun = 0;
    m_isFirstToken = false;
    return ScanStatus::NeedMore;
}

void CObjectScanner::TakeReference(const Token& token)
{
    const IntegerToken& number = m_integers[0];
    const IntegerToken& generation = m_integers[1];
    if (m_integerRun < 2 || number.value > UINT32_MAX || generation.value > UINT32_MAX)
        return;
    CObjectRef ref;
    ref.start = number.start;
    ref.numberEnd = number.end;
    ref.generationStart = generation.start;
    ref.generationEnd = generation.end;
    ref.end = token.end;
    ref.number = static_cast<uint32_t>(number.value);
    ref.generation = static_cast<uint32_t>(generation.value);
    m_refs.push_back(ref);
    // A reference is one value: stretch the span that began with its number.
    if (!m_keys.empty() && m_keys.back().valueStart == ref.start)
        m_keys.back().valueEnd = ref.end;
    if (m_firstValueStart == ref.start)
        m_firstValueEnd = ref.end;
}

inline void CObjectScanner::TakeStructure(std::string_view text, const Token& token)
{
    const bool opens = token.kind == TokenKind::DictOpen || token.kind == TokenKind::ArrayOpen;
    if (m_firstValueStart == kNoIndex) {
        m_firstValueStart = token.start;
        if (!opens)
            m_firstValueEnd = token.end;
        if (token.kind == TokenKind::DictOpen) {
            m_dictOpen = token.start;
            m_expectKey = true;
        }
    }
    switch (token.kind) {
    case TokenKind::DictOpen:
    case TokenKind::ArrayOpen:
        TakeOpen(token, IsInTopDict());
        return;
    case TokenKind::DictClose:
    case TokenKind::ArrayClose:
        TakeClose(token);
        return;
    default:
        if (IsInTopDict())
            TakeTopEntryToken(text, token);
        return;
    }
}

void CObjectScanner::TakeOpen(const Token& token, bool inTopDict)
{
    // A container in a value's place is that value; its span ends with its close.
    if (inTopDict && !m_expectKey && !m_keys.empty()) {
        m_keys.back().valueStart = token.start;
        m_valueOpen = true;
    }
    ++m_depth;
}

void CObjectScanner::TakeClose(const Token& token)
{
    if (m_depth > 0)
        --m_depth;
    if (m_depth == 1 && m_valueOpen) {
        m_keys.back().valueEnd = token.end;
        m_valueOpen = false;
        m_expectKey = true;
    }
    if (m_depth == 0 && m_firstValueEnd == kNoIndex) {
        m_firstValueEnd = token.end;
        if (m_dictOpen == m_firstValueStart)
            m_dictClose = token.start;
    }
}

// A token directly inside the top dictionary: a key's name, or a one-token value.
inline void CObjectScanner::TakeTopEntryToken(std::string_view text, const Token& token)
{
    if (m_expectKey) {
        if (token.kind == TokenKind::Name) {
            CObjectKey key;
            key.keyStart = token.start;
            key.keyEnd = token.end;
            m_keys.push_back(key);
            const size_t length = token.end - token.start - 1;
            if (length <= 2 || length == 4 || length == 12 || length == 13) // the lengths NoteKey knows
                NoteKey(text.substr(token.start + 1, length), token.start);
            m_expectKey = false;
        }
        return;
    }
    m_keys.back().valueStart = token.start;
    m_keys.back().valueEnd = token.end;
    m_expectKey = true;
}

// Keys of the top dictionary that only objects of one page have: an annotation's page and
// rectangle, a form field's type, a structure element's page, structure parent indexes.
inline void CObjectScanner::NoteKey(std::string_view name, size_t at)
{
    if (m_hasUnsharedName)
        return;
    switch (name.size()) {
    case 1:
        NoteUnshared(name[0] == 'P', at);
        return;
    case 2:
        NoteUnshared(name == "Pg" || name == "FT", at);
        return;
    case 4:
        NoteUnshared(name == "Rect", at);
        return;
    case 12:
    case 13:
        NoteUnshared(name == "StructParent" || name == "StructParents", at);
        return;
    default:
        return;
    }
}

const CObjectKey* CObjectScanner::FindKey(std::string_view text, std::string_view name) const
{
    for (const CObjectKey& key : m_keys) {
        if (key.keyEnd - key.keyStart == name.size() + 1 && text.substr(key.keyStart + 1, name.size()) == name)
            return &key;
    }
    return nullptr;
}

const CObjectRef* CObjectScanner::ReferenceValue(const CObjectKey& key) const
{
    for (const CObjectRef& ref : m_refs) {
        if (ref.start == key.valueStart && ref.end == key.valueEnd)
            return &ref;
    }
    return nullptr;
}

bool CObjectScanner::IntegerValue(std::string_view text, const CObjectKey& key, int64_t& out) const
{
    if (!key.HasValue() || key.valueEnd <= key.valueStart)
        return false;
    std::string_view value = text.substr(key.valueStart, key.valueEnd - key.valueStart);
    bool negative = false;
    if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
        negative = value[0] == '-';
        value.remove_prefix(1);
    }
    if (value.empty() || value.size() > 18)
        return false;
    int64_t number = 0;
    for (char c : value) {
        if (!IsDigit(c))
            return false;
        number = number * 10 + (c - '0'); // no overflow: at most 18 digits
    }
    out = negative ? -number : number;
    return true;
}
