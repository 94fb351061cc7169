// An incremental 64-bit hash of a byte sequence, for the duplicate search's index of stream
// data and object bodies. Add may be called with the bytes split anywhere: the value depends
// only on the sequence. It reads eight bytes at a time in four independent lanes, so hashing
// costs little next to copying the same bytes; it is never written to any output.
#pragma once

#include <cstddef>
#include <cstdint>

class CByteHash {
public:
    void Add(const char* data, size_t length);
    void AddNumber(uint64_t value);
    uint64_t Value() const;

private:
    static constexpr size_t kStripe = 32; // four lanes of eight bytes

    void Stripe(const unsigned char* bytes);

    uint64_t m_lanes[4] = {0x60EA27EEADC0B5D6ull, 0xC2B2AE3D27D4EB4Full, 0x0ull, 0x61C8864E7A143579ull};
    unsigned char m_pending[kStripe] = {};
    size_t m_pendingLength = 0;
    uint64_t m_total = 0;
};
