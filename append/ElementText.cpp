#include "append/ElementText.h"

#include <cmath>
#include <cstdio>

#include "pdf/ByteClass.h"
#include "pdf/Element.h"

namespace {

constexpr int kMaxDepth = 64;
const char kHexDigits[] = "0123456789ABCDEF";

bool IsNameRegular(unsigned char c)
{
    return c >= 0x21 && c <= 0x7E && c != '#' && !IsPdfDelimiter(c);
}

void AppendValue(const CPdfElement& value, const CReferenceMapper& mapper, std::string& out, int depth);

void AppendContainer(const CPdfElement& value, const CReferenceMapper& mapper, std::string& out, int depth)
{
    if (depth >= kMaxDepth) {
        out += "null";
        return;
    }
    if (const CPdfArray* array = value.array()) {
        out += '[';
        for (size_t i = 0; i < array->size(); ++i) {
            if (i > 0)
                out += ' ';
            AppendValue(array->at(i), mapper, out, depth + 1);
        }
        out += ']';
        return;
    }
    out += "<<";
    for (const auto& [key, item] : value.dictionary()->entries()) {
        out += PdfNameText(key);
        out += ' ';
        AppendValue(item, mapper, out, depth + 1);
    }
    out += ">>";
}

void AppendValue(const CPdfElement& value, const CReferenceMapper& mapper, std::string& out, int depth)
{
    switch (value.kind()) {
    case PdfKind::Boolean:
        out += value.boolean() ? "true" : "false";
        return;
    case PdfKind::Integer:
        out += std::to_string(value.integer());
        return;
    case PdfKind::Real:
        out += PdfRealText(value.real());
        return;
    case PdfKind::String:
        out += PdfHexStringText(value.text());
        return;
    case PdfKind::Name:
        out += PdfNameText(value.text());
        return;
    case PdfKind::Reference:
        if (value.refNumber() > 0 && value.refGeneration() >= 0) {
            out += mapper(static_cast<uint32_t>(value.refNumber()), static_cast<uint32_t>(value.refGeneration()));
            return;
        }
        out += "null";
        return;
    case PdfKind::Array:
    case PdfKind::Dictionary:
        AppendContainer(value, mapper, out, depth);
        return;
    default: // streams are never direct values; anything else reads as null
        out += "null";
        return;
    }
}

} // namespace

std::string PdfNameText(std::string_view name)
{
    std::string out = "/";
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsNameRegular(byte)) {
            out += c;
        } else {
            out += '#';
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 15];
        }
    }
    return out;
}

std::string PdfHexStringText(std::string_view bytes)
{
    std::string out = "<";
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 15];
    }
    out += '>';
    return out;
}

std::string PdfLiteralStringText(std::string_view bytes)
{
    std::string out = "(";
    for (char c : bytes) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        if (c == '\r') {
            out += "\\r";
            continue;
        }
        out += c;
    }
    out += ')';
    return out;
}

std::string PdfRealText(double value)
{
    if (!std::isfinite(value))
        return "0";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string out = text;
    while (!out.empty() && out.back() == '0')
        out.pop_back();
    if (!out.empty() && out.back() == '.')
        out.pop_back();
    return out == "-0" || out.empty() ? "0" : out;
}

void AppendElementText(const CPdfElement& value, const CReferenceMapper& mapper, std::string& out)
{
    AppendValue(value, mapper, out, 0);
}

std::string ElementText(const CPdfElement& value, const CReferenceMapper& mapper)
{
    std::string out;
    AppendValue(value, mapper, out, 0);
    return out;
}

std::vector<CPdfElement> ArrayItems(const CPdfDictionary* dictionary, const char* key)
{
    std::vector<CPdfElement> items;
    if (!dictionary)
        return items;
    CPdfElement value;
    dictionary->getResolved(key, value);
    if (const CPdfArray* array = value.array()) {
        for (size_t i = 0; i < array->size(); ++i)
            items.push_back(array->at(i));
    }
    return items;
}

std::string JoinedItemsText(const std::vector<CPdfElement>& first, const std::vector<CPdfElement>& second,
                            const CReferenceMapper& firstMapper, const CReferenceMapper& secondMapper)
{
    std::string out = "[";
    for (const CPdfElement& item : first) {
        AppendValue(item, firstMapper, out, 0);
        out += ' ';
    }
    for (const CPdfElement& item : second) {
        AppendValue(item, secondMapper, out, 0);
        out += ' ';
    }
    return out + "]";
}

bool DecodeNameToken(std::string_view token, std::string& out)
{
    if (token.empty() || token[0] != '/')
        return false;
    out.clear();
    for (size_t i = 1; i < token.size(); ++i) {
        if (token[i] == '#' && i + 2 < token.size() && IsHexDigit(token[i + 1]) && IsHexDigit(token[i + 2])) {
            out += static_cast<char>(HexValue(token[i + 1]) * 16 + HexValue(token[i + 2]));
            i += 2;
        } else {
            out += token[i];
        }
    }
    return true;
}

namespace {

void DecodeHexString(std::string_view body, std::string& out)
{
    int high = -1;
    for (char c : body) {
        const int value = HexValue(c);
        if (value < 0)
            continue;
        if (high < 0) {
            high = value;
        } else {
            out += static_cast<char>(high * 16 + value);
            high = -1;
        }
    }
    if (high >= 0)
        out += static_cast<char>(high * 16);
}

// The escapes of a literal string: \n \r \t \b \f \( \) \\, octal, and a backslash before an
// end of line that joins two lines.
size_t DecodeEscape(std::string_view body, size_t i, std::string& out)
{
    const char c = body[i];
    const char* simple = "n\nr\rt\tb\bf\f";
    for (const char* p = simple; *p; p += 2) {
        if (c == p[0]) {
            out += p[1];
            return i + 1;
        }
    }
    if (IsOctalDigit(c)) {
        int value = 0;
        size_t k = i;
        while (k < body.size() && k < i + 3 && IsOctalDigit(body[k]))
            value = value * 8 + (body[k++] - '0');
        out += static_cast<char>(value & 0xFF);
        return k;
    }
    if (c == '\r')
        return i + 1 < body.size() && body[i + 1] == '\n' ? i + 2 : i + 1;
    if (c == '\n')
        return i + 1;
    out += c;
    return i + 1;
}

} // namespace

bool DecodeStringToken(std::string_view token, std::string& out)
{
    out.clear();
    if (token.size() >= 2 && token.front() == '<' && token.back() == '>') {
        DecodeHexString(token.substr(1, token.size() - 2), out);
        return true;
    }
    if (token.size() < 2 || token.front() != '(' || token.back() != ')')
        return false;
    const std::string_view body = token.substr(1, token.size() - 2);
    for (size_t i = 0; i < body.size();) {
        if (body[i] == '\\' && i + 1 < body.size()) {
            i = DecodeEscape(body, i + 1, out);
            continue;
        }
        if (body[i] == '\r') { // an end of line in a string reads as a line feed
            out += '\n';
            i += i + 1 < body.size() && body[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        out += body[i++];
    }
    return true;
}
