#include "platform/Memory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr size_t kLargePage = size_t{2} << 20;

} // namespace

// The span starts kSmallPagedBytes before a large page's boundary; what the mapping holds
// beyond it on either side is given back at once.
CMappedSpan::CMappedSpan(size_t bytes)
{
    if (bytes == 0)
        return;
    if (bytes > SIZE_MAX - 2 * kLargePage)
        throw std::bad_alloc();
    const size_t mappedSize = bytes + 2 * kLargePage;
    void* const mapped = mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    char* const base = static_cast<char*>(mapped);
    const size_t misalignment = reinterpret_cast<uintptr_t>(base + kSmallPagedBytes) % kLargePage;
    char* const start = base + (kLargePage - misalignment) % kLargePage;
    char* const firstLarge = start + kSmallPagedBytes;
    if (start > base)
        munmap(base, static_cast<size_t>(start - base));
    char* const end = base + mappedSize;
    const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t keptBytes = (bytes + pageSize - 1) / pageSize * pageSize;
    if (start + keptBytes < end)
        munmap(start + keptBytes, static_cast<size_t>(end - (start + keptBytes)));
#ifdef MADV_HUGEPAGE
    if (keptBytes > kSmallPagedBytes)
        madvise(firstLarge, keptBytes - kSmallPagedBytes, MADV_HUGEPAGE);
#endif
    m_data = start;
    m_size = bytes;
    m_mappedSize = keptBytes;
}

CMappedSpan::~CMappedSpan()
{
    if (m_data)
        munmap(m_data, m_mappedSize);
}

#else

CMappedSpan::CMappedSpan(size_t bytes)
{
    if (bytes == 0)
        return;
    m_data = static_cast<char*>(::operator new(bytes));
    m_size = bytes;
    m_mappedSize = bytes;
}

CMappedSpan::~CMappedSpan()
{
    ::operator delete(m_data);
}

#endif

void PlatformPrepareHeap()
{
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr size_t kStep = size_t{16} << 20;
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
