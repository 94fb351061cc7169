// Uses of named destinations inside one object's text: the value of a /Dest key (outline items,
// link annotations) or of a /D key (go-to actions), given as a string or as a name, in any
// dictionary of the text except those of remote or embedded go-tos, which name destinations in
// other files. When the second file's names are renamed to keep clear of the first file's,
// each use is rewritten with the name it takes in the form it was written in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Replaces text[start, end) by text; start == end inserts.
struct CSpanEdit {
    size_t start = 0;
    size_t end = 0;
    std::string text;
};

using CNameRenames = std::unordered_map<std::string, std::string>;

// False when no "/D" or "/Dest" token in text[from, to) is followed by a name or string that
// renames holds, so that no use can be renamed there: a few byte searches for most objects,
// where reading all their tokens would cost many times more.
bool MayRenameDestinations(std::string_view text, size_t from, size_t to, const CNameRenames& renames);

// Appends an edit for each use in text[from, to) of a name that renames holds.
void FindRenamedDestinations(std::string_view text, size_t from, size_t to, const CNameRenames& renames,
                             std::vector<CSpanEdit>& edits);
