// What an append changes beyond the two files' objects so that the second file arrives whole:
// its document-level data (named destinations and other name trees, form, page labels,
// layers, structure tree, threads) merged with the first file's. The plan is made before the
// output is opened; the merged structures are written at the end, when the duplicate search
// has decided every second-file object's output number.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "append/DestinationUses.h"

// A key of an object's top dictionary set to a value (replaced, or added after its "<<").
struct CKeyEdit {
    std::string key;
    std::string value;
};

// The same, with a value known only once the second file's numbering is decided.
struct CLazyKeyEdit {
    std::string key;
    std::function<std::string()> value;
};

struct CMergePlan {
    // First-file objects written last, with their edits (the catalog, the structure tree root).
    std::map<uint32_t, std::vector<CLazyKeyEdit>> firstDeferred;
    // Second-file objects copied with edits (outline items, form fields, structure elements).
    std::unordered_map<uint32_t, std::vector<CKeyEdit>> secondEdits;
    // Second-file objects the output does without (the outline and structure roots merged away).
    std::unordered_set<uint32_t> secondDropped;
    // Objects the output gains, numbered from newBase, written after all others.
    std::vector<std::function<std::string()>> newObjects;
    uint32_t newBase = 0;
    // Second-file destination names that the first file uses too, and the names they take.
    CNameRenames destRenames;
    // Second-file form font names that the first form uses too, as /DA strings name them.
    CNameRenames fontRenames;
    // Added to the second file's /StructParents and /StructParent keys.
    int64_t structParentShift = 0;

    bool IsEmpty() const
    {
        return firstDeferred.empty() && secondEdits.empty() && secondDropped.empty() && newObjects.empty() &&
               destRenames.empty() && structParentShift == 0;
    }
};

// The span edits that set key edits in an object's top dictionary; the scan is of text.
struct CObjectText;
void AddKeyEdits(const CObjectText& text, const std::vector<CKeyEdit>& keyEdits, std::vector<CSpanEdit>& edits);
// Sorts edits by position and drops those that overlap an earlier one.
void SortSpanEdits(std::vector<CSpanEdit>& edits);
// name with the first suffix "-2", "-3" ... that used does not hold and no earlier call took;
// the result goes into taken.
std::string SuffixedName(const std::string& name, const std::set<std::string>& used, std::set<std::string>& taken);
std::string SuffixedName(const std::string& name, const std::function<bool(const std::string&)>& isUsed,
                         std::set<std::string>& taken);
// A /DA string with the font names of renames replaced, or false when none occurs.
bool RenameDaFonts(const std::string& da, const CNameRenames& renames, std::string& out);
