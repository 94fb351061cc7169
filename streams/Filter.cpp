#include "streams/Filter.h"

#include <utility>
#include <vector>

#include "streams/DecodeStream.h"
#include "streams/FlateStream.h"
#include "streams/RefusedStream.h"

namespace {

struct DecodeParameters {
    int32_t predictor = 1;
    int32_t columns = 1;
    int32_t colors = 1;
    int32_t bitsPerComponent = 8;
    int32_t earlyChange = 1;
};

// out := the value under key, or under its abbreviation when key is absent (or Null).
void lookUp(const CPdfDictionary& dictionary, const char* key, const char* abbreviation, CPdfElement& out)
{
    dictionary.getResolved(key, out);
    if (out.is(PdfKind::Null))
        dictionary.getResolved(abbreviation, out);
}

void readInteger(const CPdfDictionary& parameters, const char* key, int32_t& value)
{
    CPdfElement element;
    parameters.getResolved(key, element);
    if (element.is(PdfKind::Integer))
        value = element.integer();
}

// Decode parameters of any kind but a dictionary (null included) leave the defaults.
DecodeParameters readParameters(const CPdfElement& decodeParms)
{
    DecodeParameters parameters;
    if (const CPdfDictionary* dictionary = decodeParms.dictionary()) {
        readInteger(*dictionary, "Predictor", parameters.predictor);
        readInteger(*dictionary, "Columns", parameters.columns);
        readInteger(*dictionary, "Colors", parameters.colors);
        readInteger(*dictionary, "BitsPerComponent", parameters.bitsPerComponent);
        readInteger(*dictionary, "EarlyChange", parameters.earlyChange);
    }
    return parameters;
}

bool isPredictorUsable(const DecodeParameters& parameters)
{
    return parameters.predictor == 1 ||
        CPdfPredictor::areParametersValid(parameters.columns, parameters.colors, parameters.bitsPerComponent);
}

// One filter and its parameters, as the i-th of a chain.
struct FilterStep {
    CPdfElement name;
    CPdfElement parameters;
};

// The steps of a Filter value: a name, or an array of names; a DecodeParms array gives each
// filter the entry at its place, a lone dictionary goes with a lone filter. False when the
// value is of another kind, empty, too long, or holds something other than names.
bool readSteps(const CPdfElement& filter, const CPdfElement& decodeParms, std::vector<FilterStep>& steps)
{
    const CPdfArray* parameterArray = decodeParms.array();
    const CPdfArray* names = filter.array();
    const size_t count = names ? names->size() : 1;
    if (!(names || filter.is(PdfKind::Name)) || count == 0 || count > kMaxFilterChain)
        return false;
    steps.resize(count);
    for (size_t i = 0; i < count; ++i) {
        if (names)
            names->getResolved(i, steps[i].name);
        else
            steps[i].name = filter;
        if (!steps[i].name.is(PdfKind::Name))
            return false;
        if (parameterArray && i < parameterArray->size())
            parameterArray->getResolved(i, steps[i].parameters);
        else if (!parameterArray && count == 1)
            steps[i].parameters = decodeParms;
    }
    return true;
}

bool isOneOf(const CPdfElement& name, const char* full, const char* abbreviation)
{
    return name.isName(full) || name.isName(abbreviation);
}

// The decoder of one step over input; empty for unusable predictor parameters, a refusing
// stream (and isRefused set) for a filter the reader does not decode.
CPdfRef<CPdfStream> makeStep(CPdfRef<CPdfStream> input, const FilterStep& step, bool& isRefused)
{
    const DecodeParameters parameters = readParameters(step.parameters);
    if (isOneOf(step.name, "FlateDecode", "Fl") || isOneOf(step.name, "LZWDecode", "LZW")) {
        if (!isPredictorUsable(parameters))
            return {};
        if (step.name.isName("FlateDecode") || step.name.isName("Fl"))
            return CPdfRef<CPdfStream>::create<CPdfFlateStream>(std::move(input), parameters.predictor,
                                                                parameters.columns, parameters.colors,
                                                                parameters.bitsPerComponent);
        auto lzw = CPdfRef<CPdfLzwStream>::create(std::move(input), parameters.earlyChange != 0);
        lzw->setPredictor(parameters.predictor, parameters.columns, parameters.colors, parameters.bitsPerComponent);
        return CPdfRef<CPdfStream>(std::move(lzw));
    }
    if (isOneOf(step.name, "ASCIIHexDecode", "AHx"))
        return CPdfRef<CPdfStream>::create<CPdfAsciiHexStream>(std::move(input));
    if (isOneOf(step.name, "ASCII85Decode", "A85"))
        return CPdfRef<CPdfStream>::create<CPdfAscii85Stream>(std::move(input));
    if (isOneOf(step.name, "RunLengthDecode", "RL"))
        return CPdfRef<CPdfStream>::create<CPdfRunLengthStream>(std::move(input));
    // Images and fonts with other filters are copied, never decoded: only reading their data
    // refuses, so such objects can still be fetched and looked at.
    isRefused = true;
    return CPdfRef<CPdfStream>::create<CPdfRefusedStream>(std::move(input), "Stream filter not supported");
}

} // namespace

CPdfRef<CPdfStream> makeFilter(CPdfRef<CPdfStream> range, CPdfDictionary* dictionary)
{
    CPdfElement filter;
    lookUp(*dictionary, "Filter", "F", filter);
    CPdfElement decodeParms;
    lookUp(*dictionary, "DecodeParms", "DP", decodeParms);
    if (filter.is(PdfKind::Null))
        return range;
    std::vector<FilterStep> steps;
    if (!readSteps(filter, decodeParms, steps))
        return {};
    // A refused step ends the chain: a Flate decoder after it would read through it (and throw)
    // while the object is only being fetched.
    CPdfRef<CPdfStream> stream = std::move(range);
    bool isRefused = false;
    for (size_t i = 0; i < steps.size() && stream && !isRefused; ++i)
        stream = makeStep(std::move(stream), steps[i], isRefused);
    return stream;
}
