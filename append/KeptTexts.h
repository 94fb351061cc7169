// Second-file texts that the tree walks and the duplicate search read, kept for the search and
// the copy so that no object is read and scanned twice. A kept text is packed into one pool, each
// text in one piece: a small record of its scan, its references and keys, then its bytes.
// A whole CObjectText would cost some 400 bytes more than its own bytes, which is more than
// most objects hold. A member of an object stream keeps no bytes: the decoded stream has them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "append/ObjectText.h"
#include "platform/Memory.h"

class CKeptTexts {
public:
    // Empties the pool for a file of count objects; it holds at most limit bytes, which it
    // reserves once (memory the system gives only as it is written).
    void Start(size_t count, uint64_t limit);
    // Keeps text as number's; false when the pool has no room for it. Keeping a number kept
    // already changes nothing.
    bool Keep(uint32_t number, const CObjectText& text);
    // Number's kept text into out (its buffers reused); false when none is kept. reader is the
    // one that read it.
    bool Unpack(uint32_t number, CObjectReader& reader, CObjectText& out) const;
    // No text is kept any more (they are of a file that is done with).
    void Clear() { m_index.clear(); }

private:
    // Positions and counts in 32 bits (kNoIndex as UINT32_MAX): a text whose numbers do not fit
    // is not kept. A smaller record is fewer pages of the pool written.
    struct CPackedFindings {
        uint32_t number = 0;
        uint32_t generation = 0;
        uint32_t at[11] = {}; // the positions of CScanFindings, in the order Positions lists them
        bool sawEndstream = false;
        bool hasUnsharedName = false;
    };
    struct CPackedRef {
        uint32_t at[5] = {}; // in the order RefPositions lists them
        uint32_t number = 0;
        uint32_t generation = 0;
    };
    struct CPackedKey {
        uint32_t at[4] = {}; // in the order KeyPositions lists them
    };
    struct CRecord {
        CObjectTextFacts facts;
        CPackedFindings findings;
        // What follows the record in the pool, in this order; a compressed text keeps no head.
        uint32_t refsCount = 0;
        uint32_t keysCount = 0;
        uint32_t headSize = 0;
        uint32_t tailSize = 0;
    };

    std::vector<uint32_t> m_index; // each number's record's place in the pool plus one; 0: none
    CMappedSpan m_pool;            // reserved at the limit and seldom filled
    uint64_t m_used = 0;
    uint64_t m_limit = 0;
};
