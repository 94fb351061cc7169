// Writes parsed values back as PDF text, for the few document-level structures the append
// builds anew (merged name trees, forms, page labels, layers, structure roots). References go
// through a mapper that gives their output spelling, so a second-file value can be renumbered.
// Strings are written in hex so that every byte survives; names escape what a name cannot hold.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CPdfElement;
class CPdfDictionary;

// The output text of a reference to (number, generation) of the file a value was read from.
using CReferenceMapper = std::function<std::string(uint32_t number, uint32_t generation)>;

std::string PdfNameText(std::string_view name);       // "/A#20B" for the name "A B"
std::string PdfHexStringText(std::string_view bytes); // "<4142>"
std::string PdfLiteralStringText(std::string_view bytes); // "(A\(B)"
std::string PdfRealText(double value);

// Appends value's text to out; containers nested deeper than 64 levels are written as null.
void AppendElementText(const CPdfElement& value, const CReferenceMapper& mapper, std::string& out);
std::string ElementText(const CPdfElement& value, const CReferenceMapper& mapper);

// The items of the array under key (a reference to one followed), empty for anything else.
std::vector<CPdfElement> ArrayItems(const CPdfDictionary* dictionary, const char* key);
// "[a b c ]": the first file's items, then the second file's, each through its file's mapper.
std::string JoinedItemsText(const std::vector<CPdfElement>& first, const std::vector<CPdfElement>& second,
                            const CReferenceMapper& firstMapper, const CReferenceMapper& secondMapper);

// The bytes of a literal "(...)" or hex "<...>" string token, or of a "/name" token, decoded.
bool DecodeStringToken(std::string_view token, std::string& out);
bool DecodeNameToken(std::string_view token, std::string& out);
