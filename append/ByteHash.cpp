#include "append/ByteHash.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

uint64_t RotateLeft(uint64_t value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

uint64_t Load64(const unsigned char* bytes)
{
    uint64_t value;
    std::memcpy(&value, bytes, sizeof value); // the host's byte order: the value stays in this process
    return value;
}

uint64_t Round(uint64_t lane, uint64_t input)
{
    return RotateLeft(lane + input * kPrime2, 31) * kPrime1;
}

} // namespace

void CByteHash::Stripe(const unsigned char* bytes)
{
    for (int lane = 0; lane < 4; ++lane)
        m_lanes[lane] = Round(m_lanes[lane], Load64(bytes + 8 * lane));
}

void CByteHash::Add(const char* data, size_t length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    m_total += length;
    if (m_pendingLength > 0) {
        const size_t take = length < kStripe - m_pendingLength ? length : kStripe - m_pendingLength;
        std::memcpy(m_pending + m_pendingLength, bytes, take);
        m_pendingLength += take;
        bytes += take;
        length -= take;
        if (m_pendingLength < kStripe)
            return;
        Stripe(m_pending);
        m_pendingLength = 0;
    }
    for (; length >= kStripe; bytes += kStripe, length -= kStripe)
        Stripe(bytes);
    std::memcpy(m_pending, bytes, length);
    m_pendingLength = length;
}

void CByteHash::AddNumber(uint64_t value)
{
    unsigned char bytes[8];
    for (int k = 0; k < 8; ++k)
        bytes[k] = static_cast<unsigned char>(value >> (8 * k));
    Add(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

uint64_t CByteHash::Value() const
{
    uint64_t hash = RotateLeft(m_lanes[0], 1) + RotateLeft(m_lanes[1], 7) + RotateLeft(m_lanes[2], 12) +
                    RotateLeft(m_lanes[3], 18);
    hash += m_total;
    size_t at = 0;
    for (; at + 8 <= m_pendingLength; at += 8)
        hash = RotateLeft(hash ^ Round(0, Load64(m_pending + at)), 27) * kPrime1 + kPrime4;
    for (; at < m_pendingLength; ++at)
        hash = RotateLeft(hash ^ (m_pending[at] * kPrime5), 11) * kPrime1;
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    return hash ^ (hash >> 32);
}
