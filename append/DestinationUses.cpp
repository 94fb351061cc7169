#include "append/DestinationUses.h"

#include "append/ElementText.h"
#include "pdf/ByteClass.h"

namespace {

enum class TokenKind { String, Name, DictOpen, DictClose, ArrayOpen, ArrayClose, Other };

struct CToken {
    TokenKind kind = TokenKind::Other;
    size_t start = 0;
    size_t end = 0;
};

// The token at or after at, or false at the end. Inline: its callers read an object's every token.
inline bool NextToken(std::string_view text, size_t& at, size_t to, CToken& token)
{
    while (at < to) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (IsPdfWhite(c)) {
            ++at;
        } else if (c == '%') {
            while (at < to && text[at] != '\r' && text[at] != '\n')
                ++at;
        } else {
            break;
        }
    }
    if (at >= to)
        return false;
    token.start = at;
    const char c = text[at];
    if (c == '(') {
        token.kind = TokenKind::String;
        const size_t end = LiteralStringEnd(text.substr(0, to), at);
        token.end = end == std::string_view::npos ? to : end;
    } else if (c == '<' && at + 1 < to && text[at + 1] == '<') {
        token.kind = TokenKind::DictOpen;
        token.end = at + 2;
    } else if (c == '>' && at + 1 < to && text[at + 1] == '>') {
        token.kind = TokenKind::DictClose;
        token.end = at + 2;
    } else if (c == '<') {
        const size_t close = text.find('>', at + 1);
        token.kind = TokenKind::String;
        token.end = close == std::string_view::npos || close >= to ? to : close + 1;
    } else if (c == '[' || c == ']') {
        token.kind = c == '[' ? TokenKind::ArrayOpen : TokenKind::ArrayClose;
        token.end = at + 1;
    } else {
        size_t q = at + 1;
        while (q < to && IsPdfRegular(static_cast<unsigned char>(text[q])))
            ++q;
        token.kind = c == '/' ? TokenKind::Name : TokenKind::Other;
        token.end = q;
    }
    at = token.end;
    return true;
}

// One dictionary or array being read: whether the next token is a key, the key whose value
// comes, and where its renames start among those found, kept until its end shows whether it is
// a remote go-to.
struct CFrame {
    bool isDictionary;
    bool expectKey;
    bool valueIsDestination;
    bool isRemote;
    size_t editsStart;
};

// The keys whose value names a destination.
bool IsDestinationKey(std::string_view word)
{
    return word == "/D" || word == "/Dest";
}

// The new name of the destination a name or string token names, or null when it keeps its
// name. name is a buffer for the decoded token.
const std::string* RenamedValue(std::string_view text, const CToken& token, const CNameRenames& renames,
                                std::string& name)
{
    const std::string_view word = text.substr(token.start, token.end - token.start);
    const bool isDecoded = token.kind == TokenKind::Name     ? DecodeNameToken(word, name)
                           : token.kind == TokenKind::String ? DecodeStringToken(word, name)
                                                             : false;
    if (!isDecoded)
        return nullptr;
    const auto found = renames.find(name);
    return found != renames.end() ? &found->second : nullptr;
}

void TakeValue(std::string_view text, const CToken& token, CFrame& frame, const CNameRenames& renames,
               std::string& name, std::vector<CSpanEdit>& edits)
{
    std::string_view word = text.substr(token.start, token.end - token.start);
    if (token.kind == TokenKind::Name && (word == "/GoToR" || word == "/GoToE"))
        frame.isRemote = true;
    if (!frame.valueIsDestination)
        return;
    if (const std::string* renamed = RenamedValue(text, token, renames, name))
        edits.push_back({token.start, token.end,
                         token.kind == TokenKind::Name ? PdfNameText(*renamed) : PdfLiteralStringText(*renamed)});
}

} // namespace

bool MayRenameDestinations(std::string_view text, size_t from, size_t to, const CNameRenames& renames)
{
    if (renames.empty() || to > text.size())
        return false;
    // Each such token, read as FindRenamedDestinations reads it, and the token after it, which
    // is the only one a key of these names has renamed. Names such as /DA, /Dests or
    // /DecodeParms go on with a regular byte.
    std::string name;
    for (size_t at = text.find("/D", from); at < to; at = text.find("/D", at + 2)) {
        size_t end = at + 2;
        while (end < to && IsPdfRegular(static_cast<unsigned char>(text[end])))
            ++end;
        CToken token;
        if (IsDestinationKey(text.substr(at, end - at)) && NextToken(text, end, to, token) &&
            RenamedValue(text, token, renames, name))
            return true;
    }
    return false;
}

void FindRenamedDestinations(std::string_view text, size_t from, size_t to, const CNameRenames& renames,
                             std::vector<CSpanEdit>& edits)
{
    if (renames.empty() || to > text.size())
        return;
    // Renames go to edits as they are found; a remote go-to's own, and those of what it holds,
    // are taken back when it ends.
    constexpr size_t kMaxDepth = 64;
    const size_t base = edits.size();
    CFrame frames[kMaxDepth + 1]; // each set as it opens: most objects open a few
    size_t depth = 0;
    frames[0] = CFrame{false, true, false, false, base};
    std::string name;
    CToken token;
    for (size_t at = from; NextToken(text, at, to, token);) {
        CFrame& frame = frames[depth];
        const bool isKey = frame.isDictionary && frame.expectKey;
        if (token.kind == TokenKind::DictClose || token.kind == TokenKind::ArrayClose) {
            if (depth == 0)
                continue;
            if (frame.isRemote)
                edits.resize(frame.editsStart);
            --depth;
            continue;
        }
        if (isKey) {
            const std::string_view word = text.substr(token.start, token.end - token.start);
            frame.valueIsDestination = token.kind == TokenKind::Name && IsDestinationKey(word);
            frame.expectKey = token.kind != TokenKind::Name;
            continue;
        }
        if (frame.isDictionary)
            frame.expectKey = true;
        if (token.kind == TokenKind::DictOpen || token.kind == TokenKind::ArrayOpen) {
            frame.valueIsDestination = false;
            if (depth + 1 >= kMaxDepth) {
                edits.resize(base); // nesting no real object has: leave the text as it is
                return;
            }
            frames[++depth] = CFrame{token.kind == TokenKind::DictOpen, true, false, false, edits.size()};
            continue;
        }
        TakeValue(text, token, frame, renames, name, edits);
        frame.valueIsDestination = frame.isDictionary ? false : frame.valueIsDestination;
    }
    // Frames the text leaves open keep their own renames unless they are remote go-tos; those of
    // the frames open inside them stay apart.
    size_t regionEnd = edits.size();
    for (size_t i = depth + 1; i-- > 0;) {
        if (frames[i].isRemote)
            edits.erase(edits.begin() + static_cast<std::ptrdiff_t>(frames[i].editsStart),
                        edits.begin() + static_cast<std::ptrdiff_t>(regionEnd));
        regionEnd = frames[i].editsStart;
    }
}
