// How the process takes memory from the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Has the heap take its first 16 MiB in one step, backed by large pages where the system allows:
// a run touches a few megabytes of heap, and each small page faulted in costs as much as copying
// it many times over. Past them the heap grows as usual. Called once, early, before the run
// allocates much; changes nothing where the system does not follow the hint.
void PlatformPrepareHeap();

// Blocks of kMappedBytes or more mapped on their own, in small pages, and their release; throws
// std::bad_alloc when there is none.
constexpr size_t kMappedBytes = size_t{256} << 10;
void* PlatformMapBlock(size_t bytes);
void PlatformUnmapBlock(void* place, size_t bytes);

// For containers that reserve far more than they may fill: their large blocks take from the
// system only the pages written, where the heap's large pages are taken whole at a first write.
template <typename T>
class CMappedAllocator : public std::allocator<T> {
public:
    template <typename U>
    struct rebind {
        using other = CMappedAllocator<U>;
    };
    CMappedAllocator() = default;
    template <typename U>
    CMappedAllocator(const CMappedAllocator<U>&) noexcept
    {
    }

    T* allocate(size_t count)
    {
        if (IsMapped(count))
            return static_cast<T*>(PlatformMapBlock(count * sizeof(T)));
        return std::allocator<T>::allocate(count);
    }
    void deallocate(T* place, size_t count)
    {
        if (IsMapped(count))
            PlatformUnmapBlock(place, count * sizeof(T));
        else
            std::allocator<T>::deallocate(place, count);
    }

private:
    static bool IsMapped(size_t count) { return count >= kMappedBytes / sizeof(T) && count <= SIZE_MAX / sizeof(T); }
};
