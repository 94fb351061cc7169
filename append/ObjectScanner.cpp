#include "append/ObjectScanner.h"

#include <algorithm>

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

// The value of an integer token of more than 19 digits, which may not fit in 64 bits: exact up
// to 32 bits, and above them only known to be above.
uint64_t SaturatedValue(std::string_view digits)
{
    uint64_t value = 0;
    for (const char d : digits)
        value = value > UINT32_MAX ? value : value * 10 + static_cast<unsigned char>(d - '0');
    return value;
}

} // namespace

void CObjectScanner::Reset(ScanMode mode)
{
    // The vectors keep their capacity from object to object.
    static_cast<CScanFindings&>(*this) = CScanFindings();
    m_refs.clear();
    m_keys.clear();
    m_mode = mode;
    m_headerTokens = mode == ScanMode::Tail ? 3 : 0;
    m_state = CState();
}

void CObjectScanner::ResetPastHeader(ScanMode mode, uint32_t number, size_t numberEnd, size_t bodyStart)
{
    Reset(mode);
    TakeWholeHeader(number, 0, 0, numberEnd, bodyStart);
    m_state.pos = bodyStart;
}

void CObjectScanner::TakeWholeHeader(uint32_t number, uint32_t generation, size_t numberStart, size_t numberEnd,
                                     size_t bodyStart)
{
    m_number = number;
    m_generation = generation;
    m_headerStart = numberStart;
    m_headerNumberEnd = numberEnd;
    m_bodyStart = bodyStart;
    m_headerTokens = 3;
}

ScanStatus CObjectScanner::Scan(std::string_view text, bool atEnd)
{
    CState state = m_state;
    ScanStatus status = ScanStatus::NeedMore;
    if (m_headerTokens == 3 || ScanHeader(text, atEnd, state, status))
        status = ScanBody(text, atEnd, state);
    m_state = state;
    return status;
}

// The steps taken for every token (blanks, the token, its effect) are inline: they run some
// hundred thousand times for an ordinary file. The reader is forced inline: with two callers the
// compiler would call it, and the call cost a sixth of a token's work.
[[gnu::always_inline]] inline bool CObjectScanner::ReadToken(std::string_view text, bool atEnd, size_t& pos, Token& token)
{
    const char* const bytes = text.data();
    const size_t size = text.size();
    size_t p = pos;
    for (;;) {
        while (p < size && IsPdfWhite(static_cast<unsigned char>(bytes[p])))
            ++p;
        if (p == size) {
            pos = p;
            return false;
        }
        if (bytes[p] != '%')
            break;
        size_t q = p;
        while (q < size && bytes[q] != '\r' && bytes[q] != '\n')
            ++q;
        if (q == size && !atEnd) {
            pos = p; // the comment may go on in bytes not read yet
            return false;
        }
        p = q;
    }
    pos = p; // where the token starts, and where a scan that runs out resumes
    const auto c = static_cast<unsigned char>(bytes[p]);
    token.start = p;
    if (IsPdfRegular(c)) {
        // A word: all digits (an integer), a number with sign or point, or a keyword. Most
        // words are integers: their digits are read first, and need no class lookup.
        size_t q = p;
        uint64_t value = 0;
        while (q < size && IsDigit(bytes[q])) {
            value = value * 10 + static_cast<unsigned char>(bytes[q] - '0'); // exact up to 19 digits
            ++q;
        }
        const size_t digitsEnd = q;
        if (q < size && IsPdfRegular(static_cast<unsigned char>(bytes[q]))) {
            do
                ++q;
            while (q < size && IsPdfRegular(static_cast<unsigned char>(bytes[q])));
        }
        if (q == size && !atEnd)
            return false;
        token.end = q;
        if (digitsEnd == q) {
            token.kind = TokenKind::Integer;
            token.value = q - p > 19 ? SaturatedValue(text.substr(p, q - p)) : value;
            return true;
        }
        bool numeric = digitsEnd > p || c == '+' || c == '-' || c == '.';
        for (size_t i = std::max(digitsEnd, p + 1); numeric && i < q; ++i) {
            const char d = bytes[i];
            numeric = IsDigit(d) || d == '+' || d == '-' || d == '.';
        }
        token.kind = numeric ? TokenKind::Number : TokenKind::Keyword;
        return true;
    }
    token.end = p + 1;
    switch (c) {
    case '/': {
        size_t q = p + 1;
        while (q < size && IsPdfRegular(static_cast<unsigned char>(bytes[q])))
            ++q;
        if (q == size && !atEnd)
            return false;
        token.kind = TokenKind::Name;
        token.end = q;
        return true;
    }
    case '(': {
        const size_t end = LiteralStringEnd(text, p);
        if (end == std::string_view::npos && !atEnd)
            return false;
        token.kind = TokenKind::String;
        token.end = end == std::string_view::npos ? size : end;
        return true;
    }
    case '<':
    case '>': {
        if (p + 1 == size && !atEnd)
            return false;
        if (p + 1 < size && bytes[p + 1] == static_cast<char>(c)) {
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
        token.end = close == std::string_view::npos ? size : close + 1;
        return true;
    }
    case '[':
        token.kind = TokenKind::ArrayOpen;
        return true;
    case ']':
        token.kind = TokenKind::ArrayClose;
        return true;
    default: // ) { }
        token.kind = TokenKind::Other;
        return true;
    }
}

// Most headers are "12 0 obj" where the scan starts, one space apart and white space or a
// delimiter after: read at once. Anything else (and a number of more than ten digits) is read
// token by token, as ScanHeader goes on to do.
bool CObjectScanner::ReadPlainHeader(std::string_view text, size_t& pos)
{
    const char* const bytes = text.data();
    const size_t size = text.size();
    size_t p = pos;
    uint64_t values[2] = {};
    size_t numberEnd = 0;
    for (uint64_t& value : values) {
        const size_t start = p;
        while (p < size && p - start < 10 && IsDigit(bytes[p])) {
            value = value * 10 + static_cast<unsigned char>(bytes[p] - '0');
            ++p;
        }
        if (p == start || p == size || bytes[p] != ' ' || value > UINT32_MAX)
            return false;
        if (numberEnd == 0)
            numberEnd = p;
        ++p;
    }
    if (size - p < 4 || text.compare(p, 3, "obj") != 0 || IsPdfRegular(static_cast<unsigned char>(bytes[p + 3])))
        return false;
    TakeWholeHeader(static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]), pos, numberEnd, p + 3);
    pos = m_bodyStart;
    return true;
}

