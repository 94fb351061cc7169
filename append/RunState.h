// The tables one append run keeps: the output table from which the cross-reference section is
// written, and the duplicate map that sends second-file objects onto first-file copies.
#pragma once

#include <cstdint>

// Output position of an object the run has not reached yet.
constexpr uint64_t kNotWritten = UINT64_MAX;

// One output object number.
struct OutputEntry {
    uint64_t position = kNotWritten; // byte position of the object's text in the output
    uint32_t inUse = 0;              // 0 = free
    uint32_t crc = 0;                // fingerprint CRC; 0 until computed
    uint32_t generation = 0;         // generation the object carries in the output
    bool isTarget = false;           // written unchanged, so a second-file object may stand on it
};

// State of one second-file object during the duplicate search.
enum class DuplicateState : uint8_t { Unknown, Examining, Duplicate, Distinct };

// One second-file object number.
struct DuplicateEntry {
    uint32_t target = 0; // output number standing for this object
    uint32_t marked = 0; // 1: the object duplicates output object target
    DuplicateState state = DuplicateState::Unknown;
    bool hasNoEdits = false; // the search found that the document merge edits nothing in it
};
