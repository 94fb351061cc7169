// Chooses the decoders a stream object's data is read through, from its /Filter and
// /DecodeParms: FlateDecode, LZWDecode, ASCIIHexDecode, ASCII85Decode and RunLengthDecode (and
// their abbreviations Fl, LZW, AHx, A85, RL), alone or chained, each filter with the decode
// parameters at its own place. "/Filter [/A85 /Fl] /DecodeParms [null << /Predictor 12 >>]"
// reads the range through ASCII85Decode and then through Flate with a PNG predictor.
#pragma once

#include "pdf/Element.h"
#include "pdf/RefHolder.h"
#include "streams/Stream.h"

// Longer chains are not written by anyone; past this the filter is refused as malformed.
constexpr size_t kMaxFilterChain = 8;

// The stream to read a stream object's data through: the range itself (no filter), the last
// decoder of the chain over it, or empty (a filter that is not a name or an array of names, an
// empty or over-long chain, or predictor parameters that CPdfPredictor::areParametersValid
// refuses). A filter the reader does not decode (DCTDecode, ...) gives a stream whose reading
// throws CPdfException("Stream filter not supported"): the object can still be fetched.
CPdfRef<CPdfStream> makeFilter(CPdfRef<CPdfStream> range, CPdfDictionary* dictionary);