bool CObjectScanner::ScanHeader(std::string_view text, bool atEnd, CState& state, ScanStatus& status)
{
    if (m_headerTokens == 0 && ReadPlainHeader(text, state.pos))
        return true;
    Token token;
    while (m_headerTokens < 3) {
        if (!ReadToken(text, atEnd, state.pos, token)) {
            status = atEnd ? ScanStatus::Bad : ScanStatus::NeedMore;
            return false;
        }
        state.pos = token.end;
        if (!TakeHeader(text, token)) {
            status = ScanStatus::Bad;
            return false;
        }
    }
    return true;
}

bool CObjectScanner::TakeHeader(std::string_view text, const Token& token)
{
    const int index = m_headerTokens++;
    if (index < 2) {
        if (token.kind != TokenKind::Integer || token.value > UINT32_MAX)
            return false;
        (index == 0 ? m_number : m_generation) = static_cast<uint32_t>(token.value);
        if (index == 0) {
            m_headerStart = token.start;
            m_headerNumberEnd = token.end;
        }
        return true;
    }
    if (token.kind != TokenKind::Keyword || text.substr(token.start, token.end - token.start) != "obj")
        return false;
    m_bodyStart = token.end;
    return true;
}

inline ScanStatus CObjectScanner::ScanBody(std::string_view text, bool atEnd, CState& state)
{
    const bool isBody = m_mode != ScanMode::Tail;
    Token token;
    for (;;) {
        if (!ReadToken(text, atEnd, state.pos, token))
            return atEnd ? ScanStatus::Bad : ScanStatus::NeedMore;
        state.pos = token.end;
        switch (token.kind) {
        case TokenKind::Integer:
            if (isBody)
                TakeLeaf(state, token);
            state.integerStart[0] = state.integerStart[1];
            state.integerEnd[0] = state.integerEnd[1];
            state.integerValue[0] = state.integerValue[1];
            state.integerStart[1] = token.start;
            state.integerEnd[1] = token.end;
            state.integerValue[1] = token.value;
            state.integerRun += state.integerRun < 2;
            state.isFirstToken = false;
            continue;
        case TokenKind::DictOpen:
        case TokenKind::ArrayOpen:
            if (isBody)
                TakeOpen(state, token);
            break;
        case TokenKind::DictClose:
        case TokenKind::ArrayClose:
            if (isBody)
                TakeClose(state, token);
            break;
        case TokenKind::Name:
            if (isBody) {
                NoteName(text.substr(token.start + 1, token.end - token.start - 1), token.start);
                if (state.depth == 1 && state.topDictOpen && state.expectKey) {
                    TakeKey(state, token, text);
                    break;
                }
                TakeLeaf(state, token);
            }
            break;
        case TokenKind::Keyword: {
            const std::string_view word = text.substr(token.start, token.end - token.start);
            if (word.size() == 1 && word[0] == 'R') {
                TakeReference(state, token);
            } else if (word == "endobj") {
                m_endobjStart = token.start;
                m_endobjEnd = token.end;
                return ScanStatus::EndObj;
            } else if (word == "stream" && m_mode == ScanMode::Stored) {
                m_streamEnd = token.end;
                return ScanStatus::Stream;
            } else if (!isBody && state.isFirstToken && word == "endstream") {
                m_sawEndstream = true;
            }
            if (isBody)
                TakeLeaf(state, token);
            break;
        }
        default:
            if (isBody)
                TakeLeaf(state, token);
            break;
        }
        state.integerRun = 0;
        state.isFirstToken = false;
    }
}

