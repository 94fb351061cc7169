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

size_t SkipLiteralString(std::string_view text, size_t at, size_t to)
{
    size_t depth = 0;
    for (size_t q = at; q < to; ++q) {
        if (text[q] == '\\') {
            ++q;
        } else if (text[q] == '(') {
            ++depth;
        } else if (text[q] == ')' && --depth == 0) {
            return q + 1;
        }
    }
    return to;
}

// The token at or after at, or false at the end.
bool NextToken(std::string_view text, size_t& at, size_t to, CToken& token)
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
        token.end = SkipLiteralString(text, at, to);
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

// One dictionary being read: whether the next token is a key, the key whose value comes, and
// the renames found in it, kept until its end shows whether it is a remote go-to.
struct CFrame {
    bool isDictionary = false;
    bool expectKey = true;
    bool valueIsDestination = false;
    bool isRemote = false;
    std::vector<CSpanEdit> edits;
};

void TakeValue(std::string_view text, const CToken& token, CFrame& frame, const CNameRenames& renames)
{
    std::string_view word = text.substr(token.start, token.end - token.start);
    if (token.kind == TokenKind::Name && (word == "/GoToR" || word == "/GoToE"))
        frame.isRemote = true;
    if (!frame.valueIsDestination)
        return;
    std::string name;
    const bool isName = token.kind == TokenKind::Name;
    if (!(isName ? DecodeNameToken(word, name) : token.kind == TokenKind::String && DecodeStringToken(word, name)))
        return;
    const auto found = renames.find(name);
    if (found == renames.end())
        return;
    frame.edits.push_back(
        {token.start, token.end, isName ? PdfNameText(found->second) : PdfLiteralStringText(found->second)});
}

} // namespace

bool MayUseDestinations(std::string_view text)
{
    // Names such as /DA, /Dests or /DecodeParms go on with a regular byte; the keys end there.
    for (size_t at = text.find("/D"); at != std::string_view::npos; at = text.find("/D", at + 2)) {
        size_t end = at + 2;
        if (text.compare(end, 3, "est") == 0)
            end += 3;
        if (end == text.size() || !IsPdfRegular(static_cast<unsigned char>(text[end])))
            return true;
    }
    return false;
}

void FindRenamedDestinations(std::string_view text, size_t from, size_t to, const CNameRenames& renames,
                             std::vector<CSpanEdit>& edits)
{
    if (renames.empty() || to > text.size())
        return;
    std::vector<CFrame> frames(1);
    CToken token;
    for (size_t at = from; NextToken(text, at, to, token);) {
        CFrame& frame = frames.back();
        const bool isKey = frame.isDictionary && frame.expectKey;
        if (token.kind == TokenKind::DictClose || token.kind == TokenKind::ArrayClose) {
            if (frames.size() == 1)
                continue;
            CFrame closed = std::move(frames.back());
            frames.pop_back();
            if (!closed.isRemote)
                frames.back().edits.insert(frames.back().edits.end(), closed.edits.begin(), closed.edits.end());
            continue;
        }
        if (isKey) {
            const std::string_view word = text.substr(token.start, token.end - token.start);
            frame.valueIsDestination = token.kind == TokenKind::Name && (word == "/D" || word == "/Dest");
            frame.expectKey = token.kind != TokenKind::Name;
            continue;
        }
        if (frame.isDictionary)
            frame.expectKey = true;
        if (token.kind == TokenKind::DictOpen || token.kind == TokenKind::ArrayOpen) {
            frame.valueIsDestination = false;
            if (frames.size() >= 64)
                return; // nesting no real object has: leave the text as it is
            CFrame inner;
            inner.isDictionary = token.kind == TokenKind::DictOpen;
            frames.push_back(std::move(inner));
            continue;
        }
        TakeValue(text, token, frame, renames);
        frame.valueIsDestination = frame.isDictionary ? false : frame.valueIsDestination;
    }
    for (size_t i = frames.size(); i-- > 0;) {
        if (!frames[i].isRemote)
            edits.insert(edits.end(), frames[i].edits.begin(), frames[i].edits.end());
    }
}
