#include "platform/Memory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

void* PlatformMapBlock(size_t bytes)
{
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    return mapped;
}

void PlatformUnmapBlock(void* place, size_t bytes)
{
    munmap(place, bytes);
}

#else

void* PlatformMapBlock(size_t bytes)
{
    return ::operator new(bytes);
}

void PlatformUnmapBlock(void* place, size_t)
{
    ::operator delete(place);
}

#endif

void PlatformPrepareHeap()
{
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr size_t kStep = size_t{16} << 20;
    constexpr size_t kLargePage = size_t{2} << 20;
    constexpr size_t kProbe = size_t{64} << 10; // less than malloc maps on its own
    constexpr size_t kMaxProbes = 64;
    constexpr int kUsualTopPad = 128 * 1024;
    // Freed memory stays in the heap: given back and taken again, it would come in small pages.
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kStep));
    // Small blocks until the heap has to grow, which it does by kStep once; that span is marked.
    // Past it the heap grows as usual, and large blocks are mapped on their own as usual.
    mallopt(M_TOP_PAD, static_cast<int>(kStep));
    const auto before = reinterpret_cast<uintptr_t>(sbrk(0));
    void* probes[kMaxProbes];
    size_t count = 0;
    uintptr_t after = before;
    while (before != static_cast<uintptr_t>(-1) && count < kMaxProbes && after == before) {
        probes[count++] = std::malloc(kProbe);
        after = reinterpret_cast<uintptr_t>(sbrk(0));
    }
    mallopt(M_TOP_PAD, kUsualTopPad);
    const uintptr_t start = (before + kLargePage - 1) / kLargePage * kLargePage;
    if (before != static_cast<uintptr_t>(-1) && after != static_cast<uintptr_t>(-1) && after > start)
        madvise(reinterpret_cast<void*>(start), after - start, MADV_HUGEPAGE);
    while (count > 0)
        std::free(probes[--count]);
#endif
}
