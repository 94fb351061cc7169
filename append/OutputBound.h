// Whether an output fits the ten-digit offsets of a cross-reference table, known before
// anything is written: a bound on the bytes the objects of both inputs can take in it.
#pragma once

#include <cstdint>

class CPdfXRef;

// The largest position a ten-digit cross-reference offset can hold.
constexpr uint64_t kMaxOutputOffset = 9999999999;

// An upper bound on the bytes the objects of one input of fileSize bytes take in the output:
// stored objects no longer than the file, compressed ones no longer than their object streams
// decode, each with room for a header and an edit; a second file's references may each grow
// to ten digits. Unless isExact, an object stream counts as 1032 bytes per compressed byte
// (the most Flate can make); otherwise it is decoded and counted.
uint64_t ObjectBytesBound(CPdfXRef& xref, uint64_t fileSize, bool isSecond, bool isExact);
