// Column mode of a delimited list: the column table built from "-listusecol", the rewrite of a
// comma-separated line into one the tokenizer can split, and the split itself.
//
// Example, with -listdelim , on the line  "x, y",b,,c  the rewrite gives  x, y|b| |c  with the
// delimiter "|" for this line, and the split gives the four fields  x, y  b  (blank)  c.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int32_t kMaxColumns = 20;

// Field indexes from "-listusecol", in the order given; g_columnCount entries are valid.
extern std::array<int32_t, kMaxColumns> g_columns;
extern int32_t g_columnCount;

// Rebuilds the column table from g_listUseCol: its comma-separated pieces read as numbers (a
// piece that is no number counts as 0). Throws CPdfException for a 21st piece, or for a
// "-listusecol" text longer than 255 characters.
void ParseColumnList();

// The number a "-listusecol" piece stands for: leading white space, an optional sign, then
// digits up to the first other character; 0 without digits. Values past the 32-bit range
// saturate, which no field index can equal.
int32_t ColumnNumber(std::string_view piece);

// Rewrites a line of a list delimited by exactly ",": double quotes are dropped and commas
// outside them become "|" (delimiter then becomes "|"), and one blank goes between adjacent
// delimiters so that an empty field survives the split. Of two adjacent quotes only the first
// is dropped: the character behind a dropped quote is tested for a comma, never for a quote.
void RewriteCommaLine(std::string& line, std::string& delimiter);

// The fields of line as a tokenizer sees them: runs of characters that are not in delimiters.
// Consecutive delimiters count as one, so there are no empty fields. The views point into line.
std::vector<std::string_view> SplitFields(std::string_view line, std::string_view delimiters);