// A token that is neither a container's open or close nor a key: the object's value when it
// comes first, a one-token value of the top dictionary's last key.
inline void CObjectScanner::TakeLeaf(CState& state, const Token& token)
{
    if (m_firstValueStart == kNoIndex) {
        m_firstValueStart = token.start;
        m_firstValueEnd = token.end;
    }
    if (state.depth != 1 || !state.topDictOpen || state.expectKey)
        return; // in a nested container, or a token in a key's place that is no name
    m_keys.back().valueStart = token.start;
    m_keys.back().valueEnd = token.end;
    state.expectKey = true;
}

void CObjectScanner::TakeKey(CState& state, const Token& token, std::string_view text)
{
    CObjectKey key;
    key.keyStart = token.start;
    key.keyEnd = token.end;
    m_keys.push_back(key);
    const size_t length = token.end - token.start - 1;
    if (length <= 2 || length == 4 || length == 12 || length == 13) // the lengths NoteKey knows
        NoteKey(text.substr(token.start + 1, length), token.start);
    state.expectKey = false;
}

inline void CObjectScanner::TakeOpen(CState& state, const Token& token)
{
    if (m_firstValueStart == kNoIndex) {
        m_firstValueStart = token.start;
        if (token.kind == TokenKind::DictOpen) {
            m_dictOpen = token.start;
            state.expectKey = true;
            state.topDictOpen = true;
        }
    }
    // A container in a value's place is that value; its span ends with its close.
    if (state.depth == 1 && state.topDictOpen && !state.expectKey && !m_keys.empty()) {
        m_keys.back().valueStart = token.start;
        state.valueOpen = true;
    }
    ++state.depth;
}

inline void CObjectScanner::TakeClose(CState& state, const Token& token)
{
    if (m_firstValueStart == kNoIndex) {
        m_firstValueStart = token.start;
        m_firstValueEnd = token.end;
    }
    if (state.depth > 0)
        --state.depth;
    if (state.depth == 1 && state.valueOpen) {
        m_keys.back().valueEnd = token.end;
        state.valueOpen = false;
        state.expectKey = true;
    }
    if (state.depth == 0 && m_firstValueEnd == kNoIndex) {
        m_firstValueEnd = token.end;
        if (m_dictOpen == m_firstValueStart) {
            m_dictClose = token.start;
            state.topDictOpen = false;
        }
    }
}

void CObjectScanner::TakeReference(const CState& state, const Token& token)
{
    if (state.integerRun < 2 || state.integerValue[0] > UINT32_MAX || state.integerValue[1] > UINT32_MAX)
        return;
    CObjectRef ref;
    ref.start = state.integerStart[0];
    ref.numberEnd = state.integerEnd[0];
    ref.generationStart = state.integerStart[1];
    ref.generationEnd = state.integerEnd[1];
    ref.end = token.end;
    ref.number = static_cast<uint32_t>(state.integerValue[0]);
    ref.generation = static_cast<uint32_t>(state.integerValue[1]);
    m_refs.push_back(ref);
    // A reference is one value: stretch the span that began with its number.
    if (!m_keys.empty() && m_keys.back().valueStart == ref.start)
        m_keys.back().valueEnd = ref.end;
    if (m_firstValueStart == ref.start)
        m_firstValueEnd = ref.end;
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
