#include "cli/ColumnList.h"

#include <algorithm>
#include <limits>

#include "cli/Globals.h"
#include "pdf/ByteClass.h"
#include "pdf/Exception.h"

std::array<int32_t, kMaxColumns> g_columns{};
int32_t g_columnCount = 0;

namespace {

constexpr const char* kTooManyColumnsText = "Too many columns specified in csv/txt file.  max is 20";
constexpr const char* kLongColumnListText = "Column list of -listusecol is longer than 255 characters";

// White space as the C library sees it in the "C" locale.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Quotes removed, commas outside quotes turned into "|". A removed quote flips the in-quotes
// flag and hands its place to the next character, which is then only tested for a comma.
std::string DropQuotes(const std::string& line)
{
    std::string result;
    result.reserve(line.size());
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            inQuotes = !inQuotes;
            if (++i == line.size())
                break;
        }
        const char c = line[i];
        result.push_back(c == ',' && !inQuotes ? '|' : c);
    }
    return result;
}

// One blank between every two adjacent delimiters, so a run of n delimiters keeps n - 1 fields.
std::string SeparateAdjacent(const std::string& line, char delimiter)
{
    std::string result;
    result.reserve(line.size() * 2);
    for (size_t i = 0; i < line.size(); ++i) {
        result.push_back(line[i]);
        if (line[i] == delimiter && i + 1 < line.size() && line[i + 1] == delimiter)
            result.push_back(' ');
    }
    return result;
}

} // namespace

int32_t ColumnNumber(std::string_view piece)
{
    constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
    size_t i = 0;
    while (i < piece.size() && IsBlank(piece[i]))
        ++i;
    const bool isNegative = i < piece.size() && piece[i] == '-';
    if (i < piece.size() && (piece[i] == '-' || piece[i] == '+'))
        ++i;
    int64_t value = 0;
    // No overflow: value stays at most kLimit + 1 before each step, so value * 10 + 9 fits.
    for (; i < piece.size() && IsDigit(piece[i]); ++i)
        value = std::min(value * 10 + (piece[i] - '0'), kLimit + 1);
    if (isNegative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, kLimit));
}

void ParseColumnList()
{
    g_columnCount = 0;
    const std::string_view text(g_listUseCol.c_str()); // as a C string: up to a zero byte
    if (text.size() > kMaxNameLength)
        throw CPdfException(kLongColumnListText);
    for (std::string_view piece : SplitFields(text, ",")) {
        if (g_columnCount == kMaxColumns)
            throw CPdfException(kTooManyColumnsText);
        g_columns.at(static_cast<size_t>(g_columnCount)) = ColumnNumber(piece);
        ++g_columnCount;
    }
}

void RewriteCommaLine(std::string& line, std::string& delimiter)
{
    if (delimiter != ",")
        return;
    if (line.find('"') != std::string::npos) {
        delimiter = "|";
        line = DropQuotes(line);
    }
    line = SeparateAdjacent(line, delimiter.front());
}

std::vector<std::string_view> SplitFields(std::string_view line, std::string_view delimiters)
{
    std::vector<std::string_view> fields;
    size_t start = line.find_first_not_of(delimiters);
    while (start != std::string_view::npos) {
        const size_t end = line.find_first_of(delimiters, start);
        if (end == std::string_view::npos) {
            fields.push_back(line.substr(start));
            break;
        }
        fields.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(delimiters, end);
    }
    return fields;
}
