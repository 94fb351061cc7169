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
    char* const before = static_cast<char*>(sbrk(0));
    const bool isKnown = reinterpret_cast<intptr_t>(before) != -1;
    void* probes[kMaxProbes];
    size_t count = 0;
    char* after = before;
    while (isKnown && count < kMaxProbes && after == before) {
        probes[count++] = std::malloc(kProbe);
        after = static_cast<char*>(sbrk(0));
    }
    mallopt(M_TOP_PAD, kUsualTopPad);
    // Large pages start on their own boundaries: the span is marked from the first one on.
    const size_t skip = (kLargePage - reinterpret_cast<uintptr_t>(before) % kLargePage) % kLargePage;
    if (isKnown && reinterpret_cast<intptr_t>(after) != -1 && after > before &&
        static_cast<size_t>(after - before) > skip)
        madvise(before + skip, static_cast<size_t>(after - before) - skip, MADV_HUGEPAGE);
    char* const first = count > 0 ? static_cast<char*>(probes[0]) : nullptr;
    while (count > 0)
        std::free(probes[--count]);
    // The heap's bytes before the first large page are set aside, never touched: what the run
    // allocates first (its input files) would otherwise fall there, in small pages.
    char* const boundary = before + skip;
    constexpr size_t kSlack = 64;
    if (isKnown && first && first + kSlack < boundary && after > boundary) {
        static void* s_spacer = nullptr;
        s_spacer = std::malloc(static_cast<size_t>(boundary - first) - kSlack);
        if (static_cast<char*>(s_spacer) != first) { // not where the heap's top was: no use
            std::free(s_spacer);
            s_spacer = nullptr;
        }
    }
#endif
}
