// How the process takes memory from the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

// Has the heap take its first 16 MiB in one step, backed by large pages where the system allows:
// a run touches a few megabytes of heap, and each small page faulted in costs as much as copying
// it many times over. Past them the heap grows as usual. Called once, early, before the run
// allocates much; changes nothing where the system does not follow the hint.
void PlatformPrepareHeap();

// A block of memory mapped on its own, which takes from the system only the pages written.
// Its first kSmallPagedBytes come in small pages, the rest in large pages where the system
// allows: a short run writes a few pages of it, a long one megabytes, which in small pages
// would fault one by one. Move-only; throws std::bad_alloc when there is no memory.
class CMappedSpan {
public:
    static constexpr size_t kSmallPagedBytes = size_t{256} << 10;

    CMappedSpan() = default;
    explicit CMappedSpan(size_t bytes);
    CMappedSpan(CMappedSpan&& other) noexcept { Swap(other); }
    CMappedSpan& operator=(CMappedSpan&& other) noexcept
    {
        CMappedSpan(std::move(other)).Swap(*this);
        return *this;
    }
    CMappedSpan(const CMappedSpan&) = delete;
    CMappedSpan& operator=(const CMappedSpan&) = delete;
    ~CMappedSpan();

    char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    void Swap(CMappedSpan& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_mappedSize, other.m_mappedSize);
    }

    char* m_data = nullptr;     // the mapping (or heap block) given back at the end
    size_t m_size = 0;
    size_t m_mappedSize = 0;    // whole pages
};
