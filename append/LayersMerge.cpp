// Optional content (layers) of both files: every group of either, and a default configuration
// under which each layer starts as it did in its own file.
#include "append/Engine.h"

#include <set>

#include "xref/XRef.h"

namespace {

// Keys of the default configuration that the merge joins; the first file's others stay.
constexpr const char* kJoinedKeys[] = {"ON", "OFF", "Order", "RBGroups", "Locked", "AS"};

bool IsOff(const CPdfDictionary* configuration)
{
    CPdfElement state;
    if (configuration)
        configuration->getResolved("BaseState", state);
    return state.isName("OFF");
}

std::set<int32_t> ReferencedNumbers(const std::vector<CPdfElement>& items)
{
    std::set<int32_t> numbers;
    for (const CPdfElement& item : items) {
        if (item.is(PdfKind::Reference))
            numbers.insert(item.refNumber());
    }
    return numbers;
}

// The joined items of one key: the first file's, then the second file's.
struct CJoinedArray {
    std::vector<CPdfElement> first;
    std::vector<CPdfElement> second;
};

} // namespace

void CAppendEngine::PlanOptionalContent(const CPdfDictionary& catalog1, const CPdfDictionary& catalog2)
{
    CPdfElement properties1;
    CPdfElement properties2;
    catalog1.getResolved("OCProperties", properties1);
    catalog2.getResolved("OCProperties", properties2);
    const CPdfDictionary* dictionary2 = properties2.dictionary();
    if (!dictionary2)
        return;
    const CPdfDictionary* dictionary1 = properties1.dictionary();
    if (!dictionary1) {
        const CPdfElement raw = *catalog2.find("OCProperties");
        EditCatalog("OCProperties", [this, raw]() { return SecondValueText(raw); });
        return;
    }
    CPdfElement defaults1;
    CPdfElement defaults2;
    dictionary1->getResolved("D", defaults1);
    dictionary2->getResolved("D", defaults2);
    const CPdfDictionary* configuration1 = defaults1.dictionary();
    const CPdfDictionary* configuration2 = defaults2.dictionary();
    const std::vector<CPdfElement> groups1 = ArrayItems(dictionary1, "OCGs");
    const std::vector<CPdfElement> groups2 = ArrayItems(dictionary2, "OCGs");

    std::map<std::string, CJoinedArray> joined;
    for (const char* key : kJoinedKeys) {
        joined[key].first = ArrayItems(configuration1, key);
        joined[key].second = ArrayItems(configuration2, key);
    }
    // Under the first file's base state, the second file's groups that its own base state
    // decided are listed in /ON or /OFF.
    const bool isOff1 = IsOff(configuration1);
    if (isOff1 != IsOff(configuration2)) {
        const char* listed = isOff1 ? "OFF" : "ON";
        const char* implied = isOff1 ? "ON" : "OFF";
        const std::set<int32_t> explicitly = ReferencedNumbers(joined[listed].second);
        for (const CPdfElement& group : groups2) {
            if (group.is(PdfKind::Reference) && !explicitly.count(group.refNumber()))
                joined[implied].second.push_back(group);
        }
    }
    // A file without an /Order shows its groups unordered: list them so they stay visible.
    if (!joined["Order"].first.empty() || !joined["Order"].second.empty()) {
        if (joined["Order"].first.empty())
            joined["Order"].first = groups1;
        if (joined["Order"].second.empty())
            joined["Order"].second = groups2;
    }
    const CPdfElement keep1 = defaults1;
    const uint32_t number = AddNewObject([this, groups1, groups2, joined, keep1, properties1]() {
        std::string out = "<<\n/OCGs " + JoinedItemsText(groups1, groups2, FirstMapper(), SecondMapper()) + "\n/D <<";
        for (const auto& [key, items] : joined) {
            if (!items.first.empty() || !items.second.empty())
                out += "\n/" + key + " " + JoinedItemsText(items.first, items.second, FirstMapper(), SecondMapper());
        }
        if (const CPdfDictionary* configuration = keep1.dictionary()) {
            for (const auto& [key, value] : configuration->entries()) {
                if (joined.count(key) == 0)
                    out += "\n" + PdfNameText(key) + " " + ElementText(value, FirstMapper());
            }
        }
        out += "\n>>";
        for (const auto& [key, value] : properties1.dictionary()->entries()) {
            if (key != "OCGs" && key != "D")
                out += "\n" + PdfNameText(key) + " " + ElementText(value, FirstMapper());
        }
        return out + "\n>>";
    });
    EditCatalog("OCProperties", [number]() { return std::to_string(number) + " 0 R"; });
}
