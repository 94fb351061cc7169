// Name trees and number trees read whole and written flat. The append merges the two files'
// trees of one kind (destinations, attachments, page labels, the structure parent tree) into a
// single root that lists every entry in key order, which any reader accepts without /Kids or
// /Limits. Reading is bounded: nodes are visited once, to a depth of 32.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "append/ElementText.h"
#include "pdf/Element.h"

class CPdfXRef;

struct CTreeEntry {
    std::string name;   // name trees: the key's bytes
    int64_t number = 0; // number trees: the key
    CPdfElement value;  // as written in the tree: a reference stays a reference
    bool isSecond = false;
    std::string text;   // when not empty, the entry (key and value) as the output holds it already
};

// Appends the leaves under node (a dictionary, or a reference to one) read through xref.
void CollectNameTree(CPdfXRef* xref, const CPdfElement& node, bool isSecond, std::vector<CTreeEntry>& out);
void CollectNumberTree(CPdfXRef* xref, const CPdfElement& node, bool isSecond, std::vector<CTreeEntry>& out);

// "<< /Names [...] >>" or "<< /Nums [...] >>" with the entries sorted by key (stable for equal
// keys); each value is written through the mapper of its file. written, when given, receives
// the entries in the order written, each with its text.
std::string FlatNameTreeText(std::vector<CTreeEntry> entries, const CReferenceMapper& first,
                             const CReferenceMapper& second, std::vector<CTreeEntry>* written = nullptr);
std::string FlatNumberTreeText(std::vector<CTreeEntry> entries, const CReferenceMapper& first,
                               const CReferenceMapper& second);
